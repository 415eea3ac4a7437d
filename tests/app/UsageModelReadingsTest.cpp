// How readings reach the model: the probe, the snapshot file, scans,
// ingestion into the history, and redeemed resets.
#include <QSignalSpy>

#include <chrono>
#include <functional>
#include <set>

#include "UsageModelHarness.h"
#include "core/claude/UsageCommandProbe.h"
#include "model/Demo.h"
#include "support/LogCapture.h"

namespace ovel::test {
namespace {

using Phase = UsageModel::Phase;
using Scope = PlannedReset::Scope;

const std::string kNotFound = "Couldn't find the claude command. Install Claude Code, or set its path in Settings.";

std::vector<double> usedOf(const std::vector<HistorySample>& samples, const char* key) {
  std::vector<double> used;
  for (const auto& sample : samples)
    if (sample.kindKey == key) used.push_back(sample.usedPercent);
  return used;
}

TEST_F(UsageModelTest, ProbeWithoutClaudeFailsOnceWithoutRunning) {
  struct Case {
    QString override;
    std::optional<std::string> passed;
  } cases[] = {{"", std::nullopt}, {"~/bin/claude", "~/bin/claude"}};
  for (const auto& c : cases) {
    build();
    preferences.setClaudePathOverride(c.override);
    probe->executable.reset();
    QSignalSpy probing(model.get(), &UsageModel::isProbingChanged);
    bool completed = false;
    model->probe([&completed] { completed = true; });
    EXPECT_EQ(probe->overrides, std::vector<std::optional<std::string>>{c.passed});
    EXPECT_TRUE(completed);
    EXPECT_EQ(probe->runs(), 0u);
    EXPECT_EQ(probing.count(), 0);
    EXPECT_EQ(model->lastProbeError(), kNotFound);
    EXPECT_EQ(model->lastProbeAt(), clock->now());
    EXPECT_EQ(model->consecutiveFailures(), 1);
    EXPECT_EQ(model->phase(), Phase::failed(kNotFound));
    EXPECT_EQ(changedAt.size(), 1u);  // only the failure's own recompute
  }
}

TEST_F(UsageModelTest, ProbeRunsTheFoundClaudeAndTakesItsAnswer) {
  probe->work.hold = true;
  model->probe();
  EXPECT_TRUE(model->isProbing());
  EXPECT_EQ(probe->ranWith, "/opt/fake/claude");
  EXPECT_EQ(probe->lastTimeout, UsageCommandProbe::kDefaultTimeout);
  clock->advance(12);
  EXPECT_EQ(probe->lastReadingTime(), at(12));  // readings are stamped when the answer arrives

  probe->work.finish();
  EXPECT_FALSE(model->isProbing());
  EXPECT_EQ(model->lastProbeAt(), at(12));  // the end of the run
  EXPECT_EQ(model->phase(), Phase::ready());
  ASSERT_EQ(model->assessments().size(), 2u);
  EXPECT_EQ(model->session()->window.usedPercent, 20);
  EXPECT_EQ(changedAt.size(), 1u);
}

TEST_F(UsageModelTest, ProbeErrorWhileWindowsAreKnownKeepsThemAndRecomputesTwice) {
  model->probe();
  UsageState before = model->state();
  changedAt.clear();

  probe->work.answer = ProbeOutcome::failure("claude /usage failed: boom");
  model->probe();
  EXPECT_EQ(model->phase(), Phase::ready());
  EXPECT_EQ(model->state(), before);
  EXPECT_EQ(model->lastProbeError(), "claude /usage failed: boom");
  EXPECT_EQ(model->consecutiveFailures(), 1);
  EXPECT_FALSE(model->isProbing());
  EXPECT_EQ(changedAt.size(), 2u);

  probe->work.answer = probeAnswer({sessionReading(25, at(1))});
  model->probe();
  EXPECT_FALSE(model->lastProbeError());
  EXPECT_EQ(model->consecutiveFailures(), 0);
}

TEST_F(UsageModelTest, AnswerWithoutInsightsKeepsTheEarlierOnes) {
  struct Step {
    std::optional<const char*> answered;
    const char* kept;
  } steps[] = {{"Last 24h", "Last 24h"}, {std::nullopt, "Last 24h"}, {"Last 7d", "Last 7d"}};
  for (const auto& s : steps) {
    std::optional<UsageInsights> insights;
    if (s.answered) insights = insightsLabelled(*s.answered, kStart);
    probe->work.answer = probeAnswer({sessionReading(20, kStart)}, insights);
    model->probe();
    ASSERT_TRUE(model->insights());
    EXPECT_EQ(model->insights()->periods.at(0).label, s.kept);
  }
}

TEST_F(UsageModelTest, ProbeWhileProbingOrInADemoChangesNothing) {
  probe->work.hold = true;
  model->probe();
  int completions = 0;
  model->probe([&completions] { ++completions; });
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(probe->runs(), 1u);
  probe->work.finish();

  model->startDemo(Demo::make(Demo::Scenario::watch, kStart, "UTC"));
  std::optional<Date> lastProbe = model->lastProbeAt();
  model->probe([&completions] { ++completions; });
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(probe->runs(), 1u);
  EXPECT_EQ(model->lastProbeAt(), lastProbe);
}

TEST_F(UsageModelTest, AnswersArrivingAfterADemoStartAreDropped) {
  probe->work.hold = true;
  scan->work.hold = true;
  model->probe();
  model->start();
  model->startDemo(Demo::make(Demo::Scenario::watch, clock->now(), "UTC"));
  auto demoWindows = model->state().windows();
  probe->work.finish();
  if (scan->work.isHeld()) scan->work.finish({ActivityEvent{clock->now(), "claude-opus-4", "/x", {1, 1, 1, 1, 1}}});
  EXPECT_FALSE(model->isProbing());
  EXPECT_EQ(model->state().windows(), demoWindows);
  EXPECT_FALSE(std::filesystem::exists(OvelPaths::history())) << "a demo writes no history";
}

TEST_F(UsageModelTest, SnapshotWithBothWindowsIsTakenIn) {
  writeSnapshot(42, 13, at(-3));
  model->start();
  EXPECT_EQ(model->lastStatusLineAt(), at(-3));
  EXPECT_EQ(model->phase(), Phase::ready());
  EXPECT_EQ(usedOf(model->history(), "session"), std::vector<double>{42});
  EXPECT_EQ(usedOf(model->history(), "week"), std::vector<double>{13});
  EXPECT_EQ(model->state().windows().at(WindowKind::session()).source, DataSource::statusLine);
  ASSERT_EQ(model->assessments().size(), 2u);
}

// Each step changes the file, then a tick runs.
TEST_F(UsageModelTest, SnapshotIsReadOnlyWhenItsModificationTimeChanges) {
  namespace fs = std::filesystem;
  const fs::path file = OvelPaths::statusLineSnapshot();
  auto rewriteKeepingTime = [&](const std::function<void()>& write) {
    fs::file_time_type time = fs::last_write_time(file);
    write();
    setModified(file, time);
  };
  auto bump = [&] { setModified(file, fs::last_write_time(file) + std::chrono::nanoseconds(1)); };
  auto garbage = [] { writeText(OvelPaths::statusLineSnapshot(), "{\"observed_at\":"); };
  auto noPercentage = [&] {
    writeText(file, R"({"observed_at":1781697700,"rate_limits":{"five_hour":{"resets_at":1781708400}}})");
    bump();
  };
  struct Step {
    const char* name;
    std::function<void()> change;
    std::optional<Date> lastStatusLineAt;
  } steps[] = {
      {"first file", [&] { writeSnapshot(40, 10, at(1)); }, at(1)},
      {"new content, same time", [&] { rewriteKeepingTime([&] { writeSnapshot(45, 10, at(2)); }); }, at(1)},
      {"a nanosecond later", bump, at(2)},
      {"undecodable",
       [&] {
         garbage();
         bump();
       },
       at(2)},
      {"fixed, same time", [&] { rewriteKeepingTime([&] { writeSnapshot(46, 10, at(3)); }); }, at(2)},
      {"touched", bump, at(3)},
      {"no used percentage", noPercentage, at(3)},
      {"removed", [&] { fs::remove(file); }, at(3)},
  };
  preferences.setUseLocalActivity(false);
  probe->work.hold = true;  // the probe start() posts never ends
  startAndSettle();
  for (const auto& s : steps) {
    s.change();
    scheduler->advance(5);
    EXPECT_EQ(model->lastStatusLineAt(), s.lastStatusLineAt) << s.name;
  }
  EXPECT_EQ(usedOf(model->history(), "session"), (std::vector<double>{40, 45, 46}));
}

TEST_F(UsageModelTest, SnapshotWithoutPercentagesLeavesTheModelAsItWas) {
  writeText(OvelPaths::statusLineSnapshot(), R"({"observed_at":1781697700,"rate_limits":{"seven_day":{}}})");
  model->start();
  EXPECT_FALSE(model->lastStatusLineAt());
  EXPECT_EQ(model->phase(), Phase::starting());
  EXPECT_TRUE(model->history().empty());
}

TEST_F(UsageModelTest, HistoryRecordsTheBelievedReadingNotTheRawOne) {
  struct Step {
    double seconds, rawSession;
    std::vector<double> history;
  } steps[] = {
      {0, 50, {50}},
      {100, 30, {50}},          // a fall held back, within the heartbeat: nothing new
      {700, 49, {50, 50}},      // still held at 50, recorded again after the heartbeat
      {760, 30, {50, 50, 30}},  // a second low reading a minute on confirms the fall
  };
  for (const auto& s : steps) {
    clock->set(at(s.seconds));
    probe->work.answer = probeAnswer({sessionReading(s.rawSession, at(s.seconds))});
    model->probe();
    EXPECT_EQ(usedOf(model->history(), "session"), s.history) << s.seconds;
  }
  HistoryStore reread(OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat);
  EXPECT_EQ(reread.all(), model->history());
}

// Until the file has every sample again: the first append that works brings
// the lost samples back from memory, by a rewrite the next record learns of.
TEST_F(UsageModelTest, HistoryThatCannotBeWrittenSaysWhyUntilAWriteWorks) {
  std::filesystem::create_directories(OvelPaths::history());  // a folder where the file should be
  QSignalSpy errorChanged(model.get(), &UsageModel::historySaveErrorChanged);
  model->probe();
  EXPECT_EQ(model->historySaveError(), "Couldn't save your usage history: Is a directory");
  EXPECT_EQ(usedOf(model->history(), "session"), std::vector<double>{20}) << "memory keeps the sample";
  EXPECT_EQ(errorChanged.count(), 1);

  clock->set(at(60));
  probe->work.answer = probeAnswer({sessionReading(21, at(60))});
  model->probe();
  EXPECT_EQ(errorChanged.count(), 1) << "the same failure again changes nothing";

  std::filesystem::remove(OvelPaths::history());
  clock->set(at(120));
  probe->work.answer = probeAnswer({sessionReading(22, at(120))});
  model->probe();
  EXPECT_EQ(errorChanged.count(), 1) << "the file lacks the first two samples until the rewrite lands";
  historyStore.flush();

  clock->set(at(180));
  probe->work.answer = probeAnswer({sessionReading(23, at(180))});
  model->probe();
  EXPECT_EQ(model->historySaveError(), std::nullopt);
  EXPECT_EQ(errorChanged.count(), 2);
  EXPECT_EQ(usedOf(HistoryStore(OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat).all(), "session"),
            (std::vector<double>{20, 21, 22, 23}));
}

// A rewrite that fails as Ovel quits is told nowhere else.
TEST_F(UsageModelTest, AFailedRewriteAtQuitIsSaidInTheLog) {
  // Long due for a prune, which has waited a day since readings came back.
  auto line = [](double used, Date observedAt) {
    return R"({"k":"week","u":)" + std::to_string(used) + R"(,"t":)" + std::to_string(secondsSince1970(observedAt)) +
           "}\n";
  };
  writeText(OvelPaths::history(),
            line(1, dateFromSeconds1970(1000000000)) + line(2, at(-30 * kHour)) + line(3, at(-20 * kHour)));
  LockedFolder folder(OvelPaths::history().parent_path());  // no temporary can be made beside the file
  if (!folder.held()) GTEST_SKIP() << "this file system cannot lock a folder";
  model->probe();
  EXPECT_EQ(model->historySaveError(), std::nullopt) << "the append went through";
  LogCapture log;
  model->finishHistoryWrites();
  EXPECT_EQ(log.warnings("ovel.history", OvelPaths::history().string()).size(), 1u);
  EXPECT_TRUE(model->historySaveError());
}

// The files read at start and at each tick: one that cannot be read is
// said in the log, once (the snapshot once per change of the file).
TEST_F(UsageModelTest, FilesThatCannotBeReadAreSaidInTheLog) {
  writeText(OvelPaths::resetPlan(), "{\"banked\":");
  std::filesystem::create_directories(OvelPaths::history());
  writeText(OvelPaths::statusLineSnapshot(), "{\"observed_at\":");
  LogCapture log;
  build();
  EXPECT_EQ(log.warnings("ovel.plan", "Malformed contents").size(), 1u);
  probe->work.hold = true;
  startAndSettle();
  EXPECT_EQ(log.warnings("ovel.history", "the history starts empty").size(), 1u);
  EXPECT_EQ(log.warnings("ovel.statusline", "Malformed contents").size(), 1u);
  scheduler->advance(5);
  EXPECT_EQ(log.warnings("ovel.statusline").size(), 1u) << "the same file is not read again";
  setModified(OvelPaths::statusLineSnapshot(),
              std::filesystem::last_write_time(OvelPaths::statusLineSnapshot()) + std::chrono::seconds(1));
  scheduler->advance(5);
  EXPECT_EQ(log.warnings("ovel.statusline").size(), 2u);
}

TEST_F(UsageModelTest, ReadingOlderThanTheRetentionIsPrunedAsTheStoreDoes) {
  Date old = at(-kHistoryRetention - kHistoryPruneMargin - kHour);
  probe->work.answer = probeAnswer({sessionReading(50, old), weekReading(30, kStart)});
  model->probe();
  EXPECT_EQ(usedOf(model->history(), "session"), std::vector<double>{}) << "added, then pruned at once";
  EXPECT_EQ(usedOf(model->history(), "week"), std::vector<double>{30});
  EXPECT_EQ(model->history(), historyStore.all());
}

// The clock runs ten days ahead for one probe, then comes back: the model
// believes the next reading, and the history it shows drops what the store
// drops; the log says so, and that the prune due meanwhile waits.
TEST_F(UsageModelTest, AClockThatCameBackLeavesTheModelsHistoryAsTheStores) {
  writeText(OvelPaths::history(),
            R"({"k":"week","u":5,"t":)" + std::to_string(secondsSince1970(at(-8.5 * kDay))) + "}\n");
  LogCapture log;
  startAndSettle();  // session 20 % and week 30 % now
  struct Probe {
    double seconds, session;
  } probes[] = {{600, 21}, {10 * kDay, 30}, {1200, 31}};
  for (const auto& p : probes) {
    clock->set(at(p.seconds));
    probe->work.answer = probeAnswer({sessionReading(p.session, at(p.seconds))});
    model->probe();
  }
  EXPECT_EQ(model->state().windows().at(WindowKind::session()).observedAt, at(1200));
  EXPECT_EQ(usedOf(model->history(), "session"), (std::vector<double>{20, 21, 31}));
  EXPECT_EQ(usedOf(model->history(), "week"), (std::vector<double>{5, 30})) << "nothing pruned";
  EXPECT_EQ(model->history(), historyStore.all());
  EXPECT_EQ(&model->history(), &historyStore.samples()) << "the store's samples, not a copy";
  EXPECT_EQ(log.messages(QtInfoMsg, "ovel.history", "in case the clock comes back").size(), 1u);
  EXPECT_EQ(
      log.messages(QtInfoMsg, "ovel.history", "the clock came back to " + isoString(at(1200)) + ": dropped 1 sample stamped after it")
          .size(),
      1u);
}

TEST_F(UsageModelTest, ScanStartTimeIsKeptBeforeItsResultArrives) {
  scan->work.hold = true;
  probe->work.hold = true;
  startAndSettle();
  ASSERT_EQ(scan->scans(), 1u);
  EXPECT_EQ(scan->scannedAt[0], kStart);
  EXPECT_EQ(UsageModelInternals::lastActivityScan(*model), kStart);
  std::size_t changes = changedAt.size();

  ActivityEvent event;
  event.timestamp = at(-30);
  event.tokens.input = 10;
  clock->advance(3);
  scan->work.finish({event});
  EXPECT_EQ(model->activity(), ActivitySummary({event}));
  EXPECT_EQ(changedAt.size(), changes + 1);
  EXPECT_EQ(UsageModelInternals::lastActivityScan(*model), kStart);
}

TEST_F(UsageModelTest, RedeemingAResetExpectsTheDropAndProbes) {
  model->probe();  // session 20 %, week 30 %
  model->redeemReset(Scope::session);
  EXPECT_EQ(model->resetPlan().banked, 0);
  EXPECT_EQ(ResetPlanStore(OvelPaths::resetPlan()).load(), model->resetPlan());
  EXPECT_EQ(model->state().expectingReset(), std::set<WindowKind>{WindowKind::session()});
  EXPECT_EQ(probe->runs(), 1u);

  probe->work.answer = probeAnswer({sessionReading(8, at(10))});
  clock->advance(10);
  scheduler->runDue();
  EXPECT_EQ(probe->runs(), 2u);
  EXPECT_EQ(model->session()->window.usedPercent, 8);
}

TEST_F(UsageModelTest, RedeemedScopeCoversItsHeldWindows) {
  const WindowKind opus = WindowKind::weekModel("Opus");
  struct Case {
    Scope scope;
    std::set<WindowKind> expecting;
  } cases[] = {
      {Scope::all, {WindowKind::session(), WindowKind::week(), opus}},
      {Scope::session, {WindowKind::session()}},
      {Scope::week, {WindowKind::week(), opus}},
  };
  for (const auto& c : cases) {
    build();
    model->setBankedResets(2);
    probe->work.answer = probeAnswer(
        {sessionReading(20, kStart), weekReading(30, kStart), reading(opus, 5, at(4 * kDay), kStart)});
    model->probe();
    model->redeemReset(c.scope);
    EXPECT_EQ(model->state().expectingReset(), c.expecting) << rawValue(c.scope);
    EXPECT_EQ(model->resetPlan().banked, 1) << rawValue(c.scope);
  }
}

TEST_F(UsageModelTest, RedeemingWithNothingHeldStillSpendsTheReset) {
  model->setBankedResets(2);
  model->redeemReset(Scope::all);
  EXPECT_TRUE(model->state().expectingReset().empty());
  EXPECT_EQ(model->resetPlan().banked, 1);
}

}  // namespace
}  // namespace ovel::test
