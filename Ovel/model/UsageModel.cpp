// Fields, accessors, recompute, the demo start and the plan edits.
#include "model/UsageModel.h"

#include <algorithm>

#include "core/engine/EngineConstants.h"
#include "model/Demo.h"
#include "model/Log.h"

namespace ovel {

namespace {

// Said once, at start: the plan shows empty until a save keeps the file aside.
ResetPlan loadPlan(const ResetPlanStore& store) {
  std::error_code problem;
  ResetPlan plan = store.load(problem);
  if (problem)
    qCWarning(logPlan).noquote() << "reading" << store.url().c_str() << "failed:" << problem.message().c_str()
                                 << "- no reset is planned until one is, and the file is then kept as"
                                 << store.keptAsideUrl().c_str();
  return plan;
}

}  // namespace

UsageModel::UsageModel(Preferences& preferences, HistoryStore& historyStore, ResetPlanStore resetPlanStore,
                       std::filesystem::path statusLineFile, AppServices services, QObject* parent)
    : QObject(parent),
      clock_(std::move(services.clock)),
      scheduler_(std::move(services.scheduler)),
      probeRunner_(std::move(services.probeRunner)),
      scanRunner_(std::move(services.scanRunner)),
      now_(clock_->now()),
      history_(&demoHistory_),
      preferences_(preferences),
      historyStore_(historyStore),
      statusLineFile_(std::move(statusLineFile)),
      resetPlan_(loadPlan(resetPlanStore).pruned(now_)),
      resetPlanStore_(std::move(resetPlanStore)) {}

UsageModel::~UsageModel() = default;

namespace {

std::optional<WindowAssessment> firstOfKind(const std::vector<WindowAssessment>& assessments, const WindowKind& kind) {
  auto found = std::find_if(assessments.begin(), assessments.end(),
                            [&kind](const WindowAssessment& assessment) { return assessment.window.kind == kind; });
  if (found == assessments.end()) return std::nullopt;
  return *found;
}

}  // namespace

std::optional<WindowAssessment> UsageModel::session() const { return firstOfKind(assessments_, WindowKind::session()); }

std::optional<WindowAssessment> UsageModel::week() const { return firstOfKind(assessments_, WindowKind::week()); }

std::optional<WindowAssessment> UsageModel::steerAssessment() const {
  if (!steer_) return session();
  return firstOfKind(assessments_, steer_->kind);
}

std::vector<HistorySample> UsageModel::samples(const UsageWindow& window) const {
  std::vector<HistorySample> result;
  std::copy_if(history_->begin(), history_->end(), std::back_inserter(result),
               [&window](const HistorySample& sample) { return sample.sameWindow(window); });
  return result;
}

const ActivitySummary* UsageModel::rateActivity() const {
  return preferences_.useLocalActivity() && !isDemo_ ? &activity_ : nullptr;
}

void UsageModel::recompute() {
  Date at = clockNow();
  assign(now_, at, &UsageModel::nowChanged);
  lastRecompute_ = at;

  const ActivitySummary* activity = rateActivity();
  std::vector<WindowAssessment> assessments;
  for (const UsageWindow& window : state_.current(now_))
    assessments.push_back(OvelEngine::assess(window, *history_, activity, now_, resetPlan_.horizon(window, now_),
                                             OvelEngine::Thresholds{}));
  assign(assessments_, std::move(assessments), &UsageModel::assessmentsChanged);

  updateSteer();

  // Learning the ratio walks the whole history: only when it has grown or shrunk.
  auto count = static_cast<std::int64_t>(history_->size());
  if (count != ratioHistoryCount_) {
    ratioHistoryCount_ = count;
    assign(sessionWeekRatio_, OvelEngine::sessionWeekRatio(*history_, kMinimumSessionPoints),
           &UsageModel::sessionWeekRatioChanged);
  }

  emit changed();
}

void UsageModel::updateSteer() {
  assign(steer_, OvelEngine::steer(assessments_, bindingKind_, kSteerSwitchMargin), &UsageModel::steerChanged);
  bindingKind_ = steer_ ? std::optional(steer_->kind) : std::nullopt;
}

void UsageModel::startDemo(const Demo& demo) {
  assign(isDemo_, true, &UsageModel::isDemoChanged);
  // A ticker started before must not go on reading and writing files.
  if (pendingTick_) scheduler_->cancel(*pendingTick_);
  pendingTick_.reset();

  assign(resetPlan_, demo.resetPlan, &UsageModel::resetPlanChanged);
  assign(now_, clockNow(), &UsageModel::nowChanged);
  state_ = UsageState();
  state_.merge(demo.windows, now_);
  state_.setInsights(demo.insights);
  stateChangedInPlace();
  assign(insights_, std::optional(demo.insights), &UsageModel::insightsChanged);
  bool historyDiffers = *history_ != demo.history;
  demoHistory_ = demo.history;
  history_ = &demoHistory_;
  if (historyDiffers) emit historyChanged();
  assign(activity_, ActivitySummary(demo.events), &UsageModel::activityChanged);
  assign(lastProbeAt_, std::optional(now_), &UsageModel::lastProbeAtChanged);
  assign(lastStatusLineAt_, demo.live ? std::optional(now_) : std::nullopt, &UsageModel::lastStatusLineAtChanged);
  setPhase(Phase::ready());
  recompute();
}

void UsageModel::applyPlanEdit(const ResetPlan& plan) {
  assign(resetPlan_, plan.pruned(clockNow()), &UsageModel::resetPlanChanged);
  if (!isDemo_) savePlan();
  recompute();
}

void UsageModel::savePlan() {
  // A failed save leaves the file as it was; the next edit writes the plan whole.
  std::error_code error = resetPlanStore_.save(resetPlan_);
  std::optional<std::string> message;
  if (error) {
    message = "Couldn't save your planned resets: " + error.message();
    qCWarning(logPlan).noquote() << "writing" << resetPlanStore_.url().c_str() << "failed:" << error.message().c_str();
  }
  assign(planSaveError_, std::move(message), &UsageModel::planSaveErrorChanged);
}

void UsageModel::addPlannedReset(PlannedReset reset) {
  ResetPlan plan = resetPlan_;
  plan.planned.push_back(std::move(reset));
  applyPlanEdit(plan);
}

void UsageModel::removePlannedReset(const Uuid& id) {
  ResetPlan plan = resetPlan_;
  std::erase_if(plan.planned, [&id](const PlannedReset& reset) { return reset.id == id; });
  applyPlanEdit(plan);
}

void UsageModel::setBankedResets(std::int64_t count) {
  ResetPlan plan = resetPlan_;
  plan.banked = std::max<std::int64_t>(count, 0);
  applyPlanEdit(plan);
}

}  // namespace ovel
