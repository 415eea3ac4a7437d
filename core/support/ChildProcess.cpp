#include "core/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace ovel {
namespace {

using Clock = std::chrono::steady_clock;
// The deadline of a run without a time limit.
constexpr Clock::time_point kNever = Clock::time_point::max();
constexpr std::size_t kChunkBytes = 65536;

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { close(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// A descriptor numbered 0-2 would be clobbered by the child's own dup2 of
// another stream (this happens when the caller runs with a standard stream
// closed), so pipe ends are moved above them.
int aboveStandardStreams(int fd) {
  if (fd > STDERR_FILENO) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(fd);
  return moved;
}

struct Pipe {
  Descriptor read;
  Descriptor write;
};

// Both ends are close-on-exec: only the end dup2'ed onto 0-2 reaches the child.
int openPipe(Pipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  pipe.read = Descriptor(aboveStandardStreams(fds[0]));
  pipe.write = Descriptor(aboveStandardStreams(fds[1]));
  return pipe.read.isOpen() && pipe.write.isOpen() ? 0 : EMFILE;
}

class SpawnPlan {
 public:
  SpawnPlan() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
  }
  ~SpawnPlan() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnPlan(const SpawnPlan&) = delete;
  SpawnPlan& operator=(const SpawnPlan&) = delete;

  void connect(int childFd, ChildProcess::Stream stream, const Pipe& pipe) {
    if (stream == ChildProcess::Stream::nullDevice)
      posix_spawn_file_actions_addopen(&actions_, childFd, "/dev/null", childFd == 0 ? O_RDONLY : O_WRONLY, 0);
    else if (stream == ChildProcess::Stream::pipe)
      posix_spawn_file_actions_adddup2(&actions_, childFd == 0 ? pipe.read.get() : pipe.write.get(), childFd);
  }

  void finish(const std::optional<std::filesystem::path>& workingDirectory, bool ownProcessGroup) {
    if (workingDirectory) posix_spawn_file_actions_addchdir_np(&actions_, workingDirectory->c_str());
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);

    // A GUI or a relay may block or ignore signals; an ignored one would
    // survive the exec.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownProcessGroup) {
      flags |= POSIX_SPAWN_SETPGROUP;
      posix_spawnattr_setpgroup(&attributes_, 0);
    }
    posix_spawnattr_setflags(&attributes_, flags);
  }

  int spawn(pid_t& pid, const std::string& program, const std::vector<std::string>& arguments,
            const std::optional<std::map<std::string, std::string>>& environment) {
    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts;
    if (environment)
      for (const auto& [name, value] : *environment) environmentTexts.push_back(name + "=" + value);
    std::vector<char*> argv = pointers(argumentTexts);
    std::vector<char*> envp = pointers(environmentTexts);
    return posix_spawn(&pid, program.c_str(), &actions_, &attributes_, argv.data(),
                       environment ? envp.data() : environ);
  }

 private:
  static std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (auto& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
  }

  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

// Blocks SIGPIPE in this thread while we feed the child's standard input,
// and swallows the one our own failed write raised.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeBlock() {
    if (!wasPending_) {
      timespec zero{};
      while (sigtimedwait(&set_, nullptr, &zero) == SIGPIPE) {}
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t set_;
  sigset_t previous_;
  bool wasPending_ = false;
};

// Reads one stream to its end, keeping its first `keep` bytes.
struct Collector {
  Descriptor fd;
  std::string* sink = nullptr;
  std::size_t keep = 0;

  void readSome() {
    char buffer[kChunkBytes];
    ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count > 0) {
      std::size_t room = keep - std::min(keep, sink->size());
      sink->append(buffer, std::min(room, static_cast<std::size_t>(count)));
    } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
      fd.close();
    }
  }
};

// Writes the input bytes; stops at the first error (the child closed its end).
struct Feeder {
  Descriptor fd;
  std::string_view remaining;

  void writeSome() {
    ssize_t count = ::write(fd.get(), remaining.data(), std::min(remaining.size(), kChunkBytes));
    if (count > 0) remaining.remove_prefix(static_cast<std::size_t>(count));
    else if (count < 0 && errno != EINTR && errno != EAGAIN) fd.close();
    if (remaining.empty()) fd.close();
  }
};

// Seconds as a clock duration; NaN and negatives count as 0.
Clock::duration durationOf(double seconds) {
  double bounded = seconds > 0 ? std::min(seconds, 1e9) : 0.0;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
}

