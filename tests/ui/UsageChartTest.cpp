// The usage chart's geometry and marks, its time axis, the thinning of long
// histories, and which window the chart card shows.
#include "dashboard/UsageChart.h"

#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <gtest/gtest.h>

#include "DashboardFixture.h"
#include "dashboard/DashboardView.h"
#include "dashboard/UsageChartSection.h"
#include "ui/SegmentedControl.h"
#include "ui/TextView.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

using namespace test;

constexpr double kSessionLength = 18000;
constexpr double kWeekLength = 604800;

HistorySample sample(double used, Date at) { return HistorySample(WindowKind::session(), used, std::nullopt, at); }

std::vector<ChartPoint> pointsOf(const WindowAssessment& a, const std::vector<HistorySample>& samples) {
  return UsageChart::points(a, samples, kStart);
}

TEST(UsageChartTest, DomainIsOneWindowEndingAtTheResetElseTheLastHour) {
  Date reset = at(7200);
  auto domain = UsageChart::xDomain(assessed(WindowKind::session(), 20), kStart);
  EXPECT_EQ(domain, std::pair(at(-3600), kStart));
  for (auto [kind, length] : {std::pair{WindowKind::session(), kSessionLength},
                              std::pair{WindowKind::week(), kWeekLength}, std::pair{opus(), kWeekLength}}) {
    auto a = assessed(kind, 20, std::nullopt, std::nullopt, OvelStatus::comfortable, reset);
    EXPECT_EQ(UsageChart::xDomain(a, kStart), std::pair(addSeconds(reset, -length), reset)) << kind.title();
  }
}

TEST(UsageChartTest, PointsAreTheSamplesAndTheReadingInsideTheDomain) {
  auto noReset = assessed(WindowKind::session(), 30);
  noReset.window.observedAt = at(-5);
  // Out of order, one before the hour, one on each end of it.
  std::vector<HistorySample> samples = {sample(20, at(-10)), sample(5, at(-3601)), sample(6, at(-3600)),
                                        sample(31, at(1)), sample(29, kStart)};
  EXPECT_EQ(pointsOf(noReset, samples),
            (std::vector<ChartPoint>{{at(-3600), 6}, {at(-10), 20}, {at(-5), 30}, {kStart, 29}}));

  auto withReset = assessed(WindowKind::session(), 30, std::nullopt, std::nullopt, OvelStatus::comfortable, at(3600));
  Date start = at(3600 - kSessionLength);
  samples = {sample(1, addSeconds(start, -1)), sample(2, start), sample(40, at(3600)), sample(41, at(3601))};
  EXPECT_EQ(pointsOf(withReset, samples), (std::vector<ChartPoint>{{start, 2}, {kStart, 30}, {at(3600), 40}}));
}

TEST(UsageChartTest, LaterPointAtOneTimeWins) {
  auto a = assessed(WindowKind::session(), 30);
  a.window.observedAt = at(-60);
  EXPECT_EQ(pointsOf(a, {sample(10, at(-60)), sample(12, at(-120)), sample(14, at(-120))}),
            (std::vector<ChartPoint>{{at(-120), 14}, {at(-60), 30}}));
}

TEST(UsageChartTest, WithoutSamplesOnlyTheReadingInsideTheDomain) {
  auto a = assessed(WindowKind::session(), 30);
  EXPECT_EQ(pointsOf(a, {}), (std::vector<ChartPoint>{{kStart, 30}}));
  a.window.observedAt = at(-4000);
  EXPECT_TRUE(pointsOf(a, {}).empty());
}

WindowAssessment projecting(double used, std::optional<double> projected, std::optional<Date> reset) {
  auto a = assessed(WindowKind::session(), used, 10, 5, OvelStatus::watch, reset);
  a.projectedAtReset = projected;
  return a;
}

TEST(UsageChartTest, ProjectionEndsAtTheResetOrWhereItLeavesTheTop) {
  Date reset = at(16000);
  struct Case {
    const char* name;
    double used;
    std::optional<double> projected;
    std::optional<Date> reset;
    std::optional<ChartPoint> end;
  } cases[] = {
      {"cut at the ceiling", 40, 200, reset, ChartPoint{at(0.4375 * 16000), 110}},
      {"right at the ceiling", 40, 110, reset, ChartPoint{reset, 110}},
      {"below the ceiling", 40, 90, reset, ChartPoint{reset, 90}},
      {"below the reading", 40, 30, reset, ChartPoint{reset, 30}},
      {"no reset time", 40, 200, std::nullopt, std::nullopt},
      {"no projection", 40, std::nullopt, reset, std::nullopt},
      // Above the ceiling already, the cut would fall before now.
      {"use above the ceiling", 115, 200, reset, std::nullopt},
      {"use at the ceiling", 110, 120, reset, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UsageChart::projectionEnd(projecting(c.used, c.projected, c.reset), kStart, 110), c.end);
  }
}

