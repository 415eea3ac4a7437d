// The application in XFCE's panel, a real StatusNotifierItem host: its items
// register with the panel's watcher, the panel draws their rings in the
// panel's tone, its menu runs every entry, a click opens the popover beside
// the panel on the small screen of the tests, and when the panel goes an
// XEmbed tray takes the icons.
#include <QAbstractButton>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include "AppDelegate.h"
#include "DemoLaunch.h"
#include "core/support/Time.h"
#include "model/Demo.h"
#include "model/UsageModel.h"
#include "platform/PopoverHost.h"
#include "popover/PopoverView.h"
#include "support/Children.h"
#include "support/FakeDesktopBus.h"
#include "support/TrayDesktop.h"
#include "tray/StatusNotifierItem.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;
using test::ScopedEnv;
using test::TempDir;
using Edge = test::XfcePanel::Edge;
using test::whereColored;

// Where the shot differs clearly from the panel's colour: the tray's items.
QRect whereNotPanel(const QImage& shot, const QColor& panel) {
  QRect found;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (std::abs(shot.pixelColor(x, y).lightness() - panel.lightness()) >= 48) found |= QRect(x, y, 1, 1);
  return found;
}

// The number of 2 x 2 blocks of pixels of at least `lightness`: marks too
// thick to be the one-pixel halo around marks of the other tone.
int thickLightBlocks(const QImage& shot, int lightness) {
  int count = 0;
  for (int y = 0; y + 1 < shot.height(); ++y)
    for (int x = 0; x + 1 < shot.width(); ++x) {
      bool light = true;
      for (QPoint p : {QPoint(x, y), QPoint(x + 1, y), QPoint(x, y + 1), QPoint(x + 1, y + 1)})
        light = light && shot.pixelColor(p).lightness() >= lightness;
      if (light) ++count;
    }
  return count;
}

// The contrast of the shot's pixel that stands furthest from the panel.
double strongestContrast(const QImage& shot, const QColor& panel) {
  double strongest = 1;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      strongest = std::max(strongest, Theme::contrast(shot.pixelColor(x, y), panel));
  return strongest;
}

class XfcePanelX11Test : public ::testing::Test {
 protected:
  void SetUp() override { OVEL_SKIP_WITHOUT(test::xfceDesktopMissing()); }
  void TearDown() override {
    delegate.reset();
    panel.reset();
    tray.reset();
  }

  void startPanel(QColor color, Edge edge = Edge::top) {
    panelColor = color;
    panelEdge = edge;
    panel.emplace(color, edge);
    ASSERT_TRUE(panel->ready()) << "xfce4-panel's watcher never came:\n" << panel->log();
  }

  void launch(QColor color, const char* scenario = "at-risk", Edge edge = Edge::top) {
    startPanel(color, edge);
    delegate = test::launchDemo(dir, scenario);
    ASSERT_TRUE(trayItem().usesStatusNotifier());
  }

  TrayStatusItem& trayItem() { return *static_cast<TrayStatusItem*>(delegate->statusItem()); }

  QRect panelStrip() const {
    QRect screen = QGuiApplication::primaryScreen()->geometry();
    int top = panelEdge == Edge::top ? 0 : screen.height() - test::XfcePanel::kHeight;
    return {0, top, screen.width(), test::XfcePanel::kHeight};
  }

  QImage panelShot(const std::string& name) { return test::screenshot(panelStrip(), name); }

  // Waits until the panel shows an item where it stays, and gives its
  // place on screen.
  QRect shownItem(const std::string& name) {
    QRect item, last;
    int unchanged = 0;
    EXPECT_TRUE(test::waitUntil(
        [&] {
          item = whereNotPanel(panelShot(name), panelColor);
          unchanged = item.width() >= 8 && item.height() >= 8 && item == last ? unchanged + 1 : 0;
          last = item;
          return unchanged >= 5;
        },
        10s))
        << "the panel shows no item, or it keeps moving";
    return item.translated(panelStrip().topLeft());
  }

  static bool click(QPoint at, const char* button = "1") {
    return test::xdotool({"mousemove", std::to_string(at.x()), std::to_string(at.y()), "click", button});
  }

