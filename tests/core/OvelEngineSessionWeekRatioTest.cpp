#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "EngineTestSupport.h"
#include "core/engine/OvelEngine.h"
#include "core/engine/OvelEngineDetail.h"

namespace ovel {
namespace {

using test::at;
using test::sample;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Offsets in these tests count from T, well inside one week instance.
constexpr double kT = -100000;
constexpr double kWeekReset = 300000;
constexpr double kSessionReset = kT + 5000;

HistorySample weekAt(double offset, double used, std::optional<double> reset = kWeekReset) {
  return sample(WindowKind::week(), used, reset, kT + offset);
}

HistorySample sessionAt(double offset, double used, std::optional<double> reset = kSessionReset) {
  return sample(WindowKind::session(), used, reset, kT + offset);
}

// One session run from 10 % to 40 % over the first hour after T, with week
// samples around its start (20, 20) and end (23, 23), each pair 1200 s apart.
std::vector<HistorySample> oneRun() {
  return {weekAt(-600, 20), weekAt(600, 20), weekAt(3000, 23), weekAt(4200, 23), sessionAt(0, 10), sessionAt(3600, 40)};
}

TEST(OvelEngineSessionWeekRatioTest, LearnsFromOneRun) {
  auto ratio = OvelEngine::sessionWeekRatio(oneRun(), 20);
  ASSERT_TRUE(ratio);
  EXPECT_EQ(*ratio, (SessionWeekRatio{0.1, 1, 30}));
  EXPECT_DOUBLE_EQ(ratio->weekPercentPerSession(), 10);
  EXPECT_DOUBLE_EQ(ratio->sessionsPerWeek(), 10);
  EXPECT_DOUBLE_EQ(ratio->sessionsLeft(40), 6);
  EXPECT_EQ(ratio->sessionsLeft(120), 0);

  EXPECT_TRUE(OvelEngine::sessionWeekRatio(oneRun(), 30));
  EXPECT_FALSE(OvelEngine::sessionWeekRatio(oneRun(), 30.5));

  // History order does not matter; per-model weeks and unreadable keys take no part.
  std::vector<HistorySample> shuffled = oneRun();
  std::reverse(shuffled.begin(), shuffled.end());
  shuffled.push_back(sample(WindowKind::weekModel("Opus"), 90, kWeekReset, kT + 3600));
  HistorySample unreadable = weekAt(3600, 99);
  unreadable.kindKey = "Week";
  shuffled.push_back(unreadable);
  EXPECT_EQ(OvelEngine::sessionWeekRatio(shuffled, 20), ratio);
}

TEST(OvelEngineSessionWeekRatioTest, RunsThatDoNotCount) {
  struct Case {
    const char* name;
    std::vector<HistorySample> history;
  } cases[] = {
      {"no week samples", {sessionAt(0, 10), sessionAt(3600, 40)}},
      {"no session samples", {weekAt(0, 10), weekAt(3600, 40)}},
      {"gain of 0.5", {weekAt(0, 20), weekAt(3600, 23), sessionAt(0, 10), sessionAt(3600, 10.5)}},
      {"falling run", {weekAt(0, 20), weekAt(3600, 23), sessionAt(0, 40), sessionAt(3600, 10)}},
      {"week reset during the session",
       {weekAt(-600, 20), weekAt(600, 20), weekAt(3000, 1, kWeekReset + 604800), weekAt(4200, 2, kWeekReset + 604800),
        sessionAt(0, 10), sessionAt(3600, 40)}},
      {"no week reading within reach of the start",
       {weekAt(-10800, 20), weekAt(10800, 30), sessionAt(0, 10), sessionAt(3600, 40)}},
      {"session samples without reset times",
       {weekAt(0, 20), weekAt(3600, 23), sessionAt(0, 10, std::nullopt), sessionAt(3600, 40, std::nullopt)}},
  };
  // Even a minimum of 0 gives no ratio without a counted run.
  for (const auto& c : cases) EXPECT_EQ(OvelEngine::sessionWeekRatio(c.history, 0), std::nullopt) << c.name;
}

TEST(OvelEngineSessionWeekRatioTest, MinimumSessionPoints) {
  // Two runs of two sessions in one week, each gaining 10 and then 9.5 or 10.
  auto twoRuns = [](double secondGain) {
    return std::vector<HistorySample>{weekAt(0, 10),
                                      weekAt(3600, 11),
                                      weekAt(20000, 12),
                                      weekAt(23600, 14),
                                      sessionAt(0, 0),
                                      sessionAt(3600, 10),
                                      sessionAt(20000, 5, kSessionReset + 20000),
                                      sessionAt(23600, 5 + secondGain, kSessionReset + 20000)};
  };
  EXPECT_EQ(OvelEngine::sessionWeekRatio(twoRuns(9.5), 20), std::nullopt);
  auto ratio = OvelEngine::sessionWeekRatio(twoRuns(10), 20);
  ASSERT_TRUE(ratio);
  EXPECT_EQ(ratio->sessions, 2);
  EXPECT_EQ(ratio->sessionPoints, 20);
  EXPECT_DOUBLE_EQ(ratio->weekPointsPerSessionPoint, 3.0 / 20);

  // A week reading that falls within its instance adds no negative points.
  std::vector<HistorySample> weekFalls = {weekAt(0, 20), weekAt(3600, 18), sessionAt(0, 10), sessionAt(3600, 30)};
  EXPECT_EQ(OvelEngine::sessionWeekRatio(weekFalls, 20), (SessionWeekRatio{0, 1, 20}));

  std::vector<HistorySample> exactlyOne = {weekAt(0, 20), weekAt(3600, 21), sessionAt(0, 10), sessionAt(3600, 11)};
  EXPECT_EQ(OvelEngine::sessionWeekRatio(exactlyOne, 0), (SessionWeekRatio{1, 1, 1}));
}

TEST(OvelEngineSessionWeekRatioTest, WeekValueInterpolatesOrTakesTheNearest) {
  std::vector<HistorySample> weeks = {weekAt(0, 20), weekAt(1200, 23), weekAt(9000, 30), weekAt(20000, 31),
                                      weekAt(27200, 35)};
  struct Case {
    const char* name;
    double t;
    std::optional<double> value;
    std::size_t sample;
  } cases[] = {
      {"between two", 600, 21.5, 0},
      {"at a sample's own time", 1200, 23, 0},
      {"before every sample, within reach", -900, 20, 0},
      {"before every sample, out of reach", -901, std::nullopt, 0},
      {"gap over 2 h: nearest, exactly 900 s away", 9900, 30, 2},
      {"gap over 2 h: nothing within reach", 14000, std::nullopt, 0},
      {"gap over 2 h: the later one is nearer", 19500, 31, 3},
      {"gap of exactly 2 h still interpolates", 23600, 33, 3},
      {"after every sample", 28100, 35, 4},
  };
  for (const auto& c : cases) {
    auto value = engine_detail::weekValue(at(kT + c.t), weeks);
    ASSERT_EQ(value.has_value(), c.value.has_value()) << c.name;
    if (!value) continue;
    EXPECT_DOUBLE_EQ(value->value, *c.value) << c.name;
    EXPECT_EQ(value->sample, weeks[c.sample]) << c.name;
  }
  // Equal distances keep the earlier sample.
  std::vector<HistorySample> farApart = {weekAt(0, 20), weekAt(1000, 30, kWeekReset + 604800)};
  EXPECT_EQ(engine_detail::weekValue(at(kT + 500), farApart)->sample, farApart[0]);
  EXPECT_EQ(engine_detail::weekValue(at(kT), {}), std::nullopt);
}

TEST(OvelEngineSessionWeekRatioTest, InstancesSplitOnResetAndMissingResetTimes) {
  std::vector<HistorySample> sorted = {
      sessionAt(0, 1),
      sessionAt(60, 2, kSessionReset + 299),     // one instance
      sessionAt(120, 3, kSessionReset + 18000),  // the next one
      sessionAt(180, 4),                         // the first again: a new run
      sessionAt(240, 5, std::nullopt),
      sessionAt(300, 6, std::nullopt),
  };
  std::vector<std::size_t> sizes;
  for (auto run : engine_detail::instances(sorted)) sizes.push_back(run.size());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 1, 1, 1, 1}));
  EXPECT_TRUE(engine_detail::instances({}).empty());
}

TEST(OvelEngineSessionWeekRatioTest, DerivedValuesOfADegenerateRatio) {
  SessionWeekRatio idle{0, 3, 40};
  EXPECT_EQ(idle.weekPercentPerSession(), 0);
  EXPECT_EQ(idle.sessionsPerWeek(), kInfinity);
  EXPECT_EQ(idle.sessionsLeft(50), kInfinity);
}

}  // namespace
}  // namespace ovel
