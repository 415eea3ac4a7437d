#include "ui/Stepper.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/Divider.h"
#include "ui/SymbolView.h"

namespace ovel {
namespace {

constexpr int kButtonWidth = 22;
constexpr int kButtonHeight = 20;

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
  }
  row->addWidget(down_);
  row->addWidget(new Divider(Qt::Vertical));
  row->addWidget(up_);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
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

void Stepper::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  painter.fillPath(outline, Theme::role(ColorRole::fillQuinary, palette()));
  painter.setPen(QPen(Theme::role(ColorRole::separator, palette()), 1));
  painter.drawPath(outline);
}

}  // namespace ovel
