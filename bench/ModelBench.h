// A usage model for benchmarks: a fixed clock at kNow, posted work run on
// demand, a probe and a scan that answer at once, and stores in a
// temporary data directory.
#pragma once

#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppServices.h"
#include "DefaultsStore.h"
#include "Preferences.h"
#include "SyntheticUsage.h"
#include "UsageModel.h"
#include "core/EngineConstants.h"
#include "core/OvelPaths.h"

namespace ovel::bench {

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

// Answers every probe with the same readings.
class AnsweringProbe final : public ProbeRunner {
 public:
  explicit AnsweringProbe(std::vector<UsageWindow> windows) : windows_(std::move(windows)) {}
  std::optional<std::filesystem::path> locate(const std::optional<std::string>&) override { return "/bench/claude"; }
  void run(const std::filesystem::path&, double, std::function<Date()>, Completion done) override {
    done(ProbeOutcome::success({windows_, std::nullopt, true}));
  }

 private:
  std::vector<UsageWindow> windows_;
};

class AnsweringScan final : public ScanRunner {
 public:
  void scan(Date, Completion done) override { done(synthetic().activity.events()); }
};

// A model over stores in a temporary data directory, whose probe answers
// `windows` and whose scan the synthetic week of activity.
class ModelBench {
 public:
  explicit ModelBench(std::vector<UsageWindow> windows = synthetic().windows) {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovel-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    OvelPaths::setRootOverride(root_);
    history_ = std::make_unique<HistoryStore>(OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat);
    auto scheduler = std::make_unique<ManualScheduler>();
    scheduler_ = scheduler.get();
    AppServices services{std::make_unique<FixedClock>(), std::move(scheduler), std::make_unique<AnsweringProbe>(std::move(windows)),
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

// Starts the model over stored readings, the probe and scan answered.
inline void startWith(ModelBench& bench, const std::vector<HistorySample>& samples) {
  std::vector<UsageWindow> readings;
  for (const HistorySample& sample : samples)
    readings.push_back({*sample.kind(), sample.usedPercent, sample.resetsAt, sample.observedAt, DataSource::statusLine});
  bench.history().record(readings, kNow);
  bench.history().flush();
  bench.model().start();
  bench.settle();
}

}  // namespace ovel::bench
