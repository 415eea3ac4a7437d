#include "ui/SteerBanner.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "model/Format.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

constexpr double kRadius = 10;

}  // namespace

std::string SteerBanner::reason(const WindowKind& kind) {
  if (kind.isSession()) return "Set by the session limit (5h)";
  if (kind.isWeek()) return "Set by the weekly limit (7d)";
  return "Set by the weekly " + kind.modelName() + " limit";
}

SteerBanner::SteerBanner(QWidget* parent)
    : QWidget(parent),
      headline_(new TextView({}, Theme::font(TextStyle::subheadline, QFont::DemiBold))),
      reason_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(12, 8, 12, 8);
  row->setSpacing(10);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(1);
  texts->addWidget(headline_);
  texts->addWidget(reason_);
  row->addLayout(texts, 1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void SteerBanner::setSteer(const OvelSteer& steer) {
  factor_ = steer.factor;
  headline_->setText(QString::fromStdString(Format::steerHeadline(steer)));
  reason_->setText(QString::fromStdString(reason(steer.kind)));
  setAccessibleName(headline_->text() + QStringLiteral(", ") + reason_->text());
  update();
}

void SteerBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor tint = ThemeColor::steer(factor_).withAlpha(kBackgroundOpacity).resolve(palette());
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
  painter.fillPath(shape, tint);
}

}  // namespace ovel
