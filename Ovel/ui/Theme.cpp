#include "ui/Theme.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>

namespace ovel {
namespace {

QColor byAppearance(Appearance appearance, QColor light, QColor dark) {
  return appearance == Appearance::dark ? dark : light;
}

// A disabled control steps back, as on the desktop: a button's title, a
// checkbox's label and mark, and the box, which takes the window's colour.
// The views' own colour roles read the active colours (role() below) and
// fade their disabled drawing themselves.
QPalette withDisabledControls(QPalette palette) {
  constexpr double kDisabledOpacity = 0.35;
  for (QPalette::ColorRole text : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
    palette.setColor(QPalette::Disabled, text, Theme::faded(palette.color(QPalette::Active, text), kDisabledOpacity));
  palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
  return palette;
}

struct StyleSpec {
  int pixels;
  QFont::Weight weight;
};

StyleSpec specOf(TextStyle style) {
  switch (style) {
    case TextStyle::title2: return {17, QFont::Normal};
    case TextStyle::headline: return {13, QFont::DemiBold};
    case TextStyle::subheadline: return {11, QFont::Normal};
    case TextStyle::body: return {13, QFont::Normal};
    case TextStyle::callout: return {12, QFont::Normal};
    case TextStyle::caption: return {10, QFont::Normal};
    case TextStyle::caption2: break;
  }
  return {10, QFont::Normal};
}

// Sans families that usually ship with tabular digits.
constexpr std::array kFixedDigitFamilies = {"DejaVu Sans", "Noto Sans", "Liberation Sans"};

// The family that gives `font` tabular digits; empty: the font's own (or
// none found).
QString fixedDigitFamily(const QFont& font) {
  if (Theme::hasFixedDigits(font)) return {};
  const QStringList installed = QFontDatabase::families();
  for (const char* family : kFixedDigitFamilies) {
    if (!installed.contains(QLatin1String(family))) continue;
    QFont candidate = font;
    candidate.setFamily(QLatin1String(family));
    if (Theme::hasFixedDigits(candidate)) return QLatin1String(family);
  }
  return {};
}

}  // namespace

QColor Theme::brand(Appearance appearance) {
  return byAppearance(appearance, QColor::fromRgbF(0.07f, 0.62f, 0.50f), QColor::fromRgbF(0.31f, 0.84f, 0.68f));
}

QColor Theme::systemOrange(Appearance appearance) {
  return byAppearance(appearance, QColor::fromRgbF(1.0f, 0.584f, 0.0f), QColor::fromRgbF(1.0f, 0.624f, 0.039f));
}

QColor Theme::systemRed(Appearance appearance) {
  return byAppearance(appearance, QColor::fromRgbF(1.0f, 0.231f, 0.188f), QColor::fromRgbF(1.0f, 0.271f, 0.227f));
}

QColor Theme::systemGreen(Appearance appearance) {
  return byAppearance(appearance, QColor::fromRgbF(0.204f, 0.780f, 0.349f), QColor::fromRgbF(0.188f, 0.820f, 0.345f));
}

QColor Theme::color(OvelStatus status, Appearance appearance) {
  switch (status) {
    case OvelStatus::comfortable: return brand(appearance);
    case OvelStatus::watch:
      return byAppearance(appearance, QColor::fromRgbF(0.78f, 0.56f, 0.00f), QColor::fromRgbF(0.98f, 0.80f, 0.30f));
    case OvelStatus::atRisk: return systemOrange(appearance);
    case OvelStatus::limited: break;
  }
  return systemRed(appearance);
}

QColor Theme::steerColor(double factor, Appearance appearance) {
  if (factor <= 0) return systemRed(appearance);
  if (factor < 1) return systemOrange(appearance);
  return brand(appearance);
}

QColor Theme::faded(QColor color, double opacity) {
  color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
  return color;
}

double Theme::contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& color) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
  };
  double first = luminance(a), second = luminance(b);
  return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor Theme::role(ColorRole role, const QPalette& palette) {
  // A disabled widget's palette reads its disabled colours; the views fade
  // their disabled drawing themselves, from the whole text colour.
  QColor text = palette.color(QPalette::Active, QPalette::WindowText);
  bool dark = appearance(palette) == Appearance::dark;
  switch (role) {
    case ColorRole::primary: return text;
    case ColorRole::secondary: return faded(text, 0.55);
    case ColorRole::tertiary: return faded(text, 0.3);
    case ColorRole::quaternary: return faded(text, 0.12);
    case ColorRole::separator: return faded(text, dark ? 0.16 : 0.12);
    case ColorRole::fillTertiary: return faded(text, dark ? 0.1 : 0.07);
    case ColorRole::fillQuinary: return faded(text, dark ? 0.06 : 0.035);
    case ColorRole::windowBackground: break;
  }
  return palette.color(QPalette::Window);
}

