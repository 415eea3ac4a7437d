// The global shortcut, on a private Xvfb display with keys sent by xdotool.
#include "platform/HotKey.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QLabel>

#include <cstdlib>
#include <memory>

#include "platform/PopoverHost.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;
using test::xdotool;

constexpr std::uint16_t kCtrlAlt = HotKey::kControl | HotKey::kAlt;
constexpr std::uint16_t kLockStates[] = {0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};

// A second X client: it tries to take the same shortcut and reads the
// keyboard's lock state.
class OtherClient {
 public:
  OtherClient() : connection_(xcb_connect(test::testDesktop().display->c_str(), nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    auto* symbols = xcb_key_symbols_alloc(connection_);
    keycode_ = keycodeOf(symbols, XK_p);
    otherKeycode_ = keycodeOf(symbols, XK_o);
    xcb_key_symbols_free(symbols);
  }
  ~OtherClient() { xcb_disconnect(connection_); }

  xcb_keycode_t keycodeP() const { return keycode_; }
  xcb_keycode_t keycodeO() const { return otherKeycode_; }

  // Ctrl+Alt+P with or without `extra`; false when another client holds it.
  bool grab(std::uint16_t extra = 0) {
    auto cookie = xcb_grab_key_checked(connection_, 1, root_, kCtrlAlt | extra, keycode_, XCB_GRAB_MODE_ASYNC,
                                       XCB_GRAB_MODE_ASYNC);
    std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(xcb_request_check(connection_, cookie),
                                                                     &std::free);
    return !error;
  }
  // Waits for the server, so that a grab by another client made next is
  // judged after it.
  void ungrab(std::uint16_t extra = 0) {
    std::free(xcb_request_check(connection_, xcb_ungrab_key_checked(connection_, keycode_, root_, kCtrlAlt | extra)));
  }
  // With every lock state; false when any of them is held elsewhere.
  bool grabAllLockStates() {
    bool all = true;
    for (std::uint16_t lock : kLockStates) all &= grab(lock);
    for (std::uint16_t lock : kLockStates) ungrab(lock);
    return all;
  }

  // Maps a window of its own and gives it the keyboard focus, as another
  // program in front would have it.
  void takeFocus() {
    xcb_window_t window = xcb_generate_id(connection_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 400, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    xcb_map_window(connection_, window);
    std::free(xcb_request_check(
        connection_, xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME)));
  }

  std::uint16_t modifierState() {
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr), &std::free);
    return reply ? reply->mask : 0;
  }

 private:
  static xcb_keycode_t keycodeOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(xcb_key_symbols_get_keycode(symbols, keysym),
                                                               &std::free);
    return codes ? codes.get()[0] : 0;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
  xcb_keycode_t keycode_ = 0;
  xcb_keycode_t otherKeycode_ = 0;
};

class HotKeyX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    OVEL_SKIP_WITHOUT(test::displayMissing());
    OVEL_SKIP_WITHOUT(test::programMissing("xdotool"));
    other.emplace();
  }

  // Presses the real shortcut, as the user would, and waits for the action.
  bool pressShortcut() {
    int before = presses;
    return xdotool({"key", "ctrl+alt+p"}) && waitUntil([&] { return presses > before; });
  }

  // Key events reach us in order: once a later shortcut's action has run,
  // every event sent before it has been handled.
  void settle() {
    bool arrived = false;
    HotKey sentinel('k', kCtrlAlt, [&arrived] { arrived = true; });
    ASSERT_TRUE(sentinel.isRegistered());
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+k"}));
    ASSERT_TRUE(waitUntil([&] { return arrived; }));
  }

  // Hands a made-up key event to the application's native event filters.
  static bool deliver(std::uint8_t type, xcb_keycode_t keycode, std::uint16_t state, xcb_timestamp_t time = 0) {
    xcb_key_press_event_t event{};
    event.response_type = type;
    event.detail = keycode;
    event.state = state;
    event.time = time;
    qintptr result = 0;
    return QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &event, &result);
  }

  // Nothing of ours takes the shortcut any more, and others can have it.
  void expectShortcutReleased() {
    EXPECT_FALSE(deliver(XCB_KEY_PRESS, other->keycodeP(), kCtrlAlt));
    EXPECT_TRUE(other->grabAllLockStates());
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+p"}));
    settle();
    EXPECT_EQ(presses, 0);
  }

  int presses = 0;
  std::function<void()> count = [this] { ++presses; };
  std::optional<OtherClient> other;
};

