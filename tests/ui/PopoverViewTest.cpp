#include "popover/PopoverView.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QTest>

#include <algorithm>
#include <limits>

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "ViewHarness.h"
#include "platform/PopoverHost.h"
#include "popover/BreakdownView.h"
#include "popover/WindowCard.h"
#include "ui/DayRingView.h"
#include "ui/IconLabel.h"
#include "ui/Spinner.h"
#include "ui/SteerBanner.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using test::at;
using test::kStart;
using Phase = UsageModel::Phase;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

WindowAssessment assessed(WindowKind kind, OvelStatus status, double used = 40) {
  WindowAssessment a;
  a.window = UsageWindow{std::move(kind), used, at(3600), kStart, DataSource::usageCommand};
  a.status = status;
  return a;
}

OvelSteer steerOf(double factor) { return OvelSteer{WindowKind::session(), factor, RateBasis::recent}; }

TEST(PopoverTextTest, Headline) {
  struct Row {
    std::optional<WindowAssessment> headline;
    Phase phase;
    const char* text;
  } rows[] = {
      {assessed(WindowKind::session(), OvelStatus::comfortable), Phase::ready(), "You're on a comfortable ovel"},
      {assessed(WindowKind::session(), OvelStatus::watch), Phase::ready(),
       "Running warm \u2014 session will end tight"},
      {assessed(WindowKind::weekModel("Opus"), OvelStatus::atRisk), Phase::ready(),
       "Slow down \u2014 week \u00B7 opus limit ahead"},
      {assessed(WindowKind::week(), OvelStatus::limited), Phase::failed("x"), "Week limit reached"},
      {std::nullopt, Phase::starting(), "Reading your usage\u2026"},
      {std::nullopt, Phase::ready(), "No usage data yet"},
      {std::nullopt, Phase::failed("x"), "No usage data yet"},
  };
  for (const auto& row : rows) EXPECT_EQ(PopoverView::headlineText(row.headline, row.phase), row.text);
}

TEST(PopoverTextTest, FreshnessAndLive) {
  EXPECT_TRUE(PopoverView::isLive(at(119), kStart));
  EXPECT_FALSE(PopoverView::isLive(at(120), kStart)) << "exactly 120 s is not live";
  EXPECT_FALSE(PopoverView::isLive(at(1), std::nullopt));
  struct Row {
    double age;
    bool live;
    const char* text;
  } rows[] = {
      {44, false, "Updated just now"},
      {45, false, "Updated 1m ago"},
      {5400, false, "Updated 1h 30m ago"},
      {10, true, "Updated just now \u00B7 live"},
  };
  for (const auto& row : rows) EXPECT_EQ(PopoverView::freshnessText(at(row.age), kStart, row.live), row.text);
  EXPECT_EQ(PopoverView::freshnessText(kStart, std::nullopt, true), "Waiting for Claude Code");
}

TEST(PopoverTextTest, RingWindowsFollowTheLayout) {
  auto session = assessed(WindowKind::session(), OvelStatus::comfortable);
  auto week = assessed(WindowKind::week(), OvelStatus::comfortable);
  auto pair = PopoverView::ringWindows({MenuBarItem::weekRing, MenuBarItem::sessionPercent, MenuBarItem::sessionRing},
                                       session, week);
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_TRUE(pair[0].window.kind.isWeek()) << "the week ring first, as in the layout";
  EXPECT_EQ(PopoverView::ringWindows({MenuBarItem::sessionRing}, session, week).size(), 1u);
  EXPECT_EQ(PopoverView::ringWindows({MenuBarItem::sessionRing, MenuBarItem::weekRing}, session, std::nullopt).size(),
            1u);
}

