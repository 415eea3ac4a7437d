#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include "support/Children.h"
#include "ui/EmptyState.h"
#include "ui/FitRow.h"
#include "ui/SegmentedControl.h"
#include "ui/Spinner.h"
#include "ui/SteerBanner.h"
#include "ui/Stepper.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

TEST(SegmentedControlTest, CanShowNoSelectionAndReportsPicks) {
  SegmentedControl control({QStringLiteral("This session"), QStringLiteral("24h"), QStringLiteral("7 days")});
  control.resize(300, control.sizeHint().height());
  EXPECT_EQ(control.currentIndex(), -1);
  control.setCurrentIndex(1);
  EXPECT_EQ(control.currentIndex(), 1);
  control.setCurrentIndex(7);
  EXPECT_EQ(control.currentIndex(), -1) << "a value that matches no segment selects none";

  QSignalSpy picked(&control, &SegmentedControl::activated);
  QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(250, control.height() / 2));
  ASSERT_EQ(picked.count(), 1);
  EXPECT_EQ(picked.at(0).at(0).toInt(), 2);
  EXPECT_EQ(control.currentIndex(), 2);
  EXPECT_EQ(control.segmentAt(QPoint(10, control.height() / 2)), 0);
}

TEST(SegmentedControlTest, ShortTitlesKeepTheirWidthWhenLongOnesShare) {
  struct Case {
    const char* name;
    std::vector<qreal> natural;
    qreal available;
    std::vector<qreal> expected;
  };
  const Case cases[] = {
      {"room for the widest everywhere: all alike", {60, 40, 90}, 300, {100, 100, 100}},
      {"the widest fits exactly", {60, 40, 90}, 270, {90, 90, 90}},
      {"every title whole, the spare shared", {60, 40, 290}, 420, {70, 50, 300}},
      {"one long title gives way", {60, 40, 300}, 250, {60, 40, 150}},
      {"two long ones split the rest", {50, 200, 300}, 250, {50, 100, 100}},
      {"too narrow for any whole title", {60, 60, 60}, 90, {30, 30, 30}},
      {"no segments", {}, 100, {}},
  };
  for (const Case& c : cases) {
    auto widths = SegmentedControl::segmentWidths(c.natural, c.available);
    ASSERT_EQ(widths.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < widths.size(); ++i) EXPECT_DOUBLE_EQ(widths[i], c.expected[i]) << c.name << " " << i;
  }
}

TEST(SegmentedControlTest, CutsOnlyTheTitlesThatDoNotFit) {
  QString long40 = QStringLiteral("Week \u00B7 ") + QString(33, QLatin1Char('x'));
  SegmentedControl control({QStringLiteral("Session"), QStringLiteral("Week"), long40});
  EXPECT_LT(control.minimumSizeHint().width(), control.sizeHint().width() / 2);
  control.resize(control.sizeHint());
  EXPECT_EQ(control.shownTitles(), control.titles());
  control.resize(control.sizeHint().width() / 3, control.height());
  QStringList shown = control.shownTitles();
  EXPECT_EQ(shown[0], QStringLiteral("Session"));
  EXPECT_EQ(shown[1], QStringLiteral("Week"));
  EXPECT_TRUE(shown[2].endsWith(QChar(0x2026))) << shown[2].toStdString();
  EXPECT_TRUE(shown[2].startsWith(QStringLiteral("Week"))) << shown[2].toStdString();
  EXPECT_EQ(control.segmentAt(QPoint(control.width() - 3, control.height() / 2)), 2);
}

