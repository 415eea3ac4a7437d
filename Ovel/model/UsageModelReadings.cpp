// How readings reach the model: the /usage probe, the relay's snapshot
// file, transcript scans, and the redeeming of a banked reset.
#include <algorithm>
#include <system_error>

#include "core/claude/StatusLineSnapshot.h"
#include "core/claude/UsageCommandProbe.h"
#include "model/Log.h"
#include "model/UsageModel.h"

namespace ovel {

void UsageModel::probe(std::function<void()> completion) {
  if (isProbing_ || isDemo_) {
    if (completion) completion();
    return;
  }
  std::optional<std::string> override;
  if (!preferences_.claudePathOverride().isEmpty()) override = preferences_.claudePathOverride().toStdString();
  std::optional<std::filesystem::path> executable = probeRunner_->locate(override);
  if (!executable) {
    fail(ProbeError::claudeNotFound().message());
    if (completion) completion();
    return;
  }

  assign(isProbing_, true, &UsageModel::isProbingChanged);
  probeRunner_->run(
      *executable, UsageCommandProbe::kDefaultTimeout, [clock = clock_.get()] { return clock->now(); },
      [this, completion = std::move(completion)](ProbeOutcome outcome) {
        finishProbe(std::move(outcome));
        if (completion) completion();
      });
}

void UsageModel::finishProbe(ProbeOutcome outcome) {
  // A demo started while the probe ran shows canned data only.
  if (isDemo_) {
    assign(isProbing_, false, &UsageModel::isProbingChanged);
    return;
  }
  if (outcome.result) {
    assign(lastProbeAt_, std::optional(clockNow()), &UsageModel::lastProbeAtChanged);
    assign(lastProbeError_, std::nullopt, &UsageModel::lastProbeErrorChanged);
    assign(consecutiveFailures_, 0, &UsageModel::consecutiveFailuresChanged);
    ingest(outcome.result->windows);
    // An answer without insights keeps the last ones.
    if (outcome.result->insights) assign(insights_, std::move(outcome.result->insights), &UsageModel::insightsChanged);
    setPhase(Phase::ready());
  } else {
    fail(outcome.errorMessage);
  }
  recompute();
  assign(isProbing_, false, &UsageModel::isProbingChanged);
}

void UsageModel::fail(const std::string& message) {
  // A failure that keeps coming back is told once, at each new text.
  if (message != lastProbeError_) qCWarning(logProbe).noquote() << message.c_str();
  else qCDebug(logProbe).noquote() << "failed again:" << message.c_str();
  assign(lastProbeAt_, std::optional(clockNow()), &UsageModel::lastProbeAtChanged);
  assign(lastProbeError_, std::optional(message), &UsageModel::lastProbeErrorChanged);
  ++consecutiveFailures_;
  emit consecutiveFailuresChanged();
  if (state_.windows().empty()) setPhase(Phase::failed(message));
  recompute();
}

bool UsageModel::readStatusLineSnapshot() {
  std::error_code error;
  std::filesystem::file_time_type modified = std::filesystem::last_write_time(statusLineFile_, error);
  if (error) return false;
  if (lastSnapshotModified_ == modified) return false;
  // Taken before parsing: a file that cannot be read waits for its next write.
  lastSnapshotModified_ = modified;

  std::error_code readError;
  std::optional<StatusLineSnapshot> snapshot = StatusLineSnapshot::read(statusLineFile_, readError);
  if (!snapshot) {
    // Once per modification time, as the file is read; gone since the look, it is no failure.
    if (readError != std::errc::no_such_file_or_directory)
      qCWarning(logStatusLine).noquote() << "reading" << statusLineFile_.c_str()
                                         << "failed:" << readError.message().c_str();
    return false;
  }
  std::vector<UsageWindow> windows = snapshot->windows();
  if (windows.empty()) return false;

  auto newest = std::max_element(windows.begin(), windows.end(), [](const UsageWindow& a, const UsageWindow& b) {
    return a.observedAt < b.observedAt;
  });
  assign(lastStatusLineAt_, std::optional(newest->observedAt), &UsageModel::lastStatusLineAtChanged);
  ingest(windows);
  setPhase(Phase::ready());
  return true;
}

void UsageModel::ingest(const std::vector<UsageWindow>& windows) {
  Date now = clockNow();
  state_.merge(windows, now);
  stateChangedInPlace();

  // The history keeps what the merge believes: a fall held back is stored
  // at the held percentage.
  std::vector<UsageWindow> believed;
  believed.reserve(windows.size());
  for (const UsageWindow& window : windows) {
    auto held = state_.windows().find(window.kind);
    believed.push_back(held != state_.windows().end() ? held->second : window);
  }
  applyHistoryChange(historyStore_.record(believed, now));
}

// The store has changed the samples history_ shows; what it hands back
// says what, for the log and the ratio.
void UsageModel::applyHistoryChange(HistoryChange change) {
  if (change.written) noteHistoryWrite(*change.written);
  if (auto until = change.pruneWaitsUntil)
    qCInfo(logHistory).noquote() << "readings came more than a day after the last ones: old ones are pruned"
                                 << "no earlier than" << isoString(*until).c_str() << "in case the clock comes back";
  if (change.added.empty() && !change.prunedBefore && !change.droppedAfter) return;
  // Readings taken in before start() show too.
  history_ = &historyStore_.samples();
  if (auto after = change.droppedAfter) {
    std::size_t dropped = change.droppedCount;
    qCInfo(logHistory).noquote() << "the clock came back to" << (isoString(*after) + ": dropped").c_str() << dropped
                                 << (dropped == 1 ? "sample" : "samples") << "stamped after it";
  }
  qCDebug(logHistory) << "recorded" << change.added.size() << "samples";
  // The ratio is learnt again when the count changes, which a drop or a
  // prune with its additions can leave as it was.
  if (change.droppedAfter || change.prunedBefore) ratioHistoryCount_ = -1;
  emit historyChanged();
}

void UsageModel::finishHistoryWrites() { noteHistoryWrite(historyStore_.flush()); }

void UsageModel::noteHistoryWrite(std::error_code error) {
  std::optional<std::string> message;
  if (error) message = "Couldn't save your usage history: " + error.message();
  // Once per change: a full disk must not fill the log at every reading.
  if (message != historySaveError_) {
    if (message)
      qCWarning(logHistory).noquote() << "writing" << historyStore_.url().c_str()
                                      << "failed:" << error.message().c_str();
    else qCInfo(logHistory) << "writing the history works again";
  }
  assign(historySaveError_, std::move(message), &UsageModel::historySaveErrorChanged);
}

void UsageModel::redeemReset(PlannedReset::Scope scope) {
  std::vector<WindowKind> kinds;
  for (const auto& [kind, window] : state_.windows())
    if (covers(scope, kind)) kinds.push_back(kind);
  state_.expectReset(kinds);
  stateChangedInPlace();

  ResetPlan plan = resetPlan_;
  plan.banked = std::max<long long>(plan.banked - 1, 0);
  applyPlanEdit(plan);

  if (!isDemo_) scheduler_->post([this] { probe(); });
}

}  // namespace ovel
