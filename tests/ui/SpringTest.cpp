#include "ui/Spring.h"

#include <gtest/gtest.h>

#include <QTest>

#include "ui/DayRingView.h"

namespace ovel {
namespace {

// Turns the springs on for one test.
struct Animated {
  Animated() { Spring::setAnimationsEnabled(true); }
  ~Animated() { Spring::setAnimationsEnabled(false); }
};

TEST(SpringTest, CriticallyDampedWithoutOvershoot) {
  EXPECT_DOUBLE_EQ(Spring::progress(0), 0);
  EXPECT_DOUBLE_EQ(Spring::progress(1), 1);
  double previous = 0;
  for (int step = 1; step <= 100; ++step) {
    double now = Spring::progress(step / 100.0);
    EXPECT_GT(now, previous);
    EXPECT_LE(now, 1.0);
    previous = now;
  }
  EXPECT_GT(Spring::progress(0.5), 0.9) << "most of the way early, then settling";
  EXPECT_NEAR(Spring::durationFor(0.4), 588, 2);
}

TEST(SpringTest, FirstValueAndSwitchedOffJumpAtOnce) {
  QObject owner;
  std::vector<double> shown;
  Spring spring(&owner, [&](const QVariant& value) { shown.push_back(value.toDouble()); });
  {
    Animated on;
    spring.setTarget(40.0);
    EXPECT_EQ(shown, std::vector<double>{40});
    EXPECT_FALSE(spring.isMoving());
    spring.setTarget(80.0, false);
    EXPECT_EQ(shown.back(), 80);
  }
  spring.setTarget(20.0);
  EXPECT_EQ(shown.back(), 20) << "animations off: the new value at once";
  EXPECT_FALSE(spring.isMoving());
}

TEST(SpringTest, LaterValuesMoveAlongTheSpring) {
  Animated on;
  QObject owner;
  double shown = -1;
  Spring spring(&owner, [&](const QVariant& value) { shown = value.toDouble(); });
  spring.setTarget(0.0);
  spring.setTarget(100.0);
  EXPECT_TRUE(spring.isMoving());
  EXPECT_LT(shown, 100);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !spring.isMoving(); }, 5000));
  EXPECT_DOUBLE_EQ(shown, 100);
}

TEST(DayRingViewTest, RingCentredInANonSquareFrame) {
  EXPECT_EQ(DayRingView::ringSquare(QSizeF(40, 26)), QRectF(7, 0, 26, 26));
  EXPECT_EQ(DayRingView::ringSquare(QSizeF(30, 50)), QRectF(0, 10, 30, 30));
}

TEST(DayRingViewTest, GrowsFromZeroAndTurnsArrowsFromZero) {
  Animated on;
  DayRingView view;
  view.setRing(std::nullopt, false, DayRing::Center::dash(), ThemeColor::brand());
  EXPECT_FALSE(view.shownUsed());
  view.setRing(60.0, false, DayRing::Center::arrow(40), ThemeColor::brand());
  ASSERT_TRUE(view.shownUsed());
  EXPECT_LT(*view.shownUsed(), 60) << "a ring that gains a used value grows from 0";
  EXPECT_LT(view.shownCenter().value, 40) << "an arrow that replaces another centre turns from 0";
  EXPECT_TRUE(QTest::qWaitFor([&] { return view.shownUsed() == 60.0; }, 5000));
  EXPECT_EQ(view.shownCenter(), DayRing::Center::arrow(40));
  view.setRing(10.0, true, DayRing::Center::stop(), ThemeColor::brand(), false);
  EXPECT_EQ(view.shownUsed(), 10.0) << "unanimated changes jump";
  EXPECT_EQ(view.shownCenter(), DayRing::Center::stop());
}

}  // namespace
}  // namespace ovel
