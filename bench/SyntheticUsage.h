// Synthetic usage for benchmarks: eight days of readings every 60 s for
// four window kinds (about 46 000 samples), a week of local activity, and
// the current readings at the end of it.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/engine/ActivitySummary.h"
#include "core/engine/History.h"
#include "core/engine/WindowModel.h"

namespace ovel::bench {

inline constexpr double kNowSeconds = 1'760'000'000;
inline constexpr double kCadence = 60;
inline constexpr double kSpan = 8 * 86400;

inline const Date kNow = dateFromSeconds1970(kNowSeconds);

// The reset time of the instance that contains t, for windows of the given
// length whose resets fall on a fixed grid.
inline double resetAfter(double t, double duration, double phase) {
  return std::floor((t - phase) / duration) * duration + phase + duration;
}

// Use climbs through each instance with a little deterministic wobble.
inline double usedAt(double t, double reset, double duration, double pace, double wobbleSeed) {
  double intoWindow = t - (reset - duration);
  return std::min(intoWindow / duration * pace + 1.5 * std::sin(t / 977.0 + wobbleSeed), 100.0);
}

struct Synthetic {
  std::vector<HistorySample> history;
  ActivitySummary activity;
  UsageWindow session;
  UsageWindow week;
  std::vector<UsageWindow> windows;  // the current reading of all four kinds
};

inline Synthetic makeSynthetic() {
  struct KindShape {
    WindowKind kind;
    double phase, pace, seed;
  };
  const KindShape kinds[] = {
      {WindowKind::session(), 1200, 90, 0.0},
      {WindowKind::week(), 3 * 86400 + 7000, 70, 1.0},
      {WindowKind::weekModel("Opus"), 3 * 86400 + 7000, 55, 2.0},
      {WindowKind::weekModel("Sonnet"), 3 * 86400 + 7000, 40, 3.0},
  };
  Synthetic synthetic;
  for (double t = kNowSeconds - kSpan; t < kNowSeconds; t += kCadence) {
    for (const KindShape& shape : kinds) {
      double duration = shape.kind.duration();
      double reset = resetAfter(t, duration, shape.phase);
      synthetic.history.emplace_back(shape.kind, usedAt(t, reset, duration, shape.pace, shape.seed),
                                     dateFromSeconds1970(reset), dateFromSeconds1970(t));
    }
  }

  std::vector<ActivityEvent> events;
  for (double t = kNowSeconds - 7 * 86400; t < kNowSeconds; t += 120) {
    ActivityEvent event;
    event.timestamp = dateFromSeconds1970(t);
    event.model = static_cast<long long>(t) % 3 == 0 ? "claude-opus-4-1" : "claude-sonnet-4-5";
    event.cwd = static_cast<long long>(t) % 5 == 0 ? "/work/ovel" : "/work/other";
    event.tokens = {1200, 300, 40000, 2000, 0};
    events.push_back(std::move(event));
  }
  synthetic.activity = ActivitySummary(std::move(events));

  auto current = [&](const KindShape& shape) {
    double reset = resetAfter(kNowSeconds, shape.kind.duration(), shape.phase);
    return UsageWindow{shape.kind, usedAt(kNowSeconds, reset, shape.kind.duration(), shape.pace, shape.seed),
                       dateFromSeconds1970(reset), kNow, DataSource::statusLine};
  };
  for (const KindShape& shape : kinds) synthetic.windows.push_back(current(shape));
  synthetic.session = current(kinds[0]);
  synthetic.week = current(kinds[1]);
  return synthetic;
}

inline const Synthetic& synthetic() {
  static const Synthetic data = makeSynthetic();
  return data;
}

}  // namespace ovel::bench
