// How many week points one session point costs, learned from history: for
// each past session run, the points it gained against the points the plain
// week gained over the same time.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/engine/OvelEngine.h"
#include "core/engine/OvelEngineDetail.h"

namespace ovel {
namespace {

// Here, unlike UsageWindow::isSameInstance, two absent reset times do not
// make one instance.
bool oneInstance(const HistorySample& a, const HistorySample& b) {
  return a.kindKey == b.kindKey && a.resetsAt && b.resetsAt && sameWindowInstance(a.resetsAt, b.resetsAt);
}

std::vector<HistorySample> sortedOfKind(std::span<const HistorySample> history, const WindowKind& kind) {
  std::string key = kind.key();
  std::vector<HistorySample> samples;
  std::copy_if(history.begin(), history.end(), std::back_inserter(samples),
               [&](const HistorySample& sample) { return sample.kindKey == key; });
  auto earlier = [](const HistorySample& a, const HistorySample& b) { return a.observedAt < b.observedAt; };
  // The store keeps its history in time order; sort only what is not.
  if (!std::is_sorted(samples.begin(), samples.end(), earlier))
    std::stable_sort(samples.begin(), samples.end(), earlier);
  return samples;
}

std::optional<engine_detail::WeekValue> interpolated(Date t, const HistorySample& before, const HistorySample& after) {
  if (!oneInstance(before, after)) return std::nullopt;
  double gap = secondsBetween(after.observedAt, before.observedAt);
  if (gap > kWeekInterpolationMaxGap) return std::nullopt;
  double fraction = gap > 0 ? secondsBetween(t, before.observedAt) / gap : 0;
  return engine_detail::WeekValue{before.usedPercent + fraction * (after.usedPercent - before.usedPercent), before};
}

}  // namespace

double SessionWeekRatio::sessionsPerWeek() const {
  if (weekPointsPerSessionPoint > 0) return 1 / weekPointsPerSessionPoint;
  return std::numeric_limits<double>::infinity();
}

double SessionWeekRatio::sessionsLeft(double weekUsed) const {
  double perSession = weekPercentPerSession();
  if (perSession <= 0) return std::numeric_limits<double>::infinity();
  return std::max(100 - weekUsed, 0.0) / perSession;
}

std::vector<std::span<const HistorySample>> engine_detail::instances(std::span<const HistorySample> sorted) {
  std::vector<std::span<const HistorySample>> runs;
  std::size_t runStart = 0;
  for (std::size_t i = 1; i <= sorted.size(); ++i) {
    if (i < sorted.size() && oneInstance(sorted[i - 1], sorted[i])) continue;
    runs.push_back(sorted.subspan(runStart, i - runStart));
    runStart = i;
  }
  return runs;
}

std::optional<engine_detail::WeekValue> engine_detail::weekValue(Date t, std::span<const HistorySample> sortedWeek) {
  auto at = std::lower_bound(sortedWeek.begin(), sortedWeek.end(), t,
                             [](const HistorySample& sample, Date date) { return sample.observedAt < date; });
  const HistorySample* before = at != sortedWeek.begin() ? &*(at - 1) : nullptr;
  const HistorySample* after = at != sortedWeek.end() ? &*at : nullptr;
  if (before && after) {
    if (auto value = interpolated(t, *before, *after)) return value;
  }

  const HistorySample* nearest = before;
  auto distance = [t](const HistorySample* sample) { return std::fabs(secondsBetween(sample->observedAt, t)); };
  if (after && (!nearest || distance(after) < distance(nearest))) nearest = after;
  if (!nearest || distance(nearest) > kWeekNearestMaxDistance) return std::nullopt;
  return WeekValue{nearest->usedPercent, *nearest};
}

std::optional<SessionWeekRatio> OvelEngine::sessionWeekRatio(std::span<const HistorySample> history,
                                                             double minimumSessionPoints) {
  std::vector<HistorySample> sessions = sortedOfKind(history, WindowKind::session());
  std::vector<HistorySample> weeks = sortedOfKind(history, WindowKind::week());
  if (sessions.empty() || weeks.empty()) return std::nullopt;

  SessionWeekRatio ratio;
  double weekPoints = 0;
  for (std::span<const HistorySample> run : engine_detail::instances(sessions)) {
    double gain = run.back().usedPercent - run.front().usedPercent;
    if (gain < kRatioMinimumRunGain) continue;
    auto start = engine_detail::weekValue(run.front().observedAt, weeks);
    auto end = engine_detail::weekValue(run.back().observedAt, weeks);
    // A week that reset during the session says nothing about it.
    if (!start || !end || !oneInstance(start->sample, end->sample)) continue;
    ratio.sessions += 1;
    ratio.sessionPoints += gain;
    weekPoints += std::max(end->value - start->value, 0.0);
  }
  // No counted run means no ratio at all, whatever the minimum.
  if (!(ratio.sessionPoints > 0) || ratio.sessionPoints < minimumSessionPoints) return std::nullopt;
  ratio.weekPointsPerSessionPoint = weekPoints / ratio.sessionPoints;
  return ratio;
}

}  // namespace ovel
