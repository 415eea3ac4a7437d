#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

using test::activityEvent;
using test::at;
using test::now;
using test::reading;
using test::sample;
using test::sampleOf;
using BurnRate = OvelEngine::BurnRate;
using SlopePoint = OvelEngine::SlopePoint;

const OvelEngine::Thresholds kDefaults;

std::vector<HistorySample> samplesOf(const UsageWindow& window, std::vector<std::pair<double, double>> offsetAndUsed) {
  std::vector<HistorySample> history;
  for (auto [offset, used] : offsetAndUsed) history.push_back(sampleOf(window, used, offset));
  return history;
}

TEST(OvelEngineEpochTest, LastLargeDropOfTheInstance) {
  UsageWindow window = reading(WindowKind::session(), 30, 7200);
  struct Case {
    const char* name;
    std::vector<double> used;  // stored readings, one minute apart
    std::optional<std::size_t> epochAt;
  } cases[] = {
      {"drop to 20", {50, 62, 20, 25}, 2},   {"fall of 9", {50, 41}, std::nullopt},
      {"fall of exactly 10", {50, 40}, 1},   {"two falls: the later", {50, 30, 45, 20}, 3},
      {"single sample", {50}, std::nullopt}, {"no samples", {}, std::nullopt},
  };
  for (const auto& c : cases) {
    std::vector<HistorySample> history;
    for (std::size_t i = 0; i < c.used.size(); ++i) history.push_back(sampleOf(window, c.used[i], -3600 + 60.0 * i));
    std::optional<WindowEpoch> expected;
    if (c.epochAt) expected = WindowEpoch{history[*c.epochAt].observedAt, c.used[*c.epochAt]};
    EXPECT_EQ(OvelEngine::epoch(window, history), expected) << c.name;
  }
}

TEST(OvelEngineEpochTest, SortsByTimeAndIgnoresOtherInstances) {
  UsageWindow window = reading(WindowKind::session(), 30, 7200);
  std::vector<HistorySample> history = {sampleOf(window, 20, -600), sampleOf(window, 50, -1200),
                                        // A previous instance (reset 300 s off), a week sample and the current
                                        // reading's own drop take no part.
                                        sample(WindowKind::session(), 90, 7200 + 300, -900),
                                        sample(WindowKind::week(), 99, 7200, -800)};
  EXPECT_EQ(OvelEngine::epoch(window, history), (WindowEpoch{at(-600), 20}));

  UsageWindow fallen = reading(WindowKind::session(), 5, 7200);
  EXPECT_EQ(OvelEngine::epoch(fallen, samplesOf(fallen, {{-600, 50}})), std::nullopt);
}

