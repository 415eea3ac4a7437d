// The engine over a full stored history: eight days of readings every 60 s
// for four window kinds (about 46 000 samples), plus a week of local
// activity. Each call should stay well under a millisecond, since the
// application runs them for every window on every recompute.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "ActivitySummary.h"
#include "OvelEngine.h"

namespace ovel {
namespace {

constexpr double kNowSeconds = 1'760'000'000;
constexpr double kCadence = 60;
constexpr double kSpan = 8 * 86400;

const Date kNow = dateFromSeconds1970(kNowSeconds);

// The reset time of the instance that contains t, for windows of the given
// length whose resets fall on a fixed grid.
double resetAfter(double t, double duration, double phase) {
  return std::floor((t - phase) / duration) * duration + phase + duration;
}

// Use climbs through each instance with a little deterministic wobble.
double usedAt(double t, double reset, double duration, double pace, double wobbleSeed) {
  double intoWindow = t - (reset - duration);
  return std::min(intoWindow / duration * pace + 1.5 * std::sin(t / 977.0 + wobbleSeed), 100.0);
}

struct Synthetic {
  std::vector<HistorySample> history;
  ActivitySummary activity;
  UsageWindow session;
  UsageWindow week;
};

Synthetic makeSynthetic() {
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
  synthetic.session = current(kinds[0]);
  synthetic.week = current(kinds[1]);
  return synthetic;
}

const Synthetic& synthetic() {
  static const Synthetic data = makeSynthetic();
  return data;
}

void BM_AssessSession(benchmark::State& state) {
  const Synthetic& data = synthetic();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        OvelEngine::assess(data.session, data.history, &data.activity, kNow, std::nullopt, OvelEngine::Thresholds{}));
  }
  state.counters["samples"] = static_cast<double>(data.history.size());
}
BENCHMARK(BM_AssessSession)->Unit(benchmark::kMicrosecond);

void BM_AssessWeek(benchmark::State& state) {
  const Synthetic& data = synthetic();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        OvelEngine::assess(data.week, data.history, &data.activity, kNow, std::nullopt, OvelEngine::Thresholds{}));
  }
}
BENCHMARK(BM_AssessWeek)->Unit(benchmark::kMicrosecond);

void BM_RatesSession(benchmark::State& state) {
  const Synthetic& data = synthetic();
  for (auto _ : state) benchmark::DoNotOptimize(OvelEngine::rates(data.session, data.history, &data.activity, kNow));
}
BENCHMARK(BM_RatesSession)->Unit(benchmark::kMicrosecond);

void BM_RatesWeek(benchmark::State& state) {
  const Synthetic& data = synthetic();
  for (auto _ : state) benchmark::DoNotOptimize(OvelEngine::rates(data.week, data.history, &data.activity, kNow));
}
BENCHMARK(BM_RatesWeek)->Unit(benchmark::kMicrosecond);

void BM_SessionWeekRatio(benchmark::State& state) {
  const Synthetic& data = synthetic();
  for (auto _ : state) {
    benchmark::DoNotOptimize(OvelEngine::sessionWeekRatio(data.history, kMinimumSessionPoints));
  }
  // Shows that the runs are really counted, not skipped.
  auto ratio = OvelEngine::sessionWeekRatio(data.history, kMinimumSessionPoints);
  state.counters["sessions"] = ratio ? static_cast<double>(ratio->sessions) : 0;
}
BENCHMARK(BM_SessionWeekRatio)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovel
