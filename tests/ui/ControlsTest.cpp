#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "support/Children.h"
#include "ui/EmptyState.h"
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
      {{WindowKind::session(), 0, RateBasis::recent}, "Limit reached \u2014 pause until it resets",
       "Set by the session limit (5h)", ThemeColor::systemRed()},
      {{WindowKind::weekModel("opus"), 0.6, RateBasis::recent}, "Ease off to 60% of your current ovel",
       "Set by the weekly opus limit", ThemeColor::systemOrange()},
      {{WindowKind::week(), kInfinity, RateBasis::none}, "Idle \u2014 plenty of room", "Set by the weekly limit (7d)",
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

}  // namespace
}  // namespace ovel
