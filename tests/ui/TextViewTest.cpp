#include "ui/TextView.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>

#include <cmath>
#include <functional>

namespace ovel {
namespace {

const QString kEllipsis(QChar(0x2026));

TEST(TextViewTest, WrapsAndCutsTheLastAllowedLine) {
  QFont font = Theme::font(TextStyle::caption);
  QString text = QStringLiteral("one two three four five six seven eight nine ten eleven twelve");
  double width = QFontMetricsF(font).horizontalAdvance(QStringLiteral("one two three"));
  QStringList all = wrapText(text, font, width);
  ASSERT_GT(all.size(), 3);
  EXPECT_EQ(all.join(QLatin1Char(' ')), text) << "unlimited wrapping keeps every word";
  QStringList two = wrapText(text, font, width, 2);
  ASSERT_EQ(two.size(), 2);
  EXPECT_EQ(two[0], all[0]);
  EXPECT_TRUE(two[1].endsWith(kEllipsis)) << two[1].toStdString();
  EXPECT_LE(QFontMetricsF(font).horizontalAdvance(two[1]), width + 0.5);
  EXPECT_EQ(wrapText(QStringLiteral("short"), font, width, 2), QStringList{QStringLiteral("short")});
}

TEST(TextViewTest, BreaksAWordLongerThanTheLine) {
  QFont font = Theme::font(TextStyle::caption);
  QString path = QStringLiteral("/a/very/long/path/without/any/blank/in/it/that/goes/on/and/on/claude");
  double width = 80;
  for (const QString& line : wrapText(path, font, width))
    EXPECT_LE(QFontMetricsF(font).horizontalAdvance(line), width + 0.5) << line.toStdString();
}

TEST(TextViewTest, SingleLineIsCutAndHeightFollowsWidth) {
  TextView single(QStringLiteral("Lands around 61% at reset, well within the week"), Theme::font(TextStyle::caption));
  single.setSingleLine();
  single.resize(60, single.sizeHint().height());
  ASSERT_EQ(single.shownLines().size(), 1);
  EXPECT_TRUE(single.shownLines()[0].endsWith(kEllipsis));
  EXPECT_FALSE(single.hasHeightForWidth());

  TextView wrapping(QStringLiteral("Ovel can't read your usage because claude was not found on this computer"));
  ASSERT_TRUE(wrapping.hasHeightForWidth());
  EXPECT_GT(wrapping.heightForWidth(100), wrapping.heightForWidth(600));
  wrapping.setMaxLines(2);
  EXPECT_EQ(wrapping.heightForWidth(60), wrapping.heightForWidth(100)) << "never more than two lines";
  EXPECT_LT(wrapping.minimumSizeHint().width(), 60) << "a wrapping text never forces its width";
}

TEST(TextViewTest, LinesFollowEachChangeAtTheSameWidth) {
  const QString longText = QStringLiteral("one two three four five six seven eight nine ten eleven twelve");
  struct Case {
    const char* name;
    std::function<void(TextView&)> change;
    QStringList (*expected)(const QString& text, const QFont& font, int width);
  } cases[] = {
      {"new text", [](TextView& v) { v.setText(QStringLiteral("short")); },
       [](const QString&, const QFont&, int) { return QStringList{QStringLiteral("short")}; }},
      {"larger font", [](TextView& v) { v.setTextFont(Theme::font(TextStyle::title2)); },
       [](const QString& t, const QFont&, int w) { return wrapText(t, Theme::font(TextStyle::title2), w); }},
      {"two lines", [](TextView& v) { v.setMaxLines(2); },
       [](const QString& t, const QFont& f, int w) { return wrapText(t, f, w, 2); }},
      {"one line", [](TextView& v) { v.setSingleLine(); },
       [](const QString& t, const QFont& f, int w) {
         return QStringList{QFontMetricsF(f).elidedText(t, Qt::ElideRight, w)};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFont font = Theme::font(TextStyle::caption);
    TextView view(longText, font);
    view.resize(90, 200);
    ASSERT_EQ(view.shownLines(), wrapText(longText, font, 90));
    c.change(view);
    EXPECT_EQ(view.shownLines(), c.expected(longText, font, 90));
    // Asking again at the same width gives the same lines.
    EXPECT_EQ(view.shownLines(), c.expected(longText, font, 90));
  }
}

TEST(TextViewTest, BaselineIsWherePaintPutsIt) {
  struct Case {
    const char* name;
    QFont font;
  } cases[] = {
      {"popover figure", Theme::figureFont(40)},
      {"panel figure", Theme::figureFont(34)},
      {"compact figure", Theme::figureFont(22)},
      {"body", Theme::font(TextStyle::body)},
      {"callout", Theme::font(TextStyle::callout)},
      {"caption", Theme::font(TextStyle::caption, QFont::Medium)},
      {"section", Theme::font(TextStyle::caption2, QFont::DemiBold)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A capital H stands on the baseline: its ink ends on the row above it.
    TextView view(QStringLiteral("HHH"), c.font);
    view.setSingleLine();
    view.setContentsMargins(0, 0, 0, 3);
    view.resize(view.sizeHint());
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    view.render(&image);
    int inkBottom = -1;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 160) inkBottom = y;
    ASSERT_GE(inkBottom, 0);
    EXPECT_EQ(view.height() - 3 - (inkBottom + 1), view.baselineFromBottom());
    EXPECT_EQ(view.height() - 3, TextView::lineHeight(c.font));
  }
}

TEST(TextViewTest, ACommandIsNeverBrokenAfterItsSlash) {
  QFont font = Theme::font(TextStyle::caption);
  QFontMetricsF metrics(font);
  const QString text = QStringLiteral("of usage Compact before you step away \u00B7 run /compact");
  // Every width at which the command fits a line of its own.
  int narrowest = static_cast<int>(std::ceil(metrics.horizontalAdvance(QStringLiteral("/compact"))));
  int widest = static_cast<int>(std::ceil(metrics.horizontalAdvance(text)));
  for (int width = narrowest; width <= widest; ++width) {
    QStringList lines = wrapText(text, font, width);
    EXPECT_TRUE(lines.filter(QStringLiteral("/compact")).size() == 1)
        << width << ": " << lines.join(u'|').toStdString();
    EXPECT_EQ(lines.join(QLatin1Char(' ')), text) << width << ": the words as they stand, nothing added";
  }
}

TEST(TextViewTest, KnowsWhenItCutsItsText) {
  QFont font = Theme::font(TextStyle::caption);
  TextView single(QStringLiteral("a note long enough to be cut short"), font);
  single.setSingleLine();
  single.resize(single.sizeHint());
  EXPECT_FALSE(single.isCut());
  single.resize(single.sizeHint().width() / 2, single.height());
  EXPECT_TRUE(single.isCut());
  TextView two(QStringLiteral("one two three four five six seven eight nine ten"), font);
  two.setMaxLines(2);
  two.resize(static_cast<int>(QFontMetricsF(font).horizontalAdvance(QStringLiteral("one two three"))), 100);
  EXPECT_TRUE(two.isCut());
  two.setMaxLines(0);
  EXPECT_FALSE(two.isCut()) << "without a limit it wraps, never cuts";
}

}  // namespace
}  // namespace ovel
