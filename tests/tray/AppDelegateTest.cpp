#include "AppDelegate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

#include "core/engine/OvelPaths.h"
#include "model/Format.h"
#include "model/UsageModel.h"
#include "platform/PopoverHost.h"
#include "support/FakeProgram.h"
#include "support/TestDesktop.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;
using test::ScopedEnv;
using test::TempDir;

class FakeStatusItem final : public StatusItem {
 public:
  bool hasButton() const override { return button; }
  void setItems(std::vector<StatusItemContent> items) override {
    ++images;
    last = std::move(items);
  }
  void setMenuActions(std::vector<MenuAction> actions) override { menu = std::move(actions); }
  QRect anchor() const override { return {200, 0, 22, 22}; }
  PanelTone panelTone() const override { return tone; }
  void setToolTipsShown(bool shown) override { toolTipsShown = shown; }

  int images = 0;
  // False while no host shows the items.
  bool button = true;
  bool toolTipsShown = true;
  std::vector<StatusItemContent> last;
  std::vector<MenuAction> menu;
  PanelTone tone = PanelTone::light;
};

class FakeCenter final : public NotificationCenter {
 public:
  void requestAuthorization(std::function<void(bool)> answer) override { answer(true); }
  void add(const QString& id, const QString&, const QString&) override { posted.push_back(id); }
  void setOpenAction(std::function<void()> action) override { open = std::move(action); }
  std::vector<QString> posted;
  std::function<void()> open;
};

// What the fakes saw, in the order things happened.
struct Recorder {
  std::vector<std::string> events;
  FakeStatusItem* statusItem = nullptr;
  FakeCenter* center = nullptr;
  std::function<void()> hotKeyAction;
  std::function<void()> wake;
};

DesktopServices fakeServices(Recorder& recorder) {
  DesktopServices services = DesktopServices::standard();
  services.makeStatusItem = [&recorder] {
    recorder.events.push_back("status item");
    auto item = std::make_unique<FakeStatusItem>();
    recorder.statusItem = item.get();
    return item;
  };
  services.makeNotificationCenter = [&recorder] {
    auto center = std::make_unique<FakeCenter>();
    recorder.center = center.get();
    return center;
  };
  services.makeLoginItem = [](const AppBundle&) { return nullptr; };
  services.watchWake = [&recorder](std::function<void()> onWake) {
    recorder.events.push_back("wake");
    recorder.wake = std::move(onWake);
    return std::make_unique<QObject>();
  };
  services.registerHotKey = [&recorder](std::function<void()> action) {
    recorder.events.push_back("hot key");
    recorder.hotKeyAction = std::move(action);
    return std::unique_ptr<HotKey>();
  };
  services.makeDefaults = [] { return std::make_unique<MemoryDefaultsStore>(); };
  return services;
}

class AppDelegateTest : public ::testing::Test {
 protected:
  std::unique_ptr<AppDelegate> launch(std::vector<std::string> arguments,
                                      const std::function<void(DesktopServices&)>& adjust = {},
                                      const std::function<void(AppDelegate&)>& beforeLaunch = {}) {
    arguments.insert(arguments.begin(), "Ovel");
    DesktopServices services = fakeServices(recorder);
    if (adjust) adjust(services);
    services.makeWindowSettings = [this] {
      return std::make_unique<QSettings>(QString::fromStdString((dir / "windows.conf").string()), QSettings::IniFormat);
    };
    auto delegate = std::make_unique<AppDelegate>(arguments, AppBundle{QStringLiteral("ovel"), dir / "bin/Ovel"},
                                                  std::move(services));
    if (beforeLaunch) beforeLaunch(*delegate);
    delegate->applicationDidFinishLaunching();
    return delegate;
  }

