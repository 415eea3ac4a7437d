// The popover's "Where it's going": its ranges, chart data, findings, the
// two settings it keeps, and the popover following it open and shut.
#include "popover/BreakdownView.h"

#include <gtest/gtest.h>

#include <QTest>

#include "ViewHarness.h"
#include "core/engine/EngineConstants.h"
#include "dashboard/DashboardView.h"
#include "platform/PopoverHost.h"
#include "popover/PopoverView.h"
#include "support/Children.h"
#include "ui/FindingRow.h"
#include "ui/SegmentedControl.h"
#include "ui/ShareRow.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using Range = BreakdownView::Range;

const Date kNow = test::kStart;

Date at(double secondsFromNow) { return addSeconds(kNow, secondsFromNow); }

WindowAssessment sessionResetting(std::optional<Date> resetsAt) {
  WindowAssessment assessment;
  assessment.window = UsageWindow{WindowKind::session(), 40, resetsAt, kNow, DataSource::statusLine};
  return assessment;
}

ActivityEvent event(Date time, const char* project = "/home/me/ovel") {
  return ActivityEvent{time, "claude-sonnet-4", project, TokenCounts{1000, 0, 0, 0, 0}};
}

class BreakdownViewShown : public test::ViewTest {
 protected:
  BreakdownViewShown() { showDemo(Demo::Scenario::comfortable); }
};

