// The dashboard's day strip and its activity, insights and sources sections.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <QLayout>

#include "ViewHarness.h"
#include "dashboard/ActivitySection.h"
#include "dashboard/DashboardView.h"
#include "dashboard/DayActivityStrip.h"
#include "dashboard/InsightsSection.h"
#include "dashboard/SourcesSection.h"
#include "ui/ShareRow.h"
#include "ui/SourceStatus.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using Bucket = ActivitySummary::Bucket;

const Date kNow = test::kStart;
const Date kDayStart = addSeconds(kNow, -kDay);

Date at(double secondsFromNow) { return addSeconds(kNow, secondsFromNow); }

std::vector<Bucket> hours(const std::vector<double>& weights) {
  std::vector<Bucket> buckets;
  for (std::size_t i = 0; i < weights.size(); ++i)
    buckets.push_back({addSeconds(kDayStart, kHour * static_cast<double>(i)), weights[i]});
  return buckets;
}

ActivityEvent event(Date time, std::string project, std::string model = "claude-sonnet-4") {
  return ActivityEvent{time, std::move(model), "/home/me/" + project, TokenCounts{1000, 0, 0, 0, 0}};
}

// The comfortable demo, optionally with only the given transcript events and
// without /usage findings.
class DashboardSectionsShown : public test::ViewTest {
 protected:
  void showQuiet(std::vector<ActivityEvent> events = {}) {
    Demo quiet = Demo::make(Demo::Scenario::comfortable, kNow, "UTC");
    quiet.events = std::move(events);
    quiet.insights.periods.clear();
    model->startDemo(quiet);
  }
};

// Bar heights and opacities as the strip draws them, 44 pt tall.
struct DrawnBar {
  double height;
  double opacity;
};
std::vector<DrawnBar> drawn(const std::vector<Bucket>& buckets) {
  ActivityPlot plot = DayActivityStrip::plot(buckets, kDayStart, kNow);
  auto rects = ActivityBars::rects(plot, QSizeF(480, DayActivityStrip::kHeight), DayActivityStrip::kBarWidth, 0);
  std::vector<DrawnBar> bars;
  for (std::size_t i = 0; i < rects.size(); ++i) bars.push_back({rects[i].height(), plot.bars[i].opacity});
  return bars;
}

