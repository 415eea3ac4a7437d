#include "ui/Theme.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/Card.h"
#include "ui/ThemeColor.h"

namespace ovel {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

QColor rgb(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b)); }

TEST(ThemeTest, StatusColoursPerAppearance) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    EXPECT_EQ(Theme::color(OvelStatus::comfortable, appearance), Theme::brand(appearance));
    EXPECT_EQ(Theme::color(OvelStatus::atRisk, appearance), Theme::systemOrange(appearance));
    EXPECT_EQ(Theme::color(OvelStatus::limited, appearance), Theme::systemRed(appearance));
  }
  EXPECT_EQ(Theme::brand(Appearance::light), rgb(0.07, 0.62, 0.50));
  EXPECT_EQ(Theme::brand(Appearance::dark), rgb(0.31, 0.84, 0.68));
  EXPECT_EQ(Theme::color(OvelStatus::watch, Appearance::light), rgb(0.78, 0.56, 0.00));
  EXPECT_EQ(Theme::color(OvelStatus::watch, Appearance::dark), rgb(0.98, 0.80, 0.30));
}

TEST(ThemeTest, SteerColourByFactor) {
  struct Row {
    double factor;
    QColor expected;
  } rows[] = {
      {-1, Theme::systemRed()},
      {0, Theme::systemRed()},
      {0.25, Theme::systemOrange()},
      {0.999, Theme::systemOrange()},
      {1, Theme::brand(Appearance::light)},
      {3, Theme::brand(Appearance::light)},
      {kInfinity, Theme::brand(Appearance::light)},
      {std::nan(""), Theme::brand(Appearance::light)},
  };
  for (const auto& row : rows) EXPECT_EQ(Theme::steerColor(row.factor, Appearance::light), row.expected) << row.factor;
}

TEST(ThemeTest, AppearanceFollowsThePalette) {
  EXPECT_EQ(Theme::appearance(Theme::palette(Appearance::light)), Appearance::light);
  EXPECT_EQ(Theme::appearance(Theme::palette(Appearance::dark)), Appearance::dark);
}

TEST(ThemeTest, ContrastAsWcagMeasuresIt) {
  EXPECT_NEAR(Theme::contrast(Qt::black, Qt::white), 21.0, 1e-9);
  EXPECT_NEAR(Theme::contrast(Qt::white, Qt::black), 21.0, 1e-9) << "either way round";
  EXPECT_NEAR(Theme::contrast(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
  EXPECT_NEAR(Theme::contrast(QColor(0xb9, 0xb8, 0xb8), QColor(0xf6, 0xf5, 0xf4)), 1.8, 0.05);
  EXPECT_EQ(Theme::contrast(QColor(0x3c, 0x3c, 0x3c), QColor(0x3c, 0x3c, 0x3c)), 1.0);
}

TEST(ThemeTest, WhatOpensInAWindowOfItsOwnReadsInBothPalettes) {
  // Live, the application draws in these palettes: menus, tooltips and a
  // field's selection show their roles, which the views never read.
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    SCOPED_TRACE(appearance == Appearance::dark ? "dark" : "light");
    QPalette palette = Theme::palette(appearance);
    EXPECT_GE(Theme::contrast(palette.color(QPalette::HighlightedText), palette.color(QPalette::Highlight)), 3.0);
    EXPECT_GE(Theme::contrast(palette.color(QPalette::ToolTipText), palette.color(QPalette::ToolTipBase)), 7.0);
    EXPECT_EQ(palette.color(QPalette::ToolTipBase).lightnessF() < 0.5, appearance == Appearance::dark)
        << "a tooltip in the windows' appearance";
  }
}

TEST(ThemeTest, DisabledControlsStepBackTheViewsRolesStayWhole) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    QPalette palette = Theme::palette(appearance);
    for (QPalette::ColorRole text : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text}) {
      QColor active = palette.color(QPalette::Active, text);
      QColor disabled = palette.color(QPalette::Disabled, text);
      EXPECT_EQ(disabled.rgb(), active.rgb());
      EXPECT_LT(disabled.alphaF(), active.alphaF() / 2);
    }
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Base), palette.color(QPalette::Window));
    QPalette ofDisabled = palette;
    ofDisabled.setCurrentColorGroup(QPalette::Disabled);
    EXPECT_EQ(Theme::role(ColorRole::primary, ofDisabled), palette.color(QPalette::Active, QPalette::WindowText))
        << "the roles the views fade themselves stay whole";
  }
}

// The checkbox of a settings row as the snapshot palettes draw it: on a card,
// unchecked, enabled or not.
struct DrawnCheckBox {
  QImage image;
  QRect indicator;  // in the image
  QRect label;