TEST(UsageChartTest, ProjectionEndsAtAPlannedResetThatCutsTheWindowShort) {
  // Ten hours to the planned reset at 1 point per hour: 50 there.
  auto a = projecting(40, 50, at(100 * 3600));
  a.window.kind = WindowKind::week();
  a.plannedResetAt = at(10 * 3600);
  EXPECT_EQ(UsageChart::projectionEnd(a, kStart, 110), (ChartPoint{at(10 * 3600), 50}));
  a.projectedAtReset = 200;
  EXPECT_EQ(UsageChart::projectionEnd(a, kStart, 110), (ChartPoint{at(0.4375 * 10 * 3600), 110}));
  // The even-spend line still spans the scheduled window.
  EXPECT_EQ(UsageChart::evenLine(a),
            (std::array<ChartPoint, 2>{ChartPoint{at(100 * 3600 - kWeekLength), 0}, ChartPoint{at(100 * 3600), 100}}));
}

TEST(UsageChartTest, EvenLineNeedsAReset) {
  EXPECT_FALSE(UsageChart::evenLine(assessed(WindowKind::session(), 20)));
  auto a = assessed(WindowKind::session(), 20, std::nullopt, std::nullopt, OvelStatus::comfortable, at(3600));
  EXPECT_EQ(UsageChart::evenLine(a),
            (std::array<ChartPoint, 2>{ChartPoint{at(3600 - kSessionLength), 0}, ChartPoint{at(3600), 100}}));
}

TEST(UsageChartTest, LimitDotWhileALimitIsAheadAndNotReached) {
  Format::setTimeZone("UTC");
  auto a = assessed(WindowKind::week(), 80, 10, 2, OvelStatus::atRisk, at(4 * 86400));
  a.timeToLimit = 3600;
  auto dot = UsageChart::limitDot(a, kStart);
  ASSERT_TRUE(dot);
  EXPECT_EQ(dot->point, (ChartPoint{at(3600), 100}));
  EXPECT_EQ(dot->label, "limit ~1:00 PM");
  a.timeToLimit = 2 * 86400;
  EXPECT_EQ(UsageChart::limitDot(a, kStart)->label, "limit ~Fri 12:00 PM");
  a.status = OvelStatus::limited;
  EXPECT_FALSE(UsageChart::limitDot(a, kStart));
  a.status = OvelStatus::atRisk;
  a.timeToLimit.reset();
  EXPECT_FALSE(UsageChart::limitDot(a, kStart));
  Format::setTimeZone({});
}

TEST(UsageChartTest, PercentMarksStopAtOneHundredUnderTheCeiling) {
  EXPECT_EQ(UsageChart::kPercentMarks, (std::array<double, 5>{0, 25, 50, 75, 100}));
  ChartScale scale(QRectF(0, 0, 100, 220), kStart, at(100), 0, 110);
  EXPECT_DOUBLE_EQ(scale.y(100), 20);
  EXPECT_DOUBLE_EQ(scale.y(0), 220);
  EXPECT_DOUBLE_EQ(scale.x(at(25)), 25);
}

TEST(UsageChartTest, LegendHasItsFourKeysInOrder) {
  UsageChart chart;
  chart.setData(assessed(WindowKind::session(), 80, 10, 2, OvelStatus::atRisk), {}, kStart, 110);
  std::vector<QString> labels;
  for (LegendKey* key : chart.legend()) labels.push_back(key->label());
  EXPECT_EQ(labels, (std::vector<QString>{"used", "at this ovel", "even ovel", "limit"}));
  EXPECT_EQ(chart.legend()[0]->color(), ThemeColor::status(OvelStatus::atRisk));
  EXPECT_EQ(chart.legend()[1]->color(), ThemeColor::status(OvelStatus::atRisk));
  EXPECT_EQ(chart.legend()[3]->color(), ThemeColor::systemRed().withAlpha(0.6));
}

