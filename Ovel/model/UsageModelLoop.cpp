// Normal operation: start(), the five-second ticker, the tick and its gates,
// the transcript scan, the probe schedule with its back-off, and
// refreshIfStale().
//
// A tick is a chain of completions (scan, then probe, then the recompute
// gate); the next one is armed 5 s after it has finished, so ticks never
// overlap and a slow probe or scan delays the next tick.
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/Log.h"
#include "model/UsageModel.h"

namespace ovel {
namespace {

constexpr double kTickInterval = 5;
// A scan starts once more than this has passed since the last one began.
constexpr double kScanInterval = 30;
// A tick recomputes once at least this has passed since the last recompute.
constexpr double kRecomputeInterval = 30;
// Failures double the probe interval, up to this many times.
constexpr std::int64_t kMostBackOffDoublings = 4;
// Figures this old or younger are fresh enough for refreshIfStale().
constexpr double kFreshFor = 60;

// Seconds from `then` to `now`. A clock that has come back since `then`
// counts as time enough: a gate must not stay shut until it catches up.
double secondsSince(Date now, Date then) {
  if (stampedBeforeTheClockCameBack(then, now, now)) return std::numeric_limits<double>::infinity();
  return secondsBetween(now, then);
}

std::optional<Date> later(std::optional<Date> a, std::optional<Date> b) {
  if (!a) return b;
  if (!b) return a;
  return std::max(*a, *b);
}

}  // namespace

void UsageModel::start() {
  if (isDemo_) return;
  history_ = &historyStore_.samples();
  if (!history_->empty()) emit historyChanged();
  if (std::error_code error = historyStore_.loadError())
    qCWarning(logHistory).noquote() << "reading" << historyStore_.url().c_str() << "failed:" << error.message().c_str()
                                    << "- the history starts empty";
  readStatusLineSnapshot();
  recompute();
  // The first scan runs whatever useLocalActivity says; only ticks honour it.
  scheduler_->post([this] { probe(); });
  scheduler_->post([this] { scanActivity(); });
  armTicker();
}

void UsageModel::armTicker() {
  if (pendingTick_) scheduler_->cancel(*pendingTick_);
  pendingTick_.reset();
  // A tick under way arms the next one when it ends.
  if (tickRunning_) return;
  pendingTick_ = scheduler_->after(kTickInterval, [this] {
    pendingTick_.reset();
    runTick();
  });
}

void UsageModel::runTick() {
  tickRunning_ = true;
  tick([this] {
    tickRunning_ = false;
    if (!isDemo_) armTicker();
  });
}

void UsageModel::tick(std::function<void()> completion) {
  assign(now_, clockNow(), &UsageModel::nowChanged);
  bool ingested = readStatusLineSnapshot();

  // A scan or probe has recomputed already, moving now and lastRecompute
  // together: then only a new snapshot recomputes again.
  auto finish = [this, ingested, completion = std::move(completion)] {
    if (ingested || recomputeIsDue()) recompute();
    completion();
  };
  auto probeStep = [this, finish] {
    if (probeIsDue()) probe(finish);
    else finish();
  };
  if (scanIsDue()) scanActivity(probeStep);
  else probeStep();
}

// The scan hands back a summary that shares its events with the one held
// when nothing changed: then it is taken without a look at the events.
void UsageModel::scanActivity(std::function<void()> completion) {
  Date started = clockNow();
  lastActivityScan_ = started;
  scanRunner_->scan(started, [this, completion = std::move(completion)](ActivitySummary summary) {
    if (isDemo_) {
      if (completion) completion();
      return;
    }
    assign(activity_, std::move(summary), &UsageModel::activityChanged);
    recompute();
    if (completion) completion();
  });
}

bool UsageModel::probeIsDue() const {
  if (isProbing_) return false;
  if (!lastProbeAt_) return true;
  double backOff = std::exp2(static_cast<double>(std::min(consecutiveFailures_, kMostBackOffDoublings)));
  double interval = backOff * preferences_.effectiveRefreshMinutes() * 60;
  return interval <= secondsSince(now_, *lastProbeAt_);
}

bool UsageModel::scanIsDue() const {
  if (!preferences_.useLocalActivity()) return false;
  return !lastActivityScan_ || secondsSince(now_, *lastActivityScan_) > kScanInterval;
}

bool UsageModel::recomputeIsDue() const {
  return !lastRecompute_ || secondsSince(now_, *lastRecompute_) >= kRecomputeInterval;
}

void UsageModel::refreshIfStale() {
  if (isDemo_) return;
  std::optional<Date> latest = later(lastProbeAt_, lastStatusLineAt_);
  if (latest && secondsSince(clockNow(), *latest) <= kFreshFor) return;
  scheduler_->post([this] { probe(); });
}

}  // namespace ovel
