// The application's own seams: the system clock, Qt timers and queued
// calls, and worker threads for the /usage probe and the transcript scan.
#pragma once

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/claude/LocalActivityScanner.h"
#include "model/AppServices.h"

class QTimer;

namespace ovel {

class SystemClock final : public Clock {
 public:
  Date now() const override { return systemNow(); }
};

// Single-shot timers and queued calls on an object of its own, so that
// nothing runs once the scheduler is gone.
class QtScheduler final : public Scheduler {
 public:
  void post(std::function<void()> work) override;
  TaskId after(double seconds, std::function<void()> work) override;
  void cancel(TaskId task) override;

 private:
  QObject context_;
  std::map<TaskId, QTimer*> timers_;  // owned by context_
  TaskId nextTask_ = 1;
};

// ClaudeLocator for the lookup; UsageCommandProbe on a worker thread.
class ThreadedProbeRunner final : public ProbeRunner {
 public:
  ThreadedProbeRunner();
  // Stops a running probe's child instead of waiting out its time limit.
  ~ThreadedProbeRunner() override;
  std::optional<std::filesystem::path> locate(const std::optional<std::string>& override) override;
  void run(const std::filesystem::path& executable, double timeout, std::function<Date()> readingTime,
           Completion done) override;

 private:
  std::atomic<bool> stopping_{false};
  QObject context_;
  QThreadPool workers_;  // declared last: waits for its jobs before context_ goes
};

// Owns the transcript scanner and runs its scans one after another on a
// worker thread at a lowered priority.
class ThreadedScanRunner final : public ScanRunner {
 public:
  explicit ThreadedScanRunner(std::filesystem::path root);
  // Stops a running scan at the next file instead of reading the whole tree.
  ~ThreadedScanRunner() override;
  void scan(Date now, Completion done) override;

  const LocalActivityScanner& scanner() const { return scanner_; }

 private:
  std::atomic<bool> stopping_{false};
  LocalActivityScanner scanner_;
  ActivitySummary lastHanded_;  // touched on the worker only
  QObject context_;
  QThreadPool worker_;  // declared last: waits for a running scan first
};

}  // namespace ovel
