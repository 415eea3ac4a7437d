#include "ui/SteerViews.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "Format.h"
#include "ui/ViewSupport.h"

namespace ovel {

DayRingView::DayRingView(std::optional<double> used, bool segmented, DayRing::Center center, QColor tint, int side,
                         QWidget* parent)
    : QWidget(parent), used_(used), segmented_(segmented), center_(center), tint_(std::move(tint)) {
  setFixedSize(side, side);
}

DayRingView* DayRingView::steering(const std::optional<WindowAssessment>& window,
                                   const std::optional<OvelSteer>& steer, QColor tint, int side) {
  std::optional<double> used = window ? std::optional(window->window.usedPercent) : std::nullopt;
  bool segmented = window ? !window->window.kind.isSession() : (steer && !steer->kind.isSession());
  auto center = DayRing::center(GlyphStyle::usageAndSteer, steer, window ? window->evenOvelPercent : std::nullopt);
  return new DayRingView(used, segmented, center, std::move(tint), side);
}

void DayRingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  double side = std::min(width(), height());
  painter.translate((width() - side) / 2, (height() - side) / 2);
  DayRing::draw(painter, DayRing::marks(side, used_, segmented_, center_), tint_);
}

std::string SteerBanner::reason(const WindowKind& kind) {
  if (kind.isSession()) return "Set by the session limit (5h)";
  if (kind.isWeek()) return "Set by the weekly limit (7d)";
  return "Set by the weekly " + kind.modelName() + " limit";
}

SteerBanner::SteerBanner(const OvelSteer& steer, QWidget* parent) : QWidget(parent), factor_(steer.factor) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(12, 8, 12, 8);
  column->setSpacing(1);
  column->addWidget(makeLabel(Format::steerHeadline(steer), TextRole::subheadline));
  column->addWidget(makeLabel(reason(steer.kind), TextRole::caption, true));
}

void SteerBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor tint = Theme::steerColor(factor_, appearanceOf(*this));
  tint.setAlphaF(0.1f);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), 10, 10);
  painter.fillPath(shape, tint);
}

}  // namespace ovel