TEST(OvelEngineSlopeTest, LeastSquaresInPointsPerHour) {
  struct Case {
    const char* name;
    std::vector<SlopePoint> points;
    double minimumSpan;
    std::optional<double> slope;
  } cases[] = {
      {"two points ten minutes apart", {{at(0), 10}, {at(600), 12}}, 480, 12},
      {"span below the minimum", {{at(0), 10}, {at(600), 12}}, 900, std::nullopt},
      {"span exactly the minimum", {{at(0), 10}, {at(600), 12}}, 600, 12},
      {"one time twice", {{at(0), 10}, {at(0), 11}}, 0, std::nullopt},
      {"the later duplicate wins", {{at(0), 10}, {at(0), 11}, {at(600), 12}}, 480, 6},
      {"unsorted input", {{at(1800), 30}, {at(0), 20}, {at(900), 25}}, 480, 20},
      {"falling", {{at(0), 40}, {at(1800), 35}}, 480, -10},
      {"single point", {{at(0), 10}}, 0, std::nullopt},
      {"no points", {}, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(test::sameValue(OvelEngine::slopePerHour(c.points, c.minimumSpan), c.slope)) << c.name;
  }
}

TEST(OvelEngineLocalRateTest, ScalesGainPerWeightByRecentWeight) {
  // Two hours into a session: weight 3 so far, 1 of it in the last 20 min.
  UsageWindow window = reading(WindowKind::session(), 6, 10800);
  ActivitySummary activity({activityEvent(-3600, 2), activityEvent(-600, 1)});
  EXPECT_DOUBLE_EQ(*OvelEngine::localRate(window, activity, now, 1200, std::nullopt), 6);

  // Weight at or after the reading's time is not in what the gain cost,
  // but it is recent activity.
  UsageWindow earlier = reading(WindowKind::session(), 6, 10800, -300);
  ActivitySummary later({activityEvent(-3600, 2), activityEvent(-600, 1), activityEvent(-300, 5)});
  EXPECT_DOUBLE_EQ(*OvelEngine::localRate(earlier, later, now, 1200, std::nullopt), 6.0 / 3 * 6 * 3);

  // Quiet recent minutes give a rate of 0, not an absent one.
  ActivitySummary quiet({activityEvent(-3600, 2)});
  EXPECT_EQ(OvelEngine::localRate(window, quiet, now, 1200, std::nullopt), 0);
}

TEST(OvelEngineLocalRateTest, AbsentCases) {
  ActivitySummary activity({activityEvent(-3600, 2), activityEvent(-100, 1)});
  struct Case {
    const char* name;
    UsageWindow window;
    ActivitySummary activity;
  } cases[] = {
      {"no reset time", reading(WindowKind::session(), 6, std::nullopt), activity},
      {"2.9 points gained", reading(WindowKind::session(), 2.9, 10800), activity},
      {"no activity before the reading", reading(WindowKind::session(), 6, 10800, -200),
       ActivitySummary({activityEvent(-100, 1)})},
      {"only activity before the window", reading(WindowKind::session(), 6, 10800),
       ActivitySummary({activityEvent(-7300, 1)})},
      {"window began 4 min ago", reading(WindowKind::session(), 6, 18000 - 240), activity},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OvelEngine::localRate(c.window, c.activity, now, 1200, std::nullopt), std::nullopt) << c.name;

  EXPECT_TRUE(OvelEngine::localRate(reading(WindowKind::session(), 3, 10800), activity, now, 1200, std::nullopt));
}

TEST(OvelEngineLocalRateTest, EpochMovesStartAndGain) {
  UsageWindow window = reading(WindowKind::session(), 30, 10800);
  // Weight before the epoch does not count; 4 points gained since it.
  ActivitySummary activity({activityEvent(-5000, 100), activityEvent(-1500, 2), activityEvent(-600, 1)});
  WindowEpoch since{at(-1800), 26};
  EXPECT_DOUBLE_EQ(*OvelEngine::localRate(window, activity, now, 1200, since), 4.0 / 3 * 1 * 3);
  // An epoch 240 s old leaves too short a span.
  ActivitySummary sinceYoungEpoch({activityEvent(-100, 1)});
  EXPECT_EQ(OvelEngine::localRate(window, sinceYoungEpoch, now, 1200, WindowEpoch{at(-240), 20}), std::nullopt);
  EXPECT_TRUE(OvelEngine::localRate(window, sinceYoungEpoch, now, 1200, WindowEpoch{at(-300), 20}));
}

struct BurnCase {
  const char* name;
  UsageWindow window;
  std::vector<HistorySample> history;
  std::optional<ActivitySummary> activity;
  double minimumRecentSpan;
  BurnRate expected;
};

void expectBurnRates(const std::vector<BurnCase>& cases) {
  for (const auto& c : cases) {
    OvelEngine::Thresholds thresholds;
    thresholds.minimumRecentSpan = c.minimumRecentSpan;
    double elapsed = std::max(c.window.kind.duration() - secondsBetween(*c.window.resetsAt, now), 0.0);
    BurnRate burn = OvelEngine::burnRate(c.window, elapsed, c.history, c.activity ? &*c.activity : nullptr, now,
                                         thresholds);
    EXPECT_EQ(burn.basis, c.expected.basis) << c.name;
    EXPECT_TRUE(test::sameValue(burn.rate, c.expected.rate)) << c.name;
  }
}

TEST(OvelEngineBurnRateTest, SessionBases) {
  UsageWindow session = reading(WindowKind::session(), 30, 7200);  // 3 h in
  UsageWindow young = reading(WindowKind::session(), 30, 16000);   // 2000 s in
  ActivitySummary activity({activityEvent(-3600, 3), activityEvent(-600, 1)});
  std::vector<HistorySample> rising = samplesOf(session, {{-1800, 25}});
  expectBurnRates({
      {"local activity first", session, rising, activity, 480, {30.0 / 4 * 1 * 3, RateBasis::localActivity}},
      {"quiet activity still decides",
       session,
       rising,
       ActivitySummary({activityEvent(-3600, 3)}),
       480,
       {0, RateBasis::localActivity}},
      {"too little gain falls through to the slope",
       reading(WindowKind::session(), 2, 7200),
       samplesOf(session, {{-1800, 1}}),
       activity,
       480,
       {2, RateBasis::recent}},
      {"slope without activity", session, rising, std::nullopt, 480, {10, RateBasis::recent}},
      {"falling slope is 0, not a fall-through",
       session,
       samplesOf(session, {{-1800, 35}}),
       std::nullopt,
       480,
       {0, RateBasis::recent}},
      {"span below the minimum",
       session,
       samplesOf(session, {{-400, 29}}),
       std::nullopt,
       480,
       {10, RateBasis::windowAverage}},
      {"span at a lowered minimum",
       session,
       samplesOf(session, {{-400, 29}}),
       std::nullopt,
       300,
       {9, RateBasis::recent}},
      {"samples older than the look-back",
       session,
       samplesOf(session, {{-2701, 20}}),
       std::nullopt,
       480,
       {10, RateBasis::windowAverage}},
      {"another instance's samples",
       session,
       {sample(WindowKind::session(), 25, 7200 + 300, -1800)},
       std::nullopt,
       480,
       {10, RateBasis::windowAverage}},
      {"too young for an average", young, {}, std::nullopt, 480, {std::nullopt, RateBasis::none}},
      {"average at exactly 2700 s",
       reading(WindowKind::session(), 30, 18000 - 2700),
       {},
       std::nullopt,
       480,
       {40, RateBasis::windowAverage}},
  });
}

TEST(OvelEngineBurnRateTest, WeekBases) {
  auto weekAt = [](double used, double hoursIn) { return reading(WindowKind::week(), used, 604800 - hoursIn * 3600); };
  UsageWindow week = weekAt(52, 26);
  ActivitySummary activity({activityEvent(-3600, 3), activityEvent(-600, 1)});
  expectBurnRates({
      {"25 h in: no average yet", weekAt(50, 25), {}, std::nullopt, 480, {std::nullopt, RateBasis::none}},
      {"26 h in: average", week, {}, std::nullopt, 480, {2, RateBasis::windowAverage}},
      {"activity never counts for a week", week, {}, activity, 480, {2, RateBasis::windowAverage}},
      {"day-long slope", week, samplesOf(week, {{-21600, 49}}), std::nullopt, 480, {0.5, RateBasis::recent}},
      {"slope span below 6 h", week, samplesOf(week, {{-21599, 49}}), std::nullopt, 480, {2, RateBasis::windowAverage}},
  });
}

TEST(OvelEngineBurnRateTest, EpochBoundsSlopeAndAverage) {
  UsageWindow window = reading(WindowKind::session(), 30, 10800);  // 2 h in
  // The epoch is the 20 % reading 30 min ago; the earlier ones would pull
  // the slope negative.
  std::vector<HistorySample> history = samplesOf(window, {{-2400, 50}, {-2100, 62}, {-1800, 20}, {-900, 25}});
  expectBurnRates({
      {"slope since the epoch", window, history, std::nullopt, 480, {20, RateBasis::recent}},
      // Without a slope the average needs 2700 s since the epoch, even
      // though the window itself is older.
      {"average since the epoch too young", window, history, std::nullopt, 3600, {std::nullopt, RateBasis::none}},
  });
  expectBurnRates({
      {"average since an older epoch",
       window,
       samplesOf(window, {{-3400, 50}, {-3000, 20}}),
       std::nullopt,
       480,
       {10.0 / (3000.0 / 3600), RateBasis::windowAverage}},
      {"average at exactly 2700 s since the epoch",
       window,
       samplesOf(window, {{-3400, 50}, {-2700, 21}}),
       std::nullopt,
       3600,
       {9.0 / 0.75, RateBasis::windowAverage}},
      {"a fall since the epoch averages to 0",
       reading(WindowKind::session(), 15, 10800),
       samplesOf(window, {{-3400, 50}, {-3000, 20}}),
       std::nullopt,
       480,
       {0, RateBasis::windowAverage}},
  });
}

}  // namespace
}  // namespace ovel
