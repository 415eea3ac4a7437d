#include "ui/Card.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "ui/Theme.h"

namespace ovel {

Card::Card(int padding, int spacing, QWidget* parent) : QFrame(parent), column_(new QVBoxLayout(this)) {
  column_->setContentsMargins(padding, padding, padding, padding);
  column_->setSpacing(spacing);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void Card::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
  painter.fillPath(shape, Theme::role(ColorRole::fillQuinary, palette()));
  // The border lies inside the shape's edge.
  QColor border = Theme::faded(Theme::role(ColorRole::separator, palette()), kBorderOpacity);
  QPainterPath edge;
  double inset = kBorderWidth / 2;
  edge.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kRadius - inset, kRadius - inset);
  painter.setPen(QPen(border, kBorderWidth));
  painter.drawPath(edge);
}

}  // namespace ovel
