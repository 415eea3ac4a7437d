// A colour that follows the appearance: a role of the palette, a status, the
// brand, a steering colour or a fixed colour, resolved against the palette a
// widget paints with, so a view that was built once draws right in light
// and dark.
#pragma once

#include <QColor>
#include <QPalette>

#include "ui/Theme.h"

namespace ovel {

class ThemeColor {
 public:
  static ThemeColor of(ColorRole role) { return ThemeColor(Kind::role, role); }
  static ThemeColor status(OvelStatus status);
  static ThemeColor brand();
  // Red at the limit, orange while easing off, else the brand.
  static ThemeColor steer(double factor);
  static ThemeColor systemRed();
  static ThemeColor systemOrange();
  static ThemeColor systemGreen();
  static ThemeColor fixed(QColor color);

  // The same colour at `alpha` times its own opacity.
  ThemeColor withAlpha(double alpha) const;

  QColor resolve(const QPalette& palette) const;

  bool operator==(const ThemeColor&) const = default;

 private:
  enum class Kind { role, status, brand, steer, red, orange, green, fixed };

  explicit ThemeColor(Kind kind, ColorRole role = ColorRole::primary) : kind_(kind), role_(role) {}

  Kind kind_;
  ColorRole role_ = ColorRole::primary;
  OvelStatus status_ = OvelStatus::comfortable;
  double factor_ = 1;
  QColor fixed_;
  double alpha_ = 1;
};

}  // namespace ovel
