// The rate table: one window's burn rate over several horizons side by side.
#include <algorithm>

#include "core/engine/OvelEngine.h"
#include "core/engine/OvelEngineDetail.h"

namespace ovel {
namespace {

using Horizon = RateReading::Horizon;
using SlopePoint = OvelEngine::SlopePoint;

// The slope of the points of the last lookback seconds, never negative.
std::optional<double> slopeRow(std::span<const SlopePoint> points, Date now, double lookback, double minimumSpan) {
  Date cutoff = addSeconds(now, -lookback);
  std::vector<SlopePoint> recent;
  std::copy_if(points.begin(), points.end(), std::back_inserter(recent),
               [&](const SlopePoint& point) { return point.time >= cutoff; });
  auto slope = OvelEngine::slopePerHour(recent, minimumSpan);
  if (!slope) return std::nullopt;
  return std::max(*slope, 0.0);
}

// The average since the window, or its epoch, began. Without an epoch the
// span comes from the reset time and is not clamped, so a reset further off
// than the window's length gives no row.
std::optional<double> windowRow(const UsageWindow& window, std::optional<WindowEpoch> since, Date now) {
  double span = 0;
  if (since) span = secondsBetween(now, since->start);
  else if (window.resetsAt) span = window.kind.duration() - secondsBetween(*window.resetsAt, now);
  if (span < kRateWindowMinimumSpan) return std::nullopt;
  double gained = window.usedPercent - (since ? since->usedPercent : 0.0);
  return std::max(gained, 0.0) / (span / kHour);
}

}  // namespace

std::string_view label(RateReading::Horizon horizon) {
  switch (horizon) {
    case Horizon::now: return "Now";
    case Horizon::hour: return "1 h";
    case Horizon::fiveHours: return "5 h";
    case Horizon::day: return "24 h";
    case Horizon::window: break;
  }
  return "Window avg";
}

std::string_view rawValue(RateReading::Horizon horizon) {
  switch (horizon) {
    case Horizon::now: return "now";
    case Horizon::hour: return "hour";
    case Horizon::fiveHours: return "fiveHours";
    case Horizon::day: return "day";
    case Horizon::window: break;
  }
  return "window";
}

std::optional<RateReading::Horizon> rateHorizonFromRaw(std::string_view raw) {
  for (Horizon horizon : kAllRateHorizons) {
    if (rawValue(horizon) == raw) return horizon;
  }
  return std::nullopt;
}

std::array<RateReading, 5> OvelEngine::rates(const UsageWindow& window, std::span<const HistorySample> history,
                                             const ActivitySummary* activity, Date now) {
  std::optional<WindowEpoch> since = epoch(window, history);
  std::vector<SlopePoint> points = engine_detail::pointsWithCurrent(window, history,
                                                                    since ? since->start : Date::min());
  bool isSession = window.kind.isSession();

  std::array<RateReading, 5> table;
  for (std::size_t i = 0; i < table.size(); ++i) table[i].horizon = kAllRateHorizons[i];
  // Unlike the burn rate, the activity row is shown for every kind.
  if (activity && window.resetsAt) table[0].ratePerHour = localRate(window, *activity, now, kLocalRecentSpan, since);
  table[1].ratePerHour = slopeRow(points, now, kRateHourLookback, kRateHourMinimumSpan);
  if (!isSession) {
    table[2].ratePerHour = slopeRow(points, now, kRateFiveHoursLookback, kRateFiveHoursMinimumSpan);
    table[3].ratePerHour = slopeRow(points, now, kRateDayLookback, kRateDayMinimumSpan);
  }
  table[4].ratePerHour = windowRow(window, since, now);
  return table;
}

std::array<RateReading, 5> OvelEngine::rates(const WindowAssessment& assessment, std::span<const HistorySample> history,
                                             const ActivitySummary* activity, Date now) {
  return rates(assessment.window, history, activity, now);
}

}  // namespace ovel
