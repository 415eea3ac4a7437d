#include "ui/SymbolView.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/FocusRing.h"

namespace ovel {
namespace {

constexpr double kDisabledAlpha = 0.4;
constexpr int kTextGap = 4;
constexpr int kPad = 3;
constexpr double kPlateRadius = 5;

}  // namespace

SymbolView::SymbolView(Symbol symbol, int side, ThemeColor color, QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(std::move(color)) {
  setFixedSize(side, side);
}

void SymbolView::setSymbol(Symbol symbol) {
  if (symbol == symbol_) return;
  symbol_ = symbol;
  update();
}

void SymbolView::setColor(ThemeColor color) {
  if (color == color_) return;
  color_ = std::move(color);
  update();
}

void SymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QColor color = color_.resolve(palette());
  if (!isEnabled()) color = Theme::faded(color, kDisabledAlpha);
  paintSymbol(painter, symbol_, QRectF(rect()), color);
}

SymbolButton::SymbolButton(Symbol symbol, const QString& help, int symbolSide, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), symbolSide_(symbolSide), textFont_(Theme::font(TextStyle::caption)) {
  setToolTip(help);
  setAccessibleName(help);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolButton::setSymbol(Symbol symbol) {
  symbol_ = symbol;
  update();
}

void SymbolButton::setColor(ThemeColor color) {
  color_ = std::move(color);
  update();
}

void SymbolButton::setTextFont(const QFont& font) {
  textFont_ = font;
  updateGeometry();
}

void SymbolButton::setFrameSize(QSize size) {
  frame_ = size;
  setFixedSize(size);
}

QSize SymbolButton::sizeHint() const {
  if (frame_) return *frame_;
  int width = symbolSide_ + 2 * kPad;
  int height = symbolSide_ + 2 * kPad;
  if (!text().isEmpty()) {
    QFontMetricsF metrics(textFont_);
    width += kTextGap + static_cast<int>(std::ceil(metrics.horizontalAdvance(text())));
    height = std::max(height, static_cast<int>(std::ceil(metrics.height())) + 2 * kPad);
  }
  return {width, height};
}

void SymbolButton::keyPressEvent(QKeyEvent* event) {
  // Space presses any button; Enter only a dialog's, which these never are.
  bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void SymbolButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void SymbolButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void SymbolButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (isEnabled() && (hovered_ || isDown())) {
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), kPlateRadius, kPlateRadius);
    painter.fillPath(plate, Theme::role(isDown() ? ColorRole::fillTertiary : ColorRole::fillQuinary, palette()));
  }
  if (hasFocus()) paintFocusRing(painter, QRectF(rect()), kPlateRadius, palette());
  QColor color = color_.resolve(palette());
  if (!isEnabled()) color = Theme::faded(color, kDisabledAlpha);
  if (text().isEmpty()) {
    QRectF box(0, 0, symbolSide_, symbolSide_);
    box.moveCenter(QRectF(rect()).center());
    paintSymbol(painter, symbol_, box, color);
    return;
  }
  QRectF box(kPad, (height() - symbolSide_) / 2.0, symbolSide_, symbolSide_);
  paintSymbol(painter, symbol_, box, color);
  painter.setFont(textFont_);
  painter.setPen(color);
  QRectF words(box.right() + kTextGap, 0, width() - box.right() - kTextGap, height());
  painter.drawText(words, Qt::AlignLeft | Qt::AlignVCenter, text());
}

}  // namespace ovel
