// A usage model over real stores in a temporary data directory, with fake
// clock, scheduler, probe and scan, and the readings the tests feed it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "FakeAppServices.h"
#include "core/claude/StatusLineSnapshot.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/OvelPaths.h"
#include "model/UsageModel.h"
#include "model/UsageModelInternals.h"
#include "support/TestSupport.h"

namespace ovel::test {

// A Wednesday, 12:00 UTC.
inline const Date kStart = dateFromSeconds1970(1781697600);

inline Date at(double secondsAfterStart) { return addSeconds(kStart, secondsAfterStart); }

inline UsageWindow reading(WindowKind kind, double used, std::optional<Date> resetsAt, Date observedAt,
                           DataSource source = DataSource::usageCommand) {
  return UsageWindow{std::move(kind), used, resetsAt, observedAt, source};
}
inline UsageWindow sessionReading(double used, Date observedAt) {
  return reading(WindowKind::session(), used, at(3 * kHour), observedAt);
}
inline UsageWindow weekReading(double used, Date observedAt) {
  return reading(WindowKind::week(), used, at(4 * kDay), observedAt);
}

inline ProbeOutcome probeAnswer(std::vector<UsageWindow> windows, std::optional<UsageInsights> insights = {}) {
  return ProbeOutcome::success({std::move(windows), std::move(insights), true});
}

inline UsageInsights insightsLabelled(const char* label, Date observedAt) {
  UsageInsights insights;
  insights.periods.push_back({label, 10, 2, {}, {}, {}});
  insights.observedAt = observedAt;
  return insights;
}

class RootOverride {
 public:
  explicit RootOverride(const std::filesystem::path& root) { OvelPaths::setRootOverride(root); }
  ~RootOverride() { OvelPaths::setRootOverride(std::nullopt); }
  RootOverride(const RootOverride&) = delete;
  RootOverride& operator=(const RootOverride&) = delete;
};

class UsageModelTest : public ::testing::Test {
 protected:
  UsageModelTest() { build(); }

  // A new model (and fresh fakes, the clock at kStart) over the same data
  // directory.
  // A given probe runner replaces the fake one (`probe` is then null).
  void build(std::optional<ResetPlanStore> planStore = std::nullopt,
             std::unique_ptr<ProbeRunner> probeRunner = nullptr) {
    model.reset();
    auto fakeClock = std::make_unique<FakeClock>(kStart);
    auto fakeScheduler = std::make_unique<FakeScheduler>(*fakeClock);
    auto fakeScan = std::make_unique<FakeScanRunner>(*fakeScheduler);
    probe = nullptr;
    if (!probeRunner) {
      auto fakeProbe = std::make_unique<FakeProbeRunner>(
          *fakeScheduler, probeAnswer({sessionReading(20, kStart), weekReading(30, kStart)}));
      probe = fakeProbe.get();
      probeRunner = std::move(fakeProbe);
    }
    clock = fakeClock.get();
    scheduler = fakeScheduler.get();
    scan = fakeScan.get();
    AppServices services{std::move(fakeClock), std::move(fakeScheduler), std::move(probeRunner), std::move(fakeScan)};
    model = std::make_unique<UsageModel>(preferences, historyStore,
                                         planStore.value_or(ResetPlanStore(OvelPaths::resetPlan())),
                                         OvelPaths::statusLineSnapshot(), std::move(services));
    changedAt.clear();
    QObject::connect(model.get(), &UsageModel::changed, model.get(), [this] { changedAt.push_back(clock->now()); });
  }

  // Starts the model and lets the probe and scan that start() posts finish.
  void startAndSettle() {
    model->start();
    scheduler->runDue();
  }

  void writeSnapshot(std::optional<double> session, std::optional<double> week, Date observedAt) {
    StatusLineSnapshot snapshot;
    snapshot.observedAt = secondsSince1970(observedAt);
    if (session) snapshot.rateLimits.fiveHour = StatusLineSnapshot::Limit{session, secondsSince1970(at(3 * kHour))};
    if (week) snapshot.rateLimits.sevenDay = StatusLineSnapshot::Limit{week, secondsSince1970(at(4 * kDay))};
    ASSERT_FALSE(snapshot.write(OvelPaths::statusLineSnapshot()));
  }
  static void setModified(const std::filesystem::path& file, std::filesystem::file_time_type time) {
    std::filesystem::last_write_time(file, time);
  }

  TempDir dir;
  RootOverride root{dir.path()};
  MemoryDefaultsStore defaults;
  Preferences preferences{defaults};
  HistoryStore historyStore{OvelPaths::history(), kHistoryRetention, kHistoryHeartbeat};
  FakeClock* clock = nullptr;
  FakeScheduler* scheduler = nullptr;
  FakeProbeRunner* probe = nullptr;
  FakeScanRunner* scan = nullptr;
  std::unique_ptr<UsageModel> model;
  std::vector<Date> changedAt;  // one entry per changed() signal
};

}  // namespace ovel::test