TEST_F(HotKeyX11Test, ShortcutRunsTheActionOncePerPress) {
  HotKey key('p', kCtrlAlt, count);
  ASSERT_TRUE(key.isRegistered());
  ASSERT_TRUE(pressShortcut());
  ASSERT_TRUE(pressShortcut());
  settle();
  EXPECT_EQ(presses, 2);
}

TEST_F(HotKeyX11Test, LockKeysDoNotDisarmIt) {
  HotKey key('p', kCtrlAlt, count);
  struct Case {
    const char* name;
    std::vector<std::string> locks;
    std::uint16_t mask;
  } cases[] = {
      {"NumLock", {"Num_Lock"}, XCB_MOD_MASK_2},
      {"CapsLock", {"Caps_Lock"}, XCB_MOD_MASK_LOCK},
      {"both", {"Num_Lock", "Caps_Lock"}, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK},
  };
  for (const auto& c : cases) {
    for (const auto& lock : c.locks) ASSERT_TRUE(xdotool({"key", lock})) << c.name;
    EXPECT_EQ(other->modifierState() & c.mask, c.mask) << c.name << " did not lock";
    EXPECT_TRUE(pressShortcut()) << c.name;
    for (const auto& lock : c.locks) ASSERT_TRUE(xdotool({"key", lock})) << c.name;
  }
  EXPECT_EQ(other->modifierState() & (XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK), 0);
}

TEST_F(HotKeyX11Test, TogglesThePopoverWhileThePopoverHasTheKeyboard) {
  // An open popup grabs the keyboard, so the shortcut reaches it as plain typing.
  PopoverHost popover;
  auto* content = new QLabel(QStringLiteral("popover"));
  content->setFixedSize(200, 120);
  popover.setContent(content);
  HotKey key('p', kCtrlAlt, [&] {
    if (popover.isShown()) popover.close();
    else popover.show(QRect(600, 0, 22, 22));
  });
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+p"}));
  ASSERT_TRUE(waitUntil([&] { return popover.isShown(); }));
  ASSERT_TRUE(waitUntil([&] { return QWidget::keyboardGrabber() || popover.window()->isActiveWindow(); }));
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+p"}));
  EXPECT_TRUE(waitUntil([&] { return !popover.isShown(); }));
}

TEST_F(HotKeyX11Test, OtherKeysDoNothing) {
  HotKey key('p', kCtrlAlt, count);
  for (const char* keys : {"ctrl+p", "alt+p", "p", "ctrl+alt+o", "ctrl+alt+shift+p"})
    ASSERT_TRUE(xdotool({"key", keys})) << keys;
  settle();
  EXPECT_EQ(presses, 0);
}

TEST_F(HotKeyX11Test, FilterMatchesKeyAndModifiersOfEveryKeyEvent) {
  // The filter also sees typing in the application's own windows.
  HotKey key('p', kCtrlAlt, count);
  ASSERT_TRUE(key.isRegistered());
  struct Case {
    const char* name;
    xcb_keycode_t keycode;
    std::uint16_t state;
    bool runs;
  } cases[] = {
      {"Ctrl+Alt+P", other->keycodeP(), kCtrlAlt, true},
      {"with NumLock and CapsLock", other->keycodeP(), kCtrlAlt | XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK, true},
      {"with a mouse button held", other->keycodeP(), kCtrlAlt | XCB_KEY_BUT_MASK_BUTTON_1, true},
      {"in a second layout group", other->keycodeP(), kCtrlAlt | 0x2000, true},
      {"Ctrl+P", other->keycodeP(), HotKey::kControl, false},
      {"Ctrl+Alt+Shift+P", other->keycodeP(), kCtrlAlt | HotKey::kShift, false},
      {"Ctrl+Alt+O", other->keycodeO(), kCtrlAlt, false},
  };
  xcb_timestamp_t time = 1000;
  for (const auto& c : cases) {
    int before = presses;
    EXPECT_EQ(deliver(XCB_KEY_PRESS, c.keycode, c.state, time += 100), c.runs) << c.name;
    deliver(XCB_KEY_RELEASE, c.keycode, c.state, time += 100);
    EXPECT_EQ(presses - before, c.runs ? 1 : 0) << c.name;
  }
}

