#include "support/TestDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>

#include "core/support/ChildProcess.h"

extern char** environ;

namespace ovel::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::optional<fs::path> findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string directories = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= directories.size();) {
    std::size_t end = directories.find(':', start);
    if (end == std::string::npos) end = directories.size();
    fs::path candidate = fs::path(directories.substr(start, end - start)) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

BackgroundProcess::BackgroundProcess(std::vector<std::string> argv, bool reportPipe,
                                     std::vector<std::string> extraEnvironment, const fs::path& log) {
  // Everything the child needs is built before fork: after it, in a process
  // with threads, only async-signal-safe calls are allowed.
  std::vector<char*> arguments;
  for (auto& argument : argv) arguments.push_back(argument.data());
  arguments.push_back(nullptr);
  auto nameOf = [](std::string_view variable) { return variable.substr(0, variable.find('=')); };
  std::vector<std::string> environment = extraEnvironment;
  for (char** entry = environ; *entry; ++entry) {
    bool overridden = std::any_of(extraEnvironment.begin(), extraEnvironment.end(),
                                  [&](const std::string& extra) { return nameOf(extra) == nameOf(*entry); });
    if (!overridden) environment.emplace_back(*entry);
  }
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int pipeEnds[2] = {-1, -1};
  if (reportPipe && ::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(::open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::dup2(output, 1);
    ::dup2(output, 2);
    // dup2 clears close-on-exec, except when the descriptor is 3 already.
    if (reportPipe && pipeEnds[1] == 3) ::fcntl(3, F_SETFD, 0);
    else if (reportPipe) ::dup2(pipeEnds[1], 3);
    ::execve(arguments[0], arguments.data(), envp.data());
    ::_exit(127);
  }
  if (reportPipe) {
    ::close(pipeEnds[1]);
    report_ = pipeEnds[0];
  }
}

BackgroundProcess::~BackgroundProcess() {
  stop();
  if (report_ >= 0) ::close(report_);
}

std::optional<std::string> BackgroundProcess::readLine(std::chrono::milliseconds timeout) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (report_ >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd entry{report_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char c;
    if (::read(report_, &c, 1) != 1) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
  return std::nullopt;
}

int BackgroundProcess::wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void BackgroundProcess::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  wait(2s);
}

void BackgroundProcess::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  wait(2s);
}

namespace {

TestDesktop desktop;

bool needsX11() {
  auto* tests = ::testing::UnitTest::GetInstance();
  for (int i = 0; i < tests->total_test_suite_count(); ++i) {
    const auto* suite = tests->GetTestSuite(i);
    if (suite->test_to_run_count() > 0 && std::string_view(suite->name()).ends_with("X11Test")) return true;
  }
  return false;
}

// tint2 waits up to 15 s for a window manager to announce its desktops;
// announcing one ourselves spares the wait.
void announceDesktops(const std::string& display) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  if (!xcb_connection_has_error(connection)) {
    const char* name = "_NET_NUMBER_OF_DESKTOPS";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr),
        &std::free);
    std::uint32_t one = 1;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // Checked, so the server has it before tint2 looks.
    if (atom)
      std::free(xcb_request_check(connection, xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, root,
                                                                          atom->atom, XCB_ATOM_CARDINAL, 32, 1, &one)));
  }
  xcb_disconnect(connection);
}

// A session bus that starts no services: no notification daemon or other
// program of this machine joins in.
constexpr const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

class DesktopEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    // Never the user's bus: a broken address when we cannot start our own.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ovel-test-bus", 1);
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (auto daemon = findProgram("dbus-daemon")) {
      fs::path config = files_ / "session-bus.conf";
      writeText(config, kBusConfig);
      bus_.emplace(std::vector<std::string>{daemon->string(), "--config-file=" + config.string(), "--nofork",
                                            "--nopidfile", "--print-address=3"},
                   true);
      if (auto address = bus_->readLine()) {
        desktop.busAddress = *address;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
      }
    }
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("DISPLAY");
    auto xvfb = findProgram("Xvfb");
    if (needsX11() && xvfb) {
      // -displayfd picks a free display number; -noreset keeps the root's
      // properties when the last client leaves. The screen is a small
      // laptop's, which the popover must fit beside a panel.
      xServer_.emplace(std::vector<std::string>{xvfb->string(), "-displayfd", "3", "-screen", "0", "1366x768x24",
                                                "-nolisten", "tcp", "-noreset"},
                       true);
      if (auto number = xServer_->readLine()) desktop.display = ":" + *number;
    }
    if (desktop.display) {
      ::setenv("DISPLAY", desktop.display->c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    application_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setQuitOnLastWindowClosed(false);
  }

  void TearDown() override {
    // The application first: killing its X server under it would abort it.
    application_.reset();
    xServer_.reset();
    bus_.reset();
  }

 private:
  TempDir files_;
  int argc_ = 1;
  char name_[20] = "ovel_platform_tests";
  char* argv_[2] = {name_, nullptr};
  std::optional<BackgroundProcess> bus_;
  std::optional<BackgroundProcess> xServer_;
  std::unique_ptr<QApplication> application_;
};

}  // namespace

const TestDesktop& testDesktop() { return desktop; }

void installTestDesktop() { ::testing::AddGlobalTestEnvironment(new DesktopEnvironment); }

TrayHost::TrayHost(std::optional<QColor> panel) {
  auto tint2 = findProgram("tint2");
  if (!tint2 || !desktop.display) return;
  announceDesktops(*desktop.display);
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
  announceDesktops(*desktop.display);
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

std::optional<std::string> busMissing() {
  if (!desktop.busAddress) return "dbus-daemon is not installed";
  return std::nullopt;
}

std::optional<std::string> displayMissing() {
  if (!desktop.display) return "Xvfb is not installed";
  return std::nullopt;
}

std::optional<std::string> programMissing(const std::string& program) {
  if (!findProgram(program)) return program + " is not installed";
  return std::nullopt;
}

bool toolsRequired() {
  const char* value = std::getenv("OVEL_REQUIRE_TOOLS");
  return value && *value && std::string_view(value) != "0";
}

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

QImage screenshot(const QRect& area, const std::string& name) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  QImage image = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
  if (const char* folder = std::getenv("OVEL_TEST_SCREENSHOTS"))
    image.save(QString::fromStdString((fs::path(folder) / (name + ".png")).string()), "PNG");
  return image;
}

bool xdotool(const std::vector<std::string>& arguments) {
  auto program = findProgram("xdotool");
  if (!program) return false;
  ChildProcess::Options options;
  options.program = *program;
  options.arguments = arguments;
  options.timeLimit = 10;
  return ChildProcess::run(options).succeeded();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

void spinFor(std::chrono::milliseconds duration) { QTest::qWait(static_cast<int>(duration.count())); }

}  // namespace ovel::test
