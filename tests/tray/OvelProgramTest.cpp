// The application run as a program: snapshots of every demo scenario, a
// snapshot that cannot be written, and a second start or a snapshot while it
// runs.
#include <QDBusConnectionInterface>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/claude/StatusLineSnapshot.h"
#include "core/support/ChildProcess.h"
#include "platform/RunningInstance.h"
#include "support/FakeProgram.h"
#include "support/OddFiles.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TempDir;

std::map<std::string, std::string> environmentFor(const TempDir& dir) {
  std::map<std::string, std::string> environment;
  for (const char* name : {"PATH", "LANG", "DBUS_SESSION_BUS_ADDRESS"})
    if (const char* value = std::getenv(name)) environment[name] = value;
  environment["HOME"] = dir.path().string();
  environment["OVEL_HOME"] = (dir / "data").string();
  environment["XDG_CONFIG_HOME"] = (dir / "config").string();
  environment["CLAUDE_CONFIG_DIR"] = (dir / "claude").string();
  environment["QT_QPA_PLATFORM"] = "offscreen";
  // A runtime folder of its own, so Qt has nothing to warn about.
  fs::create_directories(dir / "runtime");
  fs::permissions(dir / "runtime", fs::perms::owner_all);
  environment["XDG_RUNTIME_DIR"] = (dir / "runtime").string();
  return environment;
}

ChildProcess::Result runOvel(const TempDir& dir, std::vector<std::string> arguments, double limit = 60,
                             std::optional<std::map<std::string, std::string>> environment = std::nullopt) {
  ChildProcess::Options options;
  options.program = OVEL_APP_PATH;
  options.arguments = std::move(arguments);
  options.environment = environment ? std::move(environment) : environmentFor(dir);
  options.timeLimit = limit;
  return ChildProcess::run(options);
}