  // Opens the panel's menu of the item at `item` and picks its entry
  // number `entry` (from 0, separators skipped) with the keyboard.
  void pickFromMenu(QRect item, int entry) {
    QRect below = panelEdge == Edge::top ? QRect(item.right() - 200, panelStrip().bottom() + 1, 200, 100)
                                         : QRect(item.right() - 200, panelStrip().top() - 100, 200, 100);
    ASSERT_TRUE(click(item.center(), "3"));
    // The menu is light and large; a tooltip that comes on hovering is neither.
    auto menuShown = [&] {
      QImage shot = test::screenshot(below, "xfce-menu");
      int light = 0;
      for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) light += shot.pixelColor(x, y).lightness() > 200;
      return light * 3 > shot.width() * shot.height();
    };
    ASSERT_TRUE(test::waitUntil(menuShown, 5s)) << "the panel's menu never opened";
    // Keys reach the menu once it has taken the keyboard, a moment after it shows.
    test::spinFor(300ms);
    std::vector<std::string> keys{"key", "--delay", "40"};
    for (int i = 0; i <= entry; ++i) keys.push_back("Down");
    keys.push_back("Return");
    ASSERT_TRUE(test::xdotool(keys));
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  // XFCE states no light or dark preference: the panel's own settings tell.
  ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "XFCE"};
  QColor panelColor;
  Edge panelEdge = Edge::top;
  std::optional<test::XfcePanel> panel;
  std::optional<test::TrayHost> tray;
  std::unique_ptr<AppDelegate> delegate;
};

TEST_F(XfcePanelX11Test, ThePanelShowsTheRingsAndAClickOpensThePopover) {
  launch(QColor(0x3c, 0x3c, 0x3c));
  ASSERT_TRUE(test::waitUntil([&] { return delegate->statusItem()->hasButton(); }, 10s)) << "a host is registered";
  // The demo's rings are at risk: orange wherever the panel drew them, the
  // dark appearance's on this dark panel.
  QRect ring;
  ASSERT_TRUE(test::waitUntil(
      [&] { return (ring = whereColored(panelShot("xfce-dark"), Theme::systemOrange(Appearance::dark))).width() >= 8; },
      10s));

  ASSERT_TRUE(click(ring.center()));
  ASSERT_TRUE(test::waitUntil([&] { return delegate->popover()->isShown(); }, 5s)) << "the host called Activate";
  EXPECT_GE(delegate->popover()->window()->geometry().top(), test::XfcePanel::kHeight) << "below the panel";
  EXPECT_LE(delegate->popover()->window()->geometry().left(), ring.center().x());
  EXPECT_GE(delegate->popover()->window()->geometry().right(), ring.center().x());
}

TEST_F(XfcePanelX11Test, TwoRingsShowAsTwoItemsInOrderOnALightPanel) {
  // The session is at its limit (red), the week at risk (orange).
  launch(QColor(0xf0, 0xf0, 0xf0), "limited");
  using enum MenuBarItem;
  delegate->preferences().setMenuBarLayout(
      {{sessionRing, true}, {sessionPercent, true}, {weekRing, true}, {tightestRing, false}});
  QRect session, week;
  EXPECT_TRUE(test::waitUntil(
      [&] {
        QImage shot = panelShot("xfce-light");
        session = whereColored(shot, Theme::systemRed(Appearance::light));
        week = whereColored(shot, Theme::systemOrange(Appearance::light));
        return session.width() >= 8 && week.width() >= 8 && session.right() < week.left();
      },
      10s))
      << "session ring at " << session.x() << ", week ring at " << week.x();
}