  static bool dashboardShown(const AppDelegate& delegate) {
    return delegate.dashboardWindow() && delegate.dashboardWindow()->isVisible();
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv claude{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  ScopedEnv path{"PATH", (dir / "empty").string()};
  ScopedEnv home2{"HOME", dir.path().string()};
  Recorder recorder;
};

TEST_F(AppDelegateTest, LaunchOrderAndDemoTooltip) {
  auto delegate = launch({"--demo", "at-risk"});
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"status item", "hot key", "wake"}));
  ASSERT_NE(recorder.statusItem, nullptr);
  EXPECT_GE(recorder.statusItem->images, 1);
  ASSERT_EQ(recorder.statusItem->last.size(), 1u) << "the default layout has one ring";
  const StatusItemContent& item = recorder.statusItem->last.front();
  EXPECT_EQ(item.paintIcon(22).size(), QSize(22, 22));
  EXPECT_TRUE(item.toolTipTitle.startsWith(QString::fromUtf8("Ovel \u2014 "))) << item.toolTipTitle.toStdString();
  EXPECT_EQ(recorder.statusItem->menu.size(), 5u);
  UsageModel& model = delegate->model();
  EXPECT_EQ(&model, &delegate->model()) << "built once";
  EXPECT_TRUE(model.isDemo());
  // The demo is at risk, yet a demo never notifies, not even on the grant.
  model.recompute();
  ASSERT_NE(recorder.center, nullptr);
  EXPECT_TRUE(recorder.center->posted.empty());
}

TEST_F(AppDelegateTest, WithoutReadingsTheTooltipIsTheName) {
  auto delegate = launch({});
  EXPECT_EQ(recorder.statusItem->last.front().toolTipTitle, QStringLiteral("Ovel"));
  EXPECT_FALSE(delegate->model().isDemo());
  // No claude on PATH: the first probe fails at once and says so.
  EXPECT_TRUE(test::waitUntil([&] { return delegate->model().lastProbeError().has_value(); }));
}

TEST_F(AppDelegateTest, HotKeyTogglesThePopover) {
  auto delegate = launch({"--demo", "watch"});
  ASSERT_TRUE(recorder.hotKeyAction);
  recorder.hotKeyAction();
  EXPECT_TRUE(delegate->popover()->isShown());
  recorder.hotKeyAction();
  EXPECT_FALSE(delegate->popover()->isShown());
  emit recorder.statusItem->activated(QRect());
  EXPECT_TRUE(delegate->popover()->isShown());
}

TEST_F(AppDelegateTest, WithoutATrayTheHotKeyOpensTheDashboard) {
  struct Row {
    const char* name;
    bool tray;
  } rows[] = {{"no tray at all", false}, {"a tray whose host is away", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto delegate = launch({"--demo", "watch"}, [&](DesktopServices& services) {
      if (!row.tray) services.makeStatusItem = [] { return nullptr; };
    });
    if (recorder.statusItem && row.tray) recorder.statusItem->button = false;
    ASSERT_TRUE(recorder.hotKeyAction) << "the shortcut is taken: it has something to do";
    recorder.hotKeyAction();
    EXPECT_TRUE(dashboardShown(*delegate));
    EXPECT_FALSE(delegate->popover()->isShown());
    recorder = {};
  }
}

TEST_F(AppDelegateTest, ASnapshotRunLeavesTheShortcutToTheRunningCopy) {
  int finished = -1;
  auto delegate = launch({"--demo", "watch", "--snapshot", (dir / "shots").string()}, {}, [&](AppDelegate& delegate) {
    delegate.onSnapshotFinished = [&](int status) { finished = status; };
  });
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"status item", "wake"}));
  ASSERT_TRUE(test::waitUntil([&] { return finished >= 0; }, 20s));
}

TEST_F(AppDelegateTest, TheTooltipsMakeWayForThePopover) {
  auto delegate = launch({"--demo", "watch"});
  for (int round = 0; round < 2; ++round) {
    emit recorder.statusItem->activated(QRect(200, 0, 22, 22));
    ASSERT_TRUE(delegate->popover()->isShown());
    EXPECT_FALSE(recorder.statusItem->toolTipsShown) << "none over the open popover";
    if (round == 0) delegate->popover()->close();
    else delegate->openSettings();
    EXPECT_TRUE(recorder.statusItem->toolTipsShown) << "back once it closed";
  }
}

