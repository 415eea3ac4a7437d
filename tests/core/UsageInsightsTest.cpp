// Equality and structured coding of what /usage reports besides windows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/engine/UsageState.h"

namespace ovel {
namespace {

using nlohmann::json;

UsageInsights sample() {
  UsageInsights::Period day{"Last 24h",
                            412,
                            9,
                            {{38.5, "went to subagents"}, {12, "used the 1M context"}},
                            {{"review", 21.25}},
                            {{"Explore", 30}, {"general-purpose", 4.5}}};
  UsageInsights::Period week{"Last 7d", std::nullopt, std::nullopt, {}, {}, {}};
  return {{day, week}, dateFromSeconds1970(1'760'000'000.5)};
}

TEST(UsageInsightsTest, EqualityLooksAtEveryField) {
  UsageInsights base = sample();
  EXPECT_EQ(sample(), base);

  UsageInsights later = base;
  later.observedAt = addSeconds(base.observedAt, 1);
  EXPECT_NE(later, base);

  UsageInsights zeroRequests = base;
  zeroRequests.periods[1].requests = 0;
  EXPECT_NE(zeroRequests, base);

  UsageInsights reordered = base;
  std::swap(reordered.periods[0].findings[0], reordered.periods[0].findings[1]);
  EXPECT_NE(reordered, base);
}

TEST(UsageInsightsTest, CodingUsesFieldNamesAndLeavesAbsentCountsOut) {
  json encoded = sample();
  EXPECT_EQ(encoded["observedAt"], 1'760'000'000.5);
  const json& day = encoded["periods"][0];
  EXPECT_EQ(day["label"], "Last 24h");
  EXPECT_EQ(day["requests"], 412);
  EXPECT_EQ(day["sessions"], 9);
  EXPECT_EQ(day["findings"][0], (json{{"percent", 38.5}, {"text", "went to subagents"}}));
  EXPECT_EQ(day["topSkills"][0], (json{{"name", "review"}, {"percent", 21.25}}));
  EXPECT_EQ(day["topSubagents"].size(), 2u);
  const json& week = encoded["periods"][1];
  EXPECT_FALSE(week.contains("requests"));
  EXPECT_FALSE(week.contains("sessions"));

  EXPECT_EQ(json::parse(encoded.dump()).get<UsageInsights>(), sample());
}

TEST(UsageInsightsTest, DecodingNeedsEveryKeyButTheCounts) {
  json period = json::parse(R"({"label":"Last 7d","requests":null,"findings":[],"topSkills":[],"topSubagents":[]})");
  auto decoded = period.get<UsageInsights::Period>();
  EXPECT_FALSE(decoded.requests);
  EXPECT_FALSE(decoded.sessions);

  for (const char* key : {"label", "findings", "topSkills", "topSubagents"}) {
    json missing = period;
    missing.erase(key);
    EXPECT_THROW(missing.get<UsageInsights::Period>(), json::exception) << key;
  }
  json fractional = period;
  fractional["sessions"] = 2.5;
  EXPECT_THROW(fractional.get<UsageInsights::Period>(), json::exception);
  EXPECT_THROW(json::parse(R"({"percent":"12","text":"x"})").get<UsageInsights::Finding>(), json::exception);
  EXPECT_THROW(json::parse(R"({"periods":[]})").get<UsageInsights>(), json::exception);
}

}  // namespace
}  // namespace ovel