// The child from launch to reaping. Never signals a pid once it is reaped.
class Child {
 public:
  Child(pid_t pid, bool ownGroup) : pid_(pid), ownGroup_(ownGroup) {}
  // Should anything have thrown on the way, the child still goes.
  ~Child() {
    if (!reaped_) {
      signalAll(SIGKILL);
      waitBlocking();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool reaped() const { return reaped_; }
  int status() const { return status_; }
  bool statusKnown() const { return statusKnown_; }

  // Reaps the child if it has ended; true once it is reaped.
  bool poll() { return reap(WNOHANG); }
  void waitBlocking() { reap(0); }

  // Polls until the child is reaped or the moment passes; true when reaped.
  bool waitUntil(Clock::time_point until) {
    return pollUntil(until, [this] { return poll(); });
  }

  // SIGTERM to the child (its group when it leads one), a grace period for
  // it to go, then SIGKILL; returns with the child reaped.
  void stop(double grace) {
    if (reaped_ && groupIsEmpty()) return;
    signalAll(SIGTERM);
    bool gone = pollUntil(Clock::now() + durationOf(grace), [this] { return poll() && groupIsEmpty(); });
    if (!gone) signalAll(SIGKILL);
    waitBlocking();
  }

 private:
  bool reap(int flags) {
    while (!reaped_) {
      int status = 0;
      pid_t result = ::waitpid(pid_, &status, flags);
      if (result == pid_) {
        reaped_ = true;
        status_ = status;
      } else if (result < 0 && errno == EINTR) {
        continue;
      } else if (result < 0) {
        // ECHILD: the caller has SIGCHLD ignored and the kernel reaped it.
        reaped_ = true;
        statusKnown_ = false;
      }
      break;
    }
    return reaped_;
  }

  // The group outlives its leader while any member is left; its id stays
  // reserved until then, so signalling it cannot hit a stranger.
  bool groupIsEmpty() const { return !ownGroup_ || (::kill(-pid_, 0) != 0 && errno == ESRCH); }

  void signalAll(int signal) {
    if (ownGroup_) ::kill(-pid_, signal);
    else if (!reaped_) ::kill(pid_, signal);
  }

  template <typename Done>
  static bool pollUntil(Clock::time_point until, Done done) {
    auto pause = std::chrono::milliseconds(1);
    while (!done()) {
      auto now = Clock::now();
      if (now >= until) return false;
      std::this_thread::sleep_for(std::min<Clock::duration>(pause, until - now));
      pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    return true;
  }

  pid_t pid_;
  bool ownGroup_;
  bool reaped_ = false;
  bool statusKnown_ = true;
  int status_ = 0;
};

Clock::time_point deadlineAfter(const std::optional<double>& seconds) {
  return seconds ? Clock::now() + durationOf(*seconds) : kNever;
}

// Milliseconds for poll() until the deadline, rounded up; -1 without one.
int pollTimeout(Clock::time_point deadline) {
  if (deadline == kNever) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// How often a run that watches its stop flag or its child's exit wakes up
// to look.
constexpr int kWakeMilliseconds = 100;

bool stopRequested(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

// The child's exit, watched while its pipes are drained: once it has exited
// (and is reaped), the pipes get `drain` more to close.
struct ExitWatch {
  Child* child;
  Clock::duration drain;
};

// Feeds and drains until every pipe is closed; false when the deadline
// came first (or the drain after the child's exit ended) or a stop was
// asked for.
bool pumpStreams(Feeder& feeder, std::vector<Collector*>& collectors, Clock::time_point deadline,
                 const std::atomic<bool>* stop, std::optional<ExitWatch> exitWatch) {
  for (;;) {
    if (exitWatch && exitWatch->child->poll()) {
      deadline = std::min(deadline, Clock::now() + exitWatch->drain);
      exitWatch.reset();
    }
    pollfd fds[3];
    nfds_t count = 0;
    if (feeder.fd.isOpen()) fds[count++] = {feeder.fd.get(), POLLOUT, 0};
    for (auto* collector : collectors)
      if (collector->fd.isOpen()) fds[count++] = {collector->fd.get(), POLLIN, 0};
    if (count == 0) return true;
    if (Clock::now() >= deadline || stopRequested(stop)) return false;

    int timeout = pollTimeout(deadline);
    if ((stop || exitWatch) && (timeout < 0 || timeout > kWakeMilliseconds)) timeout = kWakeMilliseconds;
    int ready = ::poll(fds, count, timeout);
    if (ready < 0 && errno == EINTR) continue;
    // Any other poll failure cannot be waited out: treat it as the limit.
    if (ready < 0) return false;
    for (nfds_t index = 0; index < count; ++index) {
      if (fds[index].revents == 0) continue;
      if (fds[index].fd == feeder.fd.get()) {
        if (fds[index].revents & (POLLERR | POLLHUP)) feeder.fd.close();  // nobody reads any more
        else feeder.writeSome();
        continue;
      }
      for (auto* collector : collectors)
        if (fds[index].fd == collector->fd.get()) collector->readSome();
    }
  }
}

void recordEnd(ChildProcess::Result& result, const Child& child, bool timedOut) {
  int status = child.status();
  if (timedOut) {
    result.end = ChildProcess::Result::End::timedOut;
    if (child.statusKnown() && WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  } else if (child.statusKnown() && WIFSIGNALED(status)) {
    result.end = ChildProcess::Result::End::signaled;
    result.signal = WTERMSIG(status);
  } else {
    result.end = ChildProcess::Result::End::exited;
    result.exitCode = child.statusKnown() && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
}

}  // namespace

int ChildProcess::Result::shellStatus() const {
  switch (end) {
    case End::exited: return exitCode;
    case End::signaled:
    case End::timedOut: return 128 + signal;
    case End::launchFailed: break;
  }
  return 127;
}

std::string ChildProcess::Result::launchErrorText() const { return std::strerror(launchError); }

ChildProcess::Result ChildProcess::run(const Options& options) {
  Result result;
  Pipe inputPipe, outputPipe, errorPipe;
  for (auto [stream, pipe] : {std::pair{options.input, &inputPipe}, std::pair{options.output, &outputPipe},
                              std::pair{options.error, &errorPipe}}) {
    if (stream != Stream::pipe) continue;
    if (int error = openPipe(*pipe)) {
      result.launchError = error;
      return result;
    }
  }

  pid_t pid = 0;
  {
    SpawnPlan plan;
    plan.connect(STDIN_FILENO, options.input, inputPipe);
    plan.connect(STDOUT_FILENO, options.output, outputPipe);
    plan.connect(STDERR_FILENO, options.error, errorPipe);
    plan.finish(options.workingDirectory, options.ownProcessGroup);
    if (int error = plan.spawn(pid, options.program.string(), options.arguments, options.environment)) {
      result.launchError = error;
      return result;
    }
  }
  const Clock::time_point deadline = deadlineAfter(options.timeLimit);
  // Our copies of the child's ends must go, or no end-of-file ever comes.
  inputPipe.read.close();
  outputPipe.write.close();
  errorPipe.write.close();

  std::optional<SigpipeBlock> sigpipeBlock;
  if (options.input == Stream::pipe) sigpipeBlock.emplace();
  Feeder feeder{std::move(inputPipe.write), options.inputBytes};
  if (feeder.fd.isOpen()) {
    ::fcntl(feeder.fd.get(), F_SETFL, ::fcntl(feeder.fd.get(), F_GETFL) | O_NONBLOCK);
    if (feeder.remaining.empty()) feeder.fd.close();
  }
  Collector output{std::move(outputPipe.read), &result.output, options.outputKeep};
  Collector error{std::move(errorPipe.read), &result.error, options.errorKeep};
  std::vector<Collector*> collectors{&output, &error};

  Child child(pid, options.ownProcessGroup);
  std::optional<ExitWatch> exitWatch;
  if (options.drainAfterExit) exitWatch = ExitWatch{&child, durationOf(*options.drainAfterExit)};
  bool inTime = pumpStreams(feeder, collectors, deadline, options.stop, exitWatch);
  if (inTime) {
    if (deadline == kNever) child.waitBlocking();
    else inTime = child.waitUntil(deadline);
  }
  bool timedOut = !inTime && !child.poll();
  // When the child has already exited, this stops only what it left behind
  // in its group (holding our pipes or not); with nothing left it returns
  // at once.
  if (timedOut || options.ownProcessGroup) child.stop(options.terminationGrace);
  recordEnd(result, child, timedOut);
  return result;
}

}  // namespace ovel
