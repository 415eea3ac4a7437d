// The engine's fixed numbers, in one place. Durations are seconds, usage is
// percentage points, rates are points per hour.
#pragma once

namespace ovel {

// Window lengths.
inline constexpr double kSessionDuration = 18000;  // 5 h
inline constexpr double kWeekDuration = 604800;    // 7 days

// Two reset times strictly closer than this describe one window instance.
inline constexpr double kSameInstanceBound = 300;

inline constexpr double kHour = 3600;
inline constexpr double kDay = 86400;

// Merge of readings (usage state).
inline constexpr double kResetDropPoints = 10.0;
inline constexpr double kDropConfirmationWait = 60;
inline constexpr double kDropConfirmationTolerance = 3.0;

// Assessment.
inline constexpr double kWatchProjectionPercent = 85.0;
inline constexpr double kMinimumRecentSpan = 480;
inline constexpr double kBurningRateFloor = 0.01;  // points per hour; strictly above counts as burning
inline constexpr double kLimitPercent = 100.0;

// Steering.
inline constexpr double kEaseOffFactor = 1.0;
inline constexpr double kSpeedUpFactor = 1.25;
inline constexpr double kSteerSwitchMargin = 0.1;
inline constexpr double kSteerMaxAngle = 60;
inline constexpr double kSteerMinAngle = 20;
// The tilt of kSpeedUpFactor, log2(1.25) / 2 (std::log2 is not constexpr).
inline constexpr double kSpeedUpTilt = 0.16096404744368117;

// Burn rate. A fall of this many points between stored readings of one
// instance starts a new measuring period (the epoch).
inline constexpr double kEpochDropPoints = 10.0;
// Local-activity rate: the recent span it scales, the least gain it trusts,
// and the least span it measures over.
inline constexpr double kLocalRecentSpan = 1200;
inline constexpr double kLocalRateMinimumGain = 3.0;
inline constexpr double kLocalRateMinimumSpan = 300;
// Slope of the recent readings: how far back, and (for the week kinds) the
// least span; a session's least span is Thresholds::minimumRecentSpan.
inline constexpr double kSessionRecentLookback = 2700;
inline constexpr double kWeekRecentLookback = 86400;
inline constexpr double kWeekMinimumRecentSpan = 21600;
// The least time a window (or its epoch) must have run before its average
// counts as a rate.
inline constexpr double kSessionAverageMinimum = 2700;
inline constexpr double kWeekAverageMinimum = 90720;

// Rate table: look-back and least covered span of each slope row, and the
// least span of the window-average row.
inline constexpr double kRateHourLookback = 3600;
inline constexpr double kRateHourMinimumSpan = 900;
inline constexpr double kRateFiveHoursLookback = 18000;
inline constexpr double kRateFiveHoursMinimumSpan = 3600;
inline constexpr double kRateDayLookback = 86400;
inline constexpr double kRateDayMinimumSpan = 21600;
inline constexpr double kRateWindowMinimumSpan = 600;

// A time held this far ahead of both a new reading and now was stamped by a
// clock that has since come back (a clock that booted wrong, a resumed
// virtual machine); within it, a clock set right by a few seconds or
// minutes is no news.
inline constexpr double kClockComeBackSlack = 300;

// History.
inline constexpr double kHistoryRetention = 691200;  // 8 days
inline constexpr double kHistoryPruneMargin = 86400;
inline constexpr double kHistoryHeartbeat = 600;
// Readings this far past every earlier sample may come from a clock set
// ahead: a prune that falls due then waits as long, in case it comes back.
inline constexpr double kHistoryJumpWait = 86400;

// Planned resets older than this are dropped.
inline constexpr double kPlannedResetGrace = 86400;

// Transcript look-back.
inline constexpr double kActivityLookBack = 604800;

// Session/week ratio as the application learns it.
inline constexpr double kMinimumSessionPoints = 20;
// A session run must gain this much to count.
inline constexpr double kRatioMinimumRunGain = 1.0;
// Week readings at most this far apart are interpolated between...
inline constexpr double kWeekInterpolationMaxGap = 7200;
// ...otherwise the nearest one counts when it is at most this far away.
inline constexpr double kWeekNearestMaxDistance = 900;

// Activity timeline: more buckets than this are refused (empty result).
inline constexpr long long kMaxTimelineBuckets = 1'000'000;

}  // namespace ovel