// Each demo scenario a test of its own: each is a run of the program, which
// on a busy machine under the sanitizers takes a good part of a test's time.
class OvelProgramSnapshotTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OvelProgramSnapshotTest, EveryViewInBothAppearances) {
  const char* scenario = GetParam();
  TempDir dir;
  auto result = runOvel(dir, {"--demo", scenario, "--snapshot", (dir / "shots/new").string()});
  ASSERT_EQ(result.end, ChildProcess::Result::End::exited) << scenario << " " << result.error;
  EXPECT_EQ(result.exitCode, 0) << scenario << " " << result.error;
  for (const char* appearance : {"light", "dark"}) {
    auto image = [&](const std::string& view) {
      return QImage(QString::fromStdString((dir / "shots/new" / (view + "-" + appearance + ".png")).string()));
    };
    QImage popover = image("popover"), settings = image("settings"), dashboard = image("dashboard");
    ASSERT_FALSE(popover.isNull() || settings.isNull() || dashboard.isNull()) << scenario << " " << appearance;
    EXPECT_EQ(popover.width(), 340) << scenario;
    EXPECT_GT(popover.height(), 200) << scenario;
    EXPECT_EQ(settings.size(), QSize(520, 600)) << scenario;
    EXPECT_EQ(dashboard.width(), 860) << scenario;
    EXPECT_GT(dashboard.height(), 400) << scenario;
    QImage tray = image("menubar");
    ASSERT_FALSE(tray.isNull()) << scenario << " " << appearance;
    EXPECT_EQ(tray.pixelColor(0, 0).lightness() > 128, std::string(appearance) == "light") << "the panel's colour";
    EXPECT_GE(tray.height(), 16 + 22) << "the strip above the icons";
  }
  EXPECT_FALSE(fs::exists(dir / "data/history.jsonl")) << "a demo writes nothing";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, OvelProgramSnapshotTest,
                         ::testing::Values("comfortable", "watch", "at-risk", "limited", "planned-reset"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// A FIFO that no one writes to, in place of each file read at start, would
// block the first reader for good: the program starts and draws all the
// same, and leaves the FIFOs alone.
TEST(OvelProgramTest, SnapshotOfRealDataWithFifosInPlaceOfItsFiles) {
  TempDir dir;
  const fs::path fifos[] = {dir / "data/history.jsonl", dir / "data/reset-plan.json", dir / "data/integration.json",
                            dir / "claude/settings.json", dir / "config/Ovel/Ovel.conf"};
  for (const fs::path& fifo : fifos) test::makeSpecialFile(fifo, test::SpecialFile::fifo, 0);
  // A fresh reading, so that the snapshot has something to show at once.
  const double now = secondsSince1970(systemNow());
  StatusLineSnapshot reading{now,
                             {StatusLineSnapshot::Limit{42, now + 3600}, StatusLineSnapshot::Limit{13, now + 86400}},
                             std::nullopt,
                             std::nullopt};
  ASSERT_FALSE(reading.write(dir / "data/statusline.json"));

  auto result = runOvel(dir, {"--snapshot", (dir / "shots").string()});
  ASSERT_EQ(result.end, ChildProcess::Result::End::exited) << result.error;
  EXPECT_EQ(result.exitCode, 0) << result.error;
  for (const char* image : {"popover-light.png", "settings-dark.png", "dashboard-light.png"})
    EXPECT_FALSE(QImage(QString::fromStdString((dir / "shots" / image).string())).isNull()) << image;
  for (const fs::path& fifo : fifos) EXPECT_TRUE(fs::is_fifo(fifo)) << fifo;
}

TEST(OvelProgramTest, UnwritableSnapshotFails) {
  TempDir dir;
  test::writeText(dir / "blocker", "a file where the folder should be");
  auto result = runOvel(dir, {"--demo", "watch", "--snapshot", (dir / "blocker/shots").string()});
  EXPECT_EQ(result.end, ChildProcess::Result::End::exited);
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.error.find("couldn't write"), std::string::npos) << result.error;
}

// Ovel on real data, with a claude that answers at once and the history's
// debug lines in `log`, started through `launcher` (a command line that
// ends by running the arguments after it) when one is given.
std::unique_ptr<test::BackgroundProcess> startRecording(const TempDir& dir, const fs::path& log,
                                                        std::vector<std::string> launcher = {}) {
  fs::create_directories(dir / "bin");
  test::writeScript(
      dir / "bin/claude",
      R"(printf '%s' '{"result":"Current session: 42% used\nCurrent week (all models): 13% used","is_error":false}')");
  launcher.push_back(OVEL_APP_PATH);
  return std::make_unique<test::BackgroundProcess>(
      launcher, false,
      std::vector<std::string>{"OVEL_HOME=" + (dir / "data").string(), "HOME=" + dir.path().string(),
                               "QT_QPA_PLATFORM=offscreen", "CLAUDE_CONFIG_DIR=" + (dir / "claude").string(),
                               "XDG_CONFIG_HOME=" + (dir / "config").string(),
                               "PATH=" + (dir / "bin").string() + ":/usr/bin:/bin",
                               "QT_LOGGING_RULES=ovel.history.debug=true;ovel.app.debug=true"},
      log);
}

// Its first readings are in the history: it is past its start.
bool hasRecorded(const fs::path& log) {
  return test::waitUntil([&] { return test::readText(log).find("recorded 2 samples") != std::string::npos; },
                         std::chrono::seconds(static_cast<int>(test::kWatchdogSeconds)));
}

// A stop by signal (a logout, systemctl --user stop, Ctrl+C) right after
// Ovel has recorded samples: it quits normally and the file has them all,
// the prune they caused included.
TEST(OvelProgramTest, StopSignalsQuitNormallyAndKeepTheHistory) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sigabbrev_np(signal));
    TempDir dir;
    // Long past the retention: the first record prunes it and rewrites the
    // file (readings came back a day and more ago, so the prune has no jump
    // ahead to wait for).
    const double now = secondsSince1970(systemNow());
    auto line = [](double observedAt) { return R"({"k":"week:Old","u":1,"t":)" + std::to_string(observedAt) + "}\n"; };
    test::writeText(dir / "data/history.jsonl", line(1000000000) + line(now - 30 * 3600) + line(now - 20 * 3600));
    auto log = dir / "ovel.log";
    auto ovel = startRecording(dir, log);
    ASSERT_TRUE(ovel->started());
    ASSERT_TRUE(hasRecorded(log)) << test::readText(log);
    ::kill(ovel->pid(), signal);
    EXPECT_EQ(ovel->wait(20s), 0) << test::readText(log);
    EXPECT_NE(test::readText(log).find(std::string("quitting on SIG") + sigabbrev_np(signal)), std::string::npos)
        << test::readText(log);

    std::string history = test::readText(dir / "data/history.jsonl");
    EXPECT_EQ(history.find("1000000000"), std::string::npos) << "the prune's rewrite finished:\n" << history;
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 4) << history;
    EXPECT_NE(history.find(R"("k":"session")"), std::string::npos) << history;
    EXPECT_NE(history.find(R"("k":"week")"), std::string::npos) << history;
  }
}

