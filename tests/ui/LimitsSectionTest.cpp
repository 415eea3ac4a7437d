// The limits section: which layout a width gets, which window is the main
// one, and how a promotion starts and ends in virtual time.
#include "dashboard/LimitsSection.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "AnimationClock.h"
#include "DashboardFixture.h"
#include "dashboard/LimitPanel.h"
#include "ui/Spring.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using namespace test;

TEST(LimitsSectionTest, AllInFullOnlyWhenEveryPanelFits) {
  struct Case {
    const char* name;
    double width;
    std::vector<double> ideals;
    LimitsLayout expected;
  } cases[] = {
      {"one panel at the snapshot's width", 812, {200}, LimitsLayout::allInFull},
      {"two panels at the snapshot's width", 812, {200, 250}, LimitsLayout::allInFull},
      {"three panels at the snapshot's width", 812, {200, 200, 200}, LimitsLayout::mainAndCompact},
      {"two panels at the narrowest window", 672, {200, 200}, LimitsLayout::allInFull},
      {"two panels, exactly 2 x 296 + 14", 606, {200, 200}, LimitsLayout::allInFull},
      {"two panels, a point short", 605, {200, 200}, LimitsLayout::mainAndCompact},
      {"three panels, exactly 3 x 296 + 2 x 14", 916, {296, 296, 296}, LimitsLayout::allInFull},
      {"three panels, a point short", 915, {296, 296, 296}, LimitsLayout::mainAndCompact},
      {"a wide panel counts its own width", 710, {400, 200}, LimitsLayout::allInFull},
      {"a wide panel a point short", 709, {400, 200}, LimitsLayout::mainAndCompact},
      {"one panel narrower than 296", 295, {100}, LimitsLayout::mainAndCompact},
      {"no panel", 0, {}, LimitsLayout::allInFull},
  };
  for (const Case& c : cases) EXPECT_EQ(LimitsSection::chooseLayout(c.width, c.ideals), c.expected) << c.name;
}

