// The dashboard as a whole: what it shows before and after the first
// reading, the order of its sections, and its two hostings.
#include "dashboard/DashboardView.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>

#include "DashboardFixture.h"
#include "dashboard/ActivitySection.h"
#include "dashboard/DashboardHero.h"
#include "dashboard/InsightsSection.h"
#include "dashboard/LimitPanel.h"
#include "dashboard/LimitsSection.h"
#include "dashboard/ResetsCard.h"
#include "dashboard/SessionWeekCard.h"
#include "dashboard/UsageChartSection.h"
#include "ui/EmptyState.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using namespace test;

class DashboardViewTest : public DashboardTest {
 protected:
  // Shows the dashboard window's content at `width` and checks that nothing
  // runs past the viewport's right edge, and that panels sharing a row stand
  // at its top.
  static void expectFitsItsWindow(DashboardView& dashboard, int width) {
    SCOPED_TRACE(width);
    layOut(dashboard, width, 900);
    auto* scroll = dashboard.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    QWidget* viewport = scroll->viewport();
    for (QWidget* child : scroll->widget()->findChildren<QWidget*>()) {
      if (child->isWindow() || !child->isVisibleTo(scroll->widget())) continue;
      int right = child->mapTo(viewport, QPoint(child->width(), 0)).x();
      EXPECT_LE(right, viewport->width())
          << child->metaObject()->className() << " " << child->accessibleName().toStdString();
    }
    LimitsSection* limits = dashboard.limits();
    if (limits->layoutShown() != LimitsLayout::allInFull) return;
    const auto& panels = limits->panels();
    for (LimitPanel* panel : panels) {
      EXPECT_EQ(panel->height(), panels[0]->height());
      EXPECT_EQ(panel->titleText()->mapTo(limits, QPoint()).y(), panels[0]->titleText()->mapTo(limits, QPoint()).y());
      EXPECT_EQ(panel->figureText()->mapTo(limits, QPoint()).y(), panels[0]->figureText()->mapTo(limits, QPoint()).y());
    }
  }
};

TEST_F(DashboardViewTest, BeforeTheFirstReadingShowsWhyInsteadOfCards) {
  probe->work.answer = ProbeOutcome::failure("claude: command not found");
  model->probe();
  DashboardView dashboard(
      *model, integrations, [] {}, false);
  EXPECT_EQ(dashboard.hero()->titleView()->text(), QStringLiteral("Waiting for the first reading"));
  EXPECT_EQ(dashboard.hero()->detailView()->text(), QStringLiteral("claude: command not found"));
  EXPECT_FALSE(dashboard.emptyState()->isHidden());
  EXPECT_EQ(dashboard.emptyState()->titleView()->text(), QStringLiteral("No usage data yet"));
  EXPECT_EQ(dashboard.emptyState()->descriptionView()->text(), QStringLiteral("claude: command not found"));
  EXPECT_TRUE(dashboard.cards()->isHidden());
  // The sources row stays.
  auto buttons = dashboard.findChildren<QPushButton*>();
  EXPECT_TRUE(std::any_of(buttons.begin(), buttons.end(), [](QPushButton* button) {
    return button->text() == QStringLiteral("Settings\u2026") && button->isVisibleTo(button->window());
  }));

  // A failing claude usually ends its message with a line feed: it would
  // stand as a blank line.
  probe->work.answer = ProbeOutcome::failure("claude: command not found\n");
  model->probe();
  dashboard.rebuild();
  EXPECT_EQ(dashboard.emptyState()->descriptionView()->text(), QStringLiteral("claude: command not found"));
  EXPECT_EQ(dashboard.hero()->detailView()->text(), QStringLiteral("claude: command not found"));
}

TEST_F(DashboardViewTest, CardsFollowInTheirOrderOnceThereAreReadings) {
  DashboardView dashboard(
      *model, integrations, [] {}, false);
  EXPECT_EQ(dashboard.emptyState()->descriptionView()->text(),
            QStringLiteral("Ovel is reading your usage from Claude Code."));
  showDemo(Demo::Scenario::limited);
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(dashboard.emptyState()->isHidden());
  EXPECT_FALSE(dashboard.cards()->isHidden());
  EXPECT_EQ(dashboard.hero()->titleView()->text().left(22), QStringLiteral("Session limit reached "));

  auto* cards = static_cast<QVBoxLayout*>(dashboard.cards()->layout());
  ASSERT_EQ(cards->count(), 5);
  EXPECT_EQ(cards->itemAt(0)->widget(), dashboard.limits());
  EXPECT_TRUE(dynamic_cast<SessionWeekCard*>(cards->itemAt(1)->widget()));
  EXPECT_TRUE(dynamic_cast<ResetsCard*>(cards->itemAt(2)->widget()));
  EXPECT_TRUE(cards->itemAt(3)->widget()->isAncestorOf(dashboard.usageChart()));
  EXPECT_EQ(cards->itemAt(4)->widget(), dashboard.activityRow());
  EXPECT_TRUE(dashboard.activityRow()->findChild<ActivitySection*>());
  EXPECT_TRUE(dashboard.activityRow()->findChild<InsightsSection*>());
  EXPECT_EQ(dashboard.chartKind(), std::nullopt);
  EXPECT_EQ(dashboard.promoted(), std::nullopt);
}

TEST_F(DashboardViewTest, SnapshotFormHasNoScrollAreaAndItsNaturalHeight) {
  DashboardView empty(
      *model, integrations, [] {}, false);
  EXPECT_EQ(empty.findChild<QScrollArea*>(), nullptr);
  int emptyHeight = empty.heightForWidth(860);
  EXPECT_GT(emptyHeight, 0);

  showDemo(Demo::Scenario::limited);
  DashboardView full(
      *model, integrations, [] {}, false);
  EXPECT_GT(full.heightForWidth(860), emptyHeight + 500);
}

TEST_F(DashboardViewTest, WindowFormScrollsAndHasItsMinimumSize) {
  DashboardView dashboard(
      *model, integrations, [] {}, true);
  auto* scroll = dashboard.findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(scroll->minimumSize(), QSize(720, 520));
  EXPECT_TRUE(scroll->widgetResizable());
}

TEST_F(DashboardViewTest, EverySectionFitsFromTheMinimumWidthUp) {
  const int widths[] = {DashboardView::kMinimumWidth, 760, 860, 1200};
  // One window; then two, one of them limited and so without a rate table,
  // which makes its panel shorter than the other's.
  feed({sessionReading(40, kStart)});
  {
    DashboardView dashboard(
        *model, integrations, [] {}, true);
    for (int width : widths) expectFitsItsWindow(dashboard, width);
  }
  feed({sessionReading(40, kStart), weekReading(100, kStart)});
  {
    DashboardView dashboard(
        *model, integrations, [] {}, true);
    for (int width : widths) expectFitsItsWindow(dashboard, width);
    layOut(dashboard, 1200, 900);
    EXPECT_EQ(dashboard.limits()->layoutShown(), LimitsLayout::allInFull);
  }
  showDemo(Demo::Scenario::limited);
  ASSERT_EQ(model->assessments().size(), 3u);
  DashboardView dashboard(
      *model, integrations, [] {}, true);
  for (int width : widths) expectFitsItsWindow(dashboard, width);
}

}  // namespace
}  // namespace ovel
