#include "ui/DayRingView.h"

#include <QPainter>

#include "ui/Spring.h"

namespace ovel {
namespace {

bool isArrow(const DayRing::Center& center) { return center.centerCase == DayRing::Center::Case::arrow; }

}  // namespace

DayRingView::DayRingView(QWidget* parent)
    : QWidget(parent), spring_(new Spring(this, [this](const QVariant& value) {
        shown_ = value.toPointF();
        update();
      })) {}

void DayRingView::setRing(std::optional<double> used, bool segmented, DayRing::Center center, ThemeColor tint,
                          bool animated) {
  used_ = used;
  segmented_ = segmented;
  center_ = center;
  tint_ = std::move(tint);
  spring_->setTarget(QPointF(used.value_or(0), isArrow(center) ? center.value : 0), animated);
  update();
}

std::optional<double> DayRingView::shownUsed() const {
  if (!used_) return std::nullopt;
  return shown_.x();
}

DayRing::Center DayRingView::shownCenter() const {
  return isArrow(center_) ? DayRing::Center::arrow(shown_.y()) : center_;
}

DayRingView::Ring DayRingView::steering(const std::optional<WindowAssessment>& window,
                                        const std::optional<OvelSteer>& steer) {
  Ring ring;
  if (window) ring.used = window->window.usedPercent;
  ring.segmented = window ? !window->window.kind.isSession() : (steer && !steer->kind.isSession());
  ring.center = DayRing::center(GlyphStyle::usageAndSteer, steer, window ? window->evenOvelPercent : std::nullopt);
  return ring;
}

QRectF DayRingView::ringSquare(QSizeF frame) {
  double side = std::min(frame.width(), frame.height());
  return {(frame.width() - side) / 2, (frame.height() - side) / 2, side, side};
}

void DayRingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRectF square = ringSquare(size());
  painter.translate(square.topLeft());
  DayRing::draw(painter, DayRing::marks(square.width(), shownUsed(), segmented_, shownCenter()),
                tint_.resolve(palette()));
}

}  // namespace ovel
