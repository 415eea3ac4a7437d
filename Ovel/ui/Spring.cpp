#include "ui/Spring.h"

#include <QEasingCurve>

#include <cmath>

namespace ovel {
namespace {

bool enabled = true;

// ω·t at which a critically damped spring has covered 99.9 % of its way.
constexpr double kSettled = 9.23;

}  // namespace

Spring::Spring(QObject* parent, std::function<void(const QVariant&)> apply, double response)
    : QObject(parent), apply_(std::move(apply)) {
  animation_.setDuration(durationFor(response));
  QEasingCurve curve;
  curve.setCustomType(&Spring::progress);
  animation_.setEasingCurve(curve);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { show(value); });
}

void Spring::setTarget(const QVariant& target, bool animated) {
  if (target_.isValid() && target == target_) return;
  bool first = !shown_.isValid();
  target_ = target;
  animation_.stop();
  if (first || !animated || !enabled) {
    show(target);
    return;
  }
  animation_.setStartValue(shown_);
  animation_.setEndValue(target);
  animation_.start();
}

void Spring::show(const QVariant& value) {
  shown_ = value;
  apply_(value);
}

void Spring::setAnimationsEnabled(bool on) { enabled = on; }

bool Spring::animationsEnabled() { return enabled; }

int Spring::durationFor(double response) {
  // The response is the period of the undamped spring: ω = 2π / response.
  return static_cast<int>(std::lround(kSettled * response / (2 * M_PI) * 1000));
}

qreal Spring::progress(qreal fraction) {
  auto travelled = [](double t) { return 1 - (1 + kSettled * t) * std::exp(-kSettled * t); };
  return travelled(fraction) / travelled(1);
}

}  // namespace ovel
