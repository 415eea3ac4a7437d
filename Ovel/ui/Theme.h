// The system's own colours. Qt 6.4 cannot force the desktop's colour
// scheme, so every colour is asked for with an explicit appearance.
#pragma once

#include <QColor>
#include <QPalette>

#include "core/OvelEngine.h"

namespace ovel {

enum class Appearance { light, dark };

struct Theme {
  Theme() = delete;

  static QColor brand(Appearance appearance);
  static QColor color(OvelStatus status, Appearance appearance);
  // The desktop's orange and red, used for at-risk and limited.
  static QColor systemOrange();
  static QColor systemRed();
  // Red at the limit, orange while easing off, else the brand colour.
  static QColor steerColor(double factor, Appearance appearance);

  // The appearance of the running desktop, judged by its window colour.
  static Appearance current();
  // A window palette for that appearance.
  static QPalette palette(Appearance appearance);
};

}  // namespace ovel
