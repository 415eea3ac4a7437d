#include "ui/UsageBar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {

OvelBar::OvelBar(const WindowAssessment& a, QColor tint, int height, QWidget* parent)
    : QWidget(parent),
      used_(a.window.usedPercent),
      projected_(a.projectedAtReset),
      even_(a.evenOvelPercent),
      tint_(std::move(tint)) {
  setFixedHeight(height);
  setMinimumWidth(60);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void OvelBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF track(rect());
  double radius = track.height() / 2;
  auto fraction = [](double percent) { return std::clamp(percent, 0.0, 100.0) / 100; };
  auto bar = [&](double percent, QColor color) {
    QPainterPath path;
    path.addRoundedRect(QRectF(track.left(), track.top(), track.width() * fraction(percent), track.height()), radius,
                        radius);
    painter.fillPath(path, color);
  };
  QColor back = palette().color(QPalette::WindowText);
  back.setAlphaF(0.1f);
  bar(100, back);
  if (projected_ && *projected_ > used_) {
    QColor ahead = tint_;
    ahead.setAlphaF(0.3f);
    bar(*projected_, ahead);
  }
  bar(used_, tint_);
  if (even_) {
    double x = track.left() + track.width() * fraction(*even_);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    painter.drawLine(QPointF(x, track.top()), QPointF(x, track.bottom()));
  }
}

StatusPill::StatusPill(OvelStatus status, QWidget* parent) : QWidget(parent), status_(status) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize StatusPill::sizeHint() const {
  QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(QString::fromLatin1(label(status_).data())) + 16, metrics.height() + 4};
}

void StatusPill::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor tint = Theme::color(status_, appearanceOf(*this));
  QColor fill = tint;
  fill.setAlphaF(0.15f);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
  painter.fillPath(shape, fill);
  painter.setPen(tint);
  painter.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(label(status_).data()));
}

}  // namespace ovel
