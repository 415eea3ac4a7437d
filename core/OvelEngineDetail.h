// Helpers shared by the engine's sources; not part of its interface.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/History.h"
#include "core/OvelEngine.h"

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
std::vector<OvelEngine::SlopePoint> pointsWithCurrent(const UsageWindow& window,
                                                      std::span<const HistorySample> history, Date floor);

}  // namespace ovel::engine_detail
