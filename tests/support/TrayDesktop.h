// The tray hosts of the tray suite's desktop: tint2 (XEmbed) and XFCE's
// panel (StatusNotifierItem) on the private display and bus of TestDesktop.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Preferences.h"
#include "support/TestDesktop.h"
#include "tray/StatusItem.h"

namespace ovel::test {

// A systray host (tint2) on the test display, stopped when the object goes.
// Its panel is the colour given, or see-through to the black root window.
class TrayHost {
 public:
  explicit TrayHost(std::optional<QColor> panel = std::nullopt);
  // Whether a tray took the selection within a few seconds.
  bool ready() const { return ready_; }
  // What tint2 said, for a failure message.
  std::string log() const;
  // Stops tint2 until resume(), as a desktop too busy to answer would be.
  void pause();
  void resume();

 private:
  TempDir home_;
  std::optional<BackgroundProcess> process_;
  bool ready_ = false;
};

// XFCE's panel on the test display: a window manager (openbox), the settings
// daemon it reads (xfconfd) and a panel along the top or the bottom with
// only its status tray, whose StatusNotifierWatcher runs on the private bus.
// The window manager keeps the panel's strip out of the screen's available
// area. All are stopped when the object goes.
class XfcePanel {
 public:
  enum class Edge { top, bottom };
  explicit XfcePanel(const QColor& panel, Edge edge = Edge::top);
  ~XfcePanel();
  // Whether the panel's watcher took its name within a few seconds.
  bool ready() const { return ready_; }
  static constexpr int kHeight = 30;
  std::string log() const;

 private:
  TempDir home_;
  std::vector<std::unique_ptr<BackgroundProcess>> processes_;
  bool ready_ = false;
};

// What a test with XFCE's panel lacks (Xvfb, xfce4-panel, xfconfd, openbox).
std::optional<std::string> xfceDesktopMissing();

// What a test of the tray on X lacks (Xvfb, tint2, xdotool), or nothing.
std::optional<std::string> trayDesktopMissing();

// Waits until the tray item has docked and its place has stopped moving.
bool waitUntilDocked(const StatusItem& item, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Where `shot` shows pixels of `color`, in the shot's coordinates.
QRect whereColored(const QImage& shot, const QColor& color);

// The items a panel's strip shows: each run of columns that differ clearly
// from the panel's colour, gaps of a pixel or two bridged.
std::vector<QRect> itemsIn(const QImage& strip, const QColor& panel);

// Changes the tray layout to each number of rings (1 to 3) in turn, `apart`
// between one change and the next, and returns after the last. Two rings
// are the session's and the week's, in that order; three add the tightest.
void changeRingCount(Preferences& preferences, const std::vector<int>& counts, std::chrono::milliseconds apart);

// Every property of an interface of an object on the session bus; absent
// when it did not answer.
std::optional<QVariantMap> busProperties(const QString& service, const QString& path, const QString& interface);

// Waits until this program has handled every X event sent to it so far (an
// xdotool click that has returned included), and what they queued: a
// message sent to it after them has come through. For checking that
// something did not happen, without guessing how long it might take.
bool waitForEarlierXEvents();

}  // namespace ovel::test
