#include "ui/ViewSupport.h"

#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace ovel {

QWidget* widgetOf(QLayout* layout) {
  auto* box = new QWidget;
  box->setLayout(layout);
  layout->setContentsMargins(0, 0, 0, 0);
  return box;
}

void clearLayout(QLayout* layout) {
  while (QLayoutItem* item = layout->takeAt(0)) {
    if (QWidget* widget = item->widget()) delete widget;
    if (QLayout* child = item->layout()) clearLayout(child);
    delete item;
  }
}

bool setShown(QWidget* widget, bool shown) {
  if (widget->isHidden() != shown) return false;
  widget->setVisible(shown);
  return true;
}

void relayoutUpwards(QWidget* widget) {
  for (QWidget* level = widget; level; level = level->parentWidget()) {
    level->updateGeometry();
    if (QLayout* layout = level->layout()) layout->invalidate();
  }
}

QPainterPath capsulePath(const QRectF& rect) {
  QPainterPath path;
  double radius = std::min(rect.width(), rect.height()) / 2;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

void fillCapsule(QPainter& painter, const QRectF& rect, const QBrush& brush) {
  painter.fillPath(capsulePath(rect), brush);
}

RedrawGate::RedrawGate(QObject* parent, std::function<void()> rebuild)
    : QObject(parent), rebuild_(std::move(rebuild)) {}

void RedrawGate::poke() {
  if (pending_) return;
  pending_ = true;
  QTimer::singleShot(0, this, [this] {
    pending_ = false;
    rebuild_();
  });
}

}  // namespace ovel
