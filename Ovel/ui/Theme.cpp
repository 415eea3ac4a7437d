#include "ui/Theme.h"

#include <QGuiApplication>

#include <cmath>

namespace ovel {

QColor Theme::brand(Appearance appearance) {
  return appearance == Appearance::dark ? QColor::fromRgbF(0.31f, 0.84f, 0.68f) : QColor::fromRgbF(0.07f, 0.62f, 0.50f);
}

QColor Theme::systemOrange() { return QColor(255, 149, 0); }
QColor Theme::systemRed() { return QColor(255, 59, 48); }

QColor Theme::color(OvelStatus status, Appearance appearance) {
  switch (status) {
    case OvelStatus::comfortable: return brand(appearance);
    case OvelStatus::watch:
      return appearance == Appearance::dark ? QColor::fromRgbF(0.98f, 0.80f, 0.30f)
                                            : QColor::fromRgbF(0.78f, 0.56f, 0.00f);
    case OvelStatus::atRisk: return systemOrange();
    case OvelStatus::limited: break;
  }
  return systemRed();
}

QColor Theme::steerColor(double factor, Appearance appearance) {
  if (factor <= 0) return systemRed();
  if (factor < 1) return systemOrange();
  return brand(appearance);
}

Appearance Theme::current() {
  QColor window = QGuiApplication::palette().color(QPalette::Window);
  return window.lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
}

QPalette Theme::palette(Appearance appearance) {
  if (appearance == Appearance::light) {
    QPalette light(QColor(236, 236, 236));
    light.setColor(QPalette::Window, QColor(236, 236, 236));
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::WindowText, QColor(28, 28, 30));
    light.setColor(QPalette::Text, QColor(28, 28, 30));
    light.setColor(QPalette::PlaceholderText, QColor(120, 120, 128));
    return light;
  }
  QPalette dark(QColor(50, 50, 52), QColor(30, 30, 32));
  dark.setColor(QPalette::Window, QColor(30, 30, 32));
  dark.setColor(QPalette::Base, QColor(40, 40, 42));
  dark.setColor(QPalette::AlternateBase, QColor(48, 48, 50));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 240));
  dark.setColor(QPalette::Text, QColor(235, 235, 240));
  dark.setColor(QPalette::ButtonText, QColor(235, 235, 240));
  dark.setColor(QPalette::Button, QColor(58, 58, 60));
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 156));
  dark.setColor(QPalette::Highlight, brand(Appearance::dark));
  return dark;
}

}  // namespace ovel