TEST(PopoverTextTest, RingTints) {
  auto watch = assessed(WindowKind::session(), OvelStatus::watch);
  struct Row {
    std::optional<OvelSteer> steer;
    std::optional<WindowAssessment> headline;
    ThemeColor tint;
  } rows[] = {
      {steerOf(kInfinity), watch, ThemeColor::steer(kInfinity)},
      {steerOf(1), std::nullopt, ThemeColor::steer(1)},
      {steerOf(0.999), std::nullopt, ThemeColor::steer(0.999)},
      {steerOf(0), std::nullopt, ThemeColor::steer(0)},
      {std::nullopt, watch, ThemeColor::status(OvelStatus::watch)},
      {std::nullopt, std::nullopt, ThemeColor::of(ColorRole::secondary)},
  };
  QPalette light = Theme::palette(Appearance::light);
  for (const auto& row : rows)
    EXPECT_EQ(PopoverView::ringTint(row.steer, row.headline).resolve(light), row.tint.resolve(light));
  EXPECT_EQ(PopoverView::steerTint(steerOf(kInfinity)).resolve(light), Theme::brand(Appearance::light));
  EXPECT_EQ(PopoverView::steerTint(steerOf(0.999)).resolve(light), Theme::systemOrange());
  EXPECT_EQ(PopoverView::steerTint(steerOf(0)).resolve(light), Theme::systemRed());
  EXPECT_EQ(PopoverView::steerTint(std::nullopt).resolve(light), Theme::role(ColorRole::secondary, light));
}

TEST(PopoverTextTest, ContentFormAndRows) {
  using Form = PopoverView::ContentForm;
  EXPECT_EQ(PopoverView::contentForm(Phase::failed("x"), true), Form::setupHint);
  EXPECT_EQ(PopoverView::contentForm(Phase::starting(), false), Form::spinner);
  EXPECT_EQ(PopoverView::contentForm(Phase::ready(), false), Form::spinner);
  EXPECT_EQ(PopoverView::contentForm(Phase::ready(), true), Form::windows);
  std::vector<WindowAssessment> all = {assessed(WindowKind::session(), OvelStatus::atRisk),
                                       assessed(WindowKind::week(), OvelStatus::comfortable),
                                       assessed(WindowKind::weekModel("Opus"), OvelStatus::comfortable)};
  auto rows = PopoverView::rowAssessments(all, WindowKind::session());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[0].window.kind.isWeek());
  EXPECT_TRUE(rows[1].window.kind.isWeekModel());
}

class PopoverViewTest : public test::ViewTest {
 protected:
  PopoverView& popover() {
    if (!view) view = std::make_unique<PopoverView>(*model, integrations, [] {});
    view->rebuild();
    layOut(*view, PopoverView::kWidth);
    return *view;
  }
  // The popover as its host lays it out on a screen with `height` free.
  static void fittedTo(PopoverView& view, int height) {
    view.setMaximumHeight(height);
    view.rebuild();
    layOut(view, PopoverView::kWidth, std::min(height, view.sizeHint().height()));
  }

  std::unique_ptr<PopoverView> view;
};

TEST_F(PopoverViewTest, FailedWithoutReadingsShowsTheSetupHintAndABareRing) {
  probe->work.answer = ProbeOutcome::failure("claude was not found");
  startAndSettle();
  PopoverView& p = popover();
  EXPECT_FALSE(p.setupHint()->isHidden());
  EXPECT_EQ(p.setupHint()->messageView()->text(), QStringLiteral("claude was not found"));
  EXPECT_TRUE(p.windows()->isHidden());
  EXPECT_EQ(p.headlineView()->text(), QStringLiteral("No usage data yet"));
  ASSERT_EQ(p.rings().size(), 1u);
  EXPECT_EQ(p.rings()[0]->width(), 30);
  EXPECT_FALSE(p.rings()[0]->shownUsed());
  EXPECT_EQ(p.rings()[0]->shownCenter(), DayRing::Center::dash());
}

TEST_F(PopoverViewTest, TheSetupHintShowsAFailureWithoutItsClosingLineFeed) {
  probe->work.answer = ProbeOutcome::failure("claude was not found\n\n");
  startAndSettle();
  PopoverView& p = popover();
  EXPECT_EQ(p.setupHint()->messageView()->text(), QStringLiteral("claude was not found"));
  EXPECT_EQ(p.setupHint()->messageView()->shownLines().size(), 1);
}

TEST_F(PopoverViewTest, ALongFailureGrowsDownwardsNeverWider) {
  probe->work.answer = ProbeOutcome::failure("short");
  startAndSettle();
  int shortHeight = popover().height();
  probe->work.answer = ProbeOutcome::failure(std::string(600, 'x').replace(50, 1, " ") + " and then some words");
  model->probe();
  scheduler->runDue();
  PopoverView& p = popover();
  EXPECT_EQ(p.width(), PopoverView::kWidth);
  EXPECT_EQ(p.sizeHint().width(), PopoverView::kWidth);
  EXPECT_GT(p.height(), shortHeight);
}