Appearance Theme::appearance(const QPalette& palette) {
  return palette.color(QPalette::Window).lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
}

QPalette Theme::palette(Appearance appearance) {
  if (appearance == Appearance::light) {
    QPalette light(QColor(236, 236, 236));
    light.setColor(QPalette::Window, QColor(236, 236, 236));
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::WindowText, QColor(28, 28, 30));
    light.setColor(QPalette::Text, QColor(28, 28, 30));
    light.setColor(QPalette::ButtonText, QColor(28, 28, 30));
    light.setColor(QPalette::PlaceholderText, QColor(120, 120, 128));
    light.setColor(QPalette::Highlight, brand(Appearance::light));
    light.setColor(QPalette::HighlightedText, Qt::white);
    light.setColor(QPalette::ToolTipBase, QColor(250, 250, 250));
    light.setColor(QPalette::ToolTipText, QColor(28, 28, 30));
    return withDisabledControls(light);
  }
  QPalette dark(QColor(50, 50, 52), QColor(30, 30, 32));
  dark.setColor(QPalette::Window, QColor(30, 30, 32));
  // Fields and checkboxes stand lighter than the cards they lie on.
  dark.setColor(QPalette::Base, QColor(62, 62, 66));
  dark.setColor(QPalette::AlternateBase, QColor(54, 54, 58));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 240));
  dark.setColor(QPalette::Text, QColor(235, 235, 240));
  dark.setColor(QPalette::ButtonText, QColor(235, 235, 240));
  dark.setColor(QPalette::Button, QColor(58, 58, 60));
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 156));
  dark.setColor(QPalette::Highlight, brand(Appearance::dark));
  // The dark brand is light: white would barely read on it (a selected
  // menu entry, a date section being typed).
  dark.setColor(QPalette::HighlightedText, QColor(20, 20, 22));
  // Tooltips and menus open as windows of their own, in these colours.
  dark.setColor(QPalette::ToolTipBase, QColor(50, 50, 52));
  dark.setColor(QPalette::ToolTipText, QColor(235, 235, 240));
  return withDisabledControls(dark);
}

int Theme::pixelSize(TextStyle style) { return specOf(style).pixels; }

QFont Theme::font(TextStyle style) { return font(style, specOf(style).weight); }

QFont Theme::font(TextStyle style, QFont::Weight weight) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(specOf(style).pixels);
  font.setWeight(weight);
  return font;
}

QFont Theme::figureFont(int pixels, QFont::Weight weight) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(pixels);
  font.setWeight(weight);
  return withFixedDigits(font);
}

bool Theme::hasFixedDigits(const QFont& font) {
  QFontMetricsF metrics(font);
  qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
  for (char digit = '1'; digit <= '9'; ++digit)
    if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero)) return false;
  return true;
}

QFont Theme::withFixedDigits(QFont font) {
  // Qt 6.4 cannot switch on a font's tabular figures, so changing numbers
  // borrow a family whose digits are tabular by default. Views ask on every
  // paint, and the answer costs measurements: it is kept per font.
  static QHash<QString, QString> families;
  QString key = font.key();
  auto known = families.constFind(key);
  QString family = known != families.cend() ? *known : *families.insert(key, fixedDigitFamily(font));
  if (!family.isEmpty()) font.setFamily(family);
  return font;
}

}  // namespace ovel