TEST(FitRowTest, GroupsShareALineWhileTheyFitElseStack) {
  EXPECT_TRUE(FitRow::fitsOneLine(std::vector{100, 150}, 8, 258));
  EXPECT_FALSE(FitRow::fitsOneLine(std::vector{100, 150}, 8, 257));
  EXPECT_TRUE(FitRow::fitsOneLine(std::vector<int>{}, 8, 0));

  QWidget host;
  auto* row = new FitRow(8, 6, &host);
  auto* fixed = new QWidget;
  fixed->setFixedSize(100, 20);
  auto* wide = new QWidget;
  wide->setMinimumSize(60, 24);
  wide->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  row->addGroup(fixed);
  row->addGroup(wide, 1);
  EXPECT_EQ(row->minimumSize().width(), 100) << "stacked, the widest group is the limit";

  host.resize(400, row->heightForWidth(400));
  row->setGeometry(host.rect());
  EXPECT_FALSE(row->isStacked());
  EXPECT_EQ(row->heightForWidth(400), 24);
  EXPECT_EQ(wide->geometry(), QRect(108, 0, 292, 24)) << "the stretching group takes what is left";

  host.resize(150, row->heightForWidth(150));
  row->setGeometry(host.rect());
  EXPECT_TRUE(row->isStacked());
  EXPECT_EQ(row->heightForWidth(150), 20 + 6 + 24);
  EXPECT_EQ(fixed->geometry().topLeft(), QPoint(0, 0));
  EXPECT_EQ(wide->geometry(), QRect(0, 26, 150, 24)) << "stacked, each group spans the width";
}

TEST(StepperTest, StaysWithinItsBounds) {
  Stepper stepper(0, 99);
  QSignalSpy stepped(&stepper, &Stepper::stepped);
  stepper.setValue(0);
  EXPECT_FALSE(stepper.canStepDown());
  EXPECT_TRUE(stepper.canStepUp());
  auto buttons = test::childrenOf<SymbolButton>(stepper);
  ASSERT_EQ(buttons.size(), 2);
  buttons[0]->click();
  EXPECT_EQ(stepped.count(), 0) << "the minus button is disabled at 0";
  buttons[1]->click();
  ASSERT_EQ(stepped.count(), 1);
  EXPECT_EQ(stepped.at(0).at(0).toInt(), 1);
  stepper.setValue(150);
  EXPECT_EQ(stepper.value(), 99);
  EXPECT_FALSE(stepper.canStepUp());
}

TEST(SpinnerTest, StandsStillWhileAnimationsAreOff) {
  Spinner spinner;
  spinner.show();
  QTest::qWait(300);
  EXPECT_EQ(spinner.frame(), 0);
}

TEST(EmptyStateTest, TitleAndDescription) {
  EmptyState empty(Symbol::gaugeWithDotsNeedle0percent, QStringLiteral("No usage data yet"),
                   QStringLiteral("Ovel is reading your usage from Claude Code."));
  EXPECT_EQ(empty.titleView()->text(), QStringLiteral("No usage data yet"));
  empty.setDescription(QStringLiteral("claude not found"));
  EXPECT_EQ(empty.descriptionView()->text(), QStringLiteral("claude not found"));
}

TEST(SteerBannerTest, HeadlineReasonAndColour) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  struct Row {
    OvelSteer steer;
    const char* headline;
    const char* reason;
    ThemeColor colour;
  } rows[] = {
      {{WindowKind::session(), 0, RateBasis::recent},
       "Limit reached \u2014 pause until it resets",
       "Set by the session limit (5h)",
       ThemeColor::systemRed()},
      {{WindowKind::weekModel("opus"), 0.6, RateBasis::recent},
       "Ease off to 60% of your current ovel",
       "Set by the weekly opus limit",
       ThemeColor::systemOrange()},
      {{WindowKind::week(), kInfinity, RateBasis::none},
       "Idle \u2014 plenty of room",
       "Set by the weekly limit (7d)",
       ThemeColor::brand()},
  };
  QPalette light = Theme::palette(Appearance::light);
  for (const auto& row : rows) {
    SteerBanner banner;
    banner.setSteer(row.steer);
    EXPECT_EQ(banner.headlineView()->text(), QString::fromUtf8(row.headline));
    EXPECT_EQ(banner.reasonView()->text(), QString::fromUtf8(row.reason));
    EXPECT_EQ(ThemeColor::steer(banner.factor()).resolve(light), row.colour.resolve(light)) << row.reason;
  }
}

