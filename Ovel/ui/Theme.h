// The system's own colours, colour roles and text styles, in one place.
// Qt 6.4 cannot ask the desktop for its colour scheme, so colours are asked
// for with an explicit appearance, and the roles derive from a palette: a
// platform theme's (KDE's), or else ours for the appearance the desktop
// wants (the application is given it live, snapshots render in it).
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include "core/engine/OvelEngine.h"
#include "platform/Appearance.h"

class QWidget;

namespace ovel {

// The platform's hierarchy of foreground and fill colours.
enum class ColorRole {
  primary,           // text
  secondary,         // captions, less important text, symbol buttons
  tertiary,          // hints that step back further
  quaternary,        // bar tracks
  separator,         // dividers, hairline borders
  fillTertiary,      // the settings preview's plate
  fillQuinary,       // the card's fill
  windowBackground,  // the window behind everything
};

// The platform's text styles, in logical pixels.
enum class TextStyle { title2, headline, subheadline, body, callout, caption, caption2 };

struct Theme {
  Theme() = delete;

  static QColor brand(Appearance appearance);
  static QColor color(OvelStatus status, Appearance appearance);
  // The desktop's orange, red and green; without an appearance, the light ones.
  static QColor systemOrange(Appearance appearance = Appearance::light);
  static QColor systemRed(Appearance appearance = Appearance::light);
  static QColor systemGreen(Appearance appearance = Appearance::light);
  // Red at the limit, orange while easing off, else (also for NaN) the brand.
  static QColor steerColor(double factor, Appearance appearance);

  static QColor role(ColorRole role, const QPalette& palette);
  // `color` with its own opacity multiplied by `opacity`.
  static QColor faded(QColor color, double opacity);
  // The contrast ratio of two opaque colours, from 1 to 21, as WCAG
  // measures it from their relative luminance.
  static double contrast(const QColor& a, const QColor& b);

  // Whether a palette draws dark: its window colour is below half lightness.
  static Appearance appearance(const QPalette& palette);
  // A window palette for that appearance.
  static QPalette palette(Appearance appearance);

  // The system font at the style's size; `weight` overrides the style's own.
  static QFont font(TextStyle style);
  static QFont font(TextStyle style, QFont::Weight weight);
  static int pixelSize(TextStyle style);
  // A large figure: the system font at `pixels`, semibold, fixed-width digits
  // (the stand-in for the rounded design).
  static QFont figureFont(int pixels, QFont::Weight weight = QFont::DemiBold);
  // The font itself when its digits share one advance; else the first
  // installed sans family whose digits do; else the font unchanged.
  static QFont withFixedDigits(QFont font);
  static bool hasFixedDigits(const QFont& font);
};

}  // namespace ovel
