// The usage engine: pure computations over one window's reading, the stored
// history and (optionally) local activity. How far the window has run, where
// an even spend would stand, how fast it burns and where that lands, which
// window binds the steering advice, the rate table, and the session/week
// ratio. No state, no I/O, no failure: what cannot be computed is absent.
// "Now" is always an argument.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/engine/ActivitySummary.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/History.h"
#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

namespace ovel {

// Ordered by severity.
enum class OvelStatus : int { comfortable = 0, watch = 1, atRisk = 2, limited = 3 };

inline constexpr std::array<OvelStatus, 4> kAllOvelStatuses = {OvelStatus::comfortable, OvelStatus::watch,
                                                               OvelStatus::atRisk, OvelStatus::limited};

std::string_view label(OvelStatus status);  // "Comfortable", "Watch", "At risk", "Limited"
std::optional<OvelStatus> ovelStatusFromRaw(int raw);

// Where a burn rate came from.
enum class RateBasis { localActivity, recent, windowAverage, none };

std::string_view rawValue(RateBasis basis);
std::optional<RateBasis> rateBasisFromRaw(std::string_view raw);

// Where the current measuring period of a window instance begins: the first
// stored reading after the last large drop.
struct WindowEpoch {
  Date start;
  double usedPercent = 0;

  bool operator==(const WindowEpoch&) const = default;
};

// The steering advice: by how much the user could change the current rate
// and still land on exactly 100 % at the horizon.
struct OvelSteer {
  enum class Direction : int { stop = 0, easeOff = 1, onOvel = 2, speedUp = 3 };

  static constexpr double easeOffFactor = kEaseOffFactor;
  static constexpr double speedUpFactor = kSpeedUpFactor;

  WindowKind kind = WindowKind::session();
  double factor = 0;  // sustainable / current; 0 at the limit, +inf when nothing burns
  RateBasis basis = RateBasis::none;

  static std::optional<Direction> directionFromRaw(int raw);

  // <= 0 stop, < 1 easeOff, < 1.25 onOvel, else speedUp. A NaN factor reads
  // as onOvel, matching its level arrow.
  Direction direction() const;
  // log2(factor) / 2 clamped to [-1, 1]; -1 at or below 0, 0 for NaN.
  double tilt() const;
  // -60 to -20 easing off, 0 on track (and for NaN), +20 to +60 speeding up.
  double angleDegrees() const;

  bool operator==(const OvelSteer&) const = default;
};

// The engine's verdict on one window at one moment.
struct WindowAssessment {
  UsageWindow window;
  std::optional<double> elapsedFraction;  // 0 to 1
  std::optional<double> evenOvelPercent;  // the even-spend line, 100 x elapsedFraction
  std::optional<double> ratePerHour;
  RateBasis rateBasis = RateBasis::none;
  std::optional<double> projectedAtReset;  // at the horizon; not capped at 100
  std::optional<double> timeToLimit;       // seconds; only when the limit comes before the horizon
  std::optional<double> timeToReset;       // seconds until the window's own reset
  std::optional<double> sustainableRatePerHour;
  OvelStatus status = OvelStatus::comfortable;
  std::optional<Date> plannedResetAt;  // when present, it is the horizon

  // plannedResetAt when present, else window.resetsAt.
  std::optional<Date> horizon() const;
  // max(100 - projectedAtReset, 0).
  std::optional<double> unusedAtReset() const;
  // usedPercent - evenOvelPercent: positive when running ahead of the line.
  std::optional<double> ovelDelta() const;
  // This window's own advice: factor 0 at the limit; otherwise sustainable ÷
  // rate (+inf at a rate of kBurningRateFloor or less) when both are known.
  std::optional<OvelSteer> steer() const;

  bool operator==(const WindowAssessment&) const = default;
};

// One row of the rate table.
struct RateReading {
  enum class Horizon { now, hour, fiveHours, day, window };

  Horizon horizon = Horizon::now;
  std::optional<double> ratePerHour;  // absent when the horizon has too little data

