#include <gtest/gtest.h>

#include <limits>

#include "EngineTestSupport.h"
#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

using test::at;
using test::now;
using test::reading;
using test::sampleOf;

constexpr double kThreeHours = 10800;
const OvelEngine::Thresholds kDefaults;

// A stored reading half an hour back that makes the recent slope exactly
// `rate` points per hour for a session window.
std::vector<HistorySample> historyForRate(const UsageWindow& window, double rate) {
  return {sampleOf(window, window.usedPercent - rate / 2, -1800)};
}

WindowAssessment assessSession(double used, double rate, double resetIn = kThreeHours) {
  UsageWindow window = reading(WindowKind::session(), used, resetIn);
  return OvelEngine::assess(window, historyForRate(window, rate), nullptr, now, std::nullopt, kDefaults);
}

TEST(OvelEngineAssessTest, VerdictFromRate) {
  struct Case {
    double used, rate;
    double projected;
    std::optional<double> timeToLimit;
    double sustainable;
    OvelStatus status;
  } cases[] = {
      {40, 10, 70, std::nullopt, 20, OvelStatus::comfortable},
      {80, 10, 110, 7200, 20.0 / 3, OvelStatus::atRisk},
      {60, 8.5, 85.5, std::nullopt, 40.0 / 3, OvelStatus::watch},
      // Projections of exactly 85 are watch.
      {55, 10, 85, std::nullopt, 15, OvelStatus::watch},
      {85, 0, 85, std::nullopt, 5, OvelStatus::watch},
      {84.5, 0, 84.5, std::nullopt, 15.5 / 3, OvelStatus::comfortable},
      // Headroom lasting exactly the hours left is not at risk.
      {70, 10, 100, std::nullopt, 10, OvelStatus::watch},
      {100, 10, 130, std::nullopt, 0, OvelStatus::limited},
      {120, 10, 150, std::nullopt, 0, OvelStatus::limited},
  };
  for (const auto& c : cases) {
    WindowAssessment a = assessSession(c.used, c.rate);
    SCOPED_TRACE(testing::Message() << "used " << c.used << " rate " << c.rate);
    EXPECT_EQ(a.rateBasis, RateBasis::recent);
    EXPECT_TRUE(test::sameValue(a.ratePerHour, c.rate));
    EXPECT_TRUE(test::sameValue(a.projectedAtReset, c.projected));
    EXPECT_TRUE(test::sameValue(a.timeToLimit, c.timeToLimit));
    EXPECT_TRUE(test::sameValue(a.sustainableRatePerHour, c.sustainable));
    EXPECT_EQ(a.status, c.status);
    EXPECT_EQ(a.elapsedFraction, 0.4);
    EXPECT_EQ(a.evenOvelPercent, 40);
    EXPECT_EQ(a.timeToReset, kThreeHours);
  }
}

// A week window 100 h before its reset whose epoch average is exactly
// gained / 50 h; the least headroom lasts 50 h at 0.01 points per hour.
WindowAssessment assessWeekWithEpochGain(double gained) {
  UsageWindow window = reading(WindowKind::week(), 99.5, 100 * 3600);
  std::vector<HistorySample> history = {sampleOf(window, 109.5, -181000), sampleOf(window, 99.5 - gained, -180000)};
  return OvelEngine::assess(window, history, nullptr, now, std::nullopt, kDefaults);
}

TEST(OvelEngineAssessTest, RateAtTheBurningFloorIsNeverAtRisk) {
  WindowAssessment atFloor = assessWeekWithEpochGain(0.5);
  EXPECT_EQ(atFloor.rateBasis, RateBasis::windowAverage);
  EXPECT_EQ(*atFloor.ratePerHour, 0.01);
  EXPECT_EQ(atFloor.timeToLimit, std::nullopt);
  EXPECT_EQ(atFloor.status, OvelStatus::watch);  // projects 100.5

  WindowAssessment above = assessWeekWithEpochGain(1.0);
  EXPECT_EQ(*above.ratePerHour, 0.02);
  EXPECT_EQ(above.status, OvelStatus::atRisk);
  EXPECT_DOUBLE_EQ(*above.timeToLimit, 25 * 3600.0);
}

