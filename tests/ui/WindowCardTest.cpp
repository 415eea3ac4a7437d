#include "popover/WindowCard.h"

#include <gtest/gtest.h>

#include "AnimationClock.h"
#include "ViewHarness.h"
#include "model/Format.h"
#include "ui/Spring.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

const Date kNow = dateFromSeconds1970(1781697600);  // a Wednesday, 12:00 UTC

WindowAssessment window(WindowKind kind, std::optional<double> resetIn) {
  WindowAssessment a;
  a.window.kind = std::move(kind);
  a.window.usedPercent = 42;
  if (resetIn) a.window.resetsAt = addSeconds(kNow, *resetIn);
  a.window.observedAt = kNow;
  return a;
}

class WindowCardTest : public ::testing::Test {
 protected:
  WindowCardTest() { Format::setTimeZone("UTC"); }
  ~WindowCardTest() override { Format::setTimeZone({}); }
};

TEST_F(WindowCardTest, FiguresCountTowardsANewValueOnTheBarsSpring) {
  WindowCard card;
  WindowRow row;
  auto at = [](double used) {
    WindowAssessment a = window(WindowKind::session(), 3600);
    a.window.usedPercent = used;
    return a;
  };
  {
    test::AnimationClock frames;
    card.setAssessment(at(42), kNow);
    row.setAssessment(at(42), kNow);
    EXPECT_EQ(card.usedView()->text(), QStringLiteral("42%")) << "the first value shows at once";
    EXPECT_EQ(row.usedView()->text(), QStringLiteral("42%"));

    card.setAssessment(at(80), kNow);
    row.setAssessment(at(80), kNow);
    frames.advance(100);
    for (TextView* figure : {card.usedView(), row.usedView()}) {
      int shown = figure->text().chopped(1).toInt();
      EXPECT_GT(shown, 42) << "counting while the spring runs";
      EXPECT_LT(shown, 80);
    }
    frames.advance(Spring::durationFor(Spring::kResponse));
    EXPECT_EQ(card.usedView()->text(), QStringLiteral("80%")) << "the new value at rest";
    EXPECT_EQ(row.usedView()->text(), QStringLiteral("80%"));
  }
  // With the springs off, as in snapshots, the value shows at once.
  card.setAssessment(at(12), kNow);
  EXPECT_EQ(card.usedView()->text(), QStringLiteral("12%"));
}

TEST_F(WindowCardTest, RateHelpPerBasis) {
  EXPECT_EQ(rateHelp(RateBasis::localActivity), "Current burn rate, from your recent Claude Code activity.");
  EXPECT_EQ(rateHelp(RateBasis::recent), "Current burn rate, from recent readings.");
  EXPECT_EQ(rateHelp(RateBasis::windowAverage), "Current burn rate, average since this window started.");
  EXPECT_EQ(rateHelp(RateBasis::none), "Current burn rate, .");
}

TEST_F(WindowCardTest, ResetLinesNeedAResetTime) {
  auto bare = WindowTexts::of(window(WindowKind::session(), std::nullopt), kNow);
  EXPECT_FALSE(bare.resets);
  EXPECT_FALSE(bare.resetsIn);
  auto plannedWithout = window(WindowKind::week(), std::nullopt);
  plannedWithout.plannedResetAt = addSeconds(kNow, 3600);
  EXPECT_FALSE(WindowTexts::of(plannedWithout, kNow).planned) << "the planned line stands only under a reset time";

  auto planned = window(WindowKind::week(), 2 * 3600 + 5 * 60);
  planned.plannedResetAt = addSeconds(kNow, 3600);
  auto texts = WindowTexts::of(planned, kNow);
  EXPECT_EQ(texts.resets,
            QStringLiteral("resets ") + QString::fromStdString(Format::clock(*planned.window.resetsAt, kNow)));
  EXPECT_EQ(texts.resetsIn, QStringLiteral("in 2h 5m"));
  EXPECT_EQ(texts.planned,
            QStringLiteral("planned ") + QString::fromStdString(Format::clock(*planned.plannedResetAt, kNow)));
}

TEST_F(WindowCardTest, FiguresAndTheirDashes) {
  auto session = window(WindowKind::session(), 3600);
  session.ratePerHour = 3.44;
  session.evenOvelPercent = 80;
  auto texts = WindowTexts::of(session, kNow);
  EXPECT_EQ(texts.title, QStringLiteral("Session"));
  EXPECT_EQ(texts.used, QStringLiteral("42%"));
  EXPECT_EQ(texts.burnRate, QStringLiteral("3.4%/h"));
  EXPECT_EQ(texts.sustainable, QStringLiteral("\u2014"));
  EXPECT_EQ(texts.evenOvel, QStringLiteral("80%"));
  EXPECT_EQ(texts.accessibleLabel, QStringLiteral("Session: 42% used. ") + texts.verdict + QLatin1Char('.'));
  auto week = window(WindowKind::weekModel("Opus"), 3600);
  week.ratePerHour = 0.3;
  EXPECT_EQ(WindowTexts::of(week, kNow).burnRate, QStringLiteral("7.2%/day"));
  EXPECT_EQ(WindowTexts::of(week, kNow).title, QStringLiteral("Week \u00B7 Opus"));
}

TEST_F(WindowCardTest, RowSymbolAndVerdictStylePerStatus) {
  struct Row {
    OvelStatus status;
    bool symbol;
    ColorRole verdict;
  } rows[] = {{OvelStatus::comfortable, false, ColorRole::secondary},
              {OvelStatus::watch, true, ColorRole::primary},
              {OvelStatus::atRisk, true, ColorRole::primary},
              {OvelStatus::limited, true, ColorRole::primary}};
  for (const auto& row : rows) {
    auto a = window(WindowKind::week(), 3600);
    a.status = row.status;
    WindowRow view;
    view.setAssessment(a, kNow);
    SymbolView* symbol = view.symbolView();
    EXPECT_EQ(!symbol->isHidden(), row.symbol) << label(row.status);
    EXPECT_EQ(symbol->symbol(), statusSymbol(row.status));
    EXPECT_TRUE(view.verdictView()->color() == ThemeColor::of(row.verdict)) << label(row.status);
  }
}

class WindowCardLayout : public test::ViewTest {};

TEST_F(WindowCardLayout, UsedAndResetLinesShareTheFiguresBaseline) {
  for (bool withPlan : {false, true}) {
    auto a = window(WindowKind::session(), 3 * 3600);
    if (withPlan) a.plannedResetAt = addSeconds(kNow, 3600);
    WindowCard card;
    card.setAssessment(a, kNow);
    layOut(card, 308);
    WindowTexts texts = WindowTexts::of(a, kNow);
    QString lastLine = withPlan ? *texts.planned : *texts.resetsIn;
    TextView* used = test::textViewShowing(card, QStringLiteral("used"));
    test::expectOnBaseline(card, test::textViewShowing(card, texts.used),
                           {used, test::textViewShowing(card, lastLine)});
  }
}

TEST_F(WindowCardTest, LongTitlesAreCutInTheirFrame) {
  WindowRow view;
  view.setAssessment(window(WindowKind::weekModel("claude-opus-4-extended-thinking"), 3600), kNow);
  view.resize(308, view.sizeHint().height());
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  TextView* title = view.titleView();
  ASSERT_EQ(title->width(), WindowRow::kTitleWidth);
  QString shown = title->shownLines().value(0);
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Week \u00B7 "))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
}

}  // namespace
}  // namespace ovel
