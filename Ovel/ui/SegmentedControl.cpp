#include "ui/SegmentedControl.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "ui/FocusRing.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kHeight = 22;
constexpr int kInset = 2;
constexpr int kSegmentPadding = 10;
// The least a cut segment keeps: a letter or two and the ellipsis.
constexpr int kShortestTitle = 24;

QFont segmentFont() { return Theme::font(TextStyle::caption, QFont::Medium); }

}  // namespace

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent) : QWidget(parent), titles_(titles) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // Tab reaches it; a click picks a segment without taking the focus.
  setFocusPolicy(Qt::TabFocus);
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

std::vector<qreal> SegmentedControl::segmentWidths(std::span<const qreal> natural, qreal available) {
  std::size_t n = natural.size();
  if (n == 0) return {};
  auto count = static_cast<qreal>(n);
  qreal widest = *std::max_element(natural.begin(), natural.end());
  if (widest * count <= available) return std::vector<qreal>(n, available / count);
  qreal needed = std::accumulate(natural.begin(), natural.end(), qreal(0));
  if (needed <= available) {
    std::vector<qreal> widths(natural.begin(), natural.end());
    for (qreal& width : widths) width += (available - needed) / count;
    return widths;
  }
  // Fill from the smallest need up: whoever needs less than a fair share
  // of what is left gets its need, the rest split what remains evenly.
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return natural[a] < natural[b]; });
  std::vector<qreal> widths(n);
  qreal left = std::max<qreal>(available, 0);
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t i = order[k];
    qreal share = left / static_cast<qreal>(n - k);
    widths[i] = std::min(natural[i], share);
    left -= widths[i];
  }
  return widths;
}

std::vector<qreal> SegmentedControl::naturalWidths() const {
  QFontMetricsF metrics(segmentFont());
  std::vector<qreal> widths;
  for (const QString& title : titles_)
    widths.push_back(std::ceil(metrics.horizontalAdvance(title)) + 2 * kSegmentPadding);
  return widths;
}

QSize SegmentedControl::sizeHint() const {
  std::vector<qreal> natural = naturalWidths();
  qreal widest = natural.empty() ? 0 : *std::max_element(natural.begin(), natural.end());
  return {static_cast<int>(std::ceil(widest * static_cast<qreal>(natural.size()))) + 2 * kInset, kHeight};
}

QSize SegmentedControl::minimumSizeHint() const {
  qreal least = 0;
  for (qreal need : naturalWidths()) least += std::min<qreal>(need, kShortestTitle + 2 * kSegmentPadding);
  return {static_cast<int>(std::ceil(least)) + 2 * kInset, kHeight};
}

QRectF SegmentedControl::segmentRect(int index) const {
  std::vector<qreal> widths = segmentWidths(naturalWidths(), width() - 2.0 * kInset);
  qreal x = kInset;
  for (int i = 0; i < index; ++i) x += widths[static_cast<std::size_t>(i)];
  return {x, static_cast<qreal>(kInset), widths[static_cast<std::size_t>(index)], height() - 2.0 * kInset};
}

QStringList SegmentedControl::shownTitles() const {
  QFontMetricsF metrics(segmentFont());
  QStringList shown;
  for (int index = 0; index < titles_.size(); ++index)
    shown << metrics.elidedText(titles_[index], Qt::ElideRight, segmentRect(index).width() - 2 * kSegmentPadding);
  return shown;
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
  QStringList shown = shownTitles();
  for (int index = 0; index < titles_.size(); ++index) {
    painter.setPen(Theme::role(index == current_ ? ColorRole::primary : ColorRole::secondary, palette()));
    painter.drawText(segmentRect(index), Qt::AlignCenter, shown[index]);
  }
  if (hasFocus()) paintFocusRing(painter, QRectF(rect()), height() / 2.0, palette());
}

}  // namespace ovel
