// One full recompute of the usage model, the work behind every tick, probe,
// scan and plan edit: an assessment per window, the steer, and the
// session/week ratio learned again (as after every ingest). On the
// "at-risk" demo and on eight days of stored readings every 60 s for four
// windows with a week of local activity (SyntheticUsage.h). Goal: under 2 ms.
// Also one ingest of a new reading on the GUI thread over that history,
// the file written by the store's own thread. Goal: under 100 µs.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "AppServices.h"
#include "DefaultsStore.h"
#include "Demo.h"
#include "Preferences.h"
#include "SyntheticUsage.h"
#include "UsageModel.h"
#include "UsageModelInternals.h"
#include "core/OvelPaths.h"

namespace ovel {
namespace {

using namespace bench;

class FixedClock final : public Clock {
 public:
  Date now() const override { return kNow; }
};

// Holds posted work until drain(); timed work (the ticker) never runs.
class ManualScheduler final : public Scheduler {
 public:
  void post(std::function<void()> work) override { posted_.push_back(std::move(work)); }
  TaskId after(double, std::function<void()>) override { return 0; }
  void cancel(TaskId) override {}
  void drain() {
    while (!posted_.empty()) {
      auto work = std::move(posted_.front());
      posted_.pop_front();
      work();
    }
  }

 private:
  std::deque<std::function<void()>> posted_;
};

class AnsweringProbe final : public ProbeRunner {
 public:
  std::optional<std::filesystem::path> locate(const std::optional<std::string>&) override { return "/bench/claude"; }
  void run(const std::filesystem::path&, double, std::function<Date()>, Completion done) override {
    done(ProbeOutcome::success({synthetic().windows, std::nullopt, true}));
  }
};

class AnsweringScan final : public ScanRunner {
 public:
  void scan(Date, Completion done) override { done(synthetic().activity.events()); }
};

// A model over stores in a temporary data directory.
class ModelBench {
 public:
  ModelBench() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovel-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    OvelPaths::setRootOverride(root_);
    history_ = std::make_unique<HistoryStore>(OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat);
    auto scheduler = std::make_unique<ManualScheduler>();
    scheduler_ = scheduler.get();
    AppServices services{std::make_unique<FixedClock>(), std::move(scheduler), std::make_unique<AnsweringProbe>(),
                         std::make_unique<AnsweringScan>()};
    model_ = std::make_unique<UsageModel>(preferences_, *history_, ResetPlanStore(OvelPaths::resetPlan()),
                                          std::move(services));
  }
  ~ModelBench() {
    model_.reset();
    history_.reset();
    OvelPaths::setRootOverride(std::nullopt);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  UsageModel& model() { return *model_; }
  HistoryStore& history() { return *history_; }
  // Runs the probe and the scan that start() posts.
  void settle() { scheduler_->drain(); }

 private:
  std::filesystem::path root_;
  MemoryDefaultsStore defaults_;
  Preferences preferences_{defaults_};
  std::unique_ptr<HistoryStore> history_;
  ManualScheduler* scheduler_ = nullptr;
  std::unique_ptr<UsageModel> model_;
};

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

// Starts the model over eight days of stored readings.
void startWithEightDays(ModelBench& bench) {
  std::vector<UsageWindow> readings;
  for (const HistorySample& sample : synthetic().history)
    readings.push_back({*sample.kind(), sample.usedPercent, sample.resetsAt, sample.observedAt, DataSource::statusLine});
  bench.history().record(readings, kNow);
  bench.history().flush();
  bench.model().start();
  bench.settle();
}

void BM_RecomputeEightDays(benchmark::State& state) {
  ModelBench bench;
  startWithEightDays(bench);
  measureFullRecomputes(state, bench.model());
}
BENCHMARK(BM_RecomputeEightDays)->Unit(benchmark::kMicrosecond);

void BM_IngestEightDays(benchmark::State& state) {
  ModelBench bench;
  startWithEightDays(bench);
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