TEST(DayActivityStripTest, BarHeightsAndOpacities) {
  struct Case {
    const char* name;
    std::vector<Bucket> buckets;
    double peak;
    std::vector<std::pair<double, double>> bars;  // height, opacity
  } cases[] = {
      {"no buckets", {}, 0.0001, {}},
      {"an empty hour beside a busy one", hours({0, 8}), 8, {{1, 0.3}, {44, 0.55}}},
      {"a weight under a 44th of the peak still stands a point", hours({0.1, 44}), 44, {{1, 0.55}, {44, 0.55}}},
      {"a tiny peak reaches only its share of the least peak", hours({0.00005}), 0.0001, {{22, 0.55}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(DayActivityStrip::peak(c.buckets), c.peak);
    auto bars = drawn(c.buckets);
    ASSERT_EQ(bars.size(), c.bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
      EXPECT_NEAR(bars[i].height, c.bars[i].first, 1e-9) << i;
      EXPECT_DOUBLE_EQ(bars[i].opacity, c.bars[i].second) << i;
    }
  }
  auto quiet = drawn(hours(std::vector<double>(24, 0)));
  ASSERT_EQ(quiet.size(), 24u);
  for (const auto& bar : quiet) {
    EXPECT_NEAR(bar.height, 1, 1e-9);
    EXPECT_DOUBLE_EQ(bar.opacity, 0.3);
  }
}

TEST(DayActivityStripTest, BarsSitInTheMiddleOfTheirHours) {
  ActivityPlot plot = DayActivityStrip::plot({{at(-kHour), 3}}, kDayStart, kNow);
  ASSERT_EQ(plot.bars.size(), 1u);
  EXPECT_EQ(plot.bars[0].center, at(-kHour / 2));
  auto rect = ActivityBars::rects(plot, QSizeF(480, 44), 8, 0).at(0);
  EXPECT_NEAR(rect.center().x(), 480 * (kDay - kHour / 2) / kDay, 1e-9);
  EXPECT_EQ(DayActivityStrip::labels(),
            QStringList({QStringLiteral("\u221224h"), QStringLiteral("\u221218h"), QStringLiteral("\u221212h"),
                         QStringLiteral("\u22126h"), QStringLiteral("now")}));
}

TEST(DayActivityStripTest, DrawsTwentyFourBars) {
  DayActivityStrip strip;
  strip.setPalette(Theme::palette(Appearance::light));
  strip.setAutoFillBackground(true);
  std::vector<double> weights(24, 0);
  weights[3] = 5;
  weights[17] = 40;
  weights[23] = 12;
  strip.setBuckets(hours(weights), kDayStart, kNow);
  strip.resize(480, strip.sizeHint().height());
  QImage image = strip.grab().toImage();
  ASSERT_FALSE(image.isNull());
  // Every bar, an empty hour's too, covers the bottom row of the bars.
  int row = static_cast<int>((DayActivityStrip::kHeight - 0.5) * image.devicePixelRatio());
  QColor background = image.pixelColor(0, row);
  int bars = 0;
  bool inBar = false;
  for (int x = 0; x < image.width(); ++x) {
    QColor pixel = image.pixelColor(x, row);
    bool painted = std::abs(pixel.red() - background.red()) + std::abs(pixel.green() - background.green()) > 40;
    if (painted && !inBar) ++bars;
    inBar = painted;
  }
  EXPECT_EQ(bars, 24);
}

TEST(ActivitySectionTest, WhatTheCardShowsOfTheDay) {
  std::vector<ActivityEvent> sevenProjects;
  for (int i = 0; i < 7; ++i) sevenProjects.push_back(event(at(-3600.0 * (i + 1)), "project-" + std::to_string(i)));
  std::vector<ActivityEvent> fiveFamilies;
  for (const char* model : {"claude-opus-4", "claude-sonnet-4", "claude-haiku-4", "claude-mythos-1", "claude-fable-2"})
    fiveFamilies.push_back(event(at(-600), "ovel", model));
  struct Case {
    const char* name;
    std::vector<ActivityEvent> events;
    std::size_t projects;
    std::size_t models;
  } cases[] = {
      {"nothing", {}, 0, 0},
      {"only older than a day", {event(at(-kDay - 1), "ovel"), event(at(-2 * kDay), "docs")}, 0, 0},
      {"seven projects: five and Other", sevenProjects, 6, 1},
      {"five model families: four and Other", fiveFamilies, 1, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto content = ActivitySection::content(ActivitySummary(c.events), kNow);
    EXPECT_EQ(content.start, kDayStart);
    EXPECT_EQ(content.end, kNow);
    EXPECT_EQ(content.projects.size(), c.projects);
    EXPECT_EQ(content.models.size(), c.models);
    ASSERT_EQ(content.buckets.size(), 24u);
    if (c.projects > 5) { EXPECT_EQ(content.projects.back().name, "Other"); }
    if (c.models > 4) { EXPECT_EQ(content.models.back().name, "Other"); }
  }
}

TEST_F(DashboardSectionsShown, ActivityCardWithStripAndShares) {
  showDemo(Demo::Scenario::comfortable);
  ActivitySection filled(*model);
  EXPECT_TRUE(filled.emptyText()->isHidden());
  EXPECT_TRUE(filled.strip()->isVisibleTo(&filled));
  auto* bars = test::onlyChildOf<ActivityBars>(*filled.strip());
  ASSERT_NE(bars, nullptr);
  EXPECT_EQ(bars->plot().bars.size(), 24u);
  EXPECT_EQ(filled.projects()->rows().size(), 5u);
  EXPECT_EQ(filled.models()->rows().size(), 2u) << "the demo's Opus and Sonnet";
}

TEST_F(DashboardSectionsShown, ActivityCardWithOnlyOlderActivity) {
  showQuiet({event(at(-2 * kDay), "ovel")});
  ActivitySection empty(*model);
  EXPECT_FALSE(empty.emptyText()->isHidden());
  EXPECT_EQ(empty.emptyText()->text(), QStringLiteral("No Claude Code activity on this computer in the last day."));
  EXPECT_FALSE(empty.strip()->isVisibleTo(&empty));
}

TEST(InsightsSectionTest, PeriodHeadings) {
  using Period = UsageInsights::Period;
  struct Case {
    Period period;
    const char* heading;
  } cases[] = {
      {{"Last 24h", {}, {}, {}, {}, {}}, "Last 24h"},
      {{"Last 24h", {}, 3, {}, {}, {}}, "Last 24h \u00B7 3 sessions"},
      {{"Last 24h", 1234, {}, {}, {}, {}}, "Last 24h \u00B7 1234 requests"},
      {{"Last 7d", 5210, 41, {}, {}, {}}, "Last 7d \u00B7 5210 requests \u00B7 41 sessions"},
  };
  for (const auto& c : cases) EXPECT_EQ(InsightsSection::periodHeading(c.period), QString::fromUtf8(c.heading));
}

QStringList texts(QLayout* layout) {
  QStringList shown;
  for (int i = 0; i < layout->count(); ++i)
    if (auto* text = dynamic_cast<TextView*>(layout->itemAt(i)->widget())) shown << text->text();
  return shown;
}

TEST_F(DashboardSectionsShown, InsightsCardWithPeriods) {
  showDemo(Demo::Scenario::comfortable);
  InsightsSection section(*model);
  // Two period headings, three and two findings.
  EXPECT_EQ(section.periods()->count(), 2 + 3 + 2);
}

TEST_F(DashboardSectionsShown, InsightsCardWithoutFindings) {
  showQuiet();
  InsightsSection none(*model);
  EXPECT_EQ(texts(none.periods()), QStringList{QStringLiteral("No findings yet.")});
}

TEST(SourcesSectionTest, RowsPerState) {
  using State = StatusLineIntegration::State;
  using Inputs = SourcesSection::Inputs;
  auto probe = [](Inputs in) { return SourcesSection::rows(in)[0]; };
  auto line = [](Inputs in) { return SourcesSection::rows(in)[1]; };
  auto transcripts = [](Inputs in) { return SourcesSection::rows(in)[2]; };
  using Row = SourcesSection::Row;
  struct Case {
    const char* name;
    Row row;
    Row expected;
  } cases[] = {
      {"never probed", probe({kNow}), {"/usage", "not read yet", false}},
      {"probed 44 s ago", probe({kNow, at(-44)}), {"/usage", "read just now", true}},
      {"probed 45 s ago", probe({kNow, at(-45)}), {"/usage", "read 1m ago", true}},
      {"the last probe failed",
       probe({kNow, at(-10), "claude: command not found"}),
       {"/usage", "read just now", false}},
      {"connected, nothing read yet",
       line({kNow, {}, {}, {}, State::installed()}),
       {"Status line", "connected, waiting", true}},
      {"connected and updating",
       line({kNow, {}, {}, at(-300), State::installed()}),
       {"Status line", "update 5m ago", true}},
      {"needs reconnecting",
       line({kNow, {}, {}, at(-5), State::stale("other")}),
       {"Status line", "not connected", false}},
      {"never connected", line({kNow, {}, {}, at(-5), State::notInstalled()}), {"Status line", "not connected", false}},
      {"no events", transcripts({kNow}), {"Transcripts", "0 events this week", false}},
      {"a week of events",
       transcripts({kNow, {}, {}, {}, State::notInstalled(), 1054}),
       {"Transcripts", "1054 events this week", true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.row.name, c.expected.name);
    EXPECT_EQ(c.row.detail, c.expected.detail);
    EXPECT_EQ(c.row.ok, c.expected.ok);
  }
}

TEST_F(DashboardSectionsShown, SourcesOfTheModel) {
  showDemo(Demo::Scenario::comfortable);
  bool opened = false;
  SourcesSection sources(*model, integrations, [&opened] { opened = true; });
  const auto& rows = sources.statuses();
  EXPECT_EQ(rows[0]->nameView()->text(), QStringLiteral("/usage"));
  EXPECT_EQ(rows[0]->detailView()->text(), QStringLiteral("read just now"));
  EXPECT_TRUE(rows[0]->ok());
  EXPECT_EQ(rows[1]->detailView()->text(), QStringLiteral("not connected"));
  EXPECT_EQ(rows[2]->detailView()->text(),
            QString::number(model->activity().events().size()) + QStringLiteral(" events this week"));
  auto* settings = sources.findChild<QAbstractButton*>();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->text(), QStringLiteral("Settings\u2026"));
  EXPECT_EQ(settings->font(), rows[0]->detailView()->textFont()) << "the row's caption font";
  settings->click();
  EXPECT_TRUE(opened);
}

// Whether the dashboard shows one `Section`, and only one.
template <class Section>
bool shows(const DashboardView& dashboard) {
  auto found = dashboard.findChildren<Section*>();
  return found.size() == 1 && found.front()->isVisibleTo(&dashboard);
}

TEST_F(DashboardSectionsShown, BeforeTheFirstReadingOnlyTheSourcesShow) {
  DashboardView dashboard(
      *model, integrations, [] {}, false);
  EXPECT_TRUE(shows<SourcesSection>(dashboard));
  EXPECT_FALSE(shows<ActivitySection>(dashboard));
  EXPECT_FALSE(shows<InsightsSection>(dashboard));

  showDemo(Demo::Scenario::comfortable);
  DashboardView filled(
      *model, integrations, [] {}, false);
  EXPECT_TRUE(shows<SourcesSection>(filled));
  EXPECT_TRUE(shows<ActivitySection>(filled));
  EXPECT_TRUE(shows<InsightsSection>(filled));
}

TEST_F(DashboardSectionsShown, HeightIsKnownBeforeTheDashboardIsShown) {
  // The snapshot sizes the dashboard before showing it: a section whose
  // rows did not reach the layouts above would be squeezed.
  showDemo(Demo::Scenario::plannedReset);
  DashboardView dashboard(
      *model, integrations, [] {}, false);
  int asked = dashboard.heightForWidth(860);
  layOut(dashboard, 860);
  EXPECT_EQ(dashboard.heightForWidth(860), asked);
  auto* activity = dashboard.findChild<ActivitySection*>();
  EXPECT_GE(activity->height(), activity->heightForWidth(activity->width()));
}

}  // namespace
}  // namespace ovel