TEST_F(XfcePanelX11Test, QuickLayoutChangesEndWithTheLayoutsItemsOnThePanel) {
  ASSERT_TRUE(test::xdotool({"mousemove", "0", "400"})) << "no hovering over an item";
  launch(QColor(0x3c, 0x3c, 0x3c), "limited");
  shownItem("xfce-churn-start");
  // Rings ticked in the settings a little under half a second apart, then
  // faster still, ending with three.
  test::changeRingCount(delegate->preferences(), {3, 1, 2, 3, 1}, 400ms);
  test::changeRingCount(delegate->preferences(), {2, 3, 1, 2, 1, 3}, 100ms);
  std::size_t shown = 0;
  int steady = 0;
  EXPECT_TRUE(test::waitUntil(
      [&] {
        shown = test::itemsIn(panelShot("xfce-churn"), panelColor).size();
        steady = shown == 3 ? steady + 1 : 0;
        return steady >= 5;
      },
      15s))
      << "the panel shows " << shown << " items";
  // The panel lost track of no item on the way: it asks an item's name or
  // path that is gone, when items come and go faster than it settles.
  EXPECT_EQ(panel->log().find("g_dbus_proxy_new"), std::string::npos) << panel->log();
  // The session's red, the week's orange, then the tightest, which is the
  // session again: in the layout's order.
  QImage strip = panelShot("xfce-churn-three");
  auto items = test::itemsIn(strip, panelColor);
  ASSERT_EQ(items.size(), 3u);
  std::vector<QColor> colors = {Theme::systemRed(Appearance::dark), Theme::systemOrange(Appearance::dark),
                                Theme::systemRed(Appearance::dark)};
  for (std::size_t i = 0; i < items.size(); ++i)
    EXPECT_GE(whereColored(strip.copy(items[i]), colors[i]).width(), 8) << "item " << i;

  // The watcher knows of these three and of no other.
  std::vector<QString> services = trayItem().notifierServices();
  auto watcher = test::busProperties(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                     QStringLiteral("/StatusNotifierWatcher"),
                                     QStringLiteral("org.kde.StatusNotifierWatcher"));
  ASSERT_TRUE(watcher);
  QStringList registered = watcher->value(QStringLiteral("RegisteredStatusNotifierItems")).toStringList();
  QStringList expected;
  for (const QString& service : services) expected << service + QStringLiteral("/StatusNotifierItem");
  registered.sort();
  expected.sort();
  EXPECT_EQ(registered, expected);

  // New figures: the same items show them.
  delegate->model().startDemo(Demo::make(Demo::Scenario::comfortable, systemNow()));
  EXPECT_TRUE(test::waitUntil([&] {
    return whereColored(panelShot("xfce-churn-content"), Theme::systemRed(Appearance::dark)).isEmpty();
  })) << "the limited rings are gone";
  EXPECT_EQ(trayItem().notifierServices(), services);
  EXPECT_TRUE(test::waitUntil([&] { return test::itemsIn(panelShot("xfce-churn-content"), panelColor).size() == 3; }));
}

TEST_F(XfcePanelX11Test, TheTooltipMakesWayForTheOpenPopover) {
  launch(QColor(0x3c, 0x3c, 0x3c), "at-risk");
  QRect item = shownItem("xfce-tooltip-item");
  QString service = trayItem().notifierServices().front();
  // The tooltip as the panel reads it: the item's title where it has none.
  auto toolTip = [&] {
    StatusNotifierToolTip toolTip;
    if (auto properties = test::busProperties(service, QStringLiteral("/StatusNotifierItem"),
                                              QStringLiteral("org.kde.StatusNotifierItem"))) {
      properties->value(QStringLiteral("ToolTip")).value<QDBusArgument>() >> toolTip;
      if (toolTip.title.isEmpty()) toolTip.title = properties->value(QStringLiteral("Title")).toString();
    }
    return toolTip;
  };
  EXPECT_TRUE(toolTip().title.startsWith(QStringLiteral("Ovel \u2014 ")));
  // Hovered long enough for the panel's tooltip to come, then clicked.
  ASSERT_TRUE(test::xdotool({"mousemove", std::to_string(item.center().x()), std::to_string(item.center().y())}));
  test::spinFor(1500ms);
  test::screenshot(QGuiApplication::primaryScreen()->geometry(), "xfce-tooltip-hover");
  ASSERT_TRUE(click(item.center()));
  ASSERT_TRUE(test::waitUntil([&] { return delegate->popover()->isShown(); }, 5s));
  EXPECT_TRUE(test::waitUntil([&] {
    StatusNotifierToolTip shown = toolTip();
    return shown.title.isEmpty() && shown.description.isEmpty();
  })) << "no tooltip over the open popover";
  test::spinFor(1500ms);
  test::screenshot(QGuiApplication::primaryScreen()->geometry(), "xfce-tooltip-popover");
  EXPECT_TRUE(toolTip().title.isEmpty()) << "and none while it stays open";
  // Nothing of the panel's covers the popover: the screen shows what it drew.
  QWidget* window = delegate->popover()->window();
  QImage drawn = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
  QImage onScreen = test::screenshot(window->geometry(), "xfce-tooltip-over").convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(drawn.size(), onScreen.size());
  int covered = 0;
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x) covered += drawn.pixel(x, y) != onScreen.pixel(x, y);
  EXPECT_LT(covered, 100) << "pixels of the popover covered";

  delegate->popover()->close();
  EXPECT_TRUE(test::waitUntil([&] { return toolTip().title.startsWith(QStringLiteral("Ovel \u2014 ")); }))
      << "back once it closed";
}

