// ovel-bridge: Claude Code's status-line command once Ovel is connected.
//
// Each run reads one status-line JSON object from standard input, keeps its
// plan limits in statusline.json for the application, and then prints the
// status line: the user's own command's output when "--chain" is given and a
// command was saved on connecting, otherwise a short summary of its own.
//
// It runs several times a second in every open session, so it must be
// invisible: it never writes to standard error, never dies of a signal it
// could have avoided, and never lets an error of its own reach the status
// line. Linked statically, it never looks a user up through the C library
// (that loads NSS modules): a home folder comes from $HOME or the password
// file alone, and without one there is no data directory to use.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/claude/ChainedCommand.h"
#include "core/claude/StatusLineSnapshot.h"
#include "core/engine/OvelPaths.h"
#include "core/support/ChildProcess.h"
#include "core/support/FileIO.h"
#include "core/support/Time.h"

namespace ovel {
namespace {

constexpr std::string_view kChainArgument = "--chain";
constexpr std::string_view kPieceSeparator = " \xC2\xB7 ";  // U+00B7 MIDDLE DOT between blanks
// What Claude Code sees when the chained command cannot even be started.
constexpr int kLaunchFailedStatus = 1;

// The program's own name counts too: a shell may start us under any name.
bool isChainMode(int argc, char** argv) {
  for (int index = 0; index < argc; ++index)
    if (argv[index] && argv[index] == kChainArgument) return true;
  return false;
}

// A standard stream closed at start would lend its number to the files we
// open (the input's copy among them, closed again by the exec), and the
// command would start with it still closed: no input at all instead of an
// empty one, an output on which every write fails. Each closed one is opened
// on /dev/null first.
void openClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int opened = ::open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened < 0 || opened == fd) continue;
    // A lower one that could not be opened took the number first.
    ::dup2(opened, fd);
    if (opened > STDERR_FILENO) ::close(opened);
  }
}

// Dispositions inherited from Claude Code must not decide the run: a write
// into a pipe nobody reads must fail with EPIPE instead of killing us, and
// an ignored SIGCHLD would let the kernel reap the child before we learn its
// status. The child gets default dispositions back when it is spawned.
void settleSignals() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGCHLD, SIG_DFL);
}

// Whether the bytes so far hold one whole JSON value: its brackets, outside
// strings, are closed again. Fed each piece once, so a long input costs one pass.
class WholeValue {
 public:
  bool feed(std::string_view piece) {
    for (char c : piece) take(c);
    return whole_;
  }

 private:
  void take(char c) {
    if (inString_) {
      if (escaped_) escaped_ = false;
      else if (c == '\\') escaped_ = true;
      else if (c == '"') inString_ = false;
    } else if (c == '"') {
      inString_ = true;
    } else if (c == '{' || c == '[') {
      ++depth_;
    } else if ((c == '}' || c == ']') && depth_ > 0 && --depth_ == 0) {
      whole_ = true;
    }
  }

  std::size_t depth_ = 0;
  bool inString_ = false, escaped_ = false, whole_ = false;
};

// A writer that never closes its end is waited for this long once the input
// holds a whole value and nothing more comes, and this long in all.
constexpr auto kQuietAfterWholeInput = std::chrono::seconds(1);
constexpr auto kInputTimeLimit = std::chrono::seconds(10);

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return static_cast<int>(std::max<long long>(left, 0));
}

// Standard input may be a pipe or a socket, so it is read as a descriptor
// rather than reopened by name. It may also come non-blocking: nothing to
// read yet is waited for, not taken for its end. A read error ends the input.
// Nobody types a status line's object at a terminal, so one there is no
// input, and a writer that keeps its end open holds the run only a moment.
std::string readStandardInput() {
  std::string input;
  if (::isatty(STDIN_FILENO)) return input;
  const auto start = std::chrono::steady_clock::now();
  auto deadline = start + kInputTimeLimit;
  WholeValue whole;
  char buffer[65536];
  for (;;) {
    pollfd waiting{STDIN_FILENO, POLLIN, 0};
    int ready = ::poll(&waiting, 1, millisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return input;  // time is up, or poll cannot wait
    ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (count <= 0) return input;
    input.append(buffer, static_cast<std::size_t>(count));
    const auto now = std::chrono::steady_clock::now();
    if (now >= start + kInputTimeLimit) return input;  // a writer that never stops
    if (whole.feed({buffer, static_cast<std::size_t>(count)}))
      deadline = std::min(start + kInputTimeLimit, now + kQuietAfterWholeInput);
  }
}

// Halves away from zero. Beyond the 64-bit range the nearest bound is shown,
// so no conversion is ever undefined; NaN (which no JSON number gives) shows
// as a question mark.
std::string wholePercentText(double percent) {
  constexpr double kTwoToThe63 = 9223372036854775808.0;
  if (percent != percent) return "?";
  std::int64_t whole;
  if (percent >= kTwoToThe63) {
    whole = std::numeric_limits<std::int64_t>::max();
  } else if (percent < -kTwoToThe63) {
    whole = std::numeric_limits<std::int64_t>::min();
  } else {
    // In range, so truncating is defined, and the remainder is exact.
    whole = static_cast<std::int64_t>(percent);
    double remainder = percent - static_cast<double>(whole);
    if (remainder >= 0.5) ++whole;
    else if (remainder <= -0.5) --whole;
  }
  char digits[24];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, whole).ptr);
}