TEST(OvelEngineAssessTest, WindowsThatCannotBePlacedInTime) {
  struct Case {
    double used;
    std::optional<double> resetIn;
    OvelStatus status;
  } cases[] = {
      {95, 0, OvelStatus::comfortable},
      {95, -60, OvelStatus::comfortable},
      {95, std::nullopt, OvelStatus::comfortable},
      {100, std::nullopt, OvelStatus::limited},
      {100, 0, OvelStatus::limited},
  };
  for (const auto& c : cases) {
    UsageWindow window = reading(WindowKind::session(), c.used, c.resetIn);
    // History and activity that would otherwise give a rate are ignored.
    ActivitySummary activity({test::activityEvent(-600, 5)});
    WindowAssessment a = OvelEngine::assess(window, historyForRate(window, 10), &activity, now, at(-10), kDefaults);
    WindowAssessment expected;
    expected.window = window;
    expected.status = c.status;
    EXPECT_EQ(a, expected) << "used " << c.used;
  }
}

TEST(OvelEngineAssessTest, NoRateLeavesLineAndSustainableRate) {
  // 1000 s into the session: too early for a window average.
  UsageWindow window = reading(WindowKind::session(), 90, 17000);
  WindowAssessment a = OvelEngine::assess(window, {}, nullptr, now, std::nullopt, kDefaults);
  EXPECT_EQ(a.rateBasis, RateBasis::none);
  EXPECT_EQ(a.ratePerHour, std::nullopt);
  EXPECT_EQ(a.projectedAtReset, std::nullopt);
  EXPECT_EQ(a.timeToLimit, std::nullopt);
  EXPECT_EQ(a.status, OvelStatus::comfortable);
  EXPECT_DOUBLE_EQ(*a.evenOvelPercent, 100.0 * 1000 / 18000);
  EXPECT_DOUBLE_EQ(*a.sustainableRatePerHour, 10 / (17000.0 / 3600));
  EXPECT_EQ(a.steer(), std::nullopt);
}

TEST(OvelEngineAssessTest, ResetFurtherThanTheWindowLengthHasNotStarted) {
  UsageWindow window = reading(WindowKind::session(), 5, 21600);
  WindowAssessment a = OvelEngine::assess(window, {}, nullptr, now, std::nullopt, kDefaults);
  EXPECT_EQ(a.elapsedFraction, 0);
  EXPECT_EQ(a.evenOvelPercent, 0);
  EXPECT_EQ(a.timeToReset, 21600);
}

TEST(OvelEngineAssessTest, PlannedResetShortensTheHorizon) {
  // Two hours into a session that resets in three; no history, so the rate
  // is the window average over the scheduled two hours: 20 points per hour.
  UsageWindow window = reading(WindowKind::session(), 40, kThreeHours);
  WindowAssessment a = OvelEngine::assess(window, {}, nullptr, now, at(3600), kDefaults);
  EXPECT_EQ(a.plannedResetAt, at(3600));
  EXPECT_EQ(a.horizon(), at(3600));
  EXPECT_DOUBLE_EQ(*a.elapsedFraction, 2.0 / 3);
  EXPECT_DOUBLE_EQ(*a.evenOvelPercent, 200.0 / 3);
  EXPECT_DOUBLE_EQ(*a.sustainableRatePerHour, 60);
  EXPECT_EQ(a.timeToReset, kThreeHours);
  EXPECT_EQ(a.rateBasis, RateBasis::windowAverage);
  EXPECT_DOUBLE_EQ(*a.ratePerHour, 20);
  EXPECT_DOUBLE_EQ(*a.projectedAtReset, 60);

  for (double planned : {0.0, -60.0, kThreeHours, kThreeHours + 60}) {
    WindowAssessment ignored = OvelEngine::assess(window, {}, nullptr, now, at(planned), kDefaults);
    EXPECT_EQ(ignored.plannedResetAt, std::nullopt) << planned;
    EXPECT_EQ(ignored.horizon(), window.resetsAt) << planned;
    EXPECT_DOUBLE_EQ(*ignored.elapsedFraction, 0.4) << planned;
  }
}

