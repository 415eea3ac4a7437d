// Generated data for "--demo <scenario>": windows with readings, a history
// behind them, a week of local activity, insights and a reset plan. The same
// scenario, start time and time zone always give the same data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine/Activity.h"
#include "core/engine/History.h"
#include "core/engine/ResetPlan.h"
#include "core/engine/UsageState.h"
#include "core/engine/WindowModel.h"
#include "core/support/Time.h"

namespace ovel {

// SplitMix64 from a fixed seed.
class SeededGenerator {
 public:
  std::uint64_t next();
  // Uniform in [lo, hi).
  double uniform(double lo, double hi);
  // Uniform integer in [0, bound), without modulo bias; bound > 0.
  std::uint64_t below(std::uint64_t bound);

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C1CULL;
};

struct Demo {
  enum class Scenario { comfortable, watch, atRisk, limited, plannedReset };

  std::vector<UsageWindow> windows;
  std::vector<HistorySample> history;
  std::vector<ActivityEvent> events;
  UsageInsights insights;
  bool live = true;
  ResetPlan resetPlan;

  // The scenario named right after the first "--demo", if it is one.
  static std::optional<Scenario> requested(std::span<const std::string> arguments);
  // Local hours (for the night gaps) are read in `zone`; empty is the
  // machine's zone.
  static Demo make(Scenario scenario, Date now, std::string_view zone = {});

 private:
  struct Pace {
    double used;
    double hoursToReset;
    double ratePerHour;
  };
  static Demo build(Pace session, Pace week, double modelUsed, Date now, std::string_view zone);
};

std::string_view rawValue(Demo::Scenario scenario);
std::optional<Demo::Scenario> scenarioFromRaw(std::string_view raw);

}  // namespace ovel
