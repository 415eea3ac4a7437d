// The main loop in virtual time: ticks every 5 s after the last one ended,
// the probe schedule with its back-off, the scan and recompute gates, and
// refreshIfStale().
#include <cmath>
#include <limits>

#include "UsageModelHarness.h"
#include "model/Demo.h"

namespace ovel::test {
namespace {

std::vector<double> spacings(const std::vector<Date>& times) {
  std::vector<double> result;
  for (std::size_t i = 1; i < times.size(); ++i) result.push_back(secondsBetween(times[i], times[i - 1]));
  return result;
}

std::vector<double> secondsAfterStart(const std::vector<Date>& times) {
  std::vector<double> result;
  for (Date time : times) result.push_back(secondsBetween(time, kStart));
  return result;
}

TEST_F(UsageModelTest, ProbesAreSpacedByTheIntervalAndBackOffAfterFailures) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    double refreshMinutes;
    bool fails;
    std::vector<double> spacings;
  } cases[] = {
      {"due at exactly 300 s", 5, false, {300, 300, 300}},
      {"doubling up to 16 times, then level", 5, true, {600, 1200, 2400, 4800, 4800, 4800, 4800}},
      {"two minutes", 2, false, {120, 120}},
      {"zero counts as five", 0, false, {300, 300}},
      {"negative counts as five", -3, false, {300, 300}},
      {"not a number counts as five", nan, false, {300, 300}},
      {"never below a minute", 0.25, false, {60, 60}},
  };
  for (const auto& c : cases) {
    build();
    preferences.setUseLocalActivity(false);
    preferences.setRefreshMinutes(c.refreshMinutes);
    if (c.fails) probe->work.answer = ProbeOutcome::failure("claude /usage failed: 1");
    startAndSettle();
    double span = 0;
    for (double s : c.spacings) span += s;
    scheduler->advance(span + 2);
    EXPECT_EQ(spacings(probe->work.startedAt), c.spacings) << c.name;
  }
}

TEST_F(UsageModelTest, ScansWaitForMoreThanThirtySeconds) {
  struct Case {
    bool useLocalActivity;
    std::vector<double> scans;
  } cases[] = {
      {true, {0, 35, 70, 105}},  // the tick at exactly 30 s does not scan
      {false, {0}},              // only the first scan of start()
  };
  for (const auto& c : cases) {
    build();
    preferences.setUseLocalActivity(c.useLocalActivity);
    startAndSettle();
    scheduler->advance(110);
    EXPECT_EQ(secondsAfterStart(scan->scannedAt), c.scans) << c.useLocalActivity;
  }
}

TEST_F(UsageModelTest, TicksRecomputeAtThirtySecondsAndAfterASnapshot) {
  preferences.setUseLocalActivity(false);
  startAndSettle();
  scheduler->advance(332);
  // start(), its probe and scan, every 30 s, the probe due at 300 (which
  // leaves the tick nothing to do), and 330.
  std::vector<double> expected = {0, 0, 0};
  for (double t = 30; t <= 330; t += 30) expected.push_back(t);
  EXPECT_EQ(secondsAfterStart(changedAt), expected);

  writeSnapshot(30, 20, clock->now());
  scheduler->advance(3);
  EXPECT_EQ(secondsAfterStart(changedAt).back(), 335);
  EXPECT_EQ(model->lastStatusLineAt(), at(332));
}

TEST_F(UsageModelTest, TickWaitingOnAProbeDelaysTheNextTick) {
  preferences.setUseLocalActivity(false);
  probe->work.duration = 30;
  startAndSettle();
  scheduler->advance(330);
  ASSERT_EQ(secondsAfterStart(probe->work.startedAt), (std::vector<double>{0, 330}));
  EXPECT_TRUE(model->isProbing());
  EXPECT_FALSE(UsageModelInternals::tickIsPending(*model));

  changedAt.clear();
  writeSnapshot(30, 20, clock->now());  // read by the next tick, once the probe is over
  scheduler->advance(40);
  EXPECT_EQ(secondsAfterStart(changedAt), (std::vector<double>{360, 365}));
  EXPECT_TRUE(UsageModelInternals::tickIsPending(*model));
}

TEST_F(UsageModelTest, StartingAgainKeepsOneTickerAndOneProbe) {
  preferences.setUseLocalActivity(false);
  probe->work.hold = true;
  startAndSettle();
  model->start();
  scheduler->runDue();
  EXPECT_EQ(probe->runs(), 1u);
  EXPECT_EQ(scheduler->timersPending(), 1u);

  // Restarted while a tick waits on its probe: that tick arms the next.
  probe->work.finish();
  scheduler->advance(300);
  ASSERT_EQ(probe->runs(), 2u);
  model->start();
  scheduler->runDue();
  EXPECT_EQ(scheduler->timersPending(), 0u);
  probe->work.finish();
  EXPECT_EQ(scheduler->timersPending(), 1u);
  EXPECT_EQ(probe->runs(), 2u);
}

// A probe on a clock ten days ahead, and the clock comes back: the next
// tick probes rather than once the clock has caught up with that probe.
TEST_F(UsageModelTest, AClockThatCameBackKeepsNoProbeWaiting) {
  startAndSettle();
  clock->set(at(10 * kDay));
  model->probe();
  ASSERT_EQ(probe->runs(), 2u);
  clock->set(at(3));
  scheduler->advance(2);  // the tick armed at the start
  EXPECT_EQ(secondsAfterStart(probe->work.startedAt), (std::vector<double>{0, 10 * kDay, 5}));
}

TEST_F(UsageModelTest, RefreshIfStaleProbesOnlyForFiguresOverAMinuteOld) {
  struct Case {
    const char* name;
    std::optional<double> probedAgo, statusLineAgo;
    bool demo;
    bool probes;
  } cases[] = {
      {"never read", std::nullopt, std::nullopt, false, true},
      {"probed a minute ago", 60, std::nullopt, false, false},
      {"probed just over a minute ago", 60.5, std::nullopt, false, true},
      {"status line fresh, probe old", 3600, 10, false, false},
      // Probed on a clock that has come back since: those figures are not fresh.
      {"probed ten days ahead", -10 * kDay, std::nullopt, false, true},
      {"probed four minutes ahead", -240, std::nullopt, false, false},
      {"demo", std::nullopt, std::nullopt, true, false},
  };
  for (const auto& c : cases) {
    build();
    std::filesystem::remove(OvelPaths::statusLineSnapshot());
    double start = 4000;
    clock->set(at(start));
    if (c.probedAgo) {
      clock->set(at(start - *c.probedAgo));
      model->probe();
    }
    if (c.statusLineAgo) {
      writeSnapshot(30, 20, at(start - *c.statusLineAgo));
      model->start();
    }
    if (c.demo) model->startDemo(Demo::make(Demo::Scenario::watch, clock->now(), "UTC"));
    clock->set(at(start));
    std::size_t before = scheduler->tasksPending();
    model->refreshIfStale();
    EXPECT_EQ(scheduler->tasksPending() - before, c.probes ? 1u : 0u) << c.name;
  }
}

}  // namespace
}  // namespace ovel::test
