#include "model/StandardServices.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <exception>

#include "core/claude/ClaudeLocator.h"
#include "core/claude/UsageCommandProbe.h"
#include "model/Log.h"

namespace ovel {
namespace {

// A scan must not slow the user's editor or build.
constexpr int kScanNiceness = 10;

std::chrono::milliseconds timerInterval(double seconds) {
  if (!(seconds > 0)) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(static_cast<long long>(std::min(std::ceil(seconds * 1000), double(INT_MAX))));
}

// Qt's thread priorities do nothing under Linux's default scheduler, but a
// thread's own nice value does.
void lowerThisThreadsPriority() { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kScanNiceness); }

// A changed scan frees its buffers and, once the model has taken the new
// summary, the old one, partly into an allocator arena of the scan thread's
// that would otherwise keep the pages for good.
void returnFreedMemory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

// Blocks of this size or more get a mapping of their own, given back whole
// when freed. glibc would raise the bound to the largest block freed, and
// the week of turns, rebuilt whole when it changes, would then stay in the
// heaps as holes.
constexpr int kOwnMappingBytes = 128 << 10;

void keepLargeBlocksInMappingsOfTheirOwn() {
#ifdef __GLIBC__
  ::mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
#endif
}

// Hands `value` to `done` on the thread that owns `context`.
template <class Value>
void postBack(QObject& context, std::function<void(Value)> done, Value value) {
  QMetaObject::invokeMethod(
      &context, [done = std::move(done), value = std::move(value)]() mutable { done(std::move(value)); },
      Qt::QueuedConnection);
}

ProbeOutcome runProbe(const std::filesystem::path& executable, double timeout, const std::function<Date()>& readingTime,
                      const std::atomic<bool>& stop) {
  try {
    return ProbeOutcome::success(UsageCommandProbe{executable, timeout, &stop}.run(readingTime));
  } catch (const std::exception& error) {
    // A ProbeError's what() is its user-facing message.
    return ProbeOutcome::failure(error.what());
  }
}

}  // namespace

void QtScheduler::post(std::function<void()> work) {
  QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

Scheduler::TaskId QtScheduler::after(double seconds, std::function<void()> work) {
  TaskId task = nextTask_++;
  auto* timer = new QTimer(&context_);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, &context_, [this, task, work = std::move(work)] {
    auto found = timers_.find(task);
    if (found == timers_.end()) return;
    found->second->deleteLater();
    timers_.erase(found);
    work();
  });
  timers_.emplace(task, timer);
  timer->start(timerInterval(seconds));
  return task;
}

void QtScheduler::cancel(TaskId task) {
  auto found = timers_.find(task);
  if (found == timers_.end()) return;
  delete found->second;
  timers_.erase(found);
}

ThreadedProbeRunner::ThreadedProbeRunner() { workers_.setMaxThreadCount(1); }

ThreadedProbeRunner::~ThreadedProbeRunner() { stopping_ = true; }

std::optional<std::filesystem::path> ThreadedProbeRunner::locate(const std::optional<std::string>& override) {
  return ClaudeLocator::locate(override);
}

void ThreadedProbeRunner::run(const std::filesystem::path& executable, double timeout,
                              std::function<Date()> readingTime, Completion done) {
  workers_.start([this, executable, timeout, readingTime = std::move(readingTime), done = std::move(done)] {
    postBack(context_, done, runProbe(executable, timeout, readingTime, stopping_));
  });
}

ThreadedScanRunner::ThreadedScanRunner(std::filesystem::path root) : scanner_(std::move(root)) {
  worker_.setMaxThreadCount(1);
}

ThreadedScanRunner::~ThreadedScanRunner() { stopping_ = true; }

void ThreadedScanRunner::scan(Date now, Completion done) {
  worker_.start([this, now, done = std::move(done)] {
    lowerThisThreadsPriority();
    LocalActivityScanner::Report report = scanner_.scanReporting(now, [this] { return stopping_.load(); });
    bool changed = !report.summary.sharesEventsWith(lastHanded_);
    if (changed) lastHanded_ = report.summary;
    for (const std::string& failure : report.failures) qCWarning(logScan).noquote() << failure.c_str();
    for (const std::string& folder : report.foldersTooDeep)
      qCDebug(logScan).noquote() << "passed over" << folder.c_str() << "- too deep below the projects folder";
    Completion handOver = [done, changed](ActivitySummary summary) {
      done(std::move(summary));
      if (changed) returnFreedMemory();
    };
    postBack(context_, handOver, std::move(report.summary));
  });
}

AppServices AppServices::standard() {
  keepLargeBlocksInMappingsOfTheirOwn();
  AppServices services;
  services.clock = std::make_unique<SystemClock>();
  services.scheduler = std::make_unique<QtScheduler>();
  services.probeRunner = std::make_unique<ThreadedProbeRunner>();
  services.scanRunner = std::make_unique<ThreadedScanRunner>(LocalActivityScanner::defaultRoot());
  return services;
}

}  // namespace ovel
