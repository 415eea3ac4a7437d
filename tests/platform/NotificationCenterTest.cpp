// Notices over D-Bus, against a notification server of the test's own on the
// private session bus.
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QThread>

#include <vector>

#include "support/TestDesktop.h"

namespace ovel {
namespace {

using test::waitUntil;

struct Notice {
  QString appName;
  uint replacesId;
  QString icon;
  QString summary;
  QString body;
  QStringList actions;
  QVariantMap hints;
  int timeout;
};

// Answers as org.freedesktop.Notifications, from a bus connection of its own,
// and records what it is asked to show.
class FakeNotificationServer final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  explicit FakeNotificationServer(QStringList capabilities)
      : capabilities_(std::move(capabilities)),
        bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notifications"))) {
    started_ = bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                   QDBusConnection::ExportAllSlots) &&
               bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
  }
  ~FakeNotificationServer() override {
    bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(bus_.name());
  }

  bool started() const { return started_; }
  std::vector<Notice> notices;

 public slots:
  QStringList GetCapabilities() { return capabilities_; }
  QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
    vendor = QStringLiteral("Ovel tests");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("fake");
  }
  uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout) {
    notices.push_back({appName, replacesId, icon, summary, body, actions, hints, timeout});
    return static_cast<uint>(notices.size());
  }

 private:
  QStringList capabilities_;
  QDBusConnection bus_;
  bool started_ = false;
};

class NotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::testDesktop().busAddress) GTEST_SKIP() << "dbus-daemon is not installed";
  }

  // Asks and waits for the answer.
  static std::optional<bool> authorize(NotificationCenter& center) {
    std::optional<bool> granted;
    center.requestAuthorization([&](bool answer) {
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
      granted = answer;
    });
    waitUntil([&] { return granted.has_value(); });
    return granted;
  }
};

TEST_F(NotificationCenterTest, AuthorizedByAnAnsweringServerThenPosts) {
  FakeNotificationServer server({QStringLiteral("body"), QStringLiteral("body-markup"), QStringLiteral("sound")});
  ASSERT_TRUE(server.started());
  auto center = FreedesktopNotificationCenter::create();
  ASSERT_TRUE(center);
  EXPECT_EQ(authorize(*center), true);

  center->add(QStringLiteral("risk:session@2833334"), QStringLiteral("Session: limit in ~1h 30m"),
              QStringLiteral("At your current ovel you'll hit the limit around 2:30 PM."));
  ASSERT_TRUE(waitUntil([&] { return server.notices.size() == 1; }));
  const Notice& notice = server.notices.front();
  EXPECT_EQ(notice.appName, QStringLiteral("Ovel"));
  EXPECT_EQ(notice.replacesId, 0u);
  EXPECT_EQ(notice.summary, QStringLiteral("Session: limit in ~1h 30m"));
  EXPECT_EQ(notice.body, QStringLiteral("At your current ovel you'll hit the limit around 2:30 PM."));
  EXPECT_TRUE(notice.actions.isEmpty());
  EXPECT_EQ(notice.hints.value(QStringLiteral("sound-name")).toString(), QStringLiteral("message-new-instant"));
  EXPECT_EQ(notice.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("ovel"));
  EXPECT_EQ(notice.timeout, -1);
}

TEST_F(NotificationCenterTest, BodyIsEscapedOnlyForAMarkupServer) {
  struct Case {
    const char* name;
    QStringList capabilities;
    QString body;
  } cases[] = {
      {"markup", {QStringLiteral("body"), QStringLiteral("body-markup")}, QStringLiteral("a &lt;b&gt; &amp; \"c\"")},
      {"plain text", {QStringLiteral("body")}, QStringLiteral("a <b> & \"c\"")},
  };
  for (const auto& c : cases) {
    FakeNotificationServer server(c.capabilities);
    ASSERT_TRUE(server.started()) << c.name;
    auto center = FreedesktopNotificationCenter::create();
    ASSERT_EQ(authorize(*center), true) << c.name;
    // Titles carry model names from outside; servers read them as plain text.
    center->add(QStringLiteral("limited:week:<Opus>@0"), QStringLiteral("Week · <Opus> limit reached"),
                QStringLiteral("a <b> & \"c\""));
    ASSERT_TRUE(waitUntil([&] { return server.notices.size() == 1; })) << c.name;
    EXPECT_EQ(server.notices.front().body, c.body) << c.name;
    EXPECT_EQ(server.notices.front().summary, QStringLiteral("Week · <Opus> limit reached")) << c.name;
  }
}

TEST_F(NotificationCenterTest, NoServerMeansNotAuthorized) {
  ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
      QStringLiteral("org.freedesktop.Notifications")));
  auto center = FreedesktopNotificationCenter::create();
  ASSERT_TRUE(center);
  EXPECT_EQ(authorize(*center), false);
}

TEST_F(NotificationCenterTest, AnswerAfterTheCentreIsGoneIsDropped) {
  FakeNotificationServer server({QStringLiteral("body")});
  ASSERT_TRUE(server.started());
  bool answered = false;
  FreedesktopNotificationCenter::create()->requestAuthorization([&](bool) { answered = true; });
  // Replies come in order: once a later centre has its answer, the first
  // answer has arrived too.
  bool laterAnswered = false;
  auto later = FreedesktopNotificationCenter::create();
  later->requestAuthorization([&](bool) { laterAnswered = true; });
  ASSERT_TRUE(test::waitUntil([&] { return laterAnswered; }));
  EXPECT_FALSE(answered);
}

TEST(NotificationCenter, NoBusMeansNoCentre) {
  auto nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
  EXPECT_FALSE(nowhere.isConnected());
  EXPECT_EQ(FreedesktopNotificationCenter::create(nowhere), nullptr);
  QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

}  // namespace
}  // namespace ovel

#include "NotificationCenterTest.moc"
