// Readings, samples and activity placed relative to one fixed "now", for the
// engine's tests. Offsets are seconds from now (negative is earlier).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/engine/Activity.h"
#include "core/engine/ActivitySummary.h"
#include "core/engine/History.h"
#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

namespace ovel::test {

inline constexpr double kNow = 1'760'000'000;

inline Date at(double offset) { return dateFromSeconds1970(kNow + offset); }
inline const Date now = at(0);

inline std::optional<Date> maybeAt(std::optional<double> offset) {
  if (!offset) return std::nullopt;
  return at(*offset);
}

inline UsageWindow reading(const WindowKind& kind, double used, std::optional<double> resetIn,
                           double observedOffset = 0) {
  return UsageWindow{kind, used, maybeAt(resetIn), at(observedOffset), DataSource::statusLine};
}

inline HistorySample sample(const WindowKind& kind, double used, std::optional<double> resetIn, double observedOffset) {
  return HistorySample(kind, used, maybeAt(resetIn), at(observedOffset));
}

// A stored reading of the same instance as window.
inline HistorySample sampleOf(const UsageWindow& window, double used, double observedOffset) {
  return HistorySample(window.kind, used, window.resetsAt, at(observedOffset));
}

// A sonnet turn with input tokens only, so that its weight is `weight`.
inline ActivityEvent activityEvent(double offset, std::int64_t weight, std::string cwd = "/work/app",
                                   std::string model = "claude-sonnet-4-5") {
  ActivityEvent event;
  event.timestamp = at(offset);
  event.model = std::move(model);
  event.cwd = std::move(cwd);
  event.tokens.input = weight;
  return event;
}

// Both absent, or both present and equal up to rounding (infinities exactly).
inline ::testing::AssertionResult sameValue(std::optional<double> actual, std::optional<double> expected) {
  auto text = [](std::optional<double> value) {
    std::ostringstream out;
    out.precision(17);
    if (value) out << *value;
    else out << "absent";
    return out.str();
  };
  bool same = actual.has_value() == expected.has_value();
  if (same && actual && *actual != *expected)
    same = std::fabs(*actual - *expected) <= 1e-12 * std::max(1.0, std::fabs(*expected));
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text(actual) << ", expected " << text(expected);
}

}  // namespace ovel::test
