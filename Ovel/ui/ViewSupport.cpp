#include "ui/ViewSupport.h"

#include <QLayout>
#include <QVBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace ovel {

QLabel* makeLabel(const QString& text, TextRole role, bool secondary) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  switch (role) {
    case TextRole::title: font.setPointSizeF(font.pointSizeF() * 1.5); font.setWeight(QFont::DemiBold); break;
    case TextRole::headline: font.setPointSizeF(font.pointSizeF() * 1.15); font.setWeight(QFont::DemiBold); break;
    case TextRole::subheadline: font.setWeight(QFont::DemiBold); break;
    case TextRole::caption: font.setPointSizeF(font.pointSizeF() * 0.85); break;
    case TextRole::body: break;
  }
  label->setFont(font);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  if (secondary) label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

QLabel* makeLabel(const std::string& text, TextRole role, bool secondary) {
  return makeLabel(QString::fromStdString(text), role, secondary);
}

Appearance appearanceOf(const QWidget& widget) {
  return widget.palette().color(QPalette::Window).lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
}

void clearLayout(QLayout* layout) {
  while (QLayoutItem* item = layout->takeAt(0)) {
    if (QWidget* widget = item->widget()) delete widget;
    if (QLayout* child = item->layout()) clearLayout(child);
    delete item;
  }
}

Card::Card(int padding, int spacing, QWidget* parent) : QFrame(parent), column_(new QVBoxLayout(this)) {
  column_->setContentsMargins(padding, padding, padding, padding);
  column_->setSpacing(spacing);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void Card::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor text = palette().color(QPalette::WindowText);
  QColor fill = text;
  fill.setAlphaF(0.05f);
  QColor border = text;
  border.setAlphaF(0.15f);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 14, 14);
  painter.fillPath(shape, fill);
  painter.setPen(QPen(border, 0.5));
  painter.drawPath(shape);
}

RedrawGate::RedrawGate(QObject* parent, std::function<void()> rebuild) : QObject(parent), rebuild_(std::move(rebuild)) {}

void RedrawGate::poke() {
  if (pending_) return;
  pending_ = true;
  QTimer::singleShot(0, this, [this] {
    pending_ = false;
    rebuild_();
  });
}

}  // namespace ovel
