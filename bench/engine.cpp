// The engine over a full stored history (SyntheticUsage.h). Each call
// should stay well under a millisecond, since the application runs them for
// every window on every recompute.
#include <benchmark/benchmark.h>

#include "SyntheticUsage.h"
#include "core/engine/OvelEngine.h"

namespace ovel {
namespace {

using namespace bench;

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
  for (auto _ : state) { benchmark::DoNotOptimize(OvelEngine::sessionWeekRatio(data.history, kMinimumSessionPoints)); }
  // Shows that the runs are really counted, not skipped.
  auto ratio = OvelEngine::sessionWeekRatio(data.history, kMinimumSessionPoints);
  state.counters["sessions"] = ratio ? static_cast<double>(ratio->sessions) : 0;
}
BENCHMARK(BM_SessionWeekRatio)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovel
