// What a user sees of Ovel on an X desktop: window titles without an
// appended name, the application icon, a settings window that cannot be
// minimised and that tells of a shortcut held by another program, a hot key
// that opens the dashboard where no tray is, and a second start that opens
// the running copy's popover.
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QDBusConnectionInterface>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "AppDelegate.h"
#include "core/support/ChildProcess.h"
#include "platform/PopoverHost.h"
#include "platform/RunningInstance.h"
#include "settings/GeneralTab.h"
#include "settings/SettingsView.h"
#include "support/TrayDesktop.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ScopedEnv;
using test::TempDir;

// A connection of the test's own to the test display, to read what the
// window manager would read.
class Display {
 public:
  Display() : connection_(xcb_connect(test::testDesktop().display->c_str(), nullptr)) {}
  ~Display() { xcb_disconnect(connection_); }

  // The property's bytes, empty when the window has none.
  std::string property(xcb_window_t window, const char* name) const {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
        nullptr);
    if (!reply) return {};
    std::string bytes(static_cast<const char*>(xcb_get_property_value(reply)),
                      static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
    return bytes;
  }

  // The top-level windows on screen that belong to process `pid`, and
  // whether each is a popup (override-redirect) rather than a managed window.
  std::vector<bool> shownWindowsOf(pid_t pid) const {
    std::vector<bool> popups;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr);
    if (!tree) return popups;
    xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
      std::string owner = property(children[i], "_NET_WM_PID");
      if (owner.size() != 4 || *reinterpret_cast<const std::uint32_t*>(owner.data()) != static_cast<std::uint32_t>(pid))
        continue;
      xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
          connection_, xcb_get_window_attributes(connection_, children[i]), nullptr);
      if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
        popups.push_back(attributes->override_redirect != 0);
      std::free(attributes);
    }
    std::free(tree);
    return popups;
  }

 private:
  xcb_atom_t atom(const char* name) const {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr);
    xcb_atom_t result = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return result;
  }

  xcb_connection_t* connection_;
};

// _MOTIF_WM_HINTS: flags, functions, decorations, ...
constexpr std::uint32_t kHintsFunctions = 1;
constexpr std::uint32_t kFunctionAll = 1;
constexpr std::uint32_t kFunctionMinimize = 8;
constexpr std::uint32_t kFunctionClose = 32;

class DesktopX11Test : public ::testing::Test {
 protected:
  void SetUp() override { OVEL_SKIP_WITHOUT(test::displayMissing()); }

  // The real desktop services on a demo, launched; settings kept in the test's folder.
  std::unique_ptr<AppDelegate> launchDemo() {
    DesktopServices services = DesktopServices::standard();
    services.makeDefaults = [] { return std::make_unique<MemoryDefaultsStore>(); };
    services.makeWindowSettings = [this] {
      return std::make_unique<QSettings>(QString::fromStdString((dir / "windows.conf").string()), QSettings::IniFormat);
    };
    auto delegate = std::make_unique<AppDelegate>(std::vector<std::string>{"Ovel", "--demo", "comfortable"},
                                                  AppBundle{QStringLiteral("ovel"), dir / "bin/Ovel"},
                                                  std::move(services));
    delegate->applicationDidFinishLaunching();
    return delegate;
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
};

TEST_F(DesktopX11Test, WindowsHaveTheirOwnTitlesTheIconAndTheirButtons) {
  AppDelegate::identifyApplication();
  auto delegate = launchDemo();
  delegate->openSettings();
  delegate->openDashboard();

  Display display;
  struct Case {
    QWidget* window;
    const char* title;
    bool minimizable;
  } cases[] = {{delegate->settingsWindow(), "Ovel Settings", false}, {delegate->dashboardWindow(), "Ovel", true}};
  for (const auto& c : cases) {
    ASSERT_NE(c.window, nullptr) << c.title;
    auto id = static_cast<xcb_window_t>(c.window->winId());
    ASSERT_TRUE(test::waitUntil([&] { return !display.property(id, "_NET_WM_NAME").empty(); })) << c.title;
    EXPECT_EQ(display.property(id, "_NET_WM_NAME"), c.title);
    EXPECT_FALSE(display.property(id, "_NET_WM_ICON").empty()) << c.title << " has the application icon";

    std::string hints = display.property(id, "_MOTIF_WM_HINTS");
    std::uint32_t words[5] = {};
    std::memcpy(words, hints.data(), std::min(hints.size(), sizeof words));
    bool listed = words[0] & kHintsFunctions;
    // With "all" set, the listed functions are the ones taken away.
    auto offers = [&](std::uint32_t function) {
      return !listed || ((words[1] & kFunctionAll) != 0) != ((words[1] & function) != 0);
    };
    EXPECT_EQ(offers(kFunctionMinimize), c.minimizable) << c.title;
    EXPECT_TRUE(offers(kFunctionClose)) << c.title;
  }
}

TEST_F(DesktopX11Test, SettingsSayWhenAnotherProgramHoldsTheShortcut) {
  // Another X client takes Ctrl+Alt+P first, as a desktop's own binding would.
  xcb_connection_t* other = xcb_connect(test::testDesktop().display->c_str(), nullptr);
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
  xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, XK_p);
  ASSERT_TRUE(codes && codes[0] != XCB_NO_SYMBOL);
  const xcb_keycode_t p = codes[0];
  std::free(codes);
  xcb_key_symbols_free(symbols);
  const std::uint16_t ctrlAlt = HotKey::kControl | HotKey::kAlt;

