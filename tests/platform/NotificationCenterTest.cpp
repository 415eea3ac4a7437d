// Notices over D-Bus, against a notification server of the test's own on the
// private session bus.
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QImage>
#include <QThread>

#include <memory>
#include <tuple>
#include <vector>

#include "support/FakeNotificationServer.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

using test::FakeNotificationServer;
using test::Notice;
using test::waitUntil;

class NotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override { OVEL_SKIP_WITHOUT(test::busMissing()); }

  // Asks and waits for the first answer.
  static std::optional<bool> authorize(NotificationCenter& center) {
    auto answers = std::make_shared<std::vector<bool>>();
    center.requestAuthorization([answers](bool granted) {
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
      answers->push_back(granted);
    });
    waitUntil([&] { return !answers->empty(); });
    return answers->empty() ? std::nullopt : std::optional<bool>(answers->front());
  }
};

TEST_F(NotificationCenterTest, AuthorizedByAnAnsweringServerThenPosts) {
  FakeNotificationServer server({QStringLiteral("body"), QStringLiteral("body-markup"), QStringLiteral("sound")});
  ASSERT_TRUE(server.started());
  QImage icon(48, 48, QImage::Format_ARGB32);
  icon.fill(QColor(0x12, 0x9e, 0x80));
  auto center = FreedesktopNotificationCenter::create(QDBusConnection::sessionBus(), QStringLiteral("ovel"), icon);
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
  EXPECT_EQ(notice.icon, QStringLiteral("ovel")) << "the installed icon's name";
  EXPECT_EQ(notice.actions, QStringList({"default", "Open Ovel"})) << "a click on the notice is its default action";
  EXPECT_EQ(notice.hints.value(QStringLiteral("sound-name")).toString(), QStringLiteral("message-new-instant"));
  EXPECT_EQ(notice.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("ovel"));
  EXPECT_EQ(notice.timeout, -1);

  // The icon itself, for a server whose theme lacks it: (iiibiiay).
  const auto image = notice.hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
  EXPECT_EQ(image.currentSignature(), QStringLiteral("(iiibiiay)"));
  int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
  bool alpha = false;
  QByteArray bytes;
  image.beginStructure();
  image >> width >> height >> stride >> alpha >> bits >> channels >> bytes;
  image.endStructure();
  EXPECT_EQ(std::tuple(width, height, stride, alpha, bits, channels), std::tuple(48, 48, 48 * 4, true, 8, 4));
  ASSERT_EQ(bytes.size(), 48 * 48 * 4);
  EXPECT_EQ(QColor(static_cast<uchar>(bytes[0]), static_cast<uchar>(bytes[1]), static_cast<uchar>(bytes[2])),
            QColor(0x12, 0x9e, 0x80))
      << "red, green, blue, alpha";
}

TEST_F(NotificationCenterTest, AClickOnANoticeOpensOvelOnce) {
  FakeNotificationServer server({QStringLiteral("body"), QStringLiteral("actions")});
  ASSERT_TRUE(server.started());
  auto center = FreedesktopNotificationCenter::create();
  int opened = 0;
  center->setOpenAction([&] { ++opened; });
  ASSERT_EQ(authorize(*center), true);
  for (const char* title : {"Session limit reached", "Week limit reached", "Session reset"})
    center->add(QStringLiteral("limited:x@0"), QLatin1String(title), QString());
  ASSERT_TRUE(waitUntil([&] { return server.notices.size() == 3; }));
  // The server numbers them from 1; the centre learns that from its answers.
  auto clicked = [&](uint id, const QString& action, int expected) {
    server.click(id, action);
    return waitUntil([&] { return opened == expected; });
  };
  EXPECT_TRUE(clicked(2, QStringLiteral("default"), 1));
  // Another action, a notice of another program's, one closed already.
  server.click(3, QStringLiteral("snooze"));
  server.click(7, QStringLiteral("default"));
  server.click(2, QStringLiteral("default"));
  EXPECT_TRUE(clicked(1, QStringLiteral("default"), 2));
  // The server's answer comes after every signal it sent before.
  auto call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetServerInformation"));
  QDBusPendingCall answered = QDBusConnection::sessionBus().asyncCall(call);
  ASSERT_TRUE(waitUntil([&] { return answered.isFinished(); }));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(opened, 2) << "the other clicks did nothing";
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
  ASSERT_FALSE(
      QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")));
  auto center = FreedesktopNotificationCenter::create();
  ASSERT_TRUE(center);
  EXPECT_EQ(authorize(*center), false);
}

TEST_F(NotificationCenterTest, AServerThatStartsLaterOrComesBackIsAskedAgain) {
  auto center = FreedesktopNotificationCenter::create();
  std::vector<bool> answers;
  center->requestAuthorization([&](bool granted) { answers.push_back(granted); });
  ASSERT_TRUE(waitUntil([&] { return answers.size() == 1; }));
  EXPECT_FALSE(answers.back()) << "no server yet";

  auto server = std::make_unique<FakeNotificationServer>(QStringList{QStringLiteral("body")});
  ASSERT_TRUE(server->started());
  ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
  EXPECT_TRUE(answers.back()) << "the server that came later";

  server.reset();
  ASSERT_TRUE(waitUntil([&] { return answers.size() == 3; }));
  EXPECT_FALSE(answers.back()) << "the server left";

  server = std::make_unique<FakeNotificationServer>(QStringList{QStringLiteral("body")});
  ASSERT_TRUE(waitUntil([&] { return answers.size() == 4; }));
  EXPECT_TRUE(answers.back()) << "the server came back";
  center->add(QStringLiteral("limited:session@0"), QStringLiteral("Session limit reached"), QString());
  ASSERT_TRUE(waitUntil([&] { return server->notices.size() == 1; }));
  EXPECT_EQ(server->notices.front().summary, QStringLiteral("Session limit reached"));
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
