// The shared pieces that show where the usage goes: share rows, the bars
// of activity over time, and findings.
#include <gtest/gtest.h>

#include "ui/ActivityBars.h"
#include "ui/FindingRow.h"
#include "ui/ShareRow.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

const Date kStart = dateFromSeconds1970(1781697600);

TEST(ShareRowTest, FillWidth) {
  struct Case {
    double share;
    double width;
  } cases[] = {{0, 4}, {0.01, 4}, {0.0364, 4.004}, {0.5, 55}, {1, 110}};
  for (const auto& c : cases) EXPECT_NEAR(ShareRow::fillWidth(c.share), c.width, 1e-9) << c.share;
  EXPECT_EQ(ShareRow::percentText(1), QStringLiteral("100%"));
  EXPECT_EQ(ShareRow::percentText(0.444), QStringLiteral("44%"));
}

TEST(ShareRowTest, LongNameIsShortenedInItsMiddleAndNeverMovesTheBar) {
  QString name = QStringLiteral("a-very-long-project-name-that-goes-on-and-on-and-on-until-the-end");
  ShareRow row(name, 0.25);
  row.resize(308, row.sizeHint().height());
  auto parts = ShareRow::geometry(308, row.height(), 0.25);
  EXPECT_DOUBLE_EQ(parts.track.width(), 110);
  EXPECT_DOUBLE_EQ(parts.percent.width(), 34);
  EXPECT_DOUBLE_EQ(parts.percent.right(), 308);
  EXPECT_DOUBLE_EQ(parts.name.width(), 308 - 34 - 8 - 110 - 8);
  EXPECT_DOUBLE_EQ(parts.fill.width(), 27.5);
  QString shown = row.shownName();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("a-very"))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("end"))) << shown.toStdString();
}

TEST(ShareListTest, KeepsItsRowsWhileTheNamesStay) {
  ShareList list(6);
  list.setSlices({{"ovel", 3, 0.75}, {"Other", 1, 0.25}});
  auto rows = list.rows();
  ASSERT_EQ(rows.size(), 2u);
  list.setSlices({{"ovel", 2, 0.5}, {"Other", 2, 0.5}});
  EXPECT_EQ(list.rows(), rows) << "same names: updated in place";
  EXPECT_DOUBLE_EQ(list.rows()[0]->share(), 0.5);
  list.setSlices({{"docs", 1, 1}});
  ASSERT_EQ(list.rows().size(), 1u);
  EXPECT_EQ(list.rows()[0]->name(), QStringLiteral("docs"));
  list.setSlices({});
  EXPECT_TRUE(list.rows().empty());
}

TEST(ActivityBarsTest, BarsStandOnTheirTimesAndScale) {
  ActivityPlot plot{{{kStart, 5, 0.5}, {addSeconds(kStart, 50), 10, 0.5}, {addSeconds(kStart, 100), 20, 0.5}},
                    kStart,
                    addSeconds(kStart, 100),
                    10};
  auto rects = ActivityBars::rects(plot, QSizeF(110, 40), 4, 5);
  ASSERT_EQ(rects.size(), 3u);
  EXPECT_EQ(rects[0], QRectF(3, 20, 4, 20)) << "half the top, centred on the inset start";
  EXPECT_EQ(rects[1], QRectF(53, 0, 4, 40));
  EXPECT_EQ(rects[2], QRectF(103, 0, 4, 40)) << "taller than the top is clamped";

  ActivityPlot single{{{kStart, 1, 1}}, kStart, kStart, 1};
  EXPECT_EQ(ActivityBars::rects(single, QSizeF(100, 10), 4, 0).at(0).center().x(), 50) << "one bucket: the middle";
  ActivityPlot flat{{{kStart, 0, 1}}, kStart, addSeconds(kStart, 10), 0};
  EXPECT_DOUBLE_EQ(ActivityBars::rects(flat, QSizeF(100, 10), 4, 0).at(0).height(), 0);
}

TEST(FindingRowTest, TextsAndTheFirstFindings) {
  UsageInsights::Finding finding{54.4, "was at >150k context"};
  EXPECT_EQ(FindingRow::percentText(finding), QStringLiteral("54%"));
  EXPECT_EQ(FindingRow::usageText(finding), QStringLiteral("of usage was at >150k context"));
  FindingRow row(finding, TextStyle::callout, 38);
  EXPECT_EQ(row.percentView()->width(), 38);
  EXPECT_EQ(row.usageView()->color(), ThemeColor::of(ColorRole::secondary));

  UsageInsights::Period period{"Last 7d", {}, {}, {}, {}, {}};
  for (int i = 0; i < 6; ++i) period.findings.push_back({10.0 * i, "finding " + std::to_string(i)});
  auto four = FindingRow::first(period, 4);
  ASSERT_EQ(four.size(), 4u);
  EXPECT_EQ(four.back().text, "finding 3");
  EXPECT_EQ(FindingRow::first(period, 10).size(), 6u);
}

}  // namespace
}  // namespace ovel