// Whether `image` holds a pixel of `color`, give or take the blending of
// antialiased edges.
bool holdsColor(const QImage& image, const QColor& color) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      QColor pixel = image.pixelColor(x, y);
      if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green()) +
              std::abs(pixel.blue() - color.blue()) <
          24)
        return true;
    }
  return false;
}

TEST(FocusRingTest, OurControlsDrawTheirFocusInTheBrandColour) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    QWidget window;
    window.setPalette(Theme::palette(appearance));
    auto* row = new QHBoxLayout(&window);
    auto* button = new SymbolButton(Symbol::gearshape, QStringLiteral("Settings"), 15);
    button->setFrameSize({22, 22});
    auto* stepper = new Stepper(0, 9);
    auto* segments = new SegmentedControl({QStringLiteral("Session"), QStringLiteral("Week")});
    for (QWidget* control : std::initializer_list<QWidget*>{button, stepper, segments}) row->addWidget(control);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Activated, a window hands the focus to its first control.
    QApplication::focusWidget()->clearFocus();
    QColor brand = Theme::brand(appearance);
    for (QWidget* control : std::initializer_list<QWidget*>{button, stepper, segments}) {
      SCOPED_TRACE(control->metaObject()->className());
      EXPECT_EQ(control->focusPolicy(), Qt::TabFocus) << "reached by Tab; a click leaves the focus where it was";
      EXPECT_FALSE(holdsColor(control->grab().toImage(), brand));
      control->setFocus(Qt::TabFocusReason);
      EXPECT_TRUE(holdsColor(control->grab().toImage(), brand));
    }
  }
}

TEST(SymbolButtonTest, SpaceAndEnterPressIt) {
  QWidget window;
  auto* button = new SymbolButton(Symbol::power, QStringLiteral("Quit Ovel (Ctrl+Q)"), 15, &window);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  button->setFocus(Qt::TabFocusReason);
  QSignalSpy clicked(button, &SymbolButton::clicked);
  QTest::keyClick(button, Qt::Key_Space);
  QTest::keyClick(button, Qt::Key_Return);
  QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(clicked.count(), 3);
  QTest::keyClick(button, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicked.count(), 3) << "Ctrl+Enter is no press";
}

TEST(StepperTest, IsOneStopForTheKeysAndTheWheelWithTheFocus) {
  QWidget window;
  auto* stepper = new Stepper(0, 5, &window);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  for (SymbolButton* button : {stepper->downButton(), stepper->upButton()})
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << "its buttons are for the pointer";
  stepper->clearFocus();
  QSignalSpy stepped(stepper, &Stepper::stepped);
  auto wheel = [&](int angle) {
    QWheelEvent event(QPointF(5, 5), stepper->mapToGlobal(QPointF(5, 5)), {}, {0, angle}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(stepper, &event);
    return event.isAccepted();
  };
  EXPECT_FALSE(wheel(120)) << "without the focus the wheel is the page's";
  EXPECT_EQ(stepper->value(), 0);
  stepper->setFocus(Qt::TabFocusReason);
  for (auto key : {Qt::Key_Up, Qt::Key_Plus, Qt::Key_Right}) QTest::keyClick(stepper, key);
  EXPECT_EQ(stepper->value(), 3);
  QTest::keyClick(stepper, Qt::Key_Down);
  EXPECT_EQ(stepper->value(), 2);
  EXPECT_TRUE(wheel(60));
  EXPECT_EQ(stepper->value(), 2) << "half a notch waits for the other half";
  EXPECT_TRUE(wheel(60));
  EXPECT_EQ(stepper->value(), 3);
  EXPECT_TRUE(wheel(-360));
  EXPECT_EQ(stepper->value(), 0);
  EXPECT_EQ(stepped.count(), 6);
}

}  // namespace
}  // namespace ovel
