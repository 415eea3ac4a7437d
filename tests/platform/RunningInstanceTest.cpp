// A second start reaches the running copy over the private session bus.
#include "platform/RunningInstance.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QSignalSpy>

#include "support/TestDesktop.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::BackgroundProcess;
using test::TempDir;

class RunningInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OVEL_SKIP_WITHOUT(test::busMissing());
    fs::create_directories(dir / "data");
  }

  // Another process that asks the copy of `directory` to come forward.
  static BackgroundProcess secondStart(const fs::path& directory) {
    return BackgroundProcess({fs::read_symlink("/proc/self/exe").string(), "--activate-instance", directory.string()});
  }

  TempDir dir;
};

TEST_F(RunningInstanceTest, OneNamePerDataDirectory) {
  QString name = RunningInstance::serviceName(dir / "data");
  EXPECT_TRUE(name.startsWith(QStringLiteral("org.ovel.Ovel.d"))) << name.toStdString();
  EXPECT_EQ(name, RunningInstance::serviceName(dir / "data/../data/"));
  EXPECT_NE(name, RunningInstance::serviceName(dir / "other"));
}

TEST_F(RunningInstanceTest, ASecondStartActivatesTheRunningCopy) {
  RunningInstance running(dir / "data");
  ASSERT_TRUE(running.isListening());
  EXPECT_TRUE(
      QDBusConnection::sessionBus().interface()->isServiceRegistered(RunningInstance::serviceName(dir / "data")));
  QSignalSpy activated(&running, &RunningInstance::activated);
  BackgroundProcess second = secondStart(dir / "data");
  ASSERT_TRUE(test::waitUntil([&] { return activated.count() == 1; }, 20s));
  EXPECT_EQ(second.wait(20s), 0);
}

TEST_F(RunningInstanceTest, ASecondStartWaitsForTheNameOfACopyJustStarting) {
  auto namesOnTheBus = [] {
    return QDBusConnection::sessionBus().interface()->registeredServiceNames().value().size();
  };
  auto before = namesOnTheBus();
  BackgroundProcess second = secondStart(dir / "data");
  // Once it is on the bus its question follows at once; the copy takes its
  // name only then.
  ASSERT_TRUE(test::waitUntil([&] { return namesOnTheBus() > before; }, 20s));
  RunningInstance running(dir / "data");
  QSignalSpy activated(&running, &RunningInstance::activated);
  ASSERT_TRUE(test::waitUntil([&] { return activated.count() == 1; }, 20s));
  EXPECT_EQ(second.wait(20s), 0);
}

TEST_F(RunningInstanceTest, NobodyAnswersForAnotherDirectoryOrWithoutABus) {
  RunningInstance running(dir / "data");
  EXPECT_FALSE(RunningInstance::activate(dir / "other", 100ms));
  auto nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
  EXPECT_FALSE(RunningInstance::activate(dir / "data", 100ms, nowhere));
  EXPECT_FALSE(RunningInstance(dir / "data", nowhere).isListening());
  QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

}  // namespace
}  // namespace ovel