TEST_F(XfcePanelX11Test, OnADarkPanelUntintedRingsReadLight) {
  // The hard case: nothing tinted, and no preference stated anywhere but in
  // the panel's own settings.
  const QColor dark(0x10, 0x10, 0x10);
  ASSERT_TRUE(test::xdotool({"mousemove", "0", "400"})) << "no hovering over the item";
  launch(dark, "comfortable");
  EXPECT_TRUE(test::waitUntil([&] { return delegate->statusItem()->panelTone() == PanelTone::dark; }))
      << "read from XFCE's panel settings";
  QRect item = shownItem("xfce-darkest");
  QImage shot;
  EXPECT_TRUE(test::waitUntil(
      [&] {
        shot = test::screenshot(item, "xfce-darkest-ring");
        return thickLightBlocks(shot, 200) >= 12;
      },
      5s))
      << "the ring's arc is drawn light, not only a light outline round dark marks";
  EXPECT_GE(strongestContrast(shot, dark), 7.0) << "the arc against the panel";
}

TEST_F(XfcePanelX11Test, ABareRingStandsOffLightAndDarkPanelsWhateverTheWindowsAre) {
  // No reading yet: the rings are bare tracks with the steer-less dash, the
  // faintest there is. The portal prefers the windows the other way round.
  ASSERT_TRUE(test::xdotool({"mousemove", "0", "400"})) << "no hovering over the item";
  // And no claude of this machine's to read from.
  ScopedEnv claude{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  ScopedEnv home{"HOME", dir.path().string()};
  struct Case {
    const char* name;
    QColor panel;
    DesktopAppearance::ColorScheme windows;
    PanelTone tone;
  } cases[] = {
      {"xfce-bare-light", QColor(0xf6, 0xf5, 0xf4), DesktopAppearance::ColorScheme::preferDark, PanelTone::light},
      {"xfce-bare-dark", QColor(0x30, 0x30, 0x30), DesktopAppearance::ColorScheme::preferLight, PanelTone::dark},
  };
  for (const Case& shown : cases) {
    SCOPED_TRACE(shown.name);
    delegate.reset();
    panel.reset();
    test::FakePortal portal(static_cast<uint>(shown.windows));
    ASSERT_TRUE(portal.ready());
    startPanel(shown.panel);
    {
      ScopedEnv path{"PATH", (dir / "empty").string()};
      delegate = test::launchApp(dir, {});
    }
    EXPECT_TRUE(test::waitUntil([&] { return delegate->statusItem()->panelTone() == shown.tone; }))
        << "the panel's own settings, over the portal";
    QRect item = shownItem(shown.name);
    double strongest = 1;
    EXPECT_TRUE(test::waitUntil([&] {
      strongest = strongestContrast(test::screenshot(item, std::string(shown.name) + "-ring"), shown.panel);
      return strongest >= 3.0;
    })) << "the ring stands only "
        << strongest << ":1 off the panel";
  }
}

TEST_F(XfcePanelX11Test, EveryMenuEntryDoesWhatItSays) {
  launch(QColor(0x3c, 0x3c, 0x3c), "watch");
  QRect item = shownItem("xfce-menu-item");
  struct Entry {
    const char* name;
    int index;
    std::function<bool()> done;
    std::function<void()> undo;
  } entries[] = {
      {"Open Ovel", 0, [&] { return delegate->popover()->isShown(); }, [&] { delegate->popover()->close(); }},
      {"Dashboard", 1, [&] { return delegate->dashboardWindow() && delegate->dashboardWindow()->isVisible(); },
       [&] { delegate->dashboardWindow()->close(); }},
      {"Settings", 2, [&] { return delegate->settingsWindow() && delegate->settingsWindow()->isVisible(); },
       [&] { delegate->settingsWindow()->close(); }},
  };
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.name);
    pickFromMenu(item, entry.index);
    EXPECT_TRUE(test::waitUntil(entry.done, 5s));
    entry.undo();
    test::spinFor(200ms);
  }
}

