// At login Ovel may start before the desktop's notification server, and a
// server may restart while Ovel runs: the notices due still arrive, once.
// They carry Ovel's icon, and a click on one brings Ovel up.
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QWidget>

#include <gtest/gtest.h>

#include "AppDelegate.h"
#include "model/Format.h"
#include "model/UsageModel.h"
#include "platform/PopoverHost.h"
#include "support/FakeDesktopBus.h"
#include "support/FakeNotificationServer.h"
#include "support/FakeProgram.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

using test::FakeNotificationServer;
using test::ScopedEnv;
using test::TempDir;

// The real centre, with the answers it gives kept for the test to wait on.
class WatchedCenter final : public NotificationCenter {
 public:
  explicit WatchedCenter(std::unique_ptr<NotificationCenter> center) : center_(std::move(center)) {}
  void requestAuthorization(std::function<void(bool)> answer) override {
    center_->requestAuthorization([this, answer = std::move(answer)](bool granted) {
      answers.push_back(granted);
      answer(granted);
    });
  }
  void add(const QString& id, const QString& title, const QString& body) override { center_->add(id, title, body); }
  void setOpenAction(std::function<void()> open) override { center_->setOpenAction(std::move(open)); }

  std::vector<bool> answers;

 private:
  std::unique_ptr<NotificationCenter> center_;
};

class LateNotificationServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OVEL_SKIP_WITHOUT(test::busMissing());
    Format::setLocale("C");
    answer("Current session: 40% used");
    test::writeScript(dir / "bin/claude", "cat '" + (dir / "answer.json").string() + "'");
  }
  void TearDown() override { Format::setLocale({}); }

  // What the fake claude says to /usage from now on.
  void answer(const std::string& usage) {
    test::writeText(dir / "answer.json", R"({"type":"result","is_error":false,"result":")" + usage + "\"}");
  }

  std::unique_ptr<AppDelegate> launch(const std::function<void(DesktopServices&)>& adjust = {}) {
    DesktopServices services = DesktopServices::standard();
    if (adjust) adjust(services);
    services.makeNotificationCenter = [this, standard = services.makeNotificationCenter] {
      auto center = std::make_unique<WatchedCenter>(standard());
      this->center = center.get();
      return center;
    };
    services.makeDefaults = [] { return std::make_unique<MemoryDefaultsStore>(); };
    services.makeWindowSettings = [this] {
      return std::make_unique<QSettings>(QString::fromStdString((dir / "windows.conf").string()), QSettings::IniFormat);
    };
    auto delegate = std::make_unique<AppDelegate>(
        std::vector<std::string>{"Ovel"}, AppBundle{QStringLiteral("ovel"), dir / "app/Ovel"}, std::move(services));
    delegate->applicationDidFinishLaunching();
    return delegate;
  }

  // Probes at once and waits for the new figures.
  static void probe(UsageModel& model) {
    bool done = false;
    model.probe([&] { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done; }, std::chrono::seconds(20)));
    ASSERT_FALSE(model.lastProbeError()) << *model.lastProbeError();
  }

  // Everything the application sent to the notification server before this
  // call has arrived once it returns: messages from one connection keep
  // their order.
  static void drain() {
    auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetServerInformation"));
    QDBusPendingCallWatcher reply(QDBusConnection::sessionBus().asyncCall(call));
    ASSERT_TRUE(test::waitUntil([&] { return reply.isFinished(); }));
    ASSERT_FALSE(reply.isError()) << reply.error().message().toStdString();
  }

  static std::vector<std::string> titles(const FakeNotificationServer& server) {
    std::vector<std::string> result;
    for (const auto& notice : server.notices) result.push_back(notice.summary.toStdString());
    return result;
  }

  TempDir dir;
  ScopedEnv home{"HOME", dir.path().string()};
  ScopedEnv data{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv claude{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  ScopedEnv path{"PATH", (dir / "bin").string()};
  WatchedCenter* center = nullptr;
};

TEST_F(LateNotificationServerTest, NoticesArriveFromAServerThatStartsLaterOrRestarts) {
  auto delegate = launch();
  UsageModel& model = delegate->model();
  ASSERT_TRUE(test::waitUntil([&] { return !model.assessments().empty(); }, std::chrono::seconds(20)));
  ASSERT_TRUE(test::waitUntil([&] { return !center->answers.empty(); }));
  EXPECT_FALSE(center->answers.front()) << "no notification server at start";

  auto server = std::make_unique<FakeNotificationServer>();
  ASSERT_TRUE(server->started());
  answer("Current session: 100% used");
  probe(model);
  ASSERT_TRUE(test::waitUntil([&] { return !server->notices.empty(); }, std::chrono::seconds(10)));
  probe(model);  // still limited: nothing new to say
  drain();
  EXPECT_EQ(titles(*server), std::vector<std::string>{"Session limit reached"});
  EXPECT_EQ(server->notices.front().body, QString()) << "no reset time";
  EXPECT_EQ(server->notices.front().appName, QStringLiteral("Ovel"));

  // The server goes; the week runs out meanwhile; the server comes back.
  std::size_t answered = center->answers.size();
  server.reset();
  ASSERT_TRUE(test::waitUntil([&] { return center->answers.size() > answered; }));
  EXPECT_FALSE(center->answers.back());
  answer("Current session: 100% used\\nCurrent week (all models): 100% used");
  probe(model);
  server = std::make_unique<FakeNotificationServer>();
  ASSERT_TRUE(server->started());
  ASSERT_TRUE(test::waitUntil([&] { return !server->notices.empty(); }, std::chrono::seconds(10)));
  drain();
  EXPECT_EQ(titles(*server), std::vector<std::string>{"Week limit reached"}) << "the session was announced already";
}

TEST_F(LateNotificationServerTest, ANoticeShowsOvelsIconAndAClickOnItOpensOvel) {
  FakeNotificationServer server({QStringLiteral("body"), QStringLiteral("actions")});
  ASSERT_TRUE(server.started());
  answer("Current session: 100% used");
  struct Row {
    const char* name;
    bool tray;
  } rows[] = {{"with a tray: the popover", true}, {"without: the dashboard", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::optional<test::FakeStatusNotifierHost> host;
    if (row.tray) host.emplace();
    auto delegate = launch([&](DesktopServices& services) {
      if (row.tray) services.makeStatusItem = [] { return std::make_unique<TrayStatusItem>(); };
    });
    if (row.tray) {
      ASSERT_TRUE(test::waitUntil([&] { return delegate->statusItem()->hasButton(); }));
    }
    std::size_t before = server.notices.size();
    ASSERT_TRUE(test::waitUntil([&] { return server.notices.size() > before; }, std::chrono::seconds(20)));
    const test::Notice& notice = server.notices.back();
    EXPECT_EQ(notice.summary, QStringLiteral("Session limit reached"));
    EXPECT_EQ(notice.icon, QStringLiteral("ovel"));
    EXPECT_TRUE(notice.hints.contains(QStringLiteral("image-data"))) << "the icon itself, for a theme without it";
    EXPECT_TRUE(notice.actions.contains(QStringLiteral("default")));

    server.click(static_cast<uint>(server.notices.size()));
    auto opened = [&] {
      if (row.tray) return delegate->popover()->isShown();
      return delegate->dashboardWindow() && delegate->dashboardWindow()->isVisible();
    };
    EXPECT_TRUE(test::waitUntil(opened));
  }
}

}  // namespace
}  // namespace ovel