  static DrawnCheckBox of(Appearance appearance, bool enabled) {
    QWidget host;
    host.setPalette(Theme::palette(appearance));
    host.setAutoFillBackground(true);
    auto* column = new QVBoxLayout(&host);
    column->setContentsMargins(0, 0, 0, 0);
    auto* card = new Card(12);
    column->addWidget(card);
    auto* box = new QCheckBox(QStringLiteral("Launch at login"));
    box->setEnabled(enabled);
    card->column()->addWidget(box);
    host.resize(240, host.sizeHint().height());
    column->activate();
    card->column()->activate();
    QStyleOptionButton option;
    option.initFrom(box);
    QPoint at = box->mapTo(&host, QPoint());
    return {host.grab().toImage(),
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).translated(at),
            box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).translated(at)};
  }
  int lightness(QPoint at) const { return image.pixelColor(at).lightness(); }
  // The strongest difference between the label's pixels and the card.
  int labelContrast() const {
    int plate = lightness(label.topRight());
    int strongest = 0;
    for (int y = label.top(); y <= label.bottom(); ++y)
      for (int x = label.left(); x <= label.right(); ++x)
        strongest = std::max(strongest, std::abs(lightness({x, y}) - plate));
    return strongest;
  }
};

TEST(ThemeTest, CheckboxesReadOnTheirCardsEnabledOrNot) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    SCOPED_TRACE(appearance == Appearance::dark ? "dark" : "light");
    DrawnCheckBox enabled = DrawnCheckBox::of(appearance, true);
    DrawnCheckBox disabled = DrawnCheckBox::of(appearance, false);
    QPoint inside = enabled.indicator.center();
    QPoint beside = enabled.indicator.center() - QPoint(enabled.indicator.width(), 0);
    EXPECT_GE(std::abs(enabled.lightness(inside) - enabled.lightness(beside)), 16)
        << "an unchecked box stands out of the card";
    EXPECT_LT(disabled.labelContrast(), enabled.labelContrast() * 0.6) << "a disabled label steps back";
    EXPECT_NE(disabled.lightness(inside), enabled.lightness(inside)) << "a disabled box looks disabled";
  }
}

TEST(ThemeTest, RolesStepBackFromTheText) {
  for (Appearance appearance : {Appearance::light, Appearance::dark}) {
    QPalette palette = Theme::palette(appearance);
    QColor text = palette.color(QPalette::WindowText);
    EXPECT_EQ(Theme::role(ColorRole::primary, palette), text);
    EXPECT_EQ(Theme::role(ColorRole::windowBackground, palette), palette.color(QPalette::Window));
    double previous = 1;
    for (ColorRole role : {ColorRole::secondary, ColorRole::tertiary, ColorRole::quaternary, ColorRole::fillQuinary}) {
      QColor color = Theme::role(role, palette);
      EXPECT_EQ(color.rgb(), text.rgb()) << "a role is the text colour, only fainter";
      EXPECT_LT(color.alphaF(), previous);
      previous = color.alphaF();
    }
  }
}

TEST(ThemeTest, ThemeColorResolvesAgainstThePalette) {
  QPalette light = Theme::palette(Appearance::light);
  QPalette dark = Theme::palette(Appearance::dark);
  EXPECT_EQ(ThemeColor::brand().resolve(dark), Theme::brand(Appearance::dark));
  EXPECT_EQ(ThemeColor::status(OvelStatus::watch).resolve(light), Theme::color(OvelStatus::watch, Appearance::light));
  EXPECT_EQ(ThemeColor::steer(0.5).resolve(dark), Theme::systemOrange(Appearance::dark));
  EXPECT_EQ(ThemeColor::of(ColorRole::secondary).resolve(dark), Theme::role(ColorRole::secondary, dark));
  EXPECT_NEAR(ThemeColor::brand().withAlpha(0.1).resolve(light).alphaF(), 0.1, 0.005);
  EXPECT_NEAR(ThemeColor::of(ColorRole::secondary).withAlpha(0.5).resolve(light).alphaF(),
              Theme::role(ColorRole::secondary, light).alphaF() * 0.5, 0.005);
  EXPECT_EQ(ThemeColor::fixed(Qt::blue).resolve(dark), QColor(Qt::blue));
}

TEST(ThemeTest, TextStylesInLogicalPixels) {
  struct Row {
    TextStyle style;
    int pixels;
  } rows[] = {{TextStyle::title2, 17},  {TextStyle::headline, 13}, {TextStyle::subheadline, 11}, {TextStyle::body, 13},
              {TextStyle::callout, 12}, {TextStyle::caption, 10},  {TextStyle::caption2, 10}};
  for (const auto& row : rows) EXPECT_EQ(Theme::font(row.style).pixelSize(), row.pixels);
  EXPECT_EQ(Theme::font(TextStyle::headline).weight(), QFont::DemiBold);
  EXPECT_EQ(Theme::font(TextStyle::caption, QFont::Medium).weight(), QFont::Medium);
}

TEST(ThemeTest, FiguresGetFixedDigitsWhereAFontHasThem) {
  QFont figure = Theme::figureFont(40);
  EXPECT_EQ(figure.pixelSize(), 40);
  EXPECT_EQ(figure.weight(), QFont::DemiBold);
  // The test machine has DejaVu Sans, whose digits are tabular.
  EXPECT_TRUE(Theme::hasFixedDigits(figure));
}

}  // namespace
}  // namespace ovel
