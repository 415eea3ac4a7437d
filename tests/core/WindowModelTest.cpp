#include "core/engine/WindowModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace ovel {
namespace {

constexpr double kNow = 1'760'000'000;

UsageWindow reading(WindowKind kind, std::optional<double> resetsAt) {
  UsageWindow window;
  window.kind = std::move(kind);
  window.usedPercent = 40;
  if (resetsAt) window.resetsAt = dateFromSeconds1970(*resetsAt);
  window.observedAt = dateFromSeconds1970(kNow);
  return window;
}

TEST(WindowKindTest, ParsesKeys) {
  struct Case {
    const char* key;
    std::optional<WindowKind> expected;
  } cases[] = {
      {"session", WindowKind::session()},
      {"week", WindowKind::week()},
      {"week:Opus", WindowKind::weekModel("Opus")},
      {"week: Opus", WindowKind::weekModel(" Opus")},
      {"week:", std::nullopt},
      {"Session", std::nullopt},
      {"weekly", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowKind::fromKey(c.key), c.expected) << c.key;
    if (c.expected) { EXPECT_EQ(WindowKind::fromKey(c.expected->key()), c.expected) << c.key; }
  }
}

TEST(WindowKindTest, TitlesAndDurations) {
  EXPECT_EQ(WindowKind::weekModel("Opus").title(), "Week \xC2\xB7 Opus");
  EXPECT_EQ(WindowKind::weekModel("Opus").shortTitle(), "Opus");
  EXPECT_EQ(WindowKind::session().shortTitle(), "5h");
  EXPECT_EQ(WindowKind::week().shortTitle(), "7d");
  EXPECT_EQ(WindowKind::session().title(), "Session");
  EXPECT_EQ(WindowKind::session().duration(), 18000);
  EXPECT_EQ(WindowKind::weekModel("x").duration(), 604800);
}

TEST(WindowKindTest, SortsSessionWeekThenModelsByName) {
  std::vector<WindowKind> kinds = {WindowKind::weekModel("b"), WindowKind::week(), WindowKind::weekModel("a"),
                                   WindowKind::session()};
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(kinds, (std::vector<WindowKind>{WindowKind::session(), WindowKind::week(), WindowKind::weekModel("a"),
                                            WindowKind::weekModel("b")}));
  EXPECT_FALSE(WindowKind::weekModel("a") < WindowKind::weekModel("a"));
  EXPECT_NE(std::hash<WindowKind>{}(WindowKind::weekModel("a")), std::hash<WindowKind>{}(WindowKind::weekModel("b")));
}

TEST(UsageWindowTest, StartsAtIsResetMinusDuration) {
  EXPECT_EQ(reading(WindowKind::session(), kNow).startsAt(), dateFromSeconds1970(kNow - 18000));
  EXPECT_EQ(reading(WindowKind::weekModel("Opus"), kNow).startsAt(), dateFromSeconds1970(kNow - 604800));
  EXPECT_EQ(reading(WindowKind::session(), std::nullopt).startsAt(), std::nullopt);
}

TEST(UsageWindowTest, SameInstanceBoundIsStrict) {
  struct Case {
    WindowKind otherKind;
    std::optional<double> reset, otherReset;
    bool same;
  } cases[] = {
      {WindowKind::session(), kNow, kNow + 299, true},
      {WindowKind::session(), kNow, kNow + 299.9, true},
      {WindowKind::session(), kNow, kNow + 300, false},
      {WindowKind::session(), kNow + 300, kNow, false},
      {WindowKind::session(), kNow, std::nullopt, false},
      {WindowKind::session(), std::nullopt, std::nullopt, true},
      {WindowKind::week(), kNow, kNow, false},
  };
  for (const auto& c : cases) {
    auto a = reading(WindowKind::session(), c.reset);
    auto b = reading(c.otherKind, c.otherReset);
    EXPECT_EQ(a.isSameInstance(b), c.same)
        << c.otherKind.key() << " " << c.reset.value_or(-1) << " " << c.otherReset.value_or(-1);
  }
}

TEST(UsageWindowTest, HasResetAtOrAfterResetTime) {
  auto window = reading(WindowKind::session(), kNow);
  EXPECT_TRUE(window.hasReset(dateFromSeconds1970(kNow)));
  EXPECT_FALSE(window.hasReset(dateFromSeconds1970(kNow - 1)));
  EXPECT_FALSE(reading(WindowKind::session(), std::nullopt).hasReset(dateFromSeconds1970(kNow + 1e9)));
}

TEST(DataSourceTest, RawValuesAreCaseSensitive) {
  EXPECT_EQ(dataSourceFromRaw("statusLine"), DataSource::statusLine);
  EXPECT_EQ(dataSourceFromRaw("usageCommand"), DataSource::usageCommand);
  EXPECT_EQ(dataSourceFromRaw("StatusLine"), std::nullopt);
  EXPECT_EQ(rawValue(DataSource::statusLine), "statusLine");
}

}  // namespace
}  // namespace ovel
