// Helpers shared by the engine's sources and open to its tests; not part of
// its interface.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/engine/History.h"
#include "core/engine/OvelEngine.h"

namespace ovel::engine_detail {

// HistorySample::sameWindow with the window's key built once, for scans over
// the whole history.
class InstanceMatcher {
 public:
  explicit InstanceMatcher(const UsageWindow& window) : key_(window.kind.key()), resetsAt_(window.resetsAt) {}

  bool operator()(const HistorySample& sample) const {
    return sample.kindKey == key_ && sameWindowInstance(sample.resetsAt, resetsAt_);
  }

 private:
  std::string key_;
  std::optional<Date> resetsAt_;
};

// The stored samples of the window's instance observed at or after floor,
// in history order.
std::vector<OvelEngine::SlopePoint> storedPoints(const UsageWindow& window, std::span<const HistorySample> history,
                                                 Date floor);

// storedPoints followed by the current reading, whatever its time.
std::vector<OvelEngine::SlopePoint> pointsWithCurrent(const UsageWindow& window, std::span<const HistorySample> history,
                                                      Date floor);

// The pieces of sessionWeekRatio.
struct WeekValue {
  double value = 0;
  HistorySample sample;  // the sample the value was read at
};
// Splits time-sorted samples into runs of one instance: a sample joins the
// last run when keys match and both reset times are present and closer
// than kSameInstanceBound; otherwise it starts a run.
std::vector<std::span<const HistorySample>> instances(std::span<const HistorySample> sorted);
// The week use at time t over time-sorted week samples: interpolated
// between neighbours of one instance at most kWeekInterpolationMaxGap
// apart, else the nearest sample within kWeekNearestMaxDistance.
std::optional<WeekValue> weekValue(Date t, std::span<const HistorySample> sortedWeek);

}  // namespace ovel::engine_detail