TEST(LimitsSectionTest, MainAssessmentFollowsThePromotionThenTheSteer) {
  auto session = assessed(WindowKind::session(), 20);
  auto week = assessed(WindowKind::week(), 30);
  auto model = assessed(opus(), 5);
  std::vector<WindowAssessment> all = {session, week, model};
  struct Case {
    const char* name;
    std::vector<WindowAssessment> assessments;
    std::optional<WindowKind> promoted;
    std::optional<WindowAssessment> steer;
    std::optional<WindowKind> expected;
  } cases[] = {
      {"promoted window present", all, WindowKind::week(), session, WindowKind::week()},
      {"promoted window gone", {session, week}, opus(), week, WindowKind::session()},
      {"following the steer", all, std::nullopt, model, opus()},
      {"no steering assessment", {week, model}, std::nullopt, std::nullopt, WindowKind::week()},
      {"steer on a window without assessment", {week}, std::nullopt, session, WindowKind::week()},
      {"no assessments", {}, WindowKind::week(), week, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto main = LimitsSection::mainAssessment(c.assessments, c.promoted, c.steer);
    ASSERT_EQ(main.has_value(), c.expected.has_value());
    if (main) { EXPECT_EQ(main->window.kind, *c.expected); }
  }
}

class PromotionTest : public ::testing::Test {
 protected:
  FakeClock clock{kStart};
  FakeScheduler scheduler{clock};
  PromotionState promotion{scheduler};
  QSignalSpy changes{&promotion, &PromotionState::changed};
};

TEST_F(PromotionTest, EndsThirtySecondsAfterTheLastPromotion) {
  promotion.promote(WindowKind::week());
  EXPECT_EQ(promotion.promoted(), WindowKind::week());
  scheduler.advance(29.9);
  EXPECT_EQ(promotion.promoted(), WindowKind::week());
  scheduler.advance(0.1);
  EXPECT_EQ(promotion.promoted(), std::nullopt);
  EXPECT_EQ(changes.count(), 2);

  // Another tap starts the 30 s again.
  promotion.promote(WindowKind::week());
  scheduler.advance(20);
  promotion.promote(opus());
  EXPECT_EQ(scheduler.timersPending(), 1u);
  scheduler.advance(20);
  EXPECT_EQ(promotion.promoted(), opus());
  scheduler.advance(10);
  EXPECT_EQ(promotion.promoted(), std::nullopt);
  EXPECT_EQ(scheduler.timersPending(), 0u);
}

TEST_F(PromotionTest, ANewReadingEndsItAtOnce) {
  promotion.noteLastObserved(kStart);
  promotion.promote(WindowKind::week());
  promotion.noteLastObserved(kStart);
  EXPECT_EQ(promotion.promoted(), WindowKind::week());
  scheduler.advance(10);
  promotion.noteLastObserved(at(10));
  EXPECT_EQ(promotion.promoted(), std::nullopt);
  EXPECT_EQ(scheduler.timersPending(), 0u);

  // The first value seen is where the view starts, not a change.
  PromotionState fresh(scheduler);
  fresh.promote(WindowKind::week());
  fresh.noteLastObserved(at(10));
  EXPECT_EQ(fresh.promoted(), WindowKind::week());
  fresh.noteLastObserved(std::nullopt);
  EXPECT_EQ(fresh.promoted(), std::nullopt);
}

TEST_F(PromotionTest, ForgetsItsTimeoutWhenItGoes) {
  {
    PromotionState shortLived(scheduler);
    shortLived.promote(WindowKind::week());
    EXPECT_EQ(scheduler.timersPending(), 1u);
  }
  EXPECT_EQ(scheduler.timersPending(), 0u);
}

class LimitsSectionWidgetTest : public DashboardTest {
 protected:
  static std::vector<WindowKind> shownPanels(const LimitsSection& section) {
    std::vector<WindowKind> kinds;
    for (LimitPanel* panel : section.panels())
      if (!panel->isHidden()) kinds.push_back(panel->assessment().window.kind);
    return kinds;
  }
  static std::vector<WindowKind> shownCompactPanels(const LimitsSection& section) {
    std::vector<WindowKind> kinds;
    for (CompactLimitPanel* panel : section.compactPanels())
      if (!panel->isHidden()) kinds.push_back(panel->assessment().window.kind);
    return kinds;
  }
};

TEST_F(LimitsSectionWidgetTest, ThreeWindowsAtTheSnapshotWidthShowTheSteeringWindowInFull) {
  showDemo(Demo::Scenario::atRisk);
  ASSERT_EQ(model->steerAssessment()->window.kind, WindowKind::session());
  LimitsSection section(*model);
  layOut(section, 812);
  EXPECT_EQ(section.layoutShown(), LimitsLayout::mainAndCompact);
  EXPECT_EQ(shownPanels(section), std::vector{WindowKind::session()});
  EXPECT_EQ(shownCompactPanels(section), (std::vector{WindowKind::week(), opus()}));
  for (CompactLimitPanel* panel : {section.compactPanels()[1], section.compactPanels()[2]}) {
    EXPECT_EQ(panel->width(), LimitsSection::kCompactWidth);
    EXPECT_EQ(panel->x(), 812 - LimitsSection::kCompactWidth);
  }
  EXPECT_EQ(section.panels()[0]->width(), 812 - 14 - 290);
  EXPECT_EQ(section.compactPanels()[2]->toolTip(), QStringLiteral("Show Week \u00B7 Opus in full"));
  EXPECT_EQ(section.compactPanels()[1]->toolTip(), QStringLiteral("Show Week in full"));

  // Wide enough for all three, they share the row and its height.
  layOut(section, 1000);
  EXPECT_EQ(section.layoutShown(), LimitsLayout::allInFull);
  EXPECT_EQ(shownPanels(section), (std::vector{WindowKind::session(), WindowKind::week(), opus()}));
  EXPECT_TRUE(shownCompactPanels(section).empty());
  for (LimitPanel* panel : section.panels()) {
    EXPECT_EQ(panel->width(), section.panels()[0]->width());
    EXPECT_EQ(panel->height(), section.panels()[0]->height());
  }
}

TEST_F(LimitsSectionWidgetTest, ATapPromotesUntilTheTimeoutOrANewReading) {
  showDemo(Demo::Scenario::atRisk);
  LimitsSection section(*model);
  layOut(section, 812);
  QTest::mouseClick(section.compactPanels()[1], Qt::LeftButton);
  EXPECT_EQ(section.promotion().promoted(), WindowKind::week());
  layOut(section, 812);
  EXPECT_EQ(shownPanels(section), std::vector{WindowKind::week()});
  EXPECT_EQ(shownCompactPanels(section), (std::vector{WindowKind::session(), opus()}));

  scheduler->advance(PromotionState::kTimeout);
  EXPECT_EQ(section.promotion().promoted(), std::nullopt);
  layOut(section, 812);
  EXPECT_EQ(shownPanels(section), std::vector{WindowKind::session()});

  // A reading 10 s after a tap brings the steering window back at once.
  QTest::mouseClick(section.compactPanels()[2], Qt::LeftButton);
  EXPECT_EQ(section.promotion().promoted(), opus());
  scheduler->advance(10);
  feed({reading(WindowKind::session(), 72, model->session()->window.resetsAt, clock->now(), DataSource::statusLine)});
  section.refresh();
  EXPECT_EQ(section.promotion().promoted(), std::nullopt);
  EXPECT_EQ(scheduler->timersPending(), 0u);
}

TEST_F(LimitsSectionWidgetTest, ATapAndTheTimeoutMoveOnTheSpringANewReadingDoesNot) {
  showDemo(Demo::Scenario::atRisk);
  AnimationClock frames;
  LimitsSection section(*model);
  layOut(section, 812);
  EXPECT_EQ(section.crossfade(), 0);
  auto expectSpringRuns = [&] {
    EXPECT_EQ(section.crossfade(), 1) << "the panels as they stood still show at the change";
    frames.advance(100);
    EXPECT_GT(section.crossfade(), 0);
    EXPECT_LT(section.crossfade(), 1);
    frames.advance(Spring::durationFor(LimitsSection::kPromotionResponse));
    EXPECT_EQ(section.crossfade(), 0) << "at rest only the new layout shows";
  };

  QTest::mouseClick(section.compactPanels()[1], Qt::LeftButton);
  layOut(section, 812);
  EXPECT_EQ(shownPanels(section), std::vector{WindowKind::week()});
  expectSpringRuns();

  scheduler->advance(PromotionState::kTimeout);
  layOut(section, 812);
  EXPECT_EQ(shownPanels(section), std::vector{WindowKind::session()});
  expectSpringRuns();

  QTest::mouseClick(section.compactPanels()[2], Qt::LeftButton);
  frames.advance(Spring::durationFor(LimitsSection::kPromotionResponse) + 100);
  feed({reading(WindowKind::session(), 72, model->session()->window.resetsAt, clock->now(), DataSource::statusLine)});
  section.refresh();
  EXPECT_EQ(section.promotion().promoted(), std::nullopt);
  EXPECT_EQ(section.crossfade(), 0) << "a new reading brings the steering window back at once";
}

TEST_F(LimitsSectionWidgetTest, ASecondQuickTapFadesFromThePanelsNotFromTheFirstFade) {
  showDemo(Demo::Scenario::atRisk);
  AnimationClock frames;
  LimitsSection section(*model);
  layOut(section, 812);
  auto tap = [&](std::size_t compact) {
    QTest::mouseClick(section.compactPanels()[compact], Qt::LeftButton);
    layOut(section, 812);
  };
  auto rest = [&] { frames.advance(Spring::durationFor(LimitsSection::kPromotionResponse) + 100); };
  // The week in full, as it stands at rest.
  tap(1);
  rest();
  ASSERT_EQ(section.crossfade(), 0);
  QImage weekInFull = section.grab().toImage();
  scheduler->advance(PromotionState::kTimeout);
  layOut(section, 812);
  rest();

  // The week, and Opus while the week's fade still runs.
  tap(1);
  frames.advance(100);
  ASSERT_GT(section.crossfade(), 0);
  tap(2);
  EXPECT_TRUE(section.crossfadeImage().toImage() == weekInFull)
      << "the week as it stood, no ghost of the session in it";
}

TEST_F(LimitsSectionWidgetTest, OneWindowHasNoCompactColumn) {
  feed({sessionReading(20, kStart)});
  LimitsSection section(*model);
  for (int width : {812, 290}) {
    SCOPED_TRACE(width);
    layOut(section, width);
    EXPECT_EQ(shownPanels(section), std::vector{WindowKind::session()});
    EXPECT_TRUE(shownCompactPanels(section).empty());
    EXPECT_EQ(section.panels()[0]->width(), width);
  }
  EXPECT_EQ(section.layoutShown(), LimitsLayout::mainAndCompact);
}

TEST_F(LimitsSectionWidgetTest, EachPanelGetsTheRatesOfItsOwnWindow) {
  showDemo(Demo::Scenario::watch);
  LimitsSection section(*model);
  const auto& assessments = model->assessments();
  ASSERT_EQ(section.panels().size(), assessments.size());
  for (std::size_t i = 0; i < assessments.size(); ++i) {
    SCOPED_TRACE(assessments[i].window.kind.title());
    auto rates = OvelEngine::rates(assessments[i], model->history(), model->rateActivity(), model->now());
    std::vector<TextView*> texts = section.panels()[i]->rateTexts();
    ASSERT_EQ(texts.size(), 2 * rates.size());
    for (std::size_t r = 0; r < rates.size(); ++r) {
      RateRow row = RateRow::of(rates[r], assessments[i].sustainableRatePerHour,
                                rateScale(assessments[i].sustainableRatePerHour, rates), assessments[i].window.kind);
      EXPECT_EQ(texts[2 * r]->text().toStdString(), row.rateText);
      EXPECT_EQ(texts[2 * r + 1]->text().toStdString(), row.multipleText);
    }
  }
}

}  // namespace
}  // namespace ovel
