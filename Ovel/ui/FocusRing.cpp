#include "ui/FocusRing.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/ThemeColor.h"

namespace ovel {

void paintFocusRing(QPainter& painter, const QRectF& rect, double radius, const QPalette& palette) {
  QRectF ring = rect.adjusted(kFocusRingWidth / 2, kFocusRingWidth / 2, -kFocusRingWidth / 2, -kFocusRingWidth / 2);
  double corner = std::min(radius, std::min(ring.width(), ring.height()) / 2);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(ThemeColor::brand().resolve(palette), kFocusRingWidth));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(ring, corner, corner);
  painter.restore();
}

FocusFrame::FocusFrame(QWidget* owner, double radius) : QWidget(owner), owner_(owner), radius_(radius) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
  owner->installEventFilter(this);
}

bool FocusFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == owner_) {
    switch (event->type()) {
      case QEvent::FocusIn:
        setGeometry(owner_->rect());
        raise();
        show();
        break;
      case QEvent::FocusOut: hide(); break;
      case QEvent::Resize: setGeometry(owner_->rect()); break;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void FocusFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintFocusRing(painter, QRectF(rect()), radius_, palette());
}

}  // namespace ovel
