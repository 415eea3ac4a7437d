#include "support/TrayDesktop.h"

#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWindow>

#include <cstdlib>
#include <cstring>

namespace ovel::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr), &std::free);
  return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Sees the marker message of waitForEarlierXEvents() come in.
class MarkerFilter final : public QAbstractNativeEventFilter {
 public:
  MarkerFilter(xcb_atom_t type, std::uint32_t serial) : type_(type), serial_(serial) {}
  xcb_atom_t type() const { return type_; }
  bool seen() const { return seen_; }
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") return false;
    if ((static_cast<xcb_generic_event_t*>(message)->response_type & ~0x80) != XCB_CLIENT_MESSAGE) return false;
    auto* client = static_cast<xcb_client_message_event_t*>(message);
    if (client->type != type_ || client->data.data32[0] != serial_) return false;
    seen_ = true;
    return true;
  }

 private:
  xcb_atom_t type_;
  std::uint32_t serial_;
  bool seen_ = false;
};

// tint2 waits up to 15 s for a window manager to announce its desktops;
// announcing one ourselves spares the wait.
void announceDesktops(const std::string& display) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  if (!xcb_connection_has_error(connection)) {
    xcb_atom_t atom = internAtom(connection, "_NET_NUMBER_OF_DESKTOPS");
    std::uint32_t one = 1;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // Checked, so the server has it before tint2 looks.
    if (atom != XCB_ATOM_NONE)
      std::free(xcb_request_check(connection, xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, root, atom,
                                                                          XCB_ATOM_CARDINAL, 32, 1, &one)));
  }
  xcb_disconnect(connection);
}

}  // namespace

TrayHost::TrayHost(std::optional<QColor> panel) {
  auto tint2 = findProgram("tint2");
  if (!tint2 || !testDesktop().display) return;
  announceDesktops(*testDesktop().display);
  fs::path config = home_ / "tint2rc";
  std::string background;
  if (panel)
    background = "rounded = 0\nborder_width = 0\nbackground_color = " + panel->name().toStdString() +
                 " 100\npanel_background_id = 1\n";
  writeText(config, background +
                        "panel_items = S\n"
                        "panel_position = top center horizontal\n"
                        "panel_size = 100% 30\n"
                        "systray_padding = 2 2 2\n"
                        "systray_icon_size = 22\n");
  process_.emplace(
      std::vector<std::string>{tint2->string(), "-c", config.string()}, false,
      std::vector<std::string>{"HOME=" + home_.path().string(), "XDG_CONFIG_HOME=" + (home_ / "config").string()},
      home_ / "tint2.log");
  ready_ = waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10s);
}

std::string TrayHost::log() const { return readText(home_ / "tint2.log"); }

void TrayHost::pause() {
  if (process_) ::kill(process_->pid(), SIGSTOP);
}

void TrayHost::resume() {
  if (process_) ::kill(process_->pid(), SIGCONT);
}

namespace {

// xfconfd lives in a folder named for the architecture.
std::optional<fs::path> findXfconfd() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib", error)) {
    fs::path candidate = entry.path() / "xfce4/xfconf/xfconfd";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// One panel along an edge with only the status tray in it, in the colour
// given.
std::string xfcePanelConfig(const QColor& panel, XfcePanel::Edge edge) {
  auto component = [](double value) { return "<value type=\"double\" value=\"" + std::to_string(value) + "\"/>"; };
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value=")" +
         std::string(edge == XfcePanel::Edge::top ? "p=6" : "p=8") + R"(;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value=")" +
         std::to_string(XfcePanel::kHeight) + R"("/>
      <property name="background-style" type="uint" value="1"/>
      <property name="background-rgba" type="array">)" +
         component(panel.redF()) + component(panel.greenF()) + component(panel.blueF()) + component(1) + R"(</property>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
)";
}

}  // namespace

