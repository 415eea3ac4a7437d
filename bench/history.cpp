// What the reading history costs at start-up (loading eight days of lines)
// and on the GUI thread at every tick (recording one batch of readings,
// whose lines are written before record() returns) and once a day (the
// record that prunes). Everything is written into a temporary folder that
// is removed afterwards.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "../tests/support/TestSupport.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/History.h"

namespace ovel {
namespace {

constexpr double kNow = 1'760'000'000;
constexpr double kCadence = 60;

const std::vector<WindowKind>& kinds() {
  static const std::vector<WindowKind> all = {WindowKind::session(), WindowKind::week(), WindowKind::weekModel("Opus"),
                                              WindowKind::weekModel("Sonnet")};
  return all;
}

// A reading of `kind` at `at`, climbing through its window as real use does.
UsageWindow reading(const WindowKind& kind, double at) {
  double length = kind.duration();
  double start = std::floor(at / length) * length;
  UsageWindow window;
  window.kind = kind;
  window.usedPercent = std::round((at - start) / length * 1000) / 10 + 0.25;
  window.resetsAt = dateFromSeconds1970(start + length);
  window.observedAt = dateFromSeconds1970(at);
  return window;
}

// Eight days at a 60 s cadence for four windows: 46 080 lines.
std::size_t writeEightDays(const std::filesystem::path& url) {
  std::vector<UsageWindow> windows;
  for (double at = kNow - kHistoryRetention + kCadence; at <= kNow; at += kCadence)
    for (const auto& kind : kinds()) windows.push_back(reading(kind, at));
  HistoryStore(url, kHistoryRetention, 0).record(windows, dateFromSeconds1970(kNow));
  return windows.size();
}

void BM_LoadEightDays(benchmark::State& state) {
  test::TempDir dir;
  auto url = dir / "history.jsonl";
  std::size_t lines = writeEightDays(url);
  for (auto _ : state) {
    HistoryStore store(url, kHistoryRetention, kHistoryHeartbeat);
    auto samples = store.all();
    if (samples.size() != lines) state.SkipWithError("lines were lost");
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines));
  state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_LoadEightDays)->Unit(benchmark::kMillisecond);

// One record() call with `range(0)` changed readings: one append.
void BM_RecordAppend(benchmark::State& state) {
  test::TempDir dir;
  auto url = dir / "history.jsonl";
  writeEightDays(url);
  HistoryStore store(url, kHistoryRetention, kHistoryHeartbeat);
  store.all();
  std::vector<WindowKind> batchKinds(kinds().begin(), kinds().begin() + state.range(0));
  double at = kNow;
  for (auto _ : state) {
    at += 1;
    std::vector<UsageWindow> windows;
    for (const auto& kind : batchKinds) {
      windows.push_back(reading(kind, at));
      windows.back().usedPercent = at;  // always a change
    }
    store.record(windows, dateFromSeconds1970(kNow));
  }
}
BENCHMARK(BM_RecordAppend)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

// The record that prunes, once a day: the GUI thread drops a day of samples
// from memory and appends; the rewrite itself runs on the writer thread
// (waited for outside the timing).
void BM_RecordThatPrunes(benchmark::State& state) {
  test::TempDir dir;
  auto url = dir / "history.jsonl";
  writeEightDays(url);
  // One more day at the front: the oldest sample is then a day past the retention.
  std::string eightDays = test::readText(url);
  std::vector<UsageWindow> dayBefore;
  for (double at = kNow - kHistoryRetention - kDay - kCadence; at > kNow - kHistoryRetention - 2 * kDay; at -= kCadence)
    dayBefore.push_back(reading(WindowKind::session(), at));
  std::string text;
  for (auto it = dayBefore.rbegin(); it != dayBefore.rend(); ++it)
    text += "{\"k\":\"session\",\"u\":1,\"t\":" + std::to_string(secondsSince1970(it->observedAt)) + "}\n";
  text += eightDays;
  for (auto _ : state) {
    state.PauseTiming();
    test::writeText(url, text);
    {
      HistoryStore store(url, kHistoryRetention, kHistoryHeartbeat);
      store.all();
      std::vector<UsageWindow> windows{reading(WindowKind::session(), kNow + 1)};
      windows.back().usedPercent = 99.5;
      state.ResumeTiming();
      HistoryChange change = store.record(windows, dateFromSeconds1970(kNow + 1));
      state.PauseTiming();
      if (!change.prunedBefore) state.SkipWithError("no prune");
      store.flush();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RecordThatPrunes)->Iterations(30)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovel
