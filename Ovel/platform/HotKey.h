// One system-wide keyboard shortcut: whichever window has the focus, the
// key runs an action on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace ovel {

// On X11 (Qt's xcb platform) a passive grab of the key on the root window,
// also taken with NumLock and CapsLock on, so the lock keys never disarm it.
// On any other platform (Wayland, offscreen) it exists and never fires.
class HotKey final {
 public:
  // X11 core modifier bits.
  enum Modifier : std::uint16_t { kShift = 0x01, kControl = 0x04, kAlt = 0x08, kSuper = 0x40 };

  // `keysym` is an X11 keysym; for a Latin letter it is the lowercase
  // letter's code ('p'). Registers at once; see isRegistered().
  HotKey(std::uint32_t keysym, std::uint16_t modifiers, std::function<void()> action);
  // Unregisters: a destroyed key never calls into freed memory.
  ~HotKey();
  HotKey(const HotKey&) = delete;
  HotKey& operator=(const HotKey&) = delete;

  // False without X, when the keyboard has no such key, or when another
  // program holds the shortcut already.
  bool isRegistered() const;

  // Why it is not registered; none while it is, or once unregistered.
  enum class Problem { none, noX11, noSuchKey, heldElsewhere };
  Problem problem() const;

  // Gives the shortcut back. A second call does nothing.
  void unregister();

 private:
  class Grab;
  std::unique_ptr<Grab> grab_;
};

}  // namespace ovel
