// The application's live state, read by every view: the believed readings,
// the engine's verdicts on them, the local activity, the reset plan and how
// the readings are coming in. A five-second tick re-reads the relay's file,
// scans transcripts, probes /usage on a schedule that backs off after
// failures, and recomputes.
//
// GUI thread only. Each field a view reads has a signal that is sent only
// when a write changes its value; changes made to the state in place and
// the failure count going up always notify, and changed() ends every
// recompute. Work off the
// GUI thread (the probe, the scan) goes through the seams in AppServices.h
// and comes back as completions: nothing here waits or spins an event loop.
#pragma once

#include <QObject>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/engine/ActivitySummary.h"
#include "core/engine/History.h"
#include "core/engine/OvelEngine.h"
#include "core/engine/ResetPlan.h"
#include "core/engine/UsageState.h"
#include "core/support/Time.h"
#include "core/support/Uuid.h"
#include "model/AppServices.h"
#include "model/Preferences.h"

namespace ovel {

struct Demo;

class UsageModel final : public QObject {
  Q_OBJECT

 public:
  // What the popover shows before and after the first reading.
  class Phase {
   public:
    enum class Case { failed, starting, ready };

    static Phase failed(std::string message) { return Phase(Case::failed, std::move(message)); }
    static Phase starting() { return Phase(Case::starting, {}); }
    static Phase ready() { return Phase(Case::ready, {}); }

    Case phaseCase() const { return case_; }
    // The probe's message of a failed phase; empty otherwise.
    const std::string& message() const { return message_; }

    bool operator==(const Phase&) const = default;

   private:
    Phase(Case phaseCase, std::string message) : case_(phaseCase), message_(std::move(message)) {}
    Case case_;
    std::string message_;
  };

  // The stores must outlive the model. Reads only the reset plan (pruned;
  // one that cannot be read is said in the log); the history is loaded by
  // start(), and the relay's `statusLineFile` at every tick.
  UsageModel(Preferences& preferences, HistoryStore& historyStore, ResetPlanStore resetPlanStore,
             std::filesystem::path statusLineFile, AppServices services = AppServices::standard(),
             QObject* parent = nullptr);
  ~UsageModel() override;

  const Phase& phase() const { return phase_; }
  // One per current window, in window-kind order.
  const std::vector<WindowAssessment>& assessments() const { return assessments_; }
  const std::optional<UsageInsights>& insights() const { return insights_; }
  const ActivitySummary& activity() const { return activity_; }
  bool isProbing() const { return isProbing_; }
  // When the last probe attempt ended, whether it succeeded or not.
  std::optional<Date> lastProbeAt() const { return lastProbeAt_; }
  const std::optional<std::string>& lastProbeError() const { return lastProbeError_; }
  // The newest observation of the last snapshot file that was taken in.
  std::optional<Date> lastStatusLineAt() const { return lastStatusLineAt_; }
  // The current time for every view: the last tick, recompute or demo start.
  Date now() const { return now_; }
  // The store's samples once started (or once a reading was recorded); a
  // demo's own in a demo.
  const std::vector<HistorySample>& history() const { return *history_; }
  const std::optional<SessionWeekRatio>& sessionWeekRatio() const { return sessionWeekRatio_; }
  const std::optional<OvelSteer>& steer() const { return steer_; }
  const UsageState& state() const { return state_; }
  std::int64_t consecutiveFailures() const { return consecutiveFailures_; }
  const ResetPlan& resetPlan() const { return resetPlan_; }
  // "Couldn't save your planned resets: <reason>" while the last plan edit
  // could not be written; the plan stays in memory and the next edit
  // writes it whole again.
  const std::optional<std::string>& planSaveError() const { return planSaveError_; }
  // "Couldn't save your usage history: <reason>" while the last write of
  // the history file failed; memory keeps every sample.
  const std::optional<std::string>& historySaveError() const { return historySaveError_; }
  bool isDemo() const { return isDemo_; }
  Preferences& preferences() const { return preferences_; }
  // The GUI-thread scheduler the model runs on, for the views' own timed
  // work, so that tests drive it in the same virtual time.
  Scheduler& scheduler() const { return *scheduler_; }

  std::optional<WindowAssessment> session() const;
  // The all-models week, never a per-model one.
  std::optional<WindowAssessment> week() const;
  // The assessment of the steer's window (absent when there is none of its
  // kind); without a steer, the session's.
  std::optional<WindowAssessment> steerAssessment() const;
  // The history of that window instance, in stored order.
  std::vector<HistorySample> samples(const UsageWindow& window) const;
  // The activity the engine may use for burn rates: null when local
  // activity is off or a demo runs.
  const ActivitySummary* rateActivity() const;

