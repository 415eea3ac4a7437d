// The limit panels: the rate table's rows and bars, the steering ring, the
// reset lines, and what a panel leaves out.
#include "dashboard/LimitPanel.h"

#include <gtest/gtest.h>

#include <cmath>

#include "DashboardFixture.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using namespace test;
using H = RateReading::Horizon;

std::array<RateReading, 5> readings(std::array<std::optional<double>, 5> rates) {
  std::array<RateReading, 5> result;
  for (std::size_t i = 0; i < 5; ++i) result[i] = {kAllRateHorizons[i], rates[i]};
  return result;
}

TEST(RateTableTest, ScaleIsTwiceTheSustainableRateElseTheLargestReading) {
  EXPECT_DOUBLE_EQ(rateScale(4, readings({1, 20, {}, {}, 3})), 8);
  EXPECT_DOUBLE_EQ(rateScale(std::nullopt, readings({2, 6, {}, {}, 3})), 6);
  EXPECT_DOUBLE_EQ(
      rateScale(std::nullopt, readings({std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt})),
      0.0001);
  EXPECT_DOUBLE_EQ(rateScale(0, readings({2, {}, {}, {}, {}})), 0.0001);
}

TEST(RateTableTest, RowsAgainstASustainableRateOfFour) {
  auto orange = ThemeColor::systemOrange();
  auto secondary = ThemeColor::of(ColorRole::secondary);
  auto brand = ThemeColor::brand();
  struct Case {
    const char* name;
    std::optional<double> rate;
    std::optional<double> fill;
    bool above;
    std::string rateText;
    std::string multiple;
  } cases[] = {
      {"idle", 0.005, 0.005 / 8, false, "0.0%/h", "idle"},
      {"just above idle", 0.02, 0.02 / 8, false, "0.0%/h", "\u00D74+"},
      {"half the sustainable rate", 2, 0.25, false, "2.0%/h", "\u00D72.0"},
      {"exactly sustainable", 4, 0.5, false, "4.0%/h", "\u00D71.0"},
      {"twice sustainable fills the bar", 8, 1, true, "8.0%/h", "\u00D70.50"},
      {"beyond twice stays full", 10, 1, true, "10%/h", "\u00D70.40"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RateRow row = RateRow::of({H::hour, c.rate}, 4, 8, WindowKind::session());
    EXPECT_EQ(row.label, QStringLiteral("1 h"));
    ASSERT_TRUE(row.fill);
    EXPECT_DOUBLE_EQ(*row.fill, *c.fill);
    EXPECT_TRUE(row.tick);
    EXPECT_EQ(row.above, c.above);
    EXPECT_EQ(row.rateText, c.rateText);
    EXPECT_EQ(row.multipleText, c.multiple);
    EXPECT_EQ(row.accent, c.above ? orange : brand);
    EXPECT_EQ(row.rateColor, c.above ? orange : secondary);
    EXPECT_EQ(row.multipleColor, c.above ? orange : secondary);
  }
}

TEST(RateTableTest, RowsWithoutASustainableRate) {
  auto table = readings({2, 6, {}, {}, 3});
  double scale = rateScale(std::nullopt, table);
  std::optional<double> fills[] = {1.0 / 3, 1, {}, {}, 0.5};
  for (std::size_t i = 0; i < table.size(); ++i) {
    RateRow row = RateRow::of(table[i], std::nullopt, scale, WindowKind::week());
    EXPECT_EQ(row.fill.has_value(), fills[i].has_value()) << i;
    if (row.fill) { EXPECT_DOUBLE_EQ(*row.fill, *fills[i]) << i; }
    EXPECT_FALSE(row.tick);
    EXPECT_FALSE(row.above);
    EXPECT_EQ(row.multipleText, "");
    EXPECT_EQ(row.accent, ThemeColor::brand());
    EXPECT_EQ(row.rateColor, fills[i] ? ThemeColor::of(ColorRole::secondary) : ThemeColor::of(ColorRole::tertiary));
  }
  EXPECT_EQ(RateRow::of(table[0], std::nullopt, scale, WindowKind::week()).rateText, "48%/day");
}

TEST(RateTableTest, AbsentReadingsShowADashOrTheAverage) {
  struct Case {
    WindowKind kind;
    H horizon;
    const char* text;
  } cases[] = {
      {WindowKind::session(), H::fiveHours, "= avg"},
      {WindowKind::session(), H::day, "\u2014"},
      {WindowKind::session(), H::now, "\u2014"},
      {WindowKind::week(), H::fiveHours, "\u2014"},
      {opus(), H::fiveHours, "\u2014"},
  };
  for (const Case& c : cases) {
    RateRow row = RateRow::of({c.horizon, std::nullopt}, 4, 8, c.kind);
    EXPECT_EQ(row.rateText, c.text) << c.kind.title() << " " << label(c.horizon);
    EXPECT_EQ(row.rateColor, ThemeColor::of(ColorRole::tertiary));
    EXPECT_FALSE(row.fill);
    EXPECT_EQ(row.multipleText, "");
  }
}

TEST(RateTableTest, BarGeometry) {
  auto g = RateBarGeometry::of(200, 0.5, true);
  EXPECT_EQ(g.track, QRectF(0, 2, 200, 6));
  EXPECT_EQ(g.fill, QRectF(0, 2, 100, 6));
  EXPECT_EQ(g.tick, QRectF(99.25, 0, 1.5, 10));
  // The fill never drops below 3 points, and never passes the end.
  EXPECT_EQ(RateBarGeometry::of(200, 0.001, false).fill, QRectF(0, 2, 3, 6));
  EXPECT_EQ(RateBarGeometry::of(200, 1, false).fill, QRectF(0, 2, 200, 6));
  auto bare = RateBarGeometry::of(200, std::nullopt, false);
  EXPECT_FALSE(bare.fill);
  EXPECT_FALSE(bare.tick);
}

TEST(LimitPanelTest, SteeringRingOnlyForAPositiveFactor) {
  EXPECT_FALSE(PanelSteer::of(assessed(WindowKind::session(), 20)));
  EXPECT_FALSE(PanelSteer::of(assessed(WindowKind::session(), 100, 5, 0, OvelStatus::limited)));
  auto easing = PanelSteer::of(assessed(WindowKind::week(), 40, 2, 1));
  ASSERT_TRUE(easing);
  EXPECT_EQ(easing->tint, ThemeColor::systemOrange());
  EXPECT_TRUE(easing->segmented);
  EXPECT_EQ(easing->center, DayRing::Center::arrow(easing->steer.angleDegrees()));
  auto room = PanelSteer::of(assessed(WindowKind::session(), 40, 1, 2));
  ASSERT_TRUE(room);
  EXPECT_EQ(room->tint, ThemeColor::brand());
  EXPECT_FALSE(room->segmented);
  EXPECT_TRUE(PanelSteer::of(assessed(WindowKind::session(), 40, 0, 2)));  // idle: an arrow too
}

TEST(LimitPanelTest, ResetLines) {
  Format::setTimeZone("UTC");
  auto plain = assessed(WindowKind::session(), 20, 1, 2, OvelStatus::comfortable, at(3600 + 1200));
  ResetLines lines = ResetLines::of(plain, kStart);
  EXPECT_EQ(lines.resets, "resets 1:20 PM");
  EXPECT_EQ(lines.in, "in 1h 20m");
  EXPECT_EQ(lines.planned, std::nullopt);

  auto planned = assessed(WindowKind::week(), 20, 1, 2, OvelStatus::comfortable, at(4 * 86400));
  planned.plannedResetAt = at(86400);
  EXPECT_EQ(ResetLines::of(planned, kStart).planned, "planned Thu 12:00 PM");

  // Without a reset time nothing is said, not even of a planned reset.
  planned.window.resetsAt.reset();
  lines = ResetLines::of(planned, kStart);
  EXPECT_FALSE(lines.resets || lines.in || lines.planned);

  auto passed = assessed(WindowKind::session(), 20, 1, 2, OvelStatus::comfortable, at(-90));
  EXPECT_EQ(ResetLines::of(passed, kStart).in, "in <1m");
  Format::setTimeZone({});
}

TEST(LimitPanelTest, LeavesOutWhatDoesNotApply) {
  std::array<RateReading, 5> rates = readings({1, 2, {}, {}, 1.5});
  LimitPanel panel;

  panel.setData(assessed(WindowKind::session(), 40, 2, 4, OvelStatus::comfortable, at(3600)), rates, kStart);
  EXPECT_FALSE(panel.steeringLine()->isHidden());
  EXPECT_FALSE(panel.rateTable()->isHidden());
  EXPECT_FALSE(panel.sustainableHeader()->isHidden());
  EXPECT_EQ(panel.sustainableText()->text(), QStringLiteral("sustainable 4.0%/h"));
  EXPECT_FALSE(panel.resetsText()->isHidden());

  panel.setData(assessed(WindowKind::session(), 40), rates, kStart);
  EXPECT_TRUE(panel.steeringLine()->isHidden());
  EXPECT_TRUE(panel.sustainableHeader()->isHidden());
  EXPECT_TRUE(panel.sustainableText()->isHidden());
  EXPECT_TRUE(panel.resetsText()->isHidden());
  EXPECT_TRUE(panel.inText()->isHidden());
  EXPECT_TRUE(panel.plannedText()->isHidden());

  panel.setData(assessed(WindowKind::session(), 100, 5, 0, OvelStatus::limited, at(3600)), rates, kStart);
  EXPECT_TRUE(panel.rateTable()->isHidden());
  EXPECT_TRUE(panel.steeringLine()->isHidden());
}

class LimitPanelLayout : public ViewTest {};

TEST_F(LimitPanelLayout, UsedAndResetLinesShareTheFiguresBaseline) {
  for (bool withPlan : {false, true}) {
    auto a = assessed(WindowKind::week(), 41, 2, 4, OvelStatus::comfortable, at(3 * 86400));
    if (withPlan) a.plannedResetAt = at(86400);
    LimitPanel panel;
    panel.setData(a, readings({1, 2, {}, {}, 1.5}), kStart);
    layOut(panel, 480);
    // The reset block's last line stands on the figure's baseline.
    expectOnBaseline(panel, textViewShowing(panel, QStringLiteral("41%")),
                     {textViewShowing(panel, QStringLiteral("used")), withPlan ? panel.plannedText() : panel.inText()});
  }

  CompactLimitPanel compact;
  compact.setData(assessed(WindowKind::week(), 41, 2, 1, OvelStatus::atRisk, at(86400)), kStart);
  layOut(compact, 260);
  expectOnBaseline(compact, textViewShowing(compact, QStringLiteral("41%")),
                   {compact.resetsText(), compact.timesText()});
}

TEST(LimitPanelTest, CompactPanelShowsTheMultipleBesideItsRing) {
  CompactLimitPanel panel;
  panel.setData(assessed(WindowKind::week(), 40, 2, 1, OvelStatus::atRisk, at(86400)), kStart);
  EXPECT_FALSE(panel.steerBox()->isHidden());
  EXPECT_EQ(panel.timesText()->text(), QStringLiteral("\u00D70.50"));
  EXPECT_EQ(panel.timesText()->color(), ThemeColor::systemOrange());
  EXPECT_FALSE(panel.resetsText()->isHidden());

  panel.setData(assessed(WindowKind::week(), 40, 1, 3), kStart);
  EXPECT_EQ(panel.timesText()->text(), QStringLiteral("\u00D73.0"));
  EXPECT_EQ(panel.timesText()->color(), ThemeColor::of(ColorRole::secondary));
  EXPECT_TRUE(panel.resetsText()->isHidden());

  panel.setData(assessed(WindowKind::week(), 100, 1, 0, OvelStatus::limited), kStart);
  EXPECT_TRUE(panel.steerBox()->isHidden());
}

}  // namespace
}  // namespace ovel
