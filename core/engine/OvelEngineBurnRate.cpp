// How fast a window is being used up, and on what basis.
#include <algorithm>
#include <cmath>

#include "core/engine/OvelEngine.h"
#include "core/engine/OvelEngineDetail.h"

namespace ovel {
namespace {

using SlopePoint = OvelEngine::SlopePoint;

bool earlier(const SlopePoint& a, const SlopePoint& b) { return a.time < b.time; }

void sortByTime(std::vector<SlopePoint>& points) {
  if (!std::is_sorted(points.begin(), points.end(), earlier)) std::stable_sort(points.begin(), points.end(), earlier);
}

// After a stable sort, the last of several points at one time is the one
// given last.
std::vector<SlopePoint> distinctTimes(std::span<const SlopePoint> points) {
  std::vector<SlopePoint> sorted(points.begin(), points.end());
  sortByTime(sorted);
  std::vector<SlopePoint> distinct;
  distinct.reserve(sorted.size());
  for (const SlopePoint& point : sorted) {
    if (!distinct.empty() && distinct.back().time == point.time) distinct.back() = point;
    else distinct.push_back(point);
  }
  return distinct;
}

std::optional<double> windowAverage(const UsageWindow& window, double elapsed, std::optional<WindowEpoch> since,
                                    Date now) {
  double minimum = window.kind.isSession() ? kSessionAverageMinimum : kWeekAverageMinimum;
  if (!since) {
    if (elapsed < minimum) return std::nullopt;
    return window.usedPercent / (elapsed / kHour);
  }
  double sinceEpoch = secondsBetween(now, since->start);
  if (sinceEpoch < minimum) return std::nullopt;
  return std::max(window.usedPercent - since->usedPercent, 0.0) / (sinceEpoch / kHour);
}

std::optional<double> recentSlope(const UsageWindow& window, std::span<const HistorySample> history,
                                  std::optional<WindowEpoch> since, Date now,
                                  const OvelEngine::Thresholds& thresholds) {
  bool isSession = window.kind.isSession();
  double lookback = isSession ? kSessionRecentLookback : kWeekRecentLookback;
  double minimumSpan = isSession ? thresholds.minimumRecentSpan : kWeekMinimumRecentSpan;
  Date cutoff = addSeconds(now, -lookback);
  if (since) cutoff = std::max(cutoff, since->start);
  auto slope = OvelEngine::slopePerHour(engine_detail::pointsWithCurrent(window, history, cutoff), minimumSpan);
  if (!slope) return std::nullopt;
  return std::max(*slope, 0.0);
}

}  // namespace

namespace engine_detail {

std::vector<SlopePoint> storedPoints(const UsageWindow& window, std::span<const HistorySample> history, Date floor) {
  InstanceMatcher matches(window);
  std::vector<SlopePoint> points;
  for (const HistorySample& sample : history) {
    if (sample.observedAt >= floor && matches(sample)) points.push_back({sample.observedAt, sample.usedPercent});
  }
  return points;
}

std::vector<SlopePoint> pointsWithCurrent(const UsageWindow& window, std::span<const HistorySample> history,
                                          Date floor) {
  std::vector<SlopePoint> points = storedPoints(window, history, floor);
  points.push_back({window.observedAt, window.usedPercent});
  return points;
}

}  // namespace engine_detail

OvelEngine::BurnRate OvelEngine::burnRate(const UsageWindow& window, double elapsed,
                                          std::span<const HistorySample> history, const ActivitySummary* activity,
                                          Date now, const Thresholds& thresholds) {
  std::optional<WindowEpoch> since = epoch(window, history);
  if (window.kind.isSession() && activity && window.resetsAt) {
    if (auto rate = localRate(window, *activity, now, kLocalRecentSpan, since)) return {rate, RateBasis::localActivity};
  }
  if (auto rate = recentSlope(window, history, since, now, thresholds)) return {rate, RateBasis::recent};
  if (auto rate = windowAverage(window, elapsed, since, now)) return {rate, RateBasis::windowAverage};
  return {std::nullopt, RateBasis::none};
}

std::optional<double> OvelEngine::localRate(const UsageWindow& window, const ActivitySummary& activity, Date now,
                                            double recentSpan, std::optional<WindowEpoch> since) {
  if (!window.resetsAt) return std::nullopt;
  Date start = addSeconds(*window.resetsAt, -window.kind.duration());
  if (since) start = std::max(start, since->start);

  double gained = window.usedPercent - (since ? since->usedPercent : 0.0);
  if (gained < kLocalRateMinimumGain) return std::nullopt;
  // Weight up to the reading's own time: that is what the gain was measured against.
  double spentWeight = activity.weight(start, window.observedAt);
  if (spentWeight <= 0) return std::nullopt;

  Date recentStart = std::max(addSeconds(now, -recentSpan), start);
  double span = secondsBetween(now, recentStart);
  if (span < kLocalRateMinimumSpan) return std::nullopt;
  double recentWeight = activity.weight(recentStart, now);
  return gained / spentWeight * recentWeight / (span / kHour);
}

std::optional<WindowEpoch> OvelEngine::epoch(const UsageWindow& window, std::span<const HistorySample> history) {
  std::vector<SlopePoint> readings = engine_detail::storedPoints(window, history, Date::min());
  sortByTime(readings);

  std::optional<WindowEpoch> found;
  for (std::size_t i = 1; i < readings.size(); ++i) {
    if (readings[i - 1].value - readings[i].value >= kEpochDropPoints)
      found = WindowEpoch{readings[i].time, readings[i].value};
  }
  return found;
}

std::optional<double> OvelEngine::slopePerHour(std::span<const SlopePoint> points, double minimumSpan) {
  std::vector<SlopePoint> distinct = distinctTimes(points);
  if (distinct.size() < 2) return std::nullopt;
  Date first = distinct.front().time;
  if (secondsBetween(distinct.back().time, first) < minimumSpan) return std::nullopt;

  double n = static_cast<double>(distinct.size());
  double sumX = 0, sumY = 0;
  for (const SlopePoint& point : distinct) {
    sumX += secondsBetween(point.time, first) / kHour;
    sumY += point.value;
  }
  double meanX = sumX / n, meanY = sumY / n;
  double sxy = 0, sxx = 0;
  for (const SlopePoint& point : distinct) {
    double dx = secondsBetween(point.time, first) / kHour - meanX;
    sxy += dx * (point.value - meanY);
    sxx += dx * dx;
  }
  if (sxx <= 0) return std::nullopt;
  return sxy / sxx;
}

}  // namespace ovel
