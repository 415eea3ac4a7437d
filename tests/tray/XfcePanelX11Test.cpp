// The application in XFCE's panel, a real StatusNotifierItem host: its items
// register with the panel's watcher, the panel draws their rings, and a click
// on one opens the popover below the panel.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include "AppDelegate.h"
#include "DemoLaunch.h"
#include "platform/PopoverHost.h"
#include "support/TestDesktop.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;
using test::ScopedEnv;
using test::TempDir;

// Where the panel shows pixels of `color`, in screen coordinates.
QRect whereColored(const QImage& shot, const QColor& color) {
  QRect found;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      QColor pixel = shot.pixelColor(x, y);
      if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green()) +
              std::abs(pixel.blue() - color.blue()) < 24)
        found |= QRect(x, y, 1, 1);
    }
  return found;
}

class XfcePanelX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto missing = test::xfceDesktopMissing()) GTEST_SKIP() << *missing;
  }
  void TearDown() override {
    delegate.reset();
    panel.reset();
  }

  void launch(QColor color, const char* scenario = "at-risk") {
    panel.emplace(color);
    ASSERT_TRUE(panel->ready()) << "xfce4-panel's watcher never came:\n" << panel->log();
    delegate = test::launchDemo(dir, scenario);
    ASSERT_TRUE(static_cast<TrayStatusItem*>(delegate->statusItem())->usesStatusNotifier());
  }

  QImage panelShot(const std::string& name) {
    QRect strip(0, 0, QGuiApplication::primaryScreen()->geometry().width(), test::XfcePanel::kHeight);
    return test::screenshot(strip, name);
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  ScopedEnv desktop{"XDG_CURRENT_DESKTOP", std::nullopt};
  std::optional<test::XfcePanel> panel;
  std::unique_ptr<AppDelegate> delegate;
};

TEST_F(XfcePanelX11Test, ThePanelShowsTheRingsAndAClickOpensThePopover) {
  launch(QColor(0x3c, 0x3c, 0x3c));
  ASSERT_TRUE(test::waitUntil([&] { return delegate->statusItem()->hasButton(); }, 10s)) << "a host is registered";
  // The demo's rings are at risk: orange wherever the panel drew them.
  QRect ring;
  ASSERT_TRUE(test::waitUntil([&] { return (ring = whereColored(panelShot("xfce-dark"), Theme::systemOrange())).width() >= 8; }, 10s));

  ASSERT_TRUE(test::xdotool({"mousemove", std::to_string(ring.center().x()), std::to_string(ring.center().y()),
                             "click", "1"}));
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
        session = whereColored(shot, Theme::systemRed());
        week = whereColored(shot, Theme::systemOrange());
        return session.width() >= 8 && week.width() >= 8 && session.right() < week.left();
      },
      10s))
      << "session ring at " << session.x() << ", week ring at " << week.x();
}

}  // namespace
}  // namespace ovel
