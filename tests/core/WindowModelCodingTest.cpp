#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/engine/WindowModel.h"

namespace ovel {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

TEST(WindowModelCodingTest, KindsAreOneKeyObjects) {
  struct Case {
    WindowKind kind;
    const char* coded;
  } cases[] = {
      {WindowKind::session(), R"({"session":{}})"},
      {WindowKind::week(), R"({"week":{}})"},
      {WindowKind::weekModel("Opus 4"), R"({"weekModel":{"_0":"Opus 4"}})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json(c.kind).dump(), c.coded);
    EXPECT_EQ(json::parse(c.coded).get<WindowKind>(), c.kind) << c.coded;
    EXPECT_EQ(ordered_json::parse(c.coded).get<WindowKind>(), c.kind) << c.coded;
  }
  // Keys that name no case are ignored.
  EXPECT_EQ(json::parse(R"({"week":{},"note":1})").get<WindowKind>(), WindowKind::week());
}

TEST(WindowModelCodingTest, KindWithoutExactlyOneKnownKeyIsATypeMismatch) {
  for (const char* coded : {R"({})", R"({"session":{},"week":{}})", R"({"Session":{}})", R"({"month":{}})"}) {
    try {
      json::parse(coded).get<WindowKind>();
      ADD_FAILURE() << coded << " decoded";
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch) << coded;
      EXPECT_STREQ(error.what(), "Invalid number of keys found, expected one.") << coded;
    }
  }
  EXPECT_THROW(json::parse(R"({"weekModel":{}})").get<WindowKind>(), DecodingError);
  EXPECT_THROW(json::parse(R"({"weekModel":{"_0":4}})").get<WindowKind>(), DecodingError);
  EXPECT_THROW(json::parse(R"("session")").get<WindowKind>(), DecodingError);
  EXPECT_THROW(json::parse(R"({"session":true})").get<WindowKind>(), DecodingError);
}

TEST(WindowModelCodingTest, ReadingKeepsKeyOrderAndLeavesOutAbsentReset) {
  UsageWindow window{WindowKind::weekModel("Opus"), 42.5, dateFromSeconds1970(1760003600.25),
                     dateFromSeconds1970(1760000000), DataSource::statusLine};
  EXPECT_EQ(ordered_json(window).dump(),
            R"({"kind":{"weekModel":{"_0":"Opus"}},"usedPercent":42.5,"resetsAt":1760003600.25,)"
            R"("observedAt":1760000000.0,"source":"statusLine"})");
  EXPECT_EQ(ordered_json::parse(ordered_json(window).dump()).get<UsageWindow>(), window);
  EXPECT_EQ(json(window).get<UsageWindow>(), window);

  window.resetsAt.reset();
  EXPECT_FALSE(ordered_json(window).contains("resetsAt"));
  EXPECT_EQ(json(window).get<UsageWindow>(), window);
  EXPECT_EQ(json::parse(R"({"kind":{"session":{}},"usedPercent":1,"resetsAt":null,"observedAt":5,)"
                        R"("source":"usageCommand"})")
                .get<UsageWindow>(),
            (UsageWindow{WindowKind::session(), 1, std::nullopt, dateFromSeconds1970(5), DataSource::usageCommand}));
}

TEST(WindowModelCodingTest, ReadingWithMissingOrBadFieldsFails) {
  struct Case {
    const char* coded;
    DecodingError::Kind kind;
  } cases[] = {
      {R"({"usedPercent":1,"observedAt":5,"source":"statusLine"})", DecodingError::Kind::keyNotFound},
      {R"({"kind":{"week":{}},"observedAt":5,"source":"statusLine"})", DecodingError::Kind::keyNotFound},
      {R"({"kind":{"week":{}},"usedPercent":1,"source":"statusLine"})", DecodingError::Kind::keyNotFound},
      {R"({"kind":{"week":{}},"usedPercent":1,"observedAt":5})", DecodingError::Kind::keyNotFound},
      {R"({"kind":{"week":{}},"usedPercent":"1","observedAt":5,"source":"statusLine"})",
       DecodingError::Kind::typeMismatch},
      {R"({"kind":{"week":{}},"usedPercent":1,"resetsAt":"soon","observedAt":5,"source":"statusLine"})",
       DecodingError::Kind::typeMismatch},
      {R"({"kind":{"week":{}},"usedPercent":1,"observedAt":5,"source":"StatusLine"})",
       DecodingError::Kind::dataCorrupted},
      {R"([1,2])", DecodingError::Kind::typeMismatch},
  };
  for (const auto& c : cases) {
    try {
      json::parse(c.coded).get<UsageWindow>();
      ADD_FAILURE() << c.coded << " decoded";
    } catch (const DecodingError& error) { EXPECT_EQ(error.kind(), c.kind) << c.coded; }
  }
}

}  // namespace
}  // namespace ovel
