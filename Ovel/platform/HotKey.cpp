#include "platform/HotKey.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "model/Log.h"

namespace ovel {
namespace {

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* x11Connection() {
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

std::vector<xcb_keycode_t> keycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
  std::vector<xcb_keycode_t> codes;
  XcbReply<xcb_keycode_t> list(xcb_key_symbols_get_keycode(symbols, keysym), &std::free);
  for (xcb_keycode_t* code = list.get(); code && *code != XCB_NO_SYMBOL; ++code) codes.push_back(*code);
  return codes;
}

// NumLock sits on whichever modifier the keymap gives it (Mod2 nearly always).
std::uint16_t numLockMask(xcb_connection_t* connection, xcb_key_symbols_t* symbols) {
  auto numLock = keycodesOf(symbols, XK_Num_Lock);
  XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr), &std::free);
  if (!mapping) return XCB_MOD_MASK_2;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
  int perModifier = mapping->keycodes_per_modifier;
  for (int index = 0; index < 8 * perModifier; ++index)
    if (codes[index] != 0 && std::count(numLock.begin(), numLock.end(), codes[index]))
      return static_cast<std::uint16_t>(1u << (index / perModifier));
  return XCB_MOD_MASK_2;
}

}  // namespace

class HotKey::Grab final : public QAbstractNativeEventFilter {
 public:
  Grab(std::uint32_t keysym, std::uint16_t modifiers, std::function<void()> action)
      : modifiers_(modifiers & 0xff), action_(std::move(action)) {
    connection_ = x11Connection();
    if (!connection_) {
      problem_ = Problem::noX11;
      qCDebug(logHotKey) << "no X server: there is no global shortcut";
      return;
    }
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(xcb_key_symbols_alloc(connection_),
                                                                                &xcb_key_symbols_free);
    keycodes_ = keycodesOf(symbols.get(), keysym);
    numLock_ = numLockMask(connection_, symbols.get());
    for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)); screen.rem; xcb_screen_next(&screen))
      roots_.push_back(screen.data->root);
    if (keycodes_.empty()) problem_ = Problem::noSuchKey;
    else if (!grabAll()) problem_ = Problem::heldElsewhere;
    registered_ = problem_ == Problem::none;
    if (registered_) QCoreApplication::instance()->installNativeEventFilter(this);
    else ungrabAll();
    if (problem_ == Problem::noSuchKey) qCWarning(logHotKey) << "the keyboard has no key for the shortcut";
    if (problem_ == Problem::heldElsewhere) qCWarning(logHotKey) << "another program holds the shortcut";
  }

  ~Grab() override {
    // Without the application its X connection is closed, and the server
    // has dropped the grabs with it.
    if (registered_ && x11Connection() == connection_) ungrabAll();
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
  }

  bool isRegistered() const { return registered_; }
  Problem problem() const { return problem_; }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    std::uint8_t type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    auto* key = static_cast<xcb_key_press_event_t*>(message);
    if (std::find(keycodes_.begin(), keycodes_.end(), key->detail) == keycodes_.end()) return false;
    // A held key repeats as a release and a press of the same time, sent
    // together; a real release may go to another window instead, once the
    // action has closed the popover that had the keyboard.
    bool repeat = type == XCB_KEY_PRESS && lastRelease_ == key->time;
    lastRelease_ = type == XCB_KEY_RELEASE ? std::optional<xcb_timestamp_t>(key->time) : std::nullopt;
    // The filter sees every key event of the application, typing included.
    if ((key->state & 0xff & ~(XCB_MOD_MASK_LOCK | numLock_)) != modifiers_) return false;
    if (type == XCB_KEY_RELEASE || repeat) return true;
    auto action = action_;  // the action may destroy this key
    action();
    return true;
  }

 private:
  std::vector<std::uint16_t> variants() const {
    return {modifiers_, static_cast<std::uint16_t>(modifiers_ | XCB_MOD_MASK_LOCK),
            static_cast<std::uint16_t>(modifiers_ | numLock_),
            static_cast<std::uint16_t>(modifiers_ | XCB_MOD_MASK_LOCK | numLock_)};
  }

  // False when the server refused any of them (another client holds one).
  bool grabAll() {
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_window_t root : roots_)
      for (xcb_keycode_t code : keycodes_)
        for (std::uint16_t modifiers : variants())
          cookies.push_back(
              xcb_grab_key_checked(connection_, 1, root, modifiers, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool granted = true;
    for (auto cookie : cookies) {
      XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie), &std::free);
      if (error) granted = false;
    }
    return granted;
  }

  // Ungrabbing touches only this client's grabs, so it is safe after a
  // refusal. It waits for the server, so on return the shortcut is free for
  // other programs.
  void ungrabAll() {
    if (keycodes_.empty()) return;
    xcb_void_cookie_t last{};
    for (xcb_window_t root : roots_)
      for (xcb_keycode_t code : keycodes_)
        for (std::uint16_t modifiers : variants()) last = xcb_ungrab_key_checked(connection_, code, root, modifiers);
    std::free(xcb_request_check(connection_, last));
  }

  std::uint16_t modifiers_;
  std::function<void()> action_;
  xcb_connection_t* connection_ = nullptr;
  std::vector<xcb_window_t> roots_;
  std::vector<xcb_keycode_t> keycodes_;
  std::uint16_t numLock_ = XCB_MOD_MASK_2;
  bool registered_ = false;
  Problem problem_ = Problem::none;
  // The time of the key's release, when that was its last event.
  std::optional<xcb_timestamp_t> lastRelease_;
};

HotKey::HotKey(std::uint32_t keysym, std::uint16_t modifiers, std::function<void()> action)
    : grab_(std::make_unique<Grab>(keysym, modifiers, std::move(action))) {}

HotKey::~HotKey() = default;

bool HotKey::isRegistered() const { return grab_ && grab_->isRegistered(); }

HotKey::Problem HotKey::problem() const { return grab_ ? grab_->problem() : Problem::none; }

void HotKey::unregister() { grab_.reset(); }

}  // namespace ovel
