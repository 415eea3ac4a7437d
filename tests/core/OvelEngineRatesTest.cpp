#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

using Horizon = RateReading::Horizon;
using test::activityEvent;
using test::now;
using test::reading;
using test::sampleOf;

// The rates of the five rows, in table order.
using Row = std::optional<double>;
using Rows = std::array<Row, 5>;

Rows rowsOf(const std::array<RateReading, 5>& table) {
  Rows rows;
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].horizon, kAllRateHorizons[i]);
    rows[i] = table[i].ratePerHour;
  }
  return rows;
}

void expectRows(const Rows& actual, const Rows& expected, const char* name) {
  for (std::size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE(testing::Message() << name << ", row " << label(kAllRateHorizons[i]));
    EXPECT_TRUE(test::sameValue(actual[i], expected[i]));
  }
}

struct RatesCase {
  const char* name;
  UsageWindow window;
  std::vector<std::pair<double, double>> stored;  // offset, used; same instance as the window
  std::optional<ActivitySummary> activity;
  Rows expected;
};

void expectRates(const std::vector<RatesCase>& cases) {
  for (const auto& c : cases) {
    std::vector<HistorySample> history;
    for (auto [offset, used] : c.stored) history.push_back(sampleOf(c.window, used, offset));
    const ActivitySummary* activity = c.activity ? &*c.activity : nullptr;
    expectRows(rowsOf(OvelEngine::rates(c.window, history, activity, now)), c.expected, c.name);
  }
}

constexpr std::nullopt_t none = std::nullopt;

TEST(OvelEngineRatesTest, SessionRows) {
  auto session = [](double used, double ageSeconds, double observedOffset = 0) {
    return reading(WindowKind::session(), used, 18000 - ageSeconds, observedOffset);
  };
  ActivitySummary activity({activityEvent(-3600, 3), activityEvent(-600, 1)});
  expectRates({
      {"session never has the week rows",
       session(35, 7200),
       {{-3000, 30}, {-7000, 10}},
       std::nullopt,
       {none, 6, none, none, 35.0 / 2}},
      {"activity row", session(35, 7200), {}, activity, {35.0 / 4 * 3, none, none, none, 35.0 / 2}},
      {"8 min old: no window row", session(3, 480), {}, std::nullopt, {none, none, none, none, none}},
      {"10 min old", session(3, 600), {}, std::nullopt, {none, none, none, none, 18}},
      {"12 min old", session(3, 720), {}, std::nullopt, {none, none, none, none, 15}},
      {"hour span of 600 s is too short",
       session(35, 7200),
       {{-600, 30}},
       std::nullopt,
       {none, none, none, none, 35.0 / 2}},
      {"hour span of exactly 900 s", session(35, 7200), {{-900, 32}}, std::nullopt, {none, 12, none, none, 35.0 / 2}},
      {"epoch 20 min old", session(24, 7200), {{-1500, 30}, {-1200, 20}}, std::nullopt, {none, 12, none, none, 12}},
  });
}

TEST(OvelEngineRatesTest, NowRowNeedsActivityAndResetTime) {
  ActivitySummary activity({activityEvent(-3600, 3), activityEvent(-600, 1)});
  UsageWindow noReset = reading(WindowKind::session(), 35, std::nullopt);
  expectRows(rowsOf(OvelEngine::rates(noReset, {}, &activity, now)), {none, none, none, none, none}, "no reset");
}

TEST(OvelEngineRatesTest, WeekRows) {
  auto week = [](double used, double ageSeconds, double observedOffset = 0) {
    return reading(WindowKind::week(), used, 604800 - ageSeconds, observedOffset);
  };
  // One day in: the activity row scales from the week's start, not a session's.
  ActivitySummary activity({activityEvent(-50000, 4), activityEvent(-600, 1)});
  expectRates({
      {"activity row from the week start", week(8, 86400), {}, activity, {8.0 / 5 * 3, none, none, none, 8.0 / 24}},
      {"slopes over each horizon",
       week(30, 2 * 86400),
       {{-86400, 6}, {-18000, 25}, {-3600, 29}},
       std::nullopt,
       {none, 1, 1, 1, 30.0 / 48}},
      {"falling readings give 0, not a negative rate",
       week(50, 2 * 86400),
       {{-80000, 60}},
       std::nullopt,
       {none, none, none, 0, 50.0 / 48}},
      // The current reading is filtered by each horizon like any point.
      {"an old current reading",
       week(30, 2 * 86400, -4000),
       {{-7600, 29}},
       std::nullopt,
       {none, none, 1, none, 30.0 / 48}},
      {"reset further than a week away", week(10, -3600), {}, std::nullopt, {none, none, none, none, none}},
  });
}

TEST(OvelEngineRatesTest, AssessmentOverloadMatchesWindow) {
  UsageWindow window = reading(WindowKind::weekModel("Opus"), 30, 604800 - 2 * 86400);
  std::vector<HistorySample> history = {sampleOf(window, 6, -86400), sampleOf(window, 25, -18000)};
  ActivitySummary activity({activityEvent(-50000, 4), activityEvent(-600, 1)});
  WindowAssessment assessment = OvelEngine::assess(window, history, &activity, now, std::nullopt, {});
  EXPECT_EQ(OvelEngine::rates(assessment, history, &activity, now), OvelEngine::rates(window, history, &activity, now));
}

TEST(OvelEngineRatesTest, HorizonLabelsAndRawValues) {
  std::vector<std::string_view> labels, raws;
  for (Horizon horizon : kAllRateHorizons) {
    labels.push_back(label(horizon));
    raws.push_back(rawValue(horizon));
    EXPECT_EQ(rateHorizonFromRaw(rawValue(horizon)), horizon);
  }
  EXPECT_EQ(labels, (std::vector<std::string_view>{"Now", "1 h", "5 h", "24 h", "Window avg"}));
  EXPECT_EQ(raws, (std::vector<std::string_view>{"now", "hour", "fiveHours", "day", "window"}));
  EXPECT_EQ(rateHorizonFromRaw("Hour"), std::nullopt);
  EXPECT_EQ((RateReading{Horizon::day, 2}.id()), Horizon::day);
}

}  // namespace
}  // namespace ovel