TEST_F(PopoverViewTest, ThreeWindowsGiveTheCardAndTwoOneLineRows) {
  showDemo(Demo::Scenario::atRisk);
  PopoverView& p = popover();
  ASSERT_EQ(model->assessments().size(), 3u);
  EXPECT_FALSE(p.windows()->isHidden());
  auto* banner = test::onlyChildOf<SteerBanner>(p);
  ASSERT_NE(banner, nullptr);
  EXPECT_FALSE(banner->isHidden());
  ASSERT_EQ(p.rows().size(), 2u);
  EXPECT_EQ(p.rowsCard()->column()->count(), 3) << "a row, a divider, a row";
  for (WindowRow* row : p.rows()) {
    TextView* verdict = row->verdictView();
    EXPECT_EQ(verdict->shownLines().size(), 1);
    EXPECT_EQ(verdict->height(), static_cast<int>(std::ceil(QFontMetricsF(verdict->textFont()).lineSpacing())))
        << verdict->text().toStdString();
    EXPECT_FALSE(verdict->shownLines()[0].endsWith(QChar(0x2026))) << "the demo's verdicts fit the popover";
  }
}

TEST_F(PopoverViewTest, TwoRingsInLayoutOrderWithTheirHelp) {
  showDemo(Demo::Scenario::comfortable);
  preferences.setMenuBarLayout({{MenuBarItem::weekRing, true}, {MenuBarItem::sessionRing, true}});
  PopoverView& p = popover();
  ASSERT_EQ(p.rings().size(), 2u);
  EXPECT_EQ(p.rings()[0]->width(), 26);
  EXPECT_EQ(p.rings()[0]->shownUsed(), model->week()->window.usedPercent);
  EXPECT_EQ(p.rings()[1]->shownUsed(), model->session()->window.usedPercent);
  EXPECT_EQ(p.rings()[0]->parentWidget()->toolTip(), PopoverView::kTwoRingsHelp);
  preferences.setMenuBarLayout({{MenuBarItem::sessionRing, true}, {MenuBarItem::weekRing, false}});
  popover();
  ASSERT_EQ(p.rings().size(), 1u);
  EXPECT_EQ(p.rings()[0]->width(), 30);
  EXPECT_EQ(p.rings()[0]->parentWidget()->toolTip(), PopoverView::kOneRingHelp);
}

TEST_F(PopoverViewTest, WhileStillReadingTheSpinnerHasItsRoom) {
  model->start();
  ASSERT_EQ(model->phase().phaseCase(), Phase::Case::starting);
  ASSERT_TRUE(model->assessments().empty());
  PopoverView& p = popover();
  // The spinner of the content, not the one beside the refresh button.
  Spinner* spinner = nullptr;
  for (Spinner* candidate : test::childrenOf<Spinner>(*p.contentScroll()))
    if (candidate->isVisibleTo(&p)) spinner = candidate;
  ASSERT_NE(spinner, nullptr) << "the content shows a spinner";
  EXPECT_GT(p.contentScroll()->height(), 0) << "the band between header and footer keeps a height";
  EXPECT_GE(spinner->height(), 16);
  QRect place(spinner->mapTo(p.contentScroll()->viewport(), QPoint()), spinner->size());
  EXPECT_TRUE(p.contentScroll()->viewport()->rect().contains(place)) << "all of it in view";
  EXPECT_EQ(p.contentScroll()->verticalScrollBar()->maximum(), 0) << "and nothing to scroll";
}

TEST_F(PopoverViewTest, ProbingShowsTheSpinnerInsteadOfTheButton) {
  startAndSettle();
  probe->work.hold = true;
  model->probe();
  ASSERT_TRUE(model->isProbing());
  PopoverView& p = popover();
  EXPECT_FALSE(p.refreshButton()->isEnabled());
  EXPECT_TRUE(p.refreshButton()->isHidden());
  EXPECT_FALSE(p.probeSpinner()->isHidden());
  probe->work.finish();
  popover();
  EXPECT_TRUE(p.refreshButton()->isEnabled());
  EXPECT_TRUE(p.probeSpinner()->isHidden());
}