XfcePanel::XfcePanel(const QColor& panel, Edge edge) {
  if (xfceDesktopMissing()) return;
  announceDesktops(*testDesktop().display);
  writeText(home_ / "config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml", xfcePanelConfig(panel, edge));
  std::vector<std::string> environment = {"HOME=" + home_.path().string(),
                                          "XDG_CONFIG_HOME=" + (home_ / "config").string(),
                                          "XDG_CACHE_HOME=" + (home_ / "cache").string(), "XDG_CURRENT_DESKTOP=XFCE"};
  auto start = [&](const fs::path& program, const std::string& log) {
    processes_.push_back(std::make_unique<BackgroundProcess>(std::vector<std::string>{program.string()}, false,
                                                             environment, home_ / log));
  };
  start(*findProgram("openbox"), "openbox.log");
  start(*findXfconfd(), "xfconfd.log");
  start(*findProgram("xfce4-panel"), "panel.log");
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  ready_ = bus && waitUntil([&] { return bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")); },
                            std::chrono::seconds(15));
}

XfcePanel::~XfcePanel() {
  // The panel first, then what it needs.
  while (!processes_.empty()) processes_.pop_back();
}

std::string XfcePanel::log() const { return readText(home_ / "panel.log") + readText(home_ / "xfconfd.log"); }

std::optional<std::string> xfceDesktopMissing() {
  if (auto missing = displayMissing()) return missing;
  if (auto missing = busMissing()) return missing;
  for (const char* program : {"xfce4-panel", "openbox", "xdotool"})
    if (auto missing = programMissing(program)) return missing;
  if (!findXfconfd()) return "xfconfd is not installed";
  return std::nullopt;
}

std::optional<std::string> trayDesktopMissing() {
  if (auto missing = displayMissing()) return missing;
  for (const char* program : {"tint2", "xdotool"})
    if (auto missing = programMissing(program)) return missing;
  return std::nullopt;
}

bool waitUntilDocked(const StatusItem& item, std::chrono::milliseconds timeout) {
  // Docking moves the icon into the panel; it has settled once its place
  // stays the same for a while.
  QRect last;
  int unchanged = 0;
  return waitUntil(
      [&] {
        QRect now = item.anchor();
        unchanged = !now.isEmpty() && now == last && item.hasButton() ? unchanged + 1 : 0;
        last = now;
        return unchanged >= 10;
      },
      timeout);
}

QRect whereColored(const QImage& shot, const QColor& color) {
  QRect found;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      QColor pixel = shot.pixelColor(x, y);
      if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green()) +
              std::abs(pixel.blue() - color.blue()) <
          24)
        found |= QRect(x, y, 1, 1);
    }
  return found;
}

std::vector<QRect> itemsIn(const QImage& strip, const QColor& panel) {
  constexpr int kBridged = 2;
  constexpr int kNarrowest = 8;
  std::vector<QRect> items;
  QRect run;
  int gap = 0;
  for (int x = 0; x < strip.width(); ++x) {
    QRect column;
    for (int y = 0; y < strip.height(); ++y)
      if (std::abs(strip.pixelColor(x, y).lightness() - panel.lightness()) >= 48) column |= QRect(x, y, 1, 1);
    if (!column.isEmpty()) {
      run |= column;
      gap = 0;
    } else if (!run.isEmpty() && ++gap > kBridged) {
      if (run.width() >= kNarrowest) items.push_back(run);
      run = {};
    }
  }
  if (run.width() >= kNarrowest) items.push_back(run);
  return items;
}

void changeRingCount(Preferences& preferences, const std::vector<int>& counts, std::chrono::milliseconds apart) {
  using enum MenuBarItem;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (i > 0) spinFor(apart);
    int count = counts[i];
    preferences.setMenuBarLayout({{sessionRing, count >= 2}, {weekRing, count >= 2}, {tightestRing, count != 2}});
  }
}

std::optional<QVariantMap> busProperties(const QString& service, const QString& path, const QString& interface) {
  auto call = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("GetAll"));
  call << interface;
  // Our own items answer from this thread: wait with the event loop running.
  QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
  if (!waitUntil([&] { return pending.isFinished(); }) || pending.isError()) return std::nullopt;
  QVariantMap result;
  qvariant_cast<QDBusArgument>(pending.reply().arguments().value(0)) >> result;
  return result;
}

bool waitForEarlierXEvents() {
  if (!testDesktop().display || QGuiApplication::platformName() != QLatin1String("xcb")) return false;
  // A window of this program's own, never shown, to send the marker to.
  static QWindow* target = [] {
    auto* window = new QWindow;
    window->create();
    return window;
  }();
  static std::uint32_t serial = 0;
  xcb_connection_t* other = xcb_connect(testDesktop().display->c_str(), nullptr);
  if (xcb_connection_has_error(other)) {
    xcb_disconnect(other);
    return false;
  }
  MarkerFilter filter(internAtom(other, "OVEL_TEST_MARKER"), ++serial);
  QCoreApplication::instance()->installNativeEventFilter(&filter);
  xcb_client_message_event_t marker{};
  marker.response_type = XCB_CLIENT_MESSAGE;
  marker.format = 32;
  marker.window = static_cast<xcb_window_t>(target->winId());
  marker.type = filter.type();
  marker.data.data32[0] = serial;
  // The server sends it after every event it has sent before; with no
  // mask it goes to the window's own client.
  std::free(xcb_request_check(other, xcb_send_event_checked(other, 0, marker.window, XCB_EVENT_MASK_NO_EVENT,
                                                            reinterpret_cast<const char*>(&marker))));
  xcb_disconnect(other);
  bool seen = waitUntil([&] { return filter.seen(); });
  QCoreApplication::instance()->removeNativeEventFilter(&filter);
  QCoreApplication::sendPostedEvents();
  return seen;
}

}  // namespace ovel::test
