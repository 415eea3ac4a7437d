// The dashboard's section heading and source line.
#include <gtest/gtest.h>

#include "ui/SectionLabel.h"
#include "ui/SourceStatus.h"
#include "ui/TextView.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

TEST(SectionLabelTest, ReadsInUpperCase) {
  EXPECT_EQ(SectionLabel::shownText(QStringLiteral("Burn rate")), QStringLiteral("BURN RATE"));
  EXPECT_EQ(SectionLabel::shownText(QStringLiteral("Week vs 5-hour")), QStringLiteral("WEEK VS 5-HOUR"));
  SectionLabel label(QStringLiteral("Resets"));
  EXPECT_EQ(label.textView()->text(), QStringLiteral("RESETS"));
  EXPECT_EQ(label.textView()->color(), ThemeColor::of(ColorRole::tertiary));
}

TEST(SourceStatusTest, DotIsBrandWhenTheSourceWorksElseFadedGrey) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    QPalette palette = Theme::palette(appearance);
    EXPECT_EQ(SourceStatus::dotColor(true).resolve(palette), Theme::brand(appearance));
    QColor grey = Theme::role(ColorRole::secondary, palette);
    QColor faded = SourceStatus::dotColor(false).resolve(palette);
    EXPECT_EQ(faded.rgb(), grey.rgb());
    EXPECT_NEAR(faded.alphaF(), grey.alphaF() * 0.5, 0.01);
  }
}

TEST(SourceStatusTest, NameAndDetailTakeTheSectionsFont) {
  QFont font = Theme::font(TextStyle::caption);
  SourceStatus row(QStringLiteral("Status line"), QStringLiteral("connected, waiting"), false, font);
  EXPECT_EQ(row.nameView()->text(), QStringLiteral("Status line"));
  EXPECT_EQ(row.detailView()->color(), ThemeColor::of(ColorRole::secondary));
}

}  // namespace
}  // namespace ovel