TEST_F(XfcePanelX11Test, QuitFromThePanelsMenuEndsTheProgramWithStatusZero) {
  startPanel(QColor(0x3c, 0x3c, 0x3c));
  test::BackgroundProcess ovel({OVEL_APP_PATH, "--demo", "watch"}, false,
                               {"OVEL_HOME=" + (dir / "data").string(), "HOME=" + dir.path().string(),
                                "CLAUDE_CONFIG_DIR=" + (dir / "claude").string(),
                                "XDG_CONFIG_HOME=" + (dir / "config").string(), "QT_QPA_PLATFORM=xcb"},
                               dir / "ovel.log");
  ASSERT_TRUE(ovel.started());
  QRect item = shownItem("xfce-quit-item");
  pickFromMenu(item, 3);
  EXPECT_EQ(ovel.wait(10s), 0) << test::readText(dir / "ovel.log");
}

TEST_F(XfcePanelX11Test, ThePopoverFitsBesideATopAndABottomPanel) {
  for (Edge edge : {Edge::top, Edge::bottom}) {
    SCOPED_TRACE(edge == Edge::top ? "top panel" : "bottom panel");
    delegate.reset();
    panel.reset();
    // The breakdown is open (the default): the popover is taller than the screen.
    launch(QColor(0x3c, 0x3c, 0x3c), "at-risk", edge);
    QRect item = shownItem(edge == Edge::top ? "xfce-top" : "xfce-bottom");
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(test::waitUntil([&] { return screen->availableGeometry().height() < screen->geometry().height(); }))
        << "the window manager keeps the panel out of the available area";
    QRect available = screen->availableGeometry();

    ASSERT_TRUE(click(item.center()));
    QWidget* window = delegate->popover()->window();
    ASSERT_TRUE(test::waitUntil([&] { return delegate->popover()->isShown(); }, 5s));
    test::spinFor(300ms);
    test::screenshot(screen->geometry(), edge == Edge::top ? "xfce-popover-top" : "xfce-popover-bottom");
    EXPECT_TRUE(available.contains(window->geometry()))
        << "popover at " << window->geometry().y() << "+" << window->height() << ", free " << available.y() << "+"
        << available.height();
    auto* view = test::childrenOf<PopoverView>(*window).front();
    for (auto* button : test::childrenOf<QAbstractButton>(*view->footer())) {
      if (!button->isVisibleTo(window)) continue;
      QRect place(button->mapToGlobal(QPoint()), button->size());
      EXPECT_TRUE(available.contains(place)) << button->toolTip().toStdString() << " is out of reach";
    }
    delegate->popover()->close();
  }
}

TEST_F(XfcePanelX11Test, WhenThePanelGoesAnXEmbedTrayTakesTheIconsAndBack) {
  OVEL_SKIP_WITHOUT(test::trayDesktopMissing());
  launch(QColor(0x3c, 0x3c, 0x3c), "comfortable");
  ASSERT_TRUE(test::waitUntil([&] { return delegate->statusItem()->hasButton(); }, 10s));

  panel.reset();
  tray.emplace(Qt::black);
  ASSERT_TRUE(tray->ready()) << tray->log();
  EXPECT_TRUE(test::waitUntil([&] { return !trayItem().usesStatusNotifier(); }, 15s)) << "the icons moved";
  ASSERT_TRUE(test::waitUntilDocked(trayItem())) << "and docked in tint2";
  QRect icon = trayItem().anchor();
  EXPECT_TRUE(test::waitUntil([&] { return thickLightBlocks(test::screenshot(icon, "handover-tint2"), 200) >= 12; }))
      << "a ring shows there";

  tray.reset();
  startPanel(QColor(0x3c, 0x3c, 0x3c));
  EXPECT_TRUE(test::waitUntil([&] { return trayItem().usesStatusNotifier(); }, 10s)) << "and back to a watcher";
  shownItem("handover-back");
}

}  // namespace
}  // namespace ovel
