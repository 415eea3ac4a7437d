// The application's own seams: Qt timers and queued calls, and the worker
// threads of the probe and the scan, whose answers come back to this thread.
#include "AppServices.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest/QTest>

#include <chrono>

#include <gtest/gtest.h>

#include "core/OvelPaths.h"
#include "support/FakeProgram.h"
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
  EXPECT_TRUE(ran.empty());  // never nested in the caller

  EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran.size() == 2; }, 5000));
  QTest::qWait(30);
  EXPECT_EQ(ran, (std::vector<std::string>{"posted", "timed"}));
}

TEST(QtSchedulerTest, DropsWorkOnceItIsGone) {
  bool ran = false;
  {
    QtScheduler scheduler;
    scheduler.post([&ran] { ran = true; });
    scheduler.after(0, [&ran] { ran = true; });
  }
  QTest::qWait(20);
  EXPECT_FALSE(ran);
}

// Transcripts carry fractional seconds.
std::string timestamp(Date date) {
  std::string whole = isoString(date);
  return whole.substr(0, whole.size() - 1) + ".250Z";
}

TEST(ThreadedScanRunnerTest, ScansOffThisThreadAndAnswersOnIt) {
  TempDir dir;
  Date now = systemNow();
  std::filesystem::create_directories(dir / "projects" / "shop");
  writeText(dir / "projects" / "shop" / "a.jsonl",
            R"({"cwd":"/home/ada/shop","sessionId":"5e0a","message":{"model":"claude-sonnet-4-6","id":"msg_A",)"
            R"("type":"message","role":"assistant","content":[],"usage":{"input_tokens":4,"output_tokens":35}},)"
            R"("requestId":"req_A","type":"assistant","uuid":"77b2","timestamp":")" +
                timestamp(addSeconds(now, -60)) + "\"}\n");
  now = addSeconds(now, 1);

  ThreadedScanRunner runner(dir / "projects");
  std::optional<std::vector<ActivityEvent>> events;
  QThread* answeredOn = nullptr;
  runner.scan(now, [&](std::vector<ActivityEvent> scanned) {
    events = std::move(scanned);
    answeredOn = QThread::currentThread();
  });
  EXPECT_FALSE(events);
  ASSERT_TRUE(QTest::qWaitFor([&events] { return events.has_value(); }, 10000));
  EXPECT_EQ(answeredOn, QThread::currentThread());
  ASSERT_EQ(events->size(), 1u);
  EXPECT_EQ(events->front().cwd, "/home/ada/shop");
}

TEST(ThreadedProbeRunnerTest, StopsARunningProbeAndDropsItsAnswer) {
  TempDir dir;
  ScopedEnv home("OVEL_HOME", dir.path().string());
  auto claude = writeScript(dir / "claude", "sleep 30\nprintf '%s' '{\"result\":\"Current session: 5%\"}'");
  bool answered = false;
  auto started = std::chrono::steady_clock::now();
  {
    ThreadedProbeRunner runner;
    ASSERT_EQ(runner.locate(claude.string()), claude);
    runner.run(claude, 60, systemNow, [&answered](ProbeOutcome) { answered = true; });
    QTest::qWait(200);
  }  // the child is stopped, not waited out
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "quitting waited for the probe";
  QTest::qWait(20);
  EXPECT_FALSE(answered);
  EXPECT_EQ(processesLeft(dir.path().string()), "");
}

}  // namespace
}  // namespace ovel::test
