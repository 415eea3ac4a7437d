// One full recompute of the usage model, the work behind every tick, probe,
// scan and plan edit: an assessment per window, the steer, and the
// session/week ratio learned again (as after every ingest). On the
// "at-risk" demo and on eight days of stored readings every 60 s for four
// windows with a week of local activity (SyntheticUsage.h). Goal: under 2 ms.
// Also one ingest of a new reading on the GUI thread over that history,
// the file written by the store's own thread. Goal: under 100 µs.
#include <benchmark/benchmark.h>

#include "ModelBench.h"
#include "model/Demo.h"
#include "model/UsageModelInternals.h"

namespace ovel {
namespace {

using namespace bench;

void measureFullRecomputes(benchmark::State& state, UsageModel& model) {
  for (auto _ : state) {
    UsageModelInternals::forgetRatio(model);
    model.recompute();
  }
  state.counters["samples"] = static_cast<double>(model.history().size());
  state.counters["windows"] = static_cast<double>(model.assessments().size());
  state.counters["ratio"] = model.sessionWeekRatio() ? 1 : 0;
}

void BM_RecomputeAtRiskDemo(benchmark::State& state) {
  ModelBench bench;
  bench.model().startDemo(Demo::make(Demo::Scenario::atRisk, kNow, "UTC"));
  measureFullRecomputes(state, bench.model());
}
BENCHMARK(BM_RecomputeAtRiskDemo)->Unit(benchmark::kMicrosecond);

void BM_RecomputeEightDays(benchmark::State& state) {
  ModelBench bench;
  startWith(bench, synthetic().history);
  measureFullRecomputes(state, bench.model());
}
BENCHMARK(BM_RecomputeEightDays)->Unit(benchmark::kMicrosecond);

void BM_IngestEightDays(benchmark::State& state) {
  ModelBench bench;
  startWith(bench, synthetic().history);
  const UsageWindow last = synthetic().windows.front();
  double second = 0;
  for (auto _ : state) {
    // A little more every time, so every reading is believed and recorded.
    second += 1;
    UsageWindow reading = last;
    reading.usedPercent = last.usedPercent + second * 1e-9;
    reading.observedAt = addSeconds(kNow, second);
    UsageModelInternals::ingest(bench.model(), {reading});
  }
  bench.history().flush();
  state.counters["samples"] = static_cast<double>(bench.model().history().size());
}
BENCHMARK(BM_IngestEightDays)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovel
