#include "support/TestDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
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
