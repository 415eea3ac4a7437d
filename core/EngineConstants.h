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

// History.
inline constexpr double kHistoryRetention = 691200;  // 8 days
inline constexpr double kHistoryPruneMargin = 86400;
inline constexpr double kHistoryHeartbeat = 600;

// Planned resets older than this are dropped.
inline constexpr double kPlannedResetGrace = 86400;

// Transcript look-back.
inline constexpr double kActivityLookBack = 604800;

// Session/week ratio as the application learns it.
inline constexpr double kMinimumSessionPoints = 20;

}  // namespace ovel
