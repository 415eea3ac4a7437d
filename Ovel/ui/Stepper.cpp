#include "ui/Stepper.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>

#include "ui/Divider.h"
#include "ui/FocusRing.h"
#include "ui/SymbolView.h"

namespace ovel {
namespace {

constexpr int kButtonWidth = 22;
constexpr int kButtonHeight = 20;
constexpr double kRadius = 5;
// One notch of a mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

}  // namespace

Stepper::Stepper(int minimum, int maximum, QWidget* parent)
    : QWidget(parent),
      minimum_(minimum),
      maximum_(std::max(minimum, maximum)),
      value_(minimum),
      down_(new SymbolButton(Symbol::minus, tr("Decrement"), 10)),
      up_(new SymbolButton(Symbol::plus, tr("Increment"), 10)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  for (SymbolButton* button : {down_, up_}) {
    button->setFrameSize({kButtonWidth, kButtonHeight});
    button->setColor(ThemeColor::of(ColorRole::primary));
    // The stepper is the one stop; its buttons are for the pointer.
    button->setFocusPolicy(Qt::NoFocus);
  }
  row->addWidget(down_);
  row->addWidget(new Divider(Qt::Vertical));
  row->addWidget(up_);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::TabFocus);
  new FocusFrame(this, kRadius);
  connect(down_, &SymbolButton::clicked, this, [this] { step(-1); });
  connect(up_, &SymbolButton::clicked, this, [this] { step(+1); });
  setValue(minimum_);
}

void Stepper::setValue(int value) {
  value_ = std::clamp(value, minimum_, maximum_);
  down_->setEnabled(canStepDown());
  up_->setEnabled(canStepUp());
}

void Stepper::step(int by) {
  int next = std::clamp(value_ + by, minimum_, maximum_);
  if (next == value_) return;
  setValue(next);
  emit stepped(next);
}

void Stepper::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Plus: step(+1); return;
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Minus: step(-1); return;
    default: QWidget::keyPressEvent(event);
  }
}

void Stepper::wheelEvent(QWheelEvent* event) {
  // Without the focus the wheel belongs to the page around it.
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  wheelRest_ += event->angleDelta().y();
  int notches = wheelRest_ / kWheelNotch;
  wheelRest_ -= notches * kWheelNotch;
  if (notches != 0) step(notches);
  event->accept();
}

void Stepper::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
  painter.fillPath(outline, Theme::role(ColorRole::fillQuinary, palette()));
  painter.setPen(QPen(Theme::role(ColorRole::separator, palette()), 1));
  painter.drawPath(outline);
}

}  // namespace ovel
