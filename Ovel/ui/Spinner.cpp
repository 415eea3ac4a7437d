#include "ui/Spinner.h"

#include <QPainter>

#include <cmath>

#include "ui/Spring.h"
#include "ui/ThemeColor.h"

namespace ovel {
namespace {

constexpr int kStepMilliseconds = 90;

}  // namespace

Spinner::Spinner(int side, QWidget* parent) : QWidget(parent) {
  setFixedSize(side, side);
  timer_.setInterval(kStepMilliseconds);
  connect(&timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % kSpokes;
    update();
  });
}

void Spinner::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (Spring::animationsEnabled()) timer_.start();
}

void Spinner::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

void Spinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  double side = std::min(width(), height());
  painter.translate(width() / 2.0, height() / 2.0);
  QColor base = Theme::role(ColorRole::primary, palette());
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The current spoke darkest, the ones behind it fading out.
    int behind = (frame_ - spoke + kSpokes) % kSpokes;
    QColor shade = Theme::faded(base, 0.8 - 0.6 * behind / (kSpokes - 1));
    painter.save();
    painter.rotate(spoke * 360.0 / kSpokes);
    painter.setPen(QPen(shade, side * 0.11, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0, -side * 0.24), QPointF(0, -side * 0.44));
    painter.restore();
  }
}

}  // namespace ovel