TEST_F(PopoverViewTest, ShortcutsActAtOnceAndTheButtonsNameThem) {
  startAndSettle();
  int dashboards = 0;
  int settings = 0;
  PopoverView p(
      *model, integrations, [&] { ++settings; }, [&] { ++dashboards; });
  p.show();
  p.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&p));

  // No event loop turns between the key and the check: nothing waits for
  // an animated click.
  QTest::keyClick(&p, Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(dashboards, 1);
  QTest::keyClick(&p, Qt::Key_Comma, Qt::ControlModifier);
  EXPECT_EQ(settings, 1);
  probe->work.hold = true;
  QTest::keyClick(&p, Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(model->isProbing());
  probe->work.finish();

  std::vector<QString> helps;
  for (SymbolButton* button : test::childrenOf<SymbolButton>(p)) {
    EXPECT_TRUE(button->shortcut().isEmpty()) << "a button's own shortcut animates a click first";
    helps.push_back(button->toolTip());
  }
  for (const char* help :
       {"Refresh now (Ctrl+R)", "Open dashboard (Ctrl+D)", "Settings (Ctrl+,)", "Quit Ovel (Ctrl+Q)"})
    EXPECT_NE(std::find(helps.begin(), helps.end(), QString::fromLatin1(help)), helps.end()) << help;
}

TEST_F(PopoverViewTest, LiveDotLinkAndError) {
  showDemo(Demo::Scenario::watch);
  PopoverView& p = popover();
  EXPECT_FALSE(p.liveDot()->isHidden()) << "the demo's status line is live";
  EXPECT_TRUE(p.freshnessView()->text().endsWith(QStringLiteral(" \u00B7 live")));
  EXPECT_FALSE(p.liveLink()->isHidden()) << "not connected: the link offers live updates";
  EXPECT_TRUE(p.errorLabel()->isHidden());
}

// The whole of `child` lies inside `window`.
void expectInside(const QWidget* window, const QWidget* child, const char* what) {
  QRect place(child->mapTo(window, QPoint()), child->size());
  EXPECT_TRUE(window->rect().contains(place)) << what;
}

TEST_F(PopoverViewTest, GivenLessHeightTheContentScrollsBetweenAWholeHeaderAndFooter) {
  showDemo(Demo::Scenario::atRisk);
  PopoverView view(*model, integrations, [] {});
  int natural = view.sizeHint().height();
  fittedTo(view, 500);
  ASSERT_EQ(view.height(), 500);
  ASSERT_GT(natural, 500);

  QScrollArea* scroll = view.contentScroll();
  EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
  auto* card = test::onlyChildOf<WindowCard>(view);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->width(), PopoverView::kWidth - 32) << "the bar takes the margin, not the content's width";
  expectInside(&view, view.headlineView(), "headline");
  EXPECT_EQ(view.headlineView()->height(), view.headlineView()->heightForWidth(view.headlineView()->width()))
      << "the header is not squeezed";
  for (auto* button : test::childrenOf<QAbstractButton>(*view.footer()))
    if (button->isVisibleTo(&view)) expectInside(&view, button, "a footer button");

  // The breakdown stays at the end of the content, in reach of the scroll.
  BreakdownView* breakdown = view.breakdown();
  ASSERT_TRUE(breakdown->isExpanded());
  scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  QRect shown(breakdown->mapTo(scroll->viewport(), QPoint()), breakdown->size());
  EXPECT_EQ(shown.bottom(), scroll->viewport()->height() - 1) << "scrolled to the end, the breakdown ends the view";

  fittedTo(view, natural + 100);
  EXPECT_EQ(view.height(), natural) << "given room, as tall as the content";
  EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
}

TEST_F(PopoverViewTest, OpeningTheBreakdownBringsItIntoView) {
  showDemo(Demo::Scenario::atRisk);
  PopoverView view(*model, integrations, [] {});
  view.breakdown()->setExpanded(false);
  fittedTo(view, 500);
  QScrollArea* scroll = view.contentScroll();
  ASSERT_EQ(scroll->verticalScrollBar()->value(), 0);
  view.breakdown()->header()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->value() > 0; })) << "scrolled down";
  QRect shown(view.breakdown()->mapTo(scroll->viewport(), QPoint()), view.breakdown()->size());
  EXPECT_GE(shown.top(), 0) << "its header still in view";
  EXPECT_LE(shown.bottom(), scroll->viewport()->height() - 1) << "and all of it below";
}

}  // namespace

}  // namespace ovel
