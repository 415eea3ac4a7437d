// Runs one child program to its end: posix_spawn, close-on-exec pipes
// driven by a single poll loop, an optional time limit on the whole run, and
// waitpid. The child gets only descriptors 0-2, an empty signal mask and
// default signal dispositions, whatever the calling process has set.
//
// run() blocks the calling thread until the child has been reaped; it is
// safe to call from several threads at once. While it feeds a pipe on the
// child's standard input it blocks SIGPIPE in the calling thread, so a child
// that stops reading never kills the caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ovel {

struct ChildProcess {
  ChildProcess() = delete;

  // What one of the child's standard streams is connected to.
  enum class Stream {
    inherit,     // the caller's own descriptor
    nullDevice,  // /dev/null
    pipe,        // input: Options::inputBytes are written, then the pipe is closed;
                 // output and error: collected into the Result
  };

  struct Options {
    // Run as given (no PATH search); it is also argv[0].
    std::filesystem::path program;
    // argv[1] onwards.
    std::vector<std::string> arguments;
    // The child's whole environment; absent: the caller's.
    std::optional<std::map<std::string, std::string>> environment;
    // Absent: the caller's. A folder that cannot be entered fails the launch.
    std::optional<std::filesystem::path> workingDirectory;

    Stream input = Stream::nullDevice;
    std::string inputBytes;
    Stream output = Stream::pipe;
    Stream error = Stream::pipe;
    // How many bytes of each collected stream are kept. The rest is still
    // read (so the child never blocks on a full pipe) and dropped.
    std::size_t outputKeep = SIZE_MAX;
    std::size_t errorKeep = SIZE_MAX;

    // Seconds from launch that the whole run may take, including the wait
    // for the pipes to close: a descendant that keeps them open cannot hold
    // the run past it. Absent: no limit.
    std::optional<double> timeLimit;
    // Seconds the pipes may stay open once the child has exited, for what
    // is still in them: a descendant that holds them longer is not waited
    // for. The child is then reaped as soon as it exits. Absent: the run
    // waits for the pipes to close (up to the time limit).
    std::optional<double> drainAfterExit;
    // Seconds between SIGTERM and SIGKILL when the run is stopped.
    double terminationGrace = 1.0;
    // The child leads a new process group, which is the run's own: stopping
    // the run signals the whole group, and what is left of it when the run
    // ends is stopped too. A descendant that started a session of its own
    // is in another group, and is left alone.
    bool ownProcessGroup = false;
    // Set from another thread to end the run early, as its time limit
    // would (a quitting application need not wait for the child).
    const std::atomic<bool>* stop = nullptr;
  };

  struct Result {
    enum class End {
      exited,        // exitCode holds the status (-1 when it could not be learnt)
      signaled,      // signal holds the signal that ended the child
      timedOut,      // still running at the limit; stopped (signal: the one that ended it)
      launchFailed,  // launchError holds the errno value
    };
    End end = End::launchFailed;
    int exitCode = 0;
    int signal = 0;
    int launchError = 0;
    std::string output;
    std::string error;

    bool succeeded() const { return end == End::exited && exitCode == 0; }
    // The shell's convention: the exit status, or 128 + the signal number.
    // A failed launch gives 127.
    int shellStatus() const;
    // strerror() of launchError.
    std::string launchErrorText() const;
  };

  static Result run(const Options& options);
};

}  // namespace ovel