// "5h 42% · 7d 13%" and a line feed; empty when no window has a percentage.
std::string summaryLine(const StatusLineSnapshot& snapshot) {
  std::string line;
  for (const UsageWindow& reading : snapshot.windows()) {
    if (!line.empty()) line += kPieceSeparator;
    line += reading.kind.shortTitle();
    line += ' ';
    line += wholePercentText(reading.usedPercent);
    line += '%';
  }
  if (!line.empty()) line += '\n';
  return line;
}

// The user's own status-line command, when chaining and one was saved in a
// record that no one else could have written.
std::optional<std::string> commandToChain(bool chainMode, const std::optional<std::filesystem::path>& root) {
  if (!chainMode || !root) return std::nullopt;
  return ChainedCommand::read(OvelPaths::integrationRecord(*root)).command;
}

// The input in a sealed memory file, read from its start: what the command
// reads can change no more. Nothing (-1) when the system cannot make one.
int sealedInput(std::string_view input) {
  int fd = ::memfd_create("ovel-bridge-input", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  if (writeAll(fd, input) || ::lseek(fd, 0, SEEK_SET) != 0 ||
      ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The command starts as any child of ours would: every signal at its
// default (an ignored one would survive exec), none blocked, and no
// descriptor beyond the standard three.
void settleForTheCommand() {
  for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::closefrom(STDERR_FILENO + 1);
}

// Becomes the shell that runs the command, with the input as its standard
// input and our output, error, environment and folder: no fork, no pipe and
// no wait, and the exit status is the command's by construction. Returns
// only when the input cannot be handed over this way, with nothing changed.
void chainInPlace(const std::string& command, std::string_view input) {
  int fd = sealedInput(input);
  if (fd < 0) return;
  // Only where standard input was closed and /dev/null missing does the copy
  // get its number; it must then outlive the exec.
  if (fd == STDIN_FILENO ? ::fcntl(fd, F_SETFD, 0) != 0 : ::dup2(fd, STDIN_FILENO) < 0) {
    ::close(fd);
    return;
  }
  settleForTheCommand();
  const char* arguments[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  ::execv("/bin/sh", const_cast<char* const*>(arguments));
  // The shell cannot start: say nothing, as ever.
  ::_exit(kLaunchFailedStatus);
}

// The same through a child and a pipe, for a system without memory files;
// gives the command's status as a shell reports it (128 + the signal number
// when a signal ended it).
int runChained(const std::string& command, std::string input) {
  ChildProcess::Options options;
  options.program = "/bin/sh";
  options.arguments = {"-c", command};
  options.input = ChildProcess::Stream::pipe;
  options.inputBytes = std::move(input);
  options.output = ChildProcess::Stream::inherit;
  options.error = ChildProcess::Stream::inherit;
  ChildProcess::Result result = ChildProcess::run(options);
  if (result.end == ChildProcess::Result::End::launchFailed) return kLaunchFailedStatus;
  return result.shellStatus();
}

int relay(int argc, char** argv) {
  openClosedStandardStreams();
  settleSignals();
  std::string input = readStandardInput();
  const Date now = systemNow();
  std::optional<StatusLineSnapshot> snapshot = StatusLineSnapshot::fromStatusLineInput(input, now);
  const std::optional<std::filesystem::path> root = OvelPaths::findRoot();
  // A failed write keeps the previous file; the status line matters more.
  if (snapshot && root) (void)snapshot->write(OvelPaths::statusLineSnapshot(*root));

  if (std::optional<std::string> command = commandToChain(isChainMode(argc, argv), root)) {
    chainInPlace(*command, input);
    return runChained(*command, std::move(input));
  }
  if (snapshot) (void)writeAll(STDOUT_FILENO, summaryLine(*snapshot));
  return 0;
}

}  // namespace
}  // namespace ovel

int main(int argc, char** argv) {
  // Nothing may reach standard error, not even the runtime's report of an
  // uncaught exception.
  try {
    return ovel::relay(argc, argv);
  } catch (...) { return 1; }
}
