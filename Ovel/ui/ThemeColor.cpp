#include "ui/ThemeColor.h"

namespace ovel {

ThemeColor ThemeColor::status(OvelStatus status) {
  ThemeColor color(Kind::status);
  color.status_ = status;
  return color;
}

ThemeColor ThemeColor::brand() { return ThemeColor(Kind::brand); }

ThemeColor ThemeColor::steer(double factor) {
  ThemeColor color(Kind::steer);
  color.factor_ = factor;
  return color;
}

ThemeColor ThemeColor::systemRed() { return ThemeColor(Kind::red); }
ThemeColor ThemeColor::systemOrange() { return ThemeColor(Kind::orange); }
ThemeColor ThemeColor::systemGreen() { return ThemeColor(Kind::green); }

ThemeColor ThemeColor::fixed(QColor value) {
  ThemeColor color(Kind::fixed);
  color.fixed_ = std::move(value);
  return color;
}

ThemeColor ThemeColor::withAlpha(double alpha) const {
  ThemeColor color = *this;
  color.alpha_ *= alpha;
  return color;
}

QColor ThemeColor::resolve(const QPalette& palette) const {
  Appearance appearance = Theme::appearance(palette);
  QColor color;
  switch (kind_) {
    case Kind::role: color = Theme::role(role_, palette); break;
    case Kind::status: color = Theme::color(status_, appearance); break;
    case Kind::brand: color = Theme::brand(appearance); break;
    case Kind::steer: color = Theme::steerColor(factor_, appearance); break;
    case Kind::red: color = Theme::systemRed(appearance); break;
    case Kind::orange: color = Theme::systemOrange(appearance); break;
    case Kind::green: color = Theme::systemGreen(appearance); break;
    case Kind::fixed: color = fixed_; break;
  }
  return Theme::faded(color, alpha_);
}

}  // namespace ovel