// Started with SIGHUP ignored (nohup) or SIGINT ignored (a shell's
// background job), Ovel leaves it so: closing the terminal, or a Ctrl+C
// meant for the shell, does not end it. SIGTERM still quits it normally.
TEST(OvelProgramTest, StopSignalsIgnoredAtStartStayIgnored) {
  for (int signal : {SIGHUP, SIGINT}) {
    const std::string name = sigabbrev_np(signal);
    SCOPED_TRACE(name);
    TempDir dir;
    auto log = dir / "ovel.log";
    auto ovel = startRecording(dir, log, {"/bin/sh", "-c", "trap '' " + name + "; exec \"$0\""});
    ASSERT_TRUE(ovel->started());
    ASSERT_TRUE(hasRecorded(log)) << test::readText(log);
    ::kill(ovel->pid(), signal);
    ::kill(ovel->pid(), SIGTERM);
    EXPECT_EQ(ovel->wait(20s), 0) << test::readText(log);
    std::string said = test::readText(log);
    EXPECT_NE(said.find("SIG" + name + " stays ignored"), std::string::npos) << said;
    EXPECT_EQ(said.find("quitting on SIG" + name), std::string::npos) << said;
    EXPECT_NE(said.find("quitting on SIGTERM"), std::string::npos) << said;
  }
}

TEST(OvelProgramTest, SecondStartBringsTheRunningCopyForwardAndExits) {
  OVEL_SKIP_WITHOUT(test::busMissing());
  TempDir dir;
  test::BackgroundProcess first(
      {OVEL_APP_PATH}, false,
      {"OVEL_HOME=" + (dir / "data").string(), "HOME=" + dir.path().string(), "QT_QPA_PLATFORM=offscreen",
       "CLAUDE_CONFIG_DIR=" + (dir / "claude").string(), "XDG_CONFIG_HOME=" + (dir / "config").string()});
  ASSERT_TRUE(first.started());
  QString name = RunningInstance::serviceName(dir / "data");
  ASSERT_TRUE(test::waitUntil(
      [&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value(); }, 20s));

  auto second = runOvel(dir, {});
  EXPECT_EQ(second.end, ChildProcess::Result::End::exited);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.error, "") << "it goes quietly";

  // A snapshot of real data would write the history too: it says so and fails.
  auto snapshot = runOvel(dir, {"--snapshot", (dir / "shots").string()});
  EXPECT_EQ(snapshot.end, ChildProcess::Result::End::exited);
  EXPECT_EQ(snapshot.exitCode, 1);
  EXPECT_NE(snapshot.error.find("already running"), std::string::npos) << snapshot.error;
  EXPECT_FALSE(fs::exists(dir / "shots"));

  // Without a session bus there is nobody to ask: it says so and fails.
  auto environment = environmentFor(dir);
  environment["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/ovel-test-bus";
  auto alone = runOvel(dir, {}, 60, environment);
  EXPECT_EQ(alone.end, ChildProcess::Result::End::exited);
  EXPECT_EQ(alone.exitCode, 1);
  EXPECT_NE(alone.error.find("already running"), std::string::npos) << alone.error;
  first.stop();
}

}  // namespace
}  // namespace ovel
