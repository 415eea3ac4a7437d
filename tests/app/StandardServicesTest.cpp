// The application's own seams: Qt timers and queued calls, and the worker
// threads of the probe and the scan, whose answers come back to this thread.
#include "model/StandardServices.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>
#include <QtTest/QTest>

#include <chrono>

#include <gtest/gtest.h>

#include "core/claude/TranscriptFiles.h"
#include "core/engine/OvelPaths.h"
#include "support/FakeProgram.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"

namespace ovel::test {
namespace {

TEST(QtSchedulerTest, RunsPostedAndTimedWorkFromTheEventLoopOnly) {
  QtScheduler scheduler;
  std::vector<std::string> ran;
  scheduler.post([&ran] { ran.push_back("posted"); });
  scheduler.after(0.02, [&ran] { ran.push_back("timed"); });
  auto cancelled = scheduler.after(0.01, [&ran] { ran.push_back("cancelled"); });
  scheduler.cancel(cancelled);
  scheduler.cancel(cancelled);  // twice is harmless
  EXPECT_TRUE(ran.empty());     // never nested in the caller

  // The cancelled task was due before the timed one, so it would have run first.
  EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran.size() == 2; }, 5000));
  EXPECT_EQ(ran, (std::vector<std::string>{"posted", "timed"}));
}

TEST(QtSchedulerTest, DropsWorkOnceItIsGone) {
  bool ran = false;
  {
    QtScheduler scheduler;
    scheduler.post([&ran] { ran = true; });
    scheduler.after(0, [&ran] { ran = true; });
  }
  // Work queued after the dropped work runs after it would have.
  QtScheduler later;
  int laterRan = 0;
  later.post([&laterRan] { ++laterRan; });
  later.after(0, [&laterRan] { ++laterRan; });
  ASSERT_TRUE(QTest::qWaitFor([&laterRan] { return laterRan == 2; }, 5000));
  EXPECT_FALSE(ran);
}

// Transcripts carry fractional seconds.
std::string timestamp(Date date) {
  std::string whole = isoString(date);
  return whole.substr(0, whole.size() - 1) + ".250Z";
}

std::string turn(const std::string& id, Date at) {
  return R"({"cwd":"/home/ada/shop","sessionId":"5e0a","message":{"model":"claude-sonnet-4-6","id":"msg_)" + id +
         R"(","type":"message","role":"assistant","content":[],"usage":{"input_tokens":4,"output_tokens":35}},)"
         R"("requestId":"req_)" +
         id + R"(","type":"assistant","uuid":"77b2","timestamp":")" + timestamp(at) + "\"}\n";
}

void writeTranscripts(const std::filesystem::path& projects, int count, Date at) {
  std::filesystem::create_directories(projects / "shop");
  for (int i = 0; i < count; ++i)
    writeText(projects / "shop" / ("t" + std::to_string(i) + ".jsonl"), turn(std::to_string(i), at));
}

TEST(ThreadedScanRunnerTest, ScansOffThisThreadAndAnswersOnIt) {
  TempDir dir;
  Date now = systemNow();
  writeTranscripts(dir / "projects", 1, addSeconds(now, -60));
  now = addSeconds(now, 1);

  ThreadedScanRunner runner(dir / "projects");
  std::optional<std::vector<ActivityEvent>> events;
  QThread* answeredOn = nullptr;
  runner.scan(now, [&](ActivitySummary scanned) {
    events = scanned.events();
    answeredOn = QThread::currentThread();
  });
  EXPECT_FALSE(events);
  ASSERT_TRUE(QTest::qWaitFor([&events] { return events.has_value(); }, 10000));
  EXPECT_EQ(answeredOn, QThread::currentThread());
  ASSERT_EQ(events->size(), 1u);
  EXPECT_EQ(events->front().cwd, "/home/ada/shop");
}

// A folder too deep to walk is said once, at debug level, while it stays.
TEST(ThreadedScanRunnerTest, SaysOnceAtDebugLevelWhichFolderWasTooDeep) {
  TempDir dir;
  Date now = systemNow();
  writeTranscripts(dir / "projects", 1, addSeconds(now, -60));
  std::filesystem::path deep = dir / "projects" / "shop";
  for (std::size_t level = 1; level <= kMaxTranscriptFolderDepth; ++level) deep /= "d";
  std::filesystem::create_directories(deep / "d");

  QLoggingCategory::setFilterRules("ovel.scan.debug=true");
  LogCapture log;
  ThreadedScanRunner runner(dir / "projects");
  for (int scan = 0; scan < 2; ++scan) {
    std::optional<std::size_t> events;
    runner.scan(now, [&events](ActivitySummary scanned) { events = scanned.events().size(); });
    ASSERT_TRUE(QTest::qWaitFor([&events] { return events.has_value(); }, 10000));
    EXPECT_EQ(*events, 1u);
  }
  QLoggingCategory::setFilterRules({});
  EXPECT_EQ(log.messages(QtDebugMsg, "ovel.scan"),
            std::vector<std::string>{"passed over " + deep.string() + " - too deep below the projects folder"});
}

TEST(ThreadedProbeRunnerTest, StopsARunningProbeAndDropsItsAnswer) {
  TempDir dir;
  ScopedEnv home("OVEL_HOME", dir.path().string());
  auto started = dir / "started";
  auto finished = dir / "finished";
  auto claude = writeScript(dir / "claude", "touch '" + started.string() + "'\nsleep 30\ntouch '" + finished.string() +
                                                "'\nprintf '%s' '{\"result\":\"Current session: 5%\"}'");
  bool answered = false;
  {
    ThreadedProbeRunner runner;
    ASSERT_EQ(runner.locate(claude.string()), claude);
    runner.run(claude, 60, systemNow, [&answered](ProbeOutcome) { answered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(started); }, 10000));
  }  // the child is stopped, not waited out
  EXPECT_FALSE(std::filesystem::exists(finished)) << "quitting waited for the probe";
  QCoreApplication::processEvents();
  EXPECT_FALSE(answered);
  EXPECT_EQ(processesLeft(dir.path().string()), "");
}

// Writes `count` transcripts of one turn each.
void writeTranscripts(const std::filesystem::path& projects, int count, Date at);

TEST(ThreadedScanRunnerTest, QuittingDuringAScanDropsItsAnswer) {
  TempDir dir;
  Date now = systemNow();
  constexpr int kFiles = 3000;
  writeTranscripts(dir / "projects", kFiles, addSeconds(now, -60));
  std::optional<std::size_t> events;
  {
    ThreadedScanRunner runner(dir / "projects");
    runner.scan(now, [&events](ActivitySummary scanned) { events = scanned.events().size(); });
  }  // stopped at its next file, not waited out
  QCoreApplication::processEvents();
  EXPECT_FALSE(events);
}

}  // namespace
}  // namespace ovel::test
