// The one animation of the views: a critically damped spring (no overshoot)
// from the shown value to a new one. The first value is applied at once, as
// nothing should sweep in when a view first appears; a global switch turns
// every spring off, for snapshots and tests.
#pragma once

#include <QObject>
#include <QVariant>
#include <QVariantAnimation>

#include <functional>

namespace ovel {

class Spring final : public QObject {
 public:
  // The response of rings and bars.
  static constexpr double kResponse = 0.4;

  // `apply` receives every value shown, the first one included. Values are
  // anything QVariantAnimation interpolates (double, QPointF, QColor...).
  Spring(QObject* parent, std::function<void(const QVariant&)> apply, double response = kResponse);

  // Moves to `target`: at once for the first value, while animations are
  // off, or when `animated` is false; else along the spring.
  void setTarget(const QVariant& target, bool animated = true);
  const QVariant& target() const { return target_; }
  const QVariant& shown() const { return shown_; }
  bool isMoving() const { return animation_.state() == QAbstractAnimation::Running; }

  static void setAnimationsEnabled(bool enabled);
  static bool animationsEnabled();

  // How long a spring of `response` seconds moves, in milliseconds.
  static int durationFor(double response);
  // The critically damped progress at a fraction of that duration (0 to 1).
  static qreal progress(qreal fraction);

 private:
  void show(const QVariant& value);

  std::function<void(const QVariant&)> apply_;
  QVariantAnimation animation_;
  QVariant target_;
  QVariant shown_;
};

}  // namespace ovel
