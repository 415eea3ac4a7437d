// The dashboard's hero: its texts for every steer, status and probe state,
// the Refresh button and the freshness line.
#include "dashboard/DashboardHero.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>

#include "DashboardFixture.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using namespace test;

OvelSteer steerOf(const WindowAssessment& a) { return *a.steer(); }

TEST(DashboardHeroTest, LimitReachedNamesTheResetAndWhatIsLeftElsewhere) {
  Format::setTimeZone("UTC");
  auto session = assessed(WindowKind::session(), 100, 5, 0, OvelStatus::limited, at(2 * 3600 + 600));
  auto week = assessed(WindowKind::week(), 40, 0.5, 0.6);
  auto opusFull = assessed(opus(), 100, 1, 0, OvelStatus::limited, at(86400));
  auto weekLimited = assessed(WindowKind::week(), 100, 1, 0, OvelStatus::limited);
  auto noReset = assessed(WindowKind::session(), 100, 5, 0, OvelStatus::limited);
  struct Case {
    const char* name;
    WindowAssessment binding;
    std::vector<WindowAssessment> all;
    std::string title;
    std::string detail;
  } cases[] = {
      {"another window has room",
       session,
       {session, week, opusFull},
       "Session limit reached \u00B7 resets 2:10 PM (in 2h 10m)",
       "Week has 60% left"},
      {"every other window limited",
       session,
       {session, weekLimited, opusFull},
       "Session limit reached \u00B7 resets 2:10 PM (in 2h 10m)",
       "Pause until it resets"},
      {"no other window",
       session,
       {session},
       "Session limit reached \u00B7 resets 2:10 PM (in 2h 10m)",
       "Pause until it resets"},
      {"no reset time", noReset, {noReset, week}, "Session limit reached", "Week has 60% left"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeroText text = DashboardHero::heroText(steerOf(c.binding), c.binding, c.all, std::nullopt, kStart);
    EXPECT_EQ(text.title, c.title);
    EXPECT_EQ(text.detail, c.detail);
    EXPECT_EQ(text.others, std::nullopt);
  }
  Format::setTimeZone({});
}

TEST(DashboardHeroTest, SteeringNamesTheRatesAndHowTheOtherWindowsSteer) {
  auto session = assessed(WindowKind::session(), 30, 1, 2.34);
  std::vector<WindowAssessment> all = {
      session,
      assessed(WindowKind::week(), 40, 1, 0.8),
      assessed(opus(), 10, 1, 1.1),
      assessed(WindowKind::weekModel("Sonnet"), 5, 0, 1),
      assessed(WindowKind::weekModel("Haiku"), 5, 1, 5),
      assessed(WindowKind::weekModel("Unrated"), 5),
  };
  HeroText text = DashboardHero::heroText(steerOf(session), session, all, std::nullopt, kStart);
  EXPECT_EQ(text.title, "Room to speed up 2.3\u00D7");
  EXPECT_EQ(text.detail, "Session (5h) is the tight one \u00B7 burning 1.0%/h, sustainable 2.3%/h");
  EXPECT_EQ(text.others,
            "Week: ease off to 80% \u00B7 Week \u00B7 Opus: on ovel \u00B7 Week \u00B7 Sonnet: idle \u00B7 "
            "Week \u00B7 Haiku: plenty of room");

  // Without the current rate the reason stands alone.
  auto unrated = assessed(WindowKind::week(), 30, std::nullopt, 2);
  OvelSteer weekSteer{WindowKind::week(), 0.5, RateBasis::recent};
  text = DashboardHero::heroText(weekSteer, unrated, std::vector{unrated}, std::nullopt, kStart);
  EXPECT_EQ(text.title, "Ease off to 50% of your current ovel");
  EXPECT_EQ(text.detail, "Week (7d) is the tight one");
  EXPECT_EQ(text.others, std::nullopt);
}

TEST(DashboardHeroTest, NothingBurningSaysWhatCanBeUsed) {
  auto idle = assessed(WindowKind::session(), 20, 0, 16);
  ASSERT_TRUE(std::isinf(idle.steer()->factor));
  HeroText text = DashboardHero::heroText(steerOf(idle), idle, std::vector{idle}, std::nullopt, kStart);
  EXPECT_EQ(text.title, "Nothing running \u00B7 you can use 16%/h until the reset");
  EXPECT_EQ(text.detail, "Session (5h) is the tight one");

  // A week window says it per day; without a sustainable rate the headline stays.
  auto week = assessed(WindowKind::week(), 20, 0, 0.5);
  EXPECT_EQ(DashboardHero::heroText(steerOf(week), week, std::vector{week}, std::nullopt, kStart).title,
            "Nothing running \u00B7 you can use 12%/day until the reset");
  OvelSteer idleSteer{WindowKind::week(), INFINITY, RateBasis::recent};
  auto unknown = assessed(WindowKind::week(), 20, 0);
  EXPECT_EQ(DashboardHero::heroText(idleSteer, unknown, std::vector{unknown}, std::nullopt, kStart).title,
            "Idle \u2014 plenty of room");
}

TEST(DashboardHeroTest, WithoutASteerOrReadings) {
  auto week = assessed(WindowKind::week(), 20);
  struct Case {
    const char* name;
    std::optional<OvelSteer> steer;
    std::optional<WindowAssessment> steerAssessment;
    std::vector<WindowAssessment> all;
    std::optional<std::string> error;
    HeroText expected;
  } cases[] = {
      {"readings without a burn rate",
       std::nullopt,
       week,
       {week},
       std::nullopt,
       {"Not enough data to steer yet", "Ovel needs a burn rate: a few minutes of readings or local activity.", {}}},
      {"a steer whose window has no assessment",
       OvelSteer{WindowKind::session(), 2, RateBasis::recent},
       std::nullopt,
       {week},
       std::nullopt,
       {"Not enough data to steer yet", "Ovel needs a burn rate: a few minutes of readings or local activity.", {}}},
      {"no reading yet",
       std::nullopt,
       std::nullopt,
       {},
       std::nullopt,
       {"Waiting for the first reading", "Ovel is reading your usage from Claude Code.", {}}},
      {"no reading and a failed probe",
       std::nullopt,
       std::nullopt,
       {},
       "claude not found",
       {"Waiting for the first reading", "claude not found", {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DashboardHero::heroText(c.steer, c.steerAssessment, c.all, c.error, kStart), c.expected);
  }
}

TEST(DashboardHeroTest, PhraseOfAnotherWindowsSteer) {
  struct Case {
    double factor;
    const char* phrase;
  } cases[] = {
      {-1, "limit reached"},
      {0, "limit reached"},
      {0.8, "ease off to 80%"},
      {0.999, "ease off to 100%"},
      {1, "on ovel"},
      {1.24, "on ovel"},
      {2.34, "room to speed up 2.3\u00D7"},
      {3.99, "room to speed up 4.0\u00D7"},
      {4, "plenty of room"},
      {INFINITY, "idle"},
  };
  for (const Case& c : cases) EXPECT_EQ(DashboardHero::steerPhrase(c.factor), c.phrase) << c.factor;
}

class DashboardHeroWidgetTest : public DashboardTest {};

TEST_F(DashboardHeroWidgetTest, ShowsTheTextsAndHidesAnAbsentThirdLine) {
  DashboardHero hero(*model);
  EXPECT_EQ(hero.titleView()->text(), QStringLiteral("Waiting for the first reading"));
  EXPECT_TRUE(hero.othersView()->isHidden());

  showDemo(Demo::Scenario::atRisk);
  hero.refresh();
  HeroText expected = DashboardHero::heroText(model->steer(), model->steerAssessment(), model->assessments(),
                                              std::nullopt, model->now());
  ASSERT_TRUE(expected.others);
  EXPECT_EQ(hero.titleView()->text().toStdString(), expected.title);
  EXPECT_EQ(hero.detailView()->text().toStdString(), expected.detail);
  EXPECT_EQ(hero.othersView()->text().toStdString(), *expected.others);
  EXPECT_FALSE(hero.othersView()->isHidden());
}

TEST_F(DashboardHeroWidgetTest, RefreshProbesAndWaitsWhileAProbeRuns) {
  probe->work.hold = true;
  DashboardHero hero(*model);
  EXPECT_TRUE(hero.refreshButton()->isEnabled());
  EXPECT_EQ(hero.refreshButton()->text(), QStringLiteral("Refresh"));
  hero.refreshButton()->click();
  ASSERT_EQ(probe->runs(), 1u);
  ASSERT_TRUE(model->isProbing());
  hero.refresh();
  EXPECT_FALSE(hero.refreshButton()->isEnabled());
  probe->work.finish();
  hero.refresh();
  EXPECT_TRUE(hero.refreshButton()->isEnabled());
}

TEST_F(DashboardHeroWidgetTest, FreshnessCountsFromTheNewestReading) {
  DashboardHero hero(*model);
  EXPECT_EQ(hero.freshnessView()->text(), QStringLiteral("Waiting for Claude Code"));
  feed({sessionReading(20, kStart)});
  for (auto [age, text] : {std::pair{44.0, "Updated just now"}, std::pair{45.0, "Updated 1m ago"}}) {
    clock->set(at(age));
    model->recompute();
    hero.refresh();
    EXPECT_EQ(hero.freshnessView()->text().toStdString(), text) << age;
  }
}

}  // namespace
}  // namespace ovel
