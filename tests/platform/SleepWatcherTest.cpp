// Waking from sleep, told by a fake logind on the private bus.
#include "platform/SleepWatcher.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QSignalSpy>

#include "support/TestDesktop.h"

namespace ovel {
namespace {

// Owns logind's name on a connection of its own and emits its signal.
class FakeLogind {
 public:
  FakeLogind() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-logind"))) {
    started_ = bus_.registerService(QStringLiteral("org.freedesktop.login1"));
  }
  ~FakeLogind() {
    bus_.unregisterService(QStringLiteral("org.freedesktop.login1"));
    QDBusConnection::disconnectFromBus(bus_.name());
  }
  bool started() const { return started_; }

  void prepareForSleep(bool starting) {
    auto signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                             QStringLiteral("org.freedesktop.login1.Manager"),
                                             QStringLiteral("PrepareForSleep"));
    signal << starting;
    bus_.send(signal);
  }

 private:
  QDBusConnection bus_;
  bool started_ = false;
};

TEST(SleepWatcher, WakesOnlyOnResume) {
  OVEL_SKIP_WITHOUT(test::busMissing());
  FakeLogind logind;
  ASSERT_TRUE(logind.started());
  SleepWatcher watcher(QDBusConnection::sessionBus());
  ASSERT_TRUE(watcher.isWatching());
  QSignalSpy woke(&watcher, &SleepWatcher::didWake);

  logind.prepareForSleep(true);
  logind.prepareForSleep(false);
  // Signals arrive in order: the first was handled before the wake.
  ASSERT_TRUE(woke.wait(5000));
  EXPECT_EQ(woke.count(), 1) << "going to sleep is not a wake";
}

TEST(SleepWatcher, WithoutABusItNeverSignals) {
  auto nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
  SleepWatcher watcher(nowhere);
  EXPECT_FALSE(watcher.isWatching());
  QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

}  // namespace
}  // namespace ovel