// Pixels are the behaviour here: a line above the ceiling is cut at the
// plot's top edge and leaves the annotation room above it clear.
TEST(UsageChartTest, MarksAboveTheCeilingAreCutAtThePlotsTop) {
  auto a = assessed(WindowKind::session(), 115, std::nullopt, std::nullopt, OvelStatus::limited, at(3600));
  std::vector<HistorySample> samples;
  for (int minute = 1; minute < 200; ++minute) samples.push_back(sample(115, at(-60.0 * minute)));
  UsageChart chart;
  chart.setPalette(Theme::palette(Appearance::light));
  chart.resize(400, 230);
  chart.setData(a, samples, kStart, 110);
  chart.layout()->activate();
  QImage image(chart.size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  chart.render(&image);
  QRectF plot = UsageChart::plotRect(QSizeF(400, chart.height() - 10 - chart.legend()[0]->height()));
  int reddish = 0;
  for (int x = 0; x < static_cast<int>(plot.right()); ++x)
    for (int y = 0; y < static_cast<int>(plot.top()); ++y) {
      QColor pixel = image.pixelColor(x, y);
      if (pixel.red() > 200 && pixel.green() < 150) ++reddish;
    }
  EXPECT_EQ(reddish, 0);
  // Below the edge, the area under the line fills the plot.
  EXPECT_NE(image.pixelColor(static_cast<int>(plot.center().x()) - 60, static_cast<int>(plot.top()) + 3),
            QColor(Qt::white));
}

TEST(ChartScaleTest, TimeMarksFallOnWholeLocalSteps) {
  struct Case {
    const char* name;
    Date start;
    Date end;
    const char* zone;
    double step;
    std::vector<Date> marks;
  } cases[] = {
      {"a session on whole hours",
       at(-6180),
       at(11820),
       "UTC",
       3600,
       {at(-3600), kStart, at(3600), at(7200), at(10800)}},
      {"a week on midnights",
       at(-kWeekLength),
       kStart,
       "UTC",
       86400,
       {at(-6.5 * 86400), at(-5.5 * 86400), at(-4.5 * 86400), at(-3.5 * 86400), at(-2.5 * 86400), at(-1.5 * 86400),
        at(-0.5 * 86400)}},
      {"an hour in ten-minute steps",
       at(-3600),
       kStart,
       "UTC",
       600,
       {at(-3600), at(-3000), at(-2400), at(-1800), at(-1200), at(-600), kStart}},
      {"whole hours half an hour off UTC",
       at(-6180),
       at(11820),
       "Asia/Kolkata",
       3600,
       {at(-5400), at(-1800), at(1800), at(5400), at(9000)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TimeMarks marks = timeMarks(c.start, c.end, 5, c.zone);
    EXPECT_EQ(marks.step, c.step);
    EXPECT_EQ(marks.marks, c.marks);
  }
  EXPECT_TRUE(timeMarks(kStart, kStart, 5, "UTC").marks.empty());
}

TEST(ChartScaleTest, ThinningKeepsEveryTurnAndTheLastPoint) {
  ChartScale scale(QRectF(0, 0, 100, 100), kStart, at(10000), 0, 110);
  std::vector<ChartPoint> points;
  for (int i = 0; i < 10000; ++i) {
    // A climb with a reset to 0 halfway through a column.
    double value = i < 5025 ? i / 100.0 : (i - 5025) / 100.0;
    points.push_back({at(i), value});
  }
  points.push_back({at(10000), 3});
  std::vector<ChartPoint> thinned = thinToColumns(points, scale);
  EXPECT_LE(thinned.size(), 4u * 101u);
  EXPECT_EQ(thinned.front(), points.front());
  EXPECT_EQ(thinned.back(), points.back());
  EXPECT_NE(std::find(thinned.begin(), thinned.end(), points[5024]), thinned.end());
  EXPECT_NE(std::find(thinned.begin(), thinned.end(), points[5025]), thinned.end());
  EXPECT_TRUE(std::is_sorted(thinned.begin(), thinned.end(),
                             [](const ChartPoint& a, const ChartPoint& b) { return a.time < b.time; }));

  std::vector<ChartPoint> few(points.begin(), points.begin() + 300);
  EXPECT_EQ(thinToColumns(few, scale), few);
}

TEST(ChartScaleTest, SimplifyingKeepsTheEndsAndEveryVisibleCorner) {
  // A gentle climb, a drop to the floor (a reset), and a flat stretch.
  QPolygonF line;
  for (int x = 0; x <= 100; ++x) line << QPointF(x, 100 - x * 0.5 + (x % 2) * 0.1);
  line << QPointF(100.5, 100);
  for (int x = 101; x <= 200; ++x) line << QPointF(x, 100);
  QPolygonF kept = simplifyPolyline(line, 0.25);
  EXPECT_LT(kept.size(), 10);
  EXPECT_EQ(kept.front(), line.front());
  EXPECT_EQ(kept.back(), line.back());
  EXPECT_TRUE(kept.contains(QPointF(100, 50)));
  EXPECT_TRUE(kept.contains(QPointF(100.5, 100)));
  // Every point dropped lies within the tolerance of the line drawn.
  QPainterPath drawn;
  drawn.addPolygon(kept);
  QPainterPathStroker band;
  band.setWidth(2 * 0.25 + 1e-6);
  QPainterPath within = band.createStroke(drawn);
  for (const QPointF& point : line) EXPECT_TRUE(within.contains(point) || kept.contains(point)) << point.x();

  QPolygonF two = {QPointF(0, 0), QPointF(1, 1)};
  EXPECT_EQ(simplifyPolyline(two, 0.25), two);
}

TEST(UsageChartSectionTest, SelectionIsThePickElseTheSteerElseTheSession) {
  auto week = assessed(WindowKind::week(), 30);
  EXPECT_EQ(UsageChartSection::chartSelection(std::nullopt, week), WindowKind::week());
  EXPECT_EQ(UsageChartSection::chartSelection(std::nullopt, std::nullopt), WindowKind::session());
  EXPECT_EQ(UsageChartSection::chartSelection(opus(), week), opus());

  std::vector<WindowAssessment> all = {assessed(WindowKind::session(), 10), week};
  EXPECT_EQ(UsageChartSection::selectedAssessment(WindowKind::week(), all), &all[1]);
  EXPECT_EQ(UsageChartSection::selectedAssessment(opus(), all), nullptr);
}

class UsageChartSectionWidgetTest : public DashboardTest {};

TEST_F(UsageChartSectionWidgetTest, FollowsTheSteerUntilTheUserPicks) {
  showDemo(Demo::Scenario::watch);
  ASSERT_EQ(model->steerAssessment()->window.kind, WindowKind::week());
  UsageChartSection section(*model);
  EXPECT_EQ(section.picker()->titles(), (QStringList{"Session", "Week", "Week \u00B7 Opus"}));
  EXPECT_EQ(section.picker()->currentIndex(), 1);
  EXPECT_FALSE(section.chart()->isHidden());
  EXPECT_EQ(section.chart()->shownPoints().back().value, model->week()->window.usedPercent);

  emit section.picker()->activated(0);
  EXPECT_EQ(section.chartKind(), WindowKind::session());
  section.refresh();
  EXPECT_EQ(section.picker()->currentIndex(), 0);
  EXPECT_EQ(section.chart()->shownPoints().back().value, model->session()->window.usedPercent);
}

TEST_F(UsageChartSectionWidgetTest, NoChartUntilAWindowWithAReadingIsPicked) {
  // Without a reset time there is no burn rate, so no steer either.
  feed({reading(WindowKind::week(), 30, std::nullopt, kStart)});
  ASSERT_FALSE(model->steerAssessment());
  UsageChartSection section(*model);
  EXPECT_EQ(section.picker()->titles(), QStringList{"Week"});
  EXPECT_EQ(section.picker()->currentIndex(), -1);
  EXPECT_TRUE(section.chart()->isHidden());
  emit section.picker()->activated(0);
  EXPECT_EQ(section.picker()->currentIndex(), 0);
  EXPECT_FALSE(section.chart()->isHidden());
}

TEST_F(UsageChartSectionWidgetTest, ALongWindowTitleCutsThePickerNotTheHeading) {
  // "Week · " and the model's name: 40 characters in all.
  WindowKind longModel = WindowKind::weekModel(std::string(33, 'x'));
  ASSERT_EQ(QString::fromStdString(longModel.title()).size(), 40);
  feed({sessionReading(40, kStart), weekReading(30, kStart), reading(longModel, 20, at(4 * kDay), kStart)});
  DashboardView dashboard(
      *model, integrations, [] {}, true);
  layOut(dashboard, DashboardView::kMinimumWidth, 900);
  UsageChartSection* section = dashboard.usageChart();
  TextView* heading = section->heading();
  EXPECT_EQ(heading->shownLines().join(QLatin1Char(' ')), heading->text()) << "lines break at spaces only";
  SegmentedControl* picker = section->picker();
  EXPECT_LE(picker->geometry().right(), section->width());
  EXPECT_GT(picker->x(), heading->geometry().right());
  EXPECT_LT(picker->width(), picker->sizeHint().width()) << "the picker gives way";
  QStringList shown = picker->shownTitles();
  EXPECT_EQ(shown[0], QStringLiteral("Session"));
  EXPECT_EQ(shown[1], QStringLiteral("Week"));
}

}  // namespace
}  // namespace ovel
