// The windows in the appearance the desktop wants, switched while they are
// open: the popover, the dashboard and the settings window repaint light
// and dark as a settings portal on the private bus says, unless a platform
// theme gives the application a palette of its own.
#include <QApplication>
#include <QStyle>
#include <QWidget>

#include <gtest/gtest.h>

#include "AppDelegate.h"
#include "DemoLaunch.h"
#include "platform/PopoverHost.h"
#include "support/FakeDesktopBus.h"
#include "support/TestDesktop.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

using test::waitUntil;

class WindowAppearanceTest : public ::testing::Test {
 protected:
  void SetUp() override { OVEL_SKIP_WITHOUT(test::busMissing()); }
  void TearDown() override {
    delegate.reset();
    QApplication::setPalette(QApplication::style()->standardPalette());
  }

  // The three windows, open.
  std::vector<QWidget*> openWindows() {
    delegate = test::launchDemo(dir, "watch");
    delegate->openDashboard();
    delegate->openSettings();
    // The popover needs no tray item to open at the cursor.
    delegate->popover()->show(QRect());
    std::vector<QWidget*> windows{delegate->popover()->window(), delegate->dashboardWindow(),
                                  delegate->settingsWindow()};
    for (QWidget* window : windows) EXPECT_TRUE(window && window->isVisible());
    return windows;
  }

  // The colour each window paints its background in, inside its edge.
  static std::vector<QColor> windowColors(const std::vector<QWidget*>& windows) {
    std::vector<QColor> colors;
    for (QWidget* window : windows) colors.push_back(window->grab().toImage().pixelColor(QPoint(3, 3)));
    return colors;
  }

  static bool allOf(const std::vector<QColor>& colors, const QColor& expected) {
    return std::all_of(colors.begin(), colors.end(), [&](const QColor& color) { return color == expected; });
  }

  test::TempDir dir;
  test::ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  test::ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  test::ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "XFCE"};
  std::unique_ptr<AppDelegate> delegate;
};

TEST_F(WindowAppearanceTest, OpenWindowsFollowThePortalLightDarkLight) {
  test::FakePortal portal(static_cast<uint>(DesktopAppearance::ColorScheme::preferLight));
  ASSERT_TRUE(portal.ready());
  std::vector<QWidget*> windows = openWindows();
  const QColor light = Theme::palette(Appearance::light).color(QPalette::Window);
  const QColor dark = Theme::palette(Appearance::dark).color(QPalette::Window);
  std::vector<QColor> colors;
  auto paintedIn = [&](const QColor& expected) {
    return waitUntil([&] { return allOf(colors = windowColors(windows), expected); });
  };
  auto named = [&] {
    std::string names;
    for (const QColor& color : colors) names += color.name().toStdString() + " ";
    return names;
  };
  EXPECT_TRUE(paintedIn(light)) << "popover, dashboard, settings: " << named();
  for (auto [scheme, expected] : {std::pair{DesktopAppearance::ColorScheme::preferDark, dark},
                                  std::pair{DesktopAppearance::ColorScheme::preferLight, light}}) {
    portal.setColorScheme(static_cast<uint>(scheme));
    EXPECT_TRUE(paintedIn(expected)) << "popover, dashboard, settings: " << named();
  }
  EXPECT_TRUE(delegate->popover()->isShown()) << "switched while open";
}

TEST_F(WindowAppearanceTest, APlatformThemesPaletteIsLeftAlone) {
  // As KDE's platform theme gives the application its palette.
  QPalette kde = QApplication::style()->standardPalette();
  kde.setColor(QPalette::Window, QColor(0xef, 0xf0, 0xf1));
  QApplication::setPalette(kde);
  test::FakePortal portal(static_cast<uint>(DesktopAppearance::ColorScheme::preferDark));
  ASSERT_TRUE(portal.ready());
  std::vector<QWidget*> windows = openWindows();
  ASSERT_TRUE(waitUntil([&] { return DesktopAppearance::shared()->appearance() == Appearance::dark; }));
  test::spinFor(std::chrono::milliseconds(100));
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(0xef, 0xf0, 0xf1));
  EXPECT_TRUE(allOf(windowColors(windows), QColor(0xef, 0xf0, 0xf1)));
}

}  // namespace
}  // namespace ovel
