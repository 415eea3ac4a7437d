// A usage model for benchmarks, on the tests' fakes: a clock at kNow,
// posted work run on demand, a probe and a scan that answer at once, and
// stores in a temporary data directory.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "../tests/app/FakeAppServices.h"
#include "../tests/support/TestSupport.h"
#include "SyntheticUsage.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/OvelPaths.h"
#include "model/AppServices.h"
#include "model/DefaultsStore.h"
#include "model/Preferences.h"
#include "model/UsageModel.h"

namespace ovel::bench {

// A model over stores in a temporary data directory, whose probe answers
// `windows` and whose scan the synthetic week of activity. The clock stays
// at kNow, so the ticker never fires.
class ModelBench {
 public:
  explicit ModelBench(std::vector<UsageWindow> windows = synthetic().windows) {
    OvelPaths::setRootOverride(root_.path());
    history_ = std::make_unique<HistoryStore>(OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat);
    auto clock = std::make_unique<test::FakeClock>(kNow);
    auto scheduler = std::make_unique<test::FakeScheduler>(*clock);
    auto probe = std::make_unique<test::FakeProbeRunner>(
        *scheduler, ProbeOutcome::success({std::move(windows), std::nullopt, true}));
    auto scan = std::make_unique<test::FakeScanRunner>(*scheduler);
    scan->work.answer = synthetic().activity.events();
    scheduler_ = scheduler.get();
    AppServices services{std::move(clock), std::move(scheduler), std::move(probe), std::move(scan)};
    model_ = std::make_unique<UsageModel>(preferences_, *history_, ResetPlanStore(OvelPaths::resetPlan()),
                                          OvelPaths::statusLineSnapshot(), std::move(services));
  }
  ~ModelBench() {
    model_.reset();
    history_.reset();
    OvelPaths::setRootOverride(std::nullopt);
  }

  UsageModel& model() { return *model_; }
  HistoryStore& history() { return *history_; }
  // Runs the probe and the scan that start() posts.
  void settle() { scheduler_->runDue(); }

 private:
  test::TempDir root_;  // first made, last removed
  MemoryDefaultsStore defaults_;
  Preferences preferences_{defaults_};
  std::unique_ptr<HistoryStore> history_;
  test::FakeScheduler* scheduler_ = nullptr;
  std::unique_ptr<UsageModel> model_;
};

// Starts the model over stored readings, the probe and scan answered.
inline void startWith(ModelBench& bench, const std::vector<HistorySample>& samples) {
  std::vector<UsageWindow> readings;
  for (const HistorySample& sample : samples)
    readings.push_back(
        {*sample.kind(), sample.usedPercent, sample.resetsAt, sample.observedAt, DataSource::statusLine});
  bench.history().record(readings, kNow);
  bench.history().flush();
  bench.model().start();
  bench.settle();
}

}  // namespace ovel::bench
