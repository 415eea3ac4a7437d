// The application on a private X display with a real tray host: its icon
// docks, a click opens the popover below it, and Ctrl+Alt+P toggles it.
#include <QWidget>

#include <gtest/gtest.h>

#include "AppDelegate.h"
#include "platform/PopoverHost.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;
using test::ScopedEnv;
using test::TempDir;

class TrayX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto missing = test::trayDesktopMissing()) GTEST_SKIP() << *missing;
    tray.emplace();
    ASSERT_TRUE(tray->ready()) << "tint2 offered no systray:\n" << tray->log();
    DesktopServices services = DesktopServices::standard();
    services.makeDefaults = [] { return std::make_unique<MemoryDefaultsStore>(); };
    services.makeWindowSettings = [this] {
      return std::make_unique<QSettings>(QString::fromStdString((dir / "windows.conf").string()),
                                         QSettings::IniFormat);
    };
    delegate = std::make_unique<AppDelegate>(std::vector<std::string>{"Ovel", "--demo", "at-risk"},
                                             AppBundle{QStringLiteral("ovel"), dir / "bin/Ovel"}, std::move(services));
    delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(test::waitUntilDocked(*delegate->statusItem())) << "the icon never docked";
  }
  void TearDown() override {
    delegate.reset();
    tray.reset();
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  std::optional<test::TrayHost> tray;
  std::unique_ptr<AppDelegate> delegate;
};

TEST_F(TrayX11Test, ClickOpensThePopoverAndTheHotKeyClosesIt) {
  QRect anchor = delegate->statusItem()->anchor();
  ASSERT_TRUE(test::xdotool({"mousemove", std::to_string(anchor.center().x()), std::to_string(anchor.center().y()),
                             "click", "1"}));
  ASSERT_TRUE(test::waitUntil([&] { return delegate->popover()->isShown(); }, 5s));
  EXPECT_GE(delegate->popover()->window()->geometry().top(), anchor.bottom());
  ASSERT_TRUE(test::xdotool({"key", "ctrl+alt+p"}));
  EXPECT_TRUE(test::waitUntil([&] { return !delegate->popover()->isShown(); }, 5s));
  ASSERT_TRUE(test::xdotool({"key", "ctrl+alt+p"}));
  EXPECT_TRUE(test::waitUntil([&] { return delegate->popover()->isShown(); }, 5s));
}

}  // namespace
}  // namespace ovel