  // Loads the history, reads the snapshot file, recomputes, starts a probe
  // and a scan, and (re)starts the ticker. Does nothing in a demo.
  void start();
  // Shows canned data instead: no ticker, probe, scan or file write from
  // here on, for the life of the model.
  void startDemo(const Demo& demo);
  void recompute();
  // Runs /usage once, unless a probe runs already or a demo does; calls
  // `completion` (when given) once it is over, or at once when it is not run.
  void probe(std::function<void()> completion = {});
  // Starts a probe when neither a probe nor a snapshot is from the last minute.
  void refreshIfStale();
  // Before quitting: waits for the history's writes, rewriting the file
  // when an append failed, and says in the log what the file still lacks.
  void finishHistoryWrites();

  // Plan edits: pruned, saved unless in a demo (a failed save sets
  // planSaveError), then recomputed.
  void addPlannedReset(PlannedReset reset);
  void removePlannedReset(const Uuid& id);
  void setBankedResets(std::int64_t count);
  // Spends a banked reset: the state believes the drop of the covered
  // windows at once, and a probe fetches the new figures.
  void redeemReset(PlannedReset::Scope scope);

 signals:
  void phaseChanged();
  void assessmentsChanged();
  void insightsChanged();
  void activityChanged();
  void isProbingChanged();
  void lastProbeAtChanged();
  void lastProbeErrorChanged();
  void lastStatusLineAtChanged();
  void nowChanged();
  void historyChanged();
  void sessionWeekRatioChanged();
  void steerChanged();
  void stateChanged();
  void consecutiveFailuresChanged();
  void resetPlanChanged();
  void planSaveErrorChanged();
  void historySaveErrorChanged();
  void isDemoChanged();
  // Sent at the end of every recompute, whatever changed.
  void changed();

 private:
  friend struct UsageModelInternals;  // tests and benchmarks

  using Changed = void (UsageModel::*)();

  template <class T, class V>
  void assign(T& field, V&& value, Changed changed) {
    if (field == value) return;
    field = std::forward<V>(value);
    emit(this->*changed)();
  }
  void setPhase(Phase phase) { assign(phase_, std::move(phase), &UsageModel::phaseChanged); }
  void stateChangedInPlace() { emit stateChanged(); }
  Date clockNow() const { return clock_->now(); }

  // Readings.
  bool readStatusLineSnapshot();
  void scanActivity(std::function<void()> completion = {});
  void ingest(const std::vector<UsageWindow>& windows);
  void applyHistoryChange(HistoryChange change);
  void noteHistoryWrite(std::error_code error);
  void fail(const std::string& message);
  void finishProbe(ProbeOutcome outcome);

  // Recompute and plan edits.
  void updateSteer();
  void applyPlanEdit(const ResetPlan& plan);
  void savePlan();

  // The loop.
  void armTicker();
  void runTick();
  void tick(std::function<void()> completion);
  bool probeIsDue() const;
  bool scanIsDue() const;
  bool recomputeIsDue() const;

  // Seams first: the probe's worker reads the clock until its runner is gone.
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<Scheduler> scheduler_;
  std::unique_ptr<ProbeRunner> probeRunner_;
  std::unique_ptr<ScanRunner> scanRunner_;

  Phase phase_ = Phase::starting();
  std::vector<WindowAssessment> assessments_;
  std::optional<UsageInsights> insights_;
  ActivitySummary activity_;
  bool isProbing_ = false;
  std::optional<Date> lastProbeAt_;
  std::optional<std::string> lastProbeError_;
  std::optional<Date> lastStatusLineAt_;
  Date now_;
  // Not a copy: the store's samples (read on this thread, which records),
  // or demoHistory_.
  const std::vector<HistorySample>* history_;
  std::vector<HistorySample> demoHistory_;
  std::optional<SessionWeekRatio> sessionWeekRatio_;
  std::int64_t ratioHistoryCount_ = -1;
  std::optional<OvelSteer> steer_;
  std::optional<WindowKind> bindingKind_;  // passed back to the engine for hysteresis
  Preferences& preferences_;
  UsageState state_;
  HistoryStore& historyStore_;
  std::filesystem::path statusLineFile_;
  // Compared in full: two writes within a second must both count.
  std::optional<std::filesystem::file_time_type> lastSnapshotModified_;
  std::optional<Date> lastActivityScan_;  // when the last scan started
  std::optional<Date> lastRecompute_;     // absent: never, so the first gate always opens
  std::int64_t consecutiveFailures_ = 0;
  std::optional<Scheduler::TaskId> pendingTick_;
  bool tickRunning_ = false;
  ResetPlan resetPlan_;
  ResetPlanStore resetPlanStore_;
  std::optional<std::string> planSaveError_;
  std::optional<std::string> historySaveError_;
  bool isDemo_ = false;
};

}  // namespace ovel