  Horizon id() const { return horizon; }
  bool operator==(const RateReading&) const = default;
};

inline constexpr std::array<RateReading::Horizon, 5> kAllRateHorizons = {
    RateReading::Horizon::now, RateReading::Horizon::hour, RateReading::Horizon::fiveHours, RateReading::Horizon::day,
    RateReading::Horizon::window};

std::string_view label(RateReading::Horizon horizon);  // "Now", "1 h", "5 h", "24 h", "Window avg"
std::string_view rawValue(RateReading::Horizon horizon);
std::optional<RateReading::Horizon> rateHorizonFromRaw(std::string_view raw);

// How many week points one session point costs, learned from history.
struct SessionWeekRatio {
  double weekPointsPerSessionPoint = 0;
  std::int64_t sessions = 0;  // session runs that entered the sum
  double sessionPoints = 0;   // session points summed over those runs

  // The week points one full session (100 session points) costs.
  double weekPercentPerSession() const { return weekPointsPerSessionPoint * 100; }
  // Full sessions per week; +inf when the ratio is not positive.
  double sessionsPerWeek() const;
  // Full sessions left in a week that stands at weekUsed; +inf when a
  // session costs nothing.
  double sessionsLeft(double weekUsed) const;

  bool operator==(const SessionWeekRatio&) const = default;
};

class OvelEngine {
 public:
  OvelEngine() = delete;

  struct Thresholds {
    double watchProjection = kWatchProjectionPercent;  // projection (%) from which a window is watch
    double minimumRecentSpan = kMinimumRecentSpan;     // seconds a session's recent readings must cover

    bool operator==(const Thresholds&) const = default;
  };

  // A burn rate in points per hour; rate is absent exactly when basis is none.
  struct BurnRate {
    std::optional<double> rate;
    RateBasis basis = RateBasis::none;

    bool operator==(const BurnRate&) const = default;
  };

  // One point of a slope: a time and a used percentage.
  struct SlopePoint {
    Date time;
    double value = 0;
  };

  // History is the whole stored history of every kind, in any order;
  // activity is null when local activity must not be used. plannedResetAt
  // shortens the horizon only when now < plannedResetAt < resetsAt.
  static WindowAssessment assess(const UsageWindow& window, std::span<const HistorySample> history,
                                 const ActivitySummary* activity, Date now, std::optional<Date> plannedResetAt,
                                 const Thresholds& thresholds);

  // The most pressing assessment; absent only for an empty list.
  static std::optional<WindowAssessment> headline(std::span<const WindowAssessment> assessments);

  // The first basis that yields a rate: local activity (sessions only), the
  // recent slope, the window (or epoch) average. elapsed is the time since
  // the window's scheduled start, in seconds.
  static BurnRate burnRate(const UsageWindow& window, double elapsed, std::span<const HistorySample> history,
                           const ActivitySummary* activity, Date now, const Thresholds& thresholds);

  // The points gained per unit of activity weight so far in the window (or
  // since the epoch), times the weight of the last recentSpan seconds.
  static std::optional<double> localRate(const UsageWindow& window, const ActivitySummary& activity, Date now,
                                         double recentSpan, std::optional<WindowEpoch> since);

  // The last fall of kEpochDropPoints or more between consecutive stored
  // readings of the window's instance; the current reading is not scanned.
  static std::optional<WindowEpoch> epoch(const UsageWindow& window, std::span<const HistorySample> history);

  // Least-squares slope in points per hour. Points at one time count once
  // (the last one given wins); absent with fewer than two distinct times or
  // a span below minimumSpan seconds. May be negative.
  static std::optional<double> slopePerHour(std::span<const SlopePoint> points, double minimumSpan);

  // The binding advice: the smallest factor (ties to the smaller kind, then
  // the earlier assessment); a new window displaces the previous one only
  // when its factor is below (1 - switchMargin) x the previous factor.
  static std::optional<OvelSteer> steer(std::span<const WindowAssessment> assessments,
                                        std::optional<WindowKind> previous, double switchMargin);

  // The rate table, always in the order now, hour, fiveHours, day, window;
  // fiveHours and day stay absent for a session window.
  static std::array<RateReading, 5> rates(const UsageWindow& window, std::span<const HistorySample> history,
                                          const ActivitySummary* activity, Date now);
  static std::array<RateReading, 5> rates(const WindowAssessment& assessment, std::span<const HistorySample> history,
                                          const ActivitySummary* activity, Date now);

  // Absent while either kind has no samples, no run counted, or the runs
  // sum fewer than minimumSessionPoints session points.
  static std::optional<SessionWeekRatio> sessionWeekRatio(std::span<const HistorySample> history,
                                                          double minimumSessionPoints);
};

}  // namespace ovel