  for (bool held : {true, false}) {
    SCOPED_TRACE(held ? "held elsewhere" : "free");
    if (held)
      std::free(xcb_request_check(
          other, xcb_grab_key_checked(other, 1, root, ctrlAlt, p, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    else std::free(xcb_request_check(other, xcb_ungrab_key_checked(other, p, root, ctrlAlt)));
    auto delegate = launchDemo();
    delegate->openSettings();
    auto* settings = dynamic_cast<SettingsView*>(delegate->settingsWindow());
    ASSERT_NE(settings, nullptr);
    TextView* problem = settings->general()->hotKeyProblemView();
    EXPECT_EQ(problem->isVisibleTo(settings), held);
    EXPECT_EQ(problem->text().toStdString(),
              held ? "Ctrl+Alt+P is in use by another program, so it can't open Ovel." : "");
  }
  xcb_disconnect(other);
}

TEST_F(DesktopX11Test, WithoutATrayTheHotKeyOpensTheDashboard) {
  OVEL_SKIP_WITHOUT(test::programMissing("xdotool"));
  // No panel runs on this display: there is nothing to click.
  auto delegate = launchDemo();
  ASSERT_FALSE(delegate->statusItem()->hasButton());
  ASSERT_TRUE(test::xdotool({"key", "ctrl+alt+p"}));
  EXPECT_TRUE(test::waitUntil([&] { return delegate->dashboardWindow() && delegate->dashboardWindow()->isVisible(); }));
  EXPECT_FALSE(delegate->popover()->isShown());
}

TEST_F(DesktopX11Test, ASecondStartOpensTheRunningCopysPopover) {
  OVEL_SKIP_WITHOUT(test::trayDesktopMissing());
  OVEL_SKIP_WITHOUT(test::busMissing());
  test::TrayHost tray;
  ASSERT_TRUE(tray.ready()) << "tint2 offered no systray:\n" << tray.log();
  std::vector<std::string> environment{"OVEL_HOME=" + (dir / "data").string(), "HOME=" + dir.path().string(),
                                       "CLAUDE_CONFIG_DIR=" + (dir / "claude").string(),
                                       "XDG_CONFIG_HOME=" + (dir / "config").string(), "QT_QPA_PLATFORM=xcb"};
  test::BackgroundProcess first({OVEL_APP_PATH}, false, environment);
  ASSERT_TRUE(first.started());
  QString name = RunningInstance::serviceName(dir / "data");
  ASSERT_TRUE(test::waitUntil(
      [&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value(); }, 20s));
  Display display;
  EXPECT_EQ(display.shownWindowsOf(first.pid()), std::vector<bool>{}) << "nothing open but the tray icon";

  test::BackgroundProcess second({OVEL_APP_PATH}, false, environment);
  EXPECT_EQ(second.wait(20s), 0);
  EXPECT_TRUE(test::waitUntil([&] { return display.shownWindowsOf(first.pid()) == std::vector<bool>{true}; }, 10s))
      << "the popover, and nothing else, came up";
  first.stop();
}

}  // namespace
}  // namespace ovel
