#include "ui/StatusPill.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr double kDot = 6;
constexpr double kSpacing = 5;
constexpr double kPadX = 8;
constexpr double kPadY = 3;

QFont wordFont() { return Theme::font(TextStyle::caption, QFont::DemiBold); }

bool warns(OvelStatus status) { return status == OvelStatus::atRisk || status == OvelStatus::limited; }

}  // namespace

StatusPill::StatusPill(OvelStatus status, QWidget* parent) : QWidget(parent), status_(status) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAccessibleName(look(status).word);
}

void StatusPill::setStatus(OvelStatus status) {
  if (status == status_) return;
  status_ = status;
  setAccessibleName(look(status).word);
  updateGeometry();
  update();
}

StatusPill::Look StatusPill::look(OvelStatus status) {
  QString word = QString::fromLatin1(label(status).data(), static_cast<qsizetype>(label(status).size()));
  if (warns(status)) return {word, 0.16, ThemeColor::status(status)};
  return {word, 0.1, ThemeColor::of(ColorRole::secondary)};
}

QSize StatusPill::sizeHint() const {
  QFontMetricsF metrics(wordFont());
  double width = kPadX + kDot + kSpacing + metrics.horizontalAdvance(look(status_).word) + kPadX;
  double height = kPadY + std::max(kDot, metrics.height()) + kPadY;
  return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void StatusPill::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  Look pill = look(status_);
  QColor status = ThemeColor::status(status_).resolve(palette());
  fillCapsule(painter, QRectF(rect()), Theme::faded(status, pill.backgroundOpacity));
  painter.setPen(Qt::NoPen);
  painter.setBrush(status);
  painter.drawEllipse(QRectF(kPadX, (height() - kDot) / 2, kDot, kDot));
  painter.setFont(wordFont());
  painter.setPen(pill.wordColor.resolve(palette()));
  QRectF words(kPadX + kDot + kSpacing, 0, width() - kPadX - kDot - kSpacing, height());
  painter.drawText(words, Qt::AlignLeft | Qt::AlignVCenter, pill.word);
}

}  // namespace ovel