TEST_F(HotKeyX11Test, HeldKeyRepeatingCountsOnce) {
  HotKey key('p', kCtrlAlt, count);
  xcb_keycode_t p = other->keycodeP();
  EXPECT_TRUE(deliver(XCB_KEY_PRESS, p, kCtrlAlt, 1000));
  // The server repeats a held key as a release and a press of one time.
  for (xcb_timestamp_t time : {1660, 1700, 1740}) {
    EXPECT_TRUE(deliver(XCB_KEY_RELEASE, p, kCtrlAlt, time));
    EXPECT_TRUE(deliver(XCB_KEY_PRESS, p, kCtrlAlt, time)) << "the repeat is still ours";
  }
  EXPECT_TRUE(deliver(XCB_KEY_RELEASE, p, kCtrlAlt, 1790));
  EXPECT_EQ(presses, 1);
  deliver(XCB_KEY_PRESS, p, kCtrlAlt, 2300);
  EXPECT_EQ(presses, 2);
  // Its release went to another window: the next press is a press still.
  deliver(XCB_KEY_PRESS, p, kCtrlAlt, 2900);
  EXPECT_EQ(presses, 3);
}

TEST_F(HotKeyX11Test, EveryPressTogglesThePopoverWhileAnotherProgramHasTheFocus) {
  // The press that closes the popover ends the popover's hold on the
  // keyboard: the key's release goes to the other program's window.
  other->takeFocus();
  PopoverHost popover;
  auto* content = new QLabel(QStringLiteral("popover"));
  content->setFixedSize(200, 120);
  popover.setContent(content);
  HotKey key('p', kCtrlAlt, [&] {
    ++presses;
    if (popover.isShown()) popover.close();
    else popover.show(QRect(600, 0, 22, 22));
  });
  for (int press = 1; press <= 6; ++press) {
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+p"}));
    ASSERT_TRUE(waitUntil([&] { return presses == press; })) << "press " << press;
    ASSERT_TRUE(xdotool({"keyup", "ctrl+alt+p"}));
    EXPECT_EQ(popover.isShown(), press % 2 == 1) << "press " << press;
  }
  // Held past the server's repeat delay, a press still toggles once, the
  // one that opens and the one that closes.
  for (int press = 7; press <= 8; ++press) {
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+p"}));
    test::spinFor(1500ms);
    ASSERT_TRUE(xdotool({"keyup", "ctrl+alt+p"}));
    settle();
    EXPECT_EQ(presses, press);
    EXPECT_EQ(popover.isShown(), press == 7);
  }
}

TEST_F(HotKeyX11Test, UnregisterGivesTheShortcutBack) {
  HotKey key('p', kCtrlAlt, count);
  ASSERT_TRUE(key.isRegistered());
  EXPECT_FALSE(other->grab()) << "the grab is real";
  key.unregister();
  key.unregister();
  EXPECT_FALSE(key.isRegistered());
  expectShortcutReleased();
}

TEST_F(HotKeyX11Test, DestroyedKeyLetsGoAndStaysSilent) {
  { HotKey key('p', kCtrlAlt, count); }
  expectShortcutReleased();
}

TEST_F(HotKeyX11Test, ShortcutHeldElsewhereIsNotRegisteredAndLeavesNoGrabs) {
  ASSERT_TRUE(other->grab());
  {
    HotKey key('p', kCtrlAlt, count);
    EXPECT_FALSE(key.isRegistered());
    EXPECT_EQ(key.problem(), HotKey::Problem::heldElsewhere);
    other->ungrab();
    // Its lock variants were granted, then given back after the refusal.
    EXPECT_TRUE(other->grabAllLockStates());
  }
  HotKey later('p', kCtrlAlt, count);
  EXPECT_TRUE(later.isRegistered());
  EXPECT_EQ(later.problem(), HotKey::Problem::none);
}

TEST_F(HotKeyX11Test, AKeyTheKeyboardLacksIsNotRegistered) {
  constexpr std::uint32_t kSnowman = 0x1002603;  // a Unicode keysym no keyboard map has
  HotKey key(kSnowman, kCtrlAlt, count);
  EXPECT_FALSE(key.isRegistered());
  EXPECT_EQ(key.problem(), HotKey::Problem::noSuchKey);
}

TEST(HotKey, WithoutXItExistsAndNeverFires) {
  if (QGuiApplication::platformName() == QLatin1String("xcb"))
    GTEST_SKIP() << "the program runs on X here; this one runs alone under ctest";
  int presses = 0;
  HotKey key('p', kCtrlAlt, [&] { ++presses; });
  EXPECT_FALSE(key.isRegistered());
  EXPECT_EQ(key.problem(), HotKey::Problem::noX11);
  key.unregister();
  key.unregister();
  EXPECT_EQ(presses, 0);
}

}  // namespace
}  // namespace ovel
