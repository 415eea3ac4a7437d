// The places where the usage model meets time and the machine: the clock,
// delayed work on the GUI thread, the /usage probe and the transcript scan.
// Each is a small interface with the application's implementation in
// StandardServices.h and fakes in the tests, so the model runs headless and
// in virtual time.
//
// Every completion is called on the GUI thread, after the call that started
// the work has returned (the real ones) or from within it (a fake may). Work
// still under way when its runner is destroyed is waited for, and its
// completion is dropped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/claude/UsageCommandParser.h"
#include "core/engine/ActivitySummary.h"
#include "core/support/Time.h"

namespace ovel {

class Clock {
 public:
  virtual ~Clock() = default;
  // May be called from any thread.
  virtual Date now() const = 0;
};

// Work on the GUI thread, run from its event loop: never nested in the
// caller, so a chain of completions never re-enters itself.
class Scheduler {
 public:
  using TaskId = std::uint64_t;

  virtual ~Scheduler() = default;
  // Runs `work` once control is back in the event loop.
  virtual void post(std::function<void()> work) = 0;
  // Runs `work` once, `seconds` from now (0 for a negative value).
  virtual TaskId after(double seconds, std::function<void()> work) = 0;
  // Drops a pending task; an unknown or finished one is ignored.
  virtual void cancel(TaskId task) = 0;
};

// What one probe run gave: the parsed answer, or the message of its failure.
struct ProbeOutcome {
  std::optional<UsageCommandParser::Result> result;
  std::string errorMessage;  // when there is no result

  static ProbeOutcome success(UsageCommandParser::Result result) { return {std::move(result), {}}; }
  static ProbeOutcome failure(std::string message) { return {std::nullopt, std::move(message)}; }
};

class ProbeRunner {
 public:
  using Completion = std::function<void(ProbeOutcome)>;

  virtual ~ProbeRunner() = default;
  // The claude program to run, looked up at once; nothing when none is found.
  virtual std::optional<std::filesystem::path> locate(const std::optional<std::string>& override) = 0;
  // Runs /usage once with a limit of `timeout` seconds. `readingTime`
  // stamps the readings; it is called off the GUI thread.
  virtual void run(const std::filesystem::path& executable, double timeout, std::function<Date()> readingTime,
                   Completion done) = 0;
};

class ScanRunner {
 public:
  using Completion = std::function<void(ActivitySummary)>;

  virtual ~ScanRunner() = default;
  // Reads the transcripts as of `now` and hands back their summary, which
  // shares its events with the last one when nothing changed.
  virtual void scan(Date now, Completion done) = 0;
};

// The usage model's seams, handed over whole.
struct AppServices {
  std::unique_ptr<Clock> clock;
  std::unique_ptr<Scheduler> scheduler;
  std::unique_ptr<ProbeRunner> probeRunner;
  std::unique_ptr<ScanRunner> scanRunner;

  // The application's: the system clock, Qt timers, worker threads, and the
  // transcripts under LocalActivityScanner::defaultRoot(). Call on the GUI
  // thread.
  static AppServices standard();
};

}  // namespace ovel
