// The dashboard over a week of readings every 60 s (about 10 000 samples in
// the week window, and a session): painting the usage chart of the week at
// the dashboard's width (860 less the paddings: 780 x 230), at one and two
// device pixels a point, with its grid as drawn before and anew; goal under
// 8 ms. And one dashboard refresh after a model change (a new reading taken
// in and recomputed outside the timing), goal under 30 ms, also measured
// with the painting of the whole dashboard that follows it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QPainter>

#include <cstdlib>

#include "ModelBench.h"
#include "dashboard/DashboardView.h"
#include "dashboard/UsageChart.h"
#include "model/Integrations.h"
#include "model/UsageModelInternals.h"
#include "ui/Spring.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

using namespace bench;

constexpr double kWeek = 604800;
constexpr int kDashboardWidth = 860;
const QSize kChartSize(780, 230);

UsageWindow current(WindowKind kind, double resetIn) {
  double reset = kNowSeconds + resetIn;
  return {kind, usedAt(kNowSeconds, reset, kind.duration(), 70, 0), dateFromSeconds1970(reset), kNow,
          DataSource::statusLine};
}

// The week window a minute before its reset, read every 60 s from its
// start, and the last four hours of the session.
struct WeekOfReadings {
  std::vector<UsageWindow> windows = {current(WindowKind::session(), 3600), current(WindowKind::week(), 60)};
  std::vector<HistorySample> history;

  WeekOfReadings() {
    for (const UsageWindow& window : windows) {
      double reset = secondsSince1970(*window.resetsAt);
      double from = window.kind.isSession() ? kNowSeconds - 4 * 3600.0 : reset - kWeek;
      for (double t = from + kCadence; t < kNowSeconds; t += kCadence)
        history.emplace_back(window.kind, usedAt(t, reset, window.kind.duration(), 70, 0), window.resetsAt,
                             dateFromSeconds1970(t));
    }
  }
};

const WeekOfReadings& weekOfReadings() {
  static const WeekOfReadings data;
  return data;
}

// A model started over that week, with the synthetic local activity.
struct DashboardBench {
  DashboardBench() : model(weekOfReadings().windows) { startWith(model, weekOfReadings().history); }

  ModelBench model;
  Integrations integrations{AppBundle{QStringLiteral("ovel"), "/bench/Ovel"}, nullptr};
};

void BM_UsageChartWeek(benchmark::State& state) {
  DashboardBench bench;
  UsageModel& model = bench.model.model();
  WindowAssessment week = *model.week();
  std::vector<HistorySample> samples = model.samples(week.window);
  UsageChart chart;
  chart.setPalette(Theme::palette(Appearance::light));
  chart.resize(kChartSize);
  chart.layout()->activate();
  double ratio = static_cast<double>(state.range(0));
  bool newDomain = state.range(1) != 0;
  QImage image(kChartSize * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  for (auto _ : state) {
    // A reset a second later moves the domain, so that the grid and its
    // labels are drawn again too, as after a window's reset.
    if (newDomain) week.window.resetsAt = addSeconds(*week.window.resetsAt, 1);
    chart.setData(week, samples, model.now(), 110);
    // Painted as in its window, over the card the window has drawn.
    QPainter painter(&image);
    chart.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  state.counters["samples"] = static_cast<double>(samples.size());
  state.counters["inDomain"] = static_cast<double>(chart.shownPoints().size());
}
BENCHMARK(BM_UsageChartWeek)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"dpr", "newDomain"})
    ->Unit(benchmark::kMillisecond);

// Takes a new reading in and recomputes, as a tick does.
void changeModel(UsageModel& model, int step) {
  UsageWindow reading = weekOfReadings().windows.back();
  reading.usedPercent += step * 1e-6;
  reading.observedAt = addSeconds(kNow, step);
  UsageModelInternals::ingest(model, {reading});
  model.recompute();
}

void measureRefreshes(benchmark::State& state, bool paint) {
  DashboardBench bench;
  UsageModel& model = bench.model.model();
  DashboardView view(
      model, bench.integrations, [] {}, false);
  view.setPalette(Theme::palette(Appearance::light));
  view.setFixedWidth(kDashboardWidth);
  view.resize(kDashboardWidth, view.heightForWidth(kDashboardWidth));
  // Shown off screen, it lays itself out from its event loop as a window.
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  QCoreApplication::sendPostedEvents();
  QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
  int step = 0;
  for (auto _ : state) {
    state.PauseTiming();
    changeModel(model, ++step);
    state.ResumeTiming();
    // The redraw the change asked for, and the layout it leads to.
    QCoreApplication::sendPostedEvents();
    if (paint) view.render(&image);
  }
  state.counters["samples"] = static_cast<double>(model.history().size());
  state.counters["weekSamples"] = static_cast<double>(model.samples(model.week()->window).size());
}

void BM_DashboardRefresh(benchmark::State& state) { measureRefreshes(state, false); }
BENCHMARK(BM_DashboardRefresh)->Unit(benchmark::kMillisecond);

void BM_DashboardRefreshAndPaint(benchmark::State& state) { measureRefreshes(state, true); }
BENCHMARK(BM_DashboardRefreshAndPaint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ovel

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  ovel::Spring::setAnimationsEnabled(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
