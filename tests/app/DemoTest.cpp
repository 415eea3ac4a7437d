#include "model/Demo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/support/TimeZone.h"

namespace ovel {
namespace {

// A Wednesday, 12:00 UTC.
const Date kNow = dateFromSeconds1970(1781697600);
constexpr const char* kZone = "Europe/Berlin";

std::vector<HistorySample> samplesOf(const Demo& demo, const char* key) {
  std::vector<HistorySample> result;
  std::copy_if(demo.history.begin(), demo.history.end(), std::back_inserter(result),
               [key](const HistorySample& s) { return s.kindKey == key; });
  return result;
}

TEST(DemoTest, RequestedScenarioIsTheWordAfterDemo) {
  using S = Demo::Scenario;
  struct Case {
    std::vector<std::string> arguments;
    std::optional<S> expected;
  } cases[] = {
      {{"Ovel", "--demo", "at-risk"}, S::atRisk},
      {{"Ovel", "--snapshot", "out", "--demo", "planned-reset"}, S::plannedReset},
      {{"Ovel", "--demo"}, std::nullopt},
      {{"Ovel", "--demo", "At-risk"}, std::nullopt},
      {{"Ovel", "--demo", "planned_reset"}, std::nullopt},
      {{"Ovel", "--demo", "bogus", "--demo", "watch"}, std::nullopt},
      {{"--demo", "limited"}, S::limited},
  };
  for (const auto& c : cases) EXPECT_EQ(Demo::requested(c.arguments), c.expected) << c.arguments.back();
}

TEST(DemoTest, SessionHistoryCountsAndRange) {
  struct Case {
    Demo::Scenario scenario;
    std::size_t samples;
    double firstMinutesAgo, lastMinutesAgo;
  } cases[] = {
      {Demo::Scenario::comfortable, 22, 114, 9},
      {Demo::Scenario::watch, 36, 180, 5},
      {Demo::Scenario::atRisk, 40, 204, 9},
      {Demo::Scenario::limited, 51, 258, 8},
  };
  for (const auto& c : cases) {
    Demo demo = Demo::make(c.scenario, kNow, kZone);
    auto session = samplesOf(demo, "session");
    ASSERT_EQ(session.size(), c.samples) << rawValue(c.scenario);
    EXPECT_NEAR(secondsBetween(kNow, session.front().observedAt) / 60, c.firstMinutesAgo, 1e-6);
    EXPECT_NEAR(secondsBetween(kNow, session.back().observedAt) / 60, c.lastMinutesAgo, 1e-6);
    for (const auto& sample : demo.history) {
      double used = sample.kindKey == "session" ? demo.windows[0].usedPercent : demo.windows[1].usedPercent;
      EXPECT_GE(sample.usedPercent, 0);
      EXPECT_LE(sample.usedPercent, used);
    }
  }
}

TEST(DemoTest, LimitedSessionSitsAtTheLimitForFortyMinutes) {
  Demo demo = Demo::make(Demo::Scenario::limited, kNow, kZone);
  for (const auto& sample : samplesOf(demo, "session")) {
    double minutesAgo = secondsBetween(kNow, sample.observedAt) / 60;
    if (minutesAgo <= 40) {
      EXPECT_EQ(sample.usedPercent, 100) << minutesAgo;
    } else {
      EXPECT_LT(sample.usedPercent, 100) << minutesAgo;
    }
  }
  EXPECT_EQ(demo.windows[0].usedPercent, 100);
  EXPECT_EQ(demo.windows[2].kind, WindowKind::weekModel("Opus"));
  EXPECT_EQ(demo.windows[2].resetsAt, demo.windows[1].resetsAt);
  EXPECT_EQ(demo.windows[2].source, DataSource::usageCommand);
}

TEST(DemoTest, WeekHistoryLeavesNightsOutBeforeTheLastDay) {
  Demo demo = Demo::make(Demo::Scenario::comfortable, kNow, kZone);
  auto week = samplesOf(demo, "week");
  ASSERT_FALSE(week.empty());
  for (const auto& sample : week) {
    double hoursAgo = secondsBetween(kNow, sample.observedAt) / 3600;
    int hour = localTime(sample.observedAt, kZone).hour;
    EXPECT_TRUE(hoursAgo <= 24 || (hour >= 9 && hour <= 23)) << hoursAgo;
  }
  auto lastDay = std::count_if(week.begin(), week.end(),
                               [](const HistorySample& s) { return secondsBetween(kNow, s.observedAt) <= 24 * 3600; });
  EXPECT_EQ(lastDay, 24);
}

TEST(DemoTest, ActivityFollowsTheProjectAndModelRules) {
  Demo demo = Demo::make(Demo::Scenario::atRisk, kNow, kZone);
  ASSERT_FALSE(demo.events.empty());
  std::map<std::string, std::set<std::string>> modelsByProject;
  for (const auto& event : demo.events) {
    double minutesAgo = secondsBetween(kNow, event.timestamp) / 60;
    auto output = event.tokens.output;
    if (minutesAgo < 300) {
      EXPECT_TRUE(output >= 640 && output <= 3840) << output;
    } else {
      EXPECT_TRUE(output >= 400 && output <= 2400) << output;
      int hour = localTime(event.timestamp, kZone).hour;
      EXPECT_TRUE(hour >= 9 && hour <= 23);
    }
    modelsByProject[event.project()].insert(event.model);
  }
  EXPECT_EQ(modelsByProject["checkout-service"], std::set<std::string>{"claude-opus-4"});
  EXPECT_EQ(modelsByProject["ios-app"], std::set<std::string>{"claude-opus-4"});
  EXPECT_EQ(modelsByProject["infra"], std::set<std::string>{"claude-sonnet-4"});
  EXPECT_EQ(modelsByProject["scratch"], std::set<std::string>{"claude-sonnet-4"});
  EXPECT_TRUE(demo.events.front().cwd.view().starts_with("/Users/demo/"));
}

TEST(DemoTest, BuildsAreDeterministicExceptThePlannedResetId) {
  Demo a = Demo::make(Demo::Scenario::plannedReset, kNow, kZone);
  Demo b = Demo::make(Demo::Scenario::plannedReset, kNow, kZone);
  EXPECT_EQ(a.windows, b.windows);
  EXPECT_EQ(a.history, b.history);
  EXPECT_EQ(a.events, b.events);
  EXPECT_EQ(a.insights, b.insights);
  ASSERT_EQ(a.resetPlan.planned.size(), 1u);
  EXPECT_EQ(a.resetPlan.banked, 2);
  EXPECT_EQ(a.resetPlan.planned[0].scope, PlannedReset::Scope::week);
  EXPECT_EQ(a.resetPlan.planned[0].note, "announced");
  EXPECT_EQ(a.resetPlan.planned[0].date, addSeconds(kNow, 108000));
  EXPECT_NE(a.resetPlan.planned[0].id, b.resetPlan.planned[0].id);
  EXPECT_TRUE(Demo::make(Demo::Scenario::comfortable, kNow, kZone).resetPlan.planned.empty());
  ASSERT_EQ(a.insights.periods.size(), 2u);
  EXPECT_EQ(a.insights.periods[1].label, "Last 7d");
  EXPECT_EQ(a.insights.periods[0].findings.size(), 3u);
}

TEST(SeededGeneratorTest, MatchesSplitMix64) {
  SeededGenerator generator;
  // SplitMix64 from 0x9E3779B97F4A7C1C: the first output is the mix of
  // 0x9E3779B97F4A7C1C + 0x9E3779B97F4A7C15.
  std::uint64_t z = 0x9E3779B97F4A7C1CULL + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  EXPECT_EQ(generator.next(), z ^ (z >> 31));
  for (int i = 0; i < 1000; ++i) {
    double u = generator.uniform(0, 1);
    EXPECT_TRUE(u >= 0 && u < 1);
    EXPECT_LT(generator.below(7), 7u);
  }
}

}  // namespace
}  // namespace ovel