TEST(BreakdownViewTest, RangeStartAndBucketWidth) {
  struct Case {
    const char* name;
    Range range;
    std::optional<WindowAssessment> session;
    double startFromNow;
    double bucket;
  } cases[] = {
      {"last day", Range::day, std::nullopt, -kDay, 2400},
      {"last week", Range::week, std::nullopt, -kWeekDuration, 16800},
      {"the session's own start", Range::session, sessionResetting(at(4 * kHour)), -kHour, 100},
      {"a session reset three minutes ago", Range::session, sessionResetting(at(kSessionDuration - 180)), -180, 60},
      {"no session: the last five hours", Range::session, std::nullopt, -kSessionDuration, 500},
      {"a session without reset time", Range::session, sessionResetting(std::nullopt), -kSessionDuration, 500},
      {"the day ignores the session", Range::day, sessionResetting(at(4 * kHour)), -kDay, 2400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Date start = BreakdownView::start(c.range, kNow, c.session);
    EXPECT_DOUBLE_EQ(secondsBetween(start, kNow), c.startFromNow);
    EXPECT_DOUBLE_EQ(BreakdownView::bucketWidth(start, kNow), c.bucket);
  }
}

TEST(BreakdownViewTest, ChartOfTheRange) {
  // The last hour of a session whose window began an hour ago: 36 buckets
  // of 100 s.
  Date start = BreakdownView::start(Range::session, kNow, sessionResetting(at(4 * kHour)));
  double bucket = BreakdownView::bucketWidth(start, kNow);
  struct Case {
    const char* name;
    std::vector<ActivityEvent> events;
    bool chart;
    std::vector<std::size_t> weightedBuckets;
    std::size_t projects;
  } cases[] = {
      {"no activity", {}, false, {}, 0},
      {"one event", {event(at(-1000))}, true, {26}, 1},
      {"events on bucket edges", {event(start), event(addSeconds(start, 3 * bucket))}, true, {0, 3}, 1},
      {"the session's earlier events stay out", {event(at(-2 * kHour)), event(at(-90 * 60))}, false, {}, 0},
      {"an event at now is past the last bucket", {event(kNow)}, false, {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ActivitySummary summary(c.events);
    auto timeline = summary.timeline(start, kNow, bucket);
    ASSERT_EQ(timeline.size(), 36u);
    EXPECT_EQ(BreakdownView::showsChart(timeline), c.chart);
    std::vector<std::size_t> weighted;
    for (std::size_t i = 0; i < timeline.size(); ++i)
      if (timeline[i].weight > 0) weighted.push_back(i);
    EXPECT_EQ(weighted, c.weightedBuckets);
    EXPECT_EQ(summary.projects(start, BreakdownView::kProjectLimit).size(), c.projects);
  }
  EXPECT_FALSE(BreakdownView::showsChart({}));
}

TEST(BreakdownViewTest, ChartBarsSitOnTheirBucketStarts) {
  std::vector<ActivitySummary::Bucket> buckets = {{at(-300), 2}, {at(-200), 0}, {at(-100), 6}};
  ActivityPlot plot = ActivityChart::plot(buckets);
  EXPECT_EQ(plot.from, at(-300));
  EXPECT_EQ(plot.to, at(-100));
  EXPECT_DOUBLE_EQ(plot.top, 6);
  ASSERT_EQ(plot.bars.size(), 3u);
  EXPECT_EQ(plot.bars[1].center, at(-200));
  EXPECT_DOUBLE_EQ(plot.bars[1].opacity, ActivityChart::kOpacity);
  EXPECT_TRUE(ActivityChart::plot({}).bars.empty());
}

TEST(BreakdownViewTest, MatchingUsagePeriod) {
  auto insights = [](std::vector<std::string> labels) {
    UsageInsights result;
    for (auto& label : labels) result.periods.push_back({label, {}, {}, {}, {}, {}});
    return std::optional(result);
  };
  struct Case {
    const char* name;
    std::optional<UsageInsights> insights;
    Range range;
    std::optional<std::string> expected;
  } cases[] = {
      {"session reads the day", insights({"Last 24h", "Last 7d"}), Range::session, "Last 24h"},
      {"day", insights({"Last 24h", "Last 7d"}), Range::day, "Last 24h"},
      {"week", insights({"Last 24h", "Last 7d"}), Range::week, "Last 7d"},
      {"case matters", insights({"last 24H"}), Range::day, std::nullopt},
      {"the first match wins", insights({"Past 24h", "Last 24h (all)"}), Range::session, "Past 24h"},
      {"no week period", insights({"Last 24h"}), Range::week, std::nullopt},
      {"no insights", std::nullopt, Range::day, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto period = BreakdownView::insightPeriod(c.range, c.insights);
    EXPECT_EQ(period ? std::optional(period->label) : std::nullopt, c.expected);
  }
}

TEST(BreakdownViewTest, StoredSettingsReadBack) {
  struct Case {
    const char* name;
    QVariant expanded;
    QVariant range;
    bool expectExpanded;
    Range expectRange;
  } cases[] = {
      {"nothing stored", {}, {}, true, Range::session},
      {"closed on the day", false, QStringLiteral("24h"), false, Range::day},
      {"the week", true, QStringLiteral("7 days"), true, Range::week},
      {"a range that names no case", {}, QStringLiteral("bogus"), true, Range::session},
      {"a range in the wrong case", {}, QStringLiteral("7 Days"), true, Range::session},
      {"a range that is not text", {}, QByteArray("24h"), true, Range::session},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryDefaultsStore store;
    if (c.expanded.isValid()) store.setValue(QString::fromLatin1(BreakdownView::kExpandedKey), c.expanded);
    if (c.range.isValid()) store.setValue(QString::fromLatin1(BreakdownView::kRangeKey), c.range);
    EXPECT_EQ(BreakdownView::storedExpanded(store), c.expectExpanded);
    EXPECT_EQ(BreakdownView::storedRange(store), c.expectRange);
  }
  for (Range range : BreakdownView::kAllRanges) EXPECT_EQ(breakdownRangeFromRaw(rawValue(range)), range);
}

TEST_F(BreakdownViewShown, WritesItsSettingsThrough) {
  {
    int writes = defaults.writeCount();
    BreakdownView view(*model);
    EXPECT_TRUE(view.isExpanded());
    EXPECT_EQ(view.picker()->currentIndex(), 0);
    EXPECT_EQ(defaults.writeCount(), writes) << "showing the defaults stores nothing";
    QTest::keyClick(view.picker(), Qt::Key_Right);
    QTest::keyClick(view.picker(), Qt::Key_Right);
    view.header()->click();
    EXPECT_EQ(view.range(), Range::week);
    EXPECT_FALSE(view.isExpanded());
    EXPECT_TRUE(view.content()->isHidden());
  }
  EXPECT_EQ(defaults.object(QStringLiteral("breakdownRange")).toString(), QStringLiteral("7 days"));
  BreakdownView reopened(*model);
  EXPECT_EQ(reopened.range(), Range::week);
  EXPECT_EQ(reopened.picker()->currentIndex(), 2);
  EXPECT_FALSE(reopened.isExpanded());
}

TEST_F(BreakdownViewShown, ShowsProjectsChartAndFirstFindings) {
  BreakdownView view(*model);
  EXPECT_FALSE(view.chart()->isHidden());
  EXPECT_FALSE(view.chart()->plot().bars.empty());
  EXPECT_EQ(view.projects()->rows().size(), 5u) << "the demo's five projects";
  EXPECT_TRUE(view.emptyText()->isHidden());
  EXPECT_FALSE(view.findings()->isHidden());
  ASSERT_EQ(view.shownFindings().size(), 3u);
  EXPECT_EQ(view.shownFindings()[0].text, "was at >150k context");

  view.setRange(Range::week);
  EXPECT_EQ(view.shownFindings().size(), 2u) << "the week's period has two findings";
}

TEST_F(BreakdownViewShown, WithoutActivityOrFindings) {
  Demo quiet = Demo::make(Demo::Scenario::comfortable, kNow, "UTC");
  quiet.events.clear();
  quiet.insights.periods.clear();
  model->startDemo(quiet);
  BreakdownView view(*model);
  EXPECT_TRUE(view.chart()->isHidden());
  EXPECT_TRUE(view.projects()->rows().empty());
  EXPECT_FALSE(view.emptyText()->isHidden());
  EXPECT_EQ(view.emptyText()->text(), QStringLiteral("No Claude Code activity on this computer in this range."));
  EXPECT_TRUE(view.findings()->isHidden()) << "no matching period hides the heading too";
}

TEST_F(BreakdownViewShown, ShutItWaitsUntilOpened) {
  Demo quiet = Demo::make(Demo::Scenario::comfortable, kNow, "UTC");
  quiet.events.clear();
  model->startDemo(quiet);
  BreakdownView view(*model);
  view.setExpanded(false);
  showDemo(Demo::Scenario::comfortable);
  QCoreApplication::processEvents();
  EXPECT_TRUE(view.projects()->rows().empty()) << "shut, it leaves the new activity for later";
  view.setExpanded(true);
  EXPECT_EQ(view.projects()->rows().size(), 5u);
  EXPECT_FALSE(view.chart()->isHidden());
  EXPECT_TRUE(view.emptyText()->isHidden());
}

TEST_F(BreakdownViewShown, HeightIsKnownBeforeThePopoverIsShown) {
  PopoverView popover(*model, integrations, [] {});
  int asked = popover.heightForWidth(340);
  layOut(popover, 340);
  EXPECT_EQ(popover.heightForWidth(340), asked);
  auto* breakdown = popover.findChild<BreakdownView*>();
  EXPECT_GE(breakdown->height(), breakdown->heightForWidth(breakdown->width()));
}

TEST_F(BreakdownViewShown, PopoverFollowsTheSectionOpeningAndClosing) {
  PopoverHost host;
  host.setContent(new PopoverView(*model, integrations, [] {}));
  host.show(QRect(300, 0, 22, 22));
  auto* breakdown = host.window()->findChild<BreakdownView*>();
  ASSERT_NE(breakdown, nullptr);
  ASSERT_TRUE(breakdown->isExpanded());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(host.window()));
  int open = host.window()->height();

  breakdown->header()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return host.window()->height() < open; }, 20000));
  int closed = host.window()->height();
  EXPECT_LE(open - closed, breakdown->content()->sizeHint().height() + 1);
  EXPECT_EQ(host.window()->width(), 340) << "it grows in height, never in width";

  breakdown->header()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return host.window()->height() == open; }, 20000));
  host.close();
}

