#include "ui/SegmentedControl.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kHeight = 22;
constexpr int kInset = 2;
constexpr int kSegmentPadding = 10;

QFont segmentFont() { return Theme::font(TextStyle::caption, QFont::Medium); }

}  // namespace

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent) : QWidget(parent), titles_(titles) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFocusPolicy(Qt::StrongFocus);
}

void SegmentedControl::setTitles(const QStringList& titles) {
  titles_ = titles;
  if (current_ >= titles_.size()) current_ = -1;
  updateGeometry();
  update();
}

void SegmentedControl::setCurrentIndex(int index) {
  int next = index >= 0 && index < titles_.size() ? index : -1;
  if (next == current_) return;
  current_ = next;
  update();
}

QSize SegmentedControl::sizeHint() const {
  QFontMetricsF metrics(segmentFont());
  qreal widest = 0;
  for (const QString& title : titles_) widest = std::max(widest, metrics.horizontalAdvance(title));
  int each = static_cast<int>(std::ceil(widest)) + 2 * kSegmentPadding;
  return {static_cast<int>(titles_.size()) * each + 2 * kInset, kHeight};
}

QSize SegmentedControl::minimumSizeHint() const { return sizeHint(); }

QRectF SegmentedControl::segmentRect(int index) const {
  qreal each = (width() - 2.0 * kInset) / std::max<qsizetype>(1, titles_.size());
  return {kInset + index * each, static_cast<qreal>(kInset), each, height() - 2.0 * kInset};
}

int SegmentedControl::segmentAt(QPoint point) const {
  for (int index = 0; index < titles_.size(); ++index)
    if (segmentRect(index).contains(point)) return index;
  return -1;
}

void SegmentedControl::pick(int index) {
  if (index < 0 || index >= titles_.size()) return;
  setCurrentIndex(index);
  emit activated(index);
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pick(segmentAt(event->position().toPoint()));
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
  if (titles_.isEmpty()) return;
  if (event->key() == Qt::Key_Left) pick(current_ <= 0 ? 0 : current_ - 1);
  else if (event->key() == Qt::Key_Right) pick(std::min<int>(current_ + 1, static_cast<int>(titles_.size()) - 1));
  else QWidget::keyPressEvent(event);
}

void SegmentedControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath track = capsulePath(QRectF(rect()));
  painter.fillPath(track, Theme::role(ColorRole::fillTertiary, palette()));
  if (current_ >= 0) {
    QPainterPath shape = capsulePath(segmentRect(current_));
    bool dark = Theme::appearance(palette()) == Appearance::dark;
    painter.fillPath(shape, dark ? QColor(255, 255, 255, 46) : QColor(Qt::white));
    painter.setPen(QPen(Theme::role(ColorRole::separator, palette()), 0.5));
    painter.drawPath(shape);
  }
  painter.setFont(segmentFont());
  for (int index = 0; index < titles_.size(); ++index) {
    painter.setPen(Theme::role(index == current_ ? ColorRole::primary : ColorRole::secondary, palette()));
    painter.drawText(segmentRect(index), Qt::AlignCenter, titles_[index]);
  }
  if (hasFocus()) {
    painter.setPen(QPen(Theme::brand(Theme::appearance(palette())), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(track);
  }
}

}  // namespace ovel