TEST_F(AppDelegateTest, AClickOnANoticeOpensThePopoverOrWithoutATrayTheDashboard) {
  auto delegate = launch({"--demo", "watch"});
  ASSERT_TRUE(recorder.center && recorder.center->open);
  recorder.center->open();
  EXPECT_TRUE(delegate->popover()->isShown());
  recorder.statusItem->button = false;
  delegate->popover()->close();
  recorder.center->open();
  EXPECT_TRUE(dashboardShown(*delegate));
  EXPECT_FALSE(delegate->popover()->isShown());
}

TEST_F(AppDelegateTest, StartedAgainItShowsThePopover) {
  auto delegate = launch({"--demo", "watch"});
  delegate->reopen();
  EXPECT_TRUE(delegate->popover()->isShown());
  delegate->reopen();
  EXPECT_TRUE(delegate->popover()->isShown()) << "another start does not close it";
  EXPECT_EQ(delegate->dashboardWindow(), nullptr);
}

TEST_F(AppDelegateTest, StartedAgainWithoutATrayItShowsTheDashboard) {
  auto delegate = launch({"--demo", "watch"},
                         [](DesktopServices& services) { services.makeStatusItem = [] { return nullptr; }; });
  delegate->reopen();
  ASSERT_NE(delegate->dashboardWindow(), nullptr);
  EXPECT_TRUE(delegate->dashboardWindow()->isVisible());
  EXPECT_FALSE(delegate->popover()->isShown());
}

TEST_F(AppDelegateTest, PopoverOpensWhole) {
  // A claude that fails once the test lets it, with a message that wraps.
  test::writeScript(
      dir / "empty/claude",
      "while [ ! -e '" + (dir / "go").string() +
          "' ]; do sleep 0.05; done\n"
          "echo 'Not logged in. Please run claude and log in with your account, then try once more.' >&2\n"
          "exit 1");
  auto delegate = launch({});
  ASSERT_TRUE(test::waitUntil([&] { return delegate->model().isProbing(); }));
  delegate->togglePopover();
  ASSERT_TRUE(delegate->popover()->isShown());
  delegate->togglePopover();

  // The failure grows the content while the popover is closed.
  test::writeText(dir / "go", "");
  QWidget* window = delegate->popover()->window();
  auto saysWhy = [&] {
    for (auto* widget : window->findChildren<QWidget*>())
      if (auto* text = dynamic_cast<TextView*>(widget); text && text->text().contains(QStringLiteral("Not logged in")))
        return true;
    return false;
  };
  ASSERT_TRUE(test::waitUntil(saysWhy, 20s));
  delegate->togglePopover();
  auto buttons = window->findChildren<QAbstractButton*>();
  ASSERT_FALSE(buttons.isEmpty());
  for (auto* button : buttons) {
    if (!button->isVisibleTo(window)) continue;  // in a form the popover does not show now
    QRect place(button->mapTo(window, QPoint()), button->size());
    EXPECT_TRUE(window->rect().contains(place)) << button->text().toStdString() << " lies outside the popover";
  }
}

TEST_F(AppDelegateTest, WindowsAreMadeOnceAndHideOnClose) {
  auto delegate = launch({"--demo", "comfortable"});
  delegate->togglePopover();
  delegate->openSettings();
  EXPECT_FALSE(delegate->popover()->isShown());
  QWidget* settings = delegate->settingsWindow();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->windowTitle(), QStringLiteral("Ovel Settings"));
  settings->close();
  delegate->openSettings();
  EXPECT_EQ(delegate->settingsWindow(), settings);
  EXPECT_TRUE(settings->isVisible());

  delegate->openDashboard();
  QWidget* dashboard = delegate->dashboardWindow();
  ASSERT_NE(dashboard, nullptr);
  EXPECT_EQ(dashboard->windowTitle(), QStringLiteral("Ovel"));
  EXPECT_GE(dashboard->minimumWidth(), 720);
  dashboard->close();
  delegate->openDashboard();
  EXPECT_EQ(delegate->dashboardWindow(), dashboard);
}