TEST_F(BreakdownViewShown, AFindingsCommandStaysOnOneLineInThePopoverAndTheDashboard) {
  Demo demo = Demo::make(Demo::Scenario::comfortable, kNow, "UTC");
  for (auto& period : demo.insights.periods)
    period.findings.insert(period.findings.begin(), {12, "Compact before you step away \u00B7 run /compact"});
  model->startDemo(demo);
  auto expectCommandWhole = [](const QWidget& view) {
    bool seen = false;
    for (FindingRow* row : test::childrenOf<FindingRow>(view)) {
      if (!row->usageView()->text().contains(QStringLiteral("/compact")) || !row->isVisibleTo(view.window())) continue;
      seen = true;
      QStringList lines = row->usageView()->shownLines();
      EXPECT_EQ(lines.filter(QStringLiteral("/compact")).size(), 1) << lines.join(u'|').toStdString();
    }
    EXPECT_TRUE(seen);
  };
  PopoverView popover(*model, integrations, [] {});
  layOut(popover, PopoverView::kWidth);
  expectCommandWhole(popover);
  DashboardView dashboard(
      *model, integrations, [] {}, false);
  for (int width : {DashboardView::kMinimumWidth, 860}) {
    SCOPED_TRACE(width);
    layOut(dashboard, width);
    expectCommandWhole(dashboard);
  }
}

}  // namespace
}  // namespace ovel
