// The verdict on one window, and the most pressing of several.
#include <algorithm>

#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

// Where the window stands in time; only built when the reset lies ahead.
struct Placement {
  double untilReset;  // seconds to the window's own reset
  double elapsed;     // seconds since its scheduled start, at least 0
  double left;        // seconds to the horizon
  std::optional<Date> plannedResetAt;
};

Placement place(const UsageWindow& window, Date now, std::optional<Date> plannedResetAt) {
  Placement placement;
  placement.untilReset = secondsBetween(*window.resetsAt, now);
  placement.elapsed = std::max(window.kind.duration() - placement.untilReset, 0.0);
  placement.left = placement.untilReset;
  if (plannedResetAt && *plannedResetAt > now && *plannedResetAt < *window.resetsAt) {
    placement.plannedResetAt = plannedResetAt;
    placement.left = secondsBetween(*plannedResetAt, now);
  }
  return placement;
}

// Projection, time to limit and the status before the limit check.
OvelStatus project(WindowAssessment& assessment, double hoursLeft, double headroom,
                   const OvelEngine::Thresholds& thresholds) {
  if (!assessment.ratePerHour) return OvelStatus::comfortable;
  double rate = *assessment.ratePerHour;
  double used = assessment.window.usedPercent;
  assessment.projectedAtReset = used + hoursLeft * rate;
  if (rate > kBurningRateFloor && headroom > 0 && headroom / rate < hoursLeft) {
    assessment.timeToLimit = headroom / rate * kHour;
    return OvelStatus::atRisk;
  }
  return *assessment.projectedAtReset >= thresholds.watchProjection ? OvelStatus::watch : OvelStatus::comfortable;
}

OvelStatus limitedOr(double used, OvelStatus status) { return used >= kLimitPercent ? OvelStatus::limited : status; }

bool morePressing(const WindowAssessment& candidate, const WindowAssessment& best) {
  if (candidate.status != best.status) return candidate.status > best.status;
  if (candidate.status == OvelStatus::atRisk && candidate.timeToLimit && best.timeToLimit &&
      *candidate.timeToLimit != *best.timeToLimit)
    return *candidate.timeToLimit < *best.timeToLimit;
  double candidateKey = candidate.projectedAtReset.value_or(candidate.window.usedPercent);
  double bestKey = best.projectedAtReset.value_or(best.window.usedPercent);
  if (candidateKey != bestKey) return candidateKey > bestKey;
  return candidate.window.usedPercent > best.window.usedPercent;
}

}  // namespace

std::string_view label(OvelStatus status) {
  switch (status) {
    case OvelStatus::comfortable: return "Comfortable";
    case OvelStatus::watch: return "Watch";
    case OvelStatus::atRisk: return "At risk";
    case OvelStatus::limited: break;
  }
  return "Limited";
}

std::optional<OvelStatus> ovelStatusFromRaw(int raw) {
  if (raw < 0 || raw > static_cast<int>(OvelStatus::limited)) return std::nullopt;
  return static_cast<OvelStatus>(raw);
}

std::string_view rawValue(RateBasis basis) {
  switch (basis) {
    case RateBasis::localActivity: return "localActivity";
    case RateBasis::recent: return "recent";
    case RateBasis::windowAverage: return "windowAverage";
    case RateBasis::none: break;
  }
  return "none";
}

std::optional<RateBasis> rateBasisFromRaw(std::string_view raw) {
  for (RateBasis basis : {RateBasis::localActivity, RateBasis::recent, RateBasis::windowAverage, RateBasis::none}) {
    if (rawValue(basis) == raw) return basis;
  }
  return std::nullopt;
}

std::optional<Date> WindowAssessment::horizon() const { return plannedResetAt ? plannedResetAt : window.resetsAt; }

std::optional<double> WindowAssessment::unusedAtReset() const {
  if (!projectedAtReset) return std::nullopt;
  return std::max(kLimitPercent - *projectedAtReset, 0.0);
}

std::optional<double> WindowAssessment::ovelDelta() const {
  if (!evenOvelPercent) return std::nullopt;
  return window.usedPercent - *evenOvelPercent;
}

WindowAssessment OvelEngine::assess(const UsageWindow& window, std::span<const HistorySample> history,
                                    const ActivitySummary* activity, Date now, std::optional<Date> plannedResetAt,
                                    const Thresholds& thresholds) {
  WindowAssessment assessment;
  assessment.window = window;
  double used = window.usedPercent;
  // A reset at exactly now has passed: the window cannot be placed in time.
  if (!window.resetsAt || !(*window.resetsAt > now)) {
    assessment.status = limitedOr(used, OvelStatus::comfortable);
    return assessment;
  }

  Placement placement = place(window, now, plannedResetAt);
  assessment.plannedResetAt = placement.plannedResetAt;
  assessment.elapsedFraction = std::min(placement.elapsed / (placement.elapsed + placement.left), 1.0);
  assessment.evenOvelPercent = 100 * *assessment.elapsedFraction;

  double hoursLeft = placement.left / kHour;
  double headroom = std::max(kLimitPercent - used, 0.0);
  BurnRate burn = burnRate(window, placement.elapsed, history, activity, now, thresholds);
  assessment.ratePerHour = burn.rate;
  assessment.rateBasis = burn.basis;
  OvelStatus provisional = project(assessment, hoursLeft, headroom, thresholds);

  assessment.timeToReset = placement.untilReset;
  assessment.sustainableRatePerHour = headroom / hoursLeft;
  assessment.status = limitedOr(used, provisional);
  return assessment;
}

std::optional<WindowAssessment> OvelEngine::headline(std::span<const WindowAssessment> assessments) {
  if (assessments.empty()) return std::nullopt;
  const WindowAssessment* best = &assessments.front();
  for (const WindowAssessment& candidate : assessments.subspan(1)) {
    if (morePressing(candidate, *best)) best = &candidate;
  }
  return *best;
}

}  // namespace ovel