TEST_F(AppDelegateTest, WatchedPreferencesRedrawEveryTime) {
  auto delegate = launch({"--demo", "comfortable"});
  int before = recorder.statusItem->images;
  delegate->preferences().setGlyphStyle(GlyphStyle::steer);
  ASSERT_TRUE(test::waitUntil([&] { return recorder.statusItem->images > before; }));
  int middle = recorder.statusItem->images;
  delegate->preferences().setGlyphStyle(GlyphStyle::usage);
  EXPECT_TRUE(test::waitUntil([&] { return recorder.statusItem->images > middle; }));
  delegate->preferences().setNotifyReset(false);
  // Redraws are queued in order: once a watched change has redrawn, the
  // unwatched one before it would have too.
  delegate->preferences().setGlyphStyle(GlyphStyle::steer);
  ASSERT_TRUE(test::waitUntil([&] { return recorder.statusItem->images > middle; }));
  EXPECT_EQ(recorder.statusItem->images, middle + 1) << "an unwatched preference redraws nothing";
}

TEST_F(AppDelegateTest, OneTrayItemPerRingWithItsTexts) {
  auto delegate = launch({"--demo", "at-risk"});
  using enum MenuBarItem;
  std::vector<MenuBarEntry> layout = {
      {sessionPercent, true}, {sessionRing, true}, {weekRing, true}, {weekPercent, true}, {tightestRing, false}};
  delegate->preferences().setMenuBarLayout(layout);
  ASSERT_TRUE(test::waitUntil([&] { return recorder.statusItem->last.size() == 2; }));
  UsageModel& model = delegate->model();
  QString session = QString::fromStdString(Format::percent(model.session()->window.usedPercent));
  QString week = QString::fromStdString(Format::percent(model.week()->window.usedPercent));
  const auto& items = recorder.statusItem->last;
  EXPECT_EQ(items[0].label, session) << "a text before the first ring goes with it";
  EXPECT_EQ(items[0].toolTipText, QStringLiteral("Session: ") + session);
  EXPECT_EQ(items[1].label, week);
  EXPECT_EQ(items[1].labelGuide, QStringLiteral("100%"));
  EXPECT_EQ(items[1].toolTipText, QStringLiteral("Week: ") + week);
}

TEST_F(AppDelegateTest, IconsFollowThePanelsTone) {
  auto delegate = launch({"--demo", "comfortable"});
  // The darkest and the lightest pixel of the icon: the ring's own tone is
  // the one furthest from its halo's.
  auto ringTone = [&] {
    QImage icon = recorder.statusItem->last.front().paintIcon(44);
    int darkest = 255, lightest = 0;
    for (int y = 0; y < icon.height(); ++y)
      for (int x = 0; x < icon.width(); ++x) {
        QColor c = icon.pixelColor(x, y);
        if (c.alpha() < 250) continue;
        darkest = std::min(darkest, c.lightness());
        lightest = std::max(lightest, c.lightness());
      }
    return std::pair{darkest, lightest};
  };
  EXPECT_EQ(ringTone().first, 0) << "black marks on a light panel";
  int before = recorder.statusItem->images;
  recorder.statusItem->tone = PanelTone::dark;
  emit recorder.statusItem->panelAppearanceChanged();
  EXPECT_EQ(recorder.statusItem->images, before + 1) << "painted again at once";
  EXPECT_EQ(ringTone().second, 255) << "white marks on a dark panel";
}

TEST_F(AppDelegateTest, AClickOpensThePopoverUnderThatItem) {
  auto delegate = launch({"--demo", "watch"});
  emit recorder.statusItem->activated(QRect(500, 0, 22, 22));
  ASSERT_TRUE(delegate->popover()->isShown());
  QRect frame = delegate->popover()->window()->geometry();
  EXPECT_LE(frame.left(), 511);
  EXPECT_GE(frame.right(), 511);
  EXPECT_GE(frame.top(), 22);
}

TEST_F(AppDelegateTest, WakeRefreshesStaleFigures) {
  auto delegate = launch({});
  ASSERT_TRUE(test::waitUntil([&] { return delegate->model().lastProbeAt().has_value(); }));
  auto first = *delegate->model().lastProbeAt();
  recorder.wake();  // the last probe is seconds old: nothing to do
  EXPECT_FALSE(delegate->model().isProbing()) << "a probe starts at once when one is due";
  EXPECT_EQ(delegate->model().lastProbeAt(), first);
}

}  // namespace
}  // namespace ovel