TEST(OvelEngineAssessTest, DerivedValues) {
  WindowAssessment a;
  EXPECT_EQ(a.horizon(), std::nullopt);
  EXPECT_EQ(a.unusedAtReset(), std::nullopt);
  EXPECT_EQ(a.ovelDelta(), std::nullopt);
  a.window.usedPercent = 50;
  a.evenOvelPercent = 40;
  a.projectedAtReset = 110;
  EXPECT_EQ(a.ovelDelta(), 10);
  EXPECT_EQ(a.unusedAtReset(), 0);
  a.projectedAtReset = 70;
  EXPECT_EQ(a.unusedAtReset(), 30);
}

WindowAssessment pressing(WindowKind kind, OvelStatus status, double used, std::optional<double> projected,
                          std::optional<double> timeToLimit = std::nullopt) {
  WindowAssessment a;
  a.window = reading(std::move(kind), used, 3600);
  a.status = status;
  a.projectedAtReset = projected;
  a.timeToLimit = timeToLimit;
  return a;
}

TEST(OvelEngineAssessTest, HeadlinePicksTheMostPressing) {
  auto session = WindowKind::session();
  auto week = WindowKind::week();
  struct Case {
    const char* name;
    std::vector<WindowAssessment> list;
    std::size_t expected;
  } cases[] = {
      {"higher status",
       {pressing(session, OvelStatus::watch, 60, 90), pressing(week, OvelStatus::atRisk, 20, 101, 5000)},
       1},
      {"limited over at risk",
       {pressing(session, OvelStatus::limited, 100, std::nullopt), pressing(week, OvelStatus::atRisk, 90, 300, 10)},
       0},
      {"sooner limit",
       {pressing(session, OvelStatus::atRisk, 80, 150, 5000), pressing(week, OvelStatus::atRisk, 50, 120, 3000)},
       1},
      {"equal limits fall back to projection",
       {pressing(session, OvelStatus::atRisk, 80, 110, 3000), pressing(week, OvelStatus::atRisk, 50, 120, 3000)},
       1},
      {"larger projection",
       {pressing(session, OvelStatus::watch, 60, 88), pressing(week, OvelStatus::watch, 40, 92)},
       1},
      {"used stands in for a missing projection",
       {pressing(session, OvelStatus::watch, 90, std::nullopt), pressing(week, OvelStatus::watch, 10, 88)},
       0},
      {"equal keys go to more used",
       {pressing(session, OvelStatus::watch, 30, 90), pressing(week, OvelStatus::watch, 50, 90)},
       1},
      {"full tie keeps the first",
       {pressing(session, OvelStatus::comfortable, 30, std::nullopt),
        pressing(week, OvelStatus::comfortable, 30, std::nullopt)},
       0},
  };
  for (const auto& c : cases) {
    auto best = OvelEngine::headline(c.list);
    ASSERT_TRUE(best) << c.name;
    EXPECT_EQ(*best, c.list[c.expected]) << c.name;
  }
  EXPECT_EQ(OvelEngine::headline({}), std::nullopt);
}

TEST(OvelEngineAssessTest, StatusAndBasisRawValues) {
  std::vector<std::string_view> labels;
  for (OvelStatus status : kAllOvelStatuses) labels.push_back(label(status));
  EXPECT_EQ(labels, (std::vector<std::string_view>{"Comfortable", "Watch", "At risk", "Limited"}));
  EXPECT_LT(OvelStatus::watch, OvelStatus::atRisk);
  EXPECT_EQ(ovelStatusFromRaw(2), OvelStatus::atRisk);
  EXPECT_EQ(ovelStatusFromRaw(4), std::nullopt);
  EXPECT_EQ(ovelStatusFromRaw(-1), std::nullopt);
  EXPECT_EQ(rateBasisFromRaw("windowAverage"), RateBasis::windowAverage);
  EXPECT_EQ(rawValue(RateBasis::localActivity), "localActivity");
  EXPECT_EQ(rateBasisFromRaw("Recent"), std::nullopt);
}

}  // namespace
}  // namespace ovel
