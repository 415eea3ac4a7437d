// A private desktop for the platform tests: a session bus of their own, and
// for the X11 suites an Xvfb display with a tray host on demand, so no test
// ever talks to the user's session. Every program started here is killed
// when its owner goes, and by the kernel when the test program dies.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QRect>

#include "support/TestSupport.h"

namespace ovel::test {

// The absolute path of a program on PATH.
std::optional<std::filesystem::path> findProgram(const std::string& name);

// A program that runs beside the tests (a server, a tray host, a helper).
class BackgroundProcess {
 public:
  // Starts `argv` (argv[0] an absolute path) with `extraEnvironment`
  // ("NAME=value") added and its output in `log` (else /dev/null). With
  // `reportPipe` the child's descriptor 3 is a pipe that readLine() reads.
  BackgroundProcess(std::vector<std::string> argv, bool reportPipe = false,
                    std::vector<std::string> extraEnvironment = {}, const std::filesystem::path& log = "/dev/null");
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // One line from the report pipe, without its line feed; absent on timeout or EOF.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // The exit status once it ended by itself; killed after `timeout`.
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // SIGTERM, then SIGKILL when it lingers; waits for it.
  void stop();
  // Dies at once, as in a crash.
  void kill();

 private:
  pid_t pid_ = -1;
  int report_ = -1;
};

// The desktop the whole test program runs in, set up before the first test.
struct TestDesktop {
  // The private session bus, absent when dbus-daemon is not installed.
  std::optional<std::string> busAddress;
  // The Xvfb display (":N"), present only when an X11 suite runs.
  std::optional<std::string> display;
};
const TestDesktop& testDesktop();

// Installs the environment that starts the desktop and the QApplication.
// Suites whose names end in "X11Test" get the xcb platform on Xvfb; when none
// of them runs the program uses the offscreen platform.
void installTestDesktop();

// What a test lacks without the private session bus, the X display or
// `program`, or nothing.
std::optional<std::string> busMissing();
std::optional<std::string> displayMissing();
std::optional<std::string> programMissing(const std::string& program);

// Whether a missing tool fails a test instead of skipping it: set
// OVEL_REQUIRE_TOOLS (CI does), so a missing install step cannot pass unseen.
bool toolsRequired();

// Skips the test when `missing` (an optional text) names a tool it lacks, or
// fails it when tools are required. For SetUp() and test bodies.
#define OVEL_SKIP_WITHOUT(missing)                                                               \
  do {                                                                                           \
    if (auto ovelLacks = (missing)) {                                                            \
      if (::ovel::test::toolsRequired()) FAIL() << *ovelLacks << " (OVEL_REQUIRE_TOOLS is set)"; \
      else GTEST_SKIP() << *ovelLacks;                                                           \
    }                                                                                            \
  } while (false)

// The test display's pixels in `area` (global coordinates). With
// OVEL_TEST_SCREENSHOTS set to a folder, also saved there as `name`.png.
QImage screenshot(const QRect& area, const std::string& name);

// Sends input to the test display through xdotool; false when it failed.
bool xdotool(const std::vector<std::string>& arguments);

// Runs the Qt event loop until `condition` holds or `timeout` passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the Qt event loop for `duration`.
void spinFor(std::chrono::milliseconds duration);

}  // namespace ovel::test
