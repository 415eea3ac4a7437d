#include "ui/OvelBar.h"

#include <QBoxLayout>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "model/Format.h"
#include "ui/Spring.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr double kTickOverhang = 3;
constexpr double kProjectionOpacity = 0.22;
constexpr int kMinimumWidth = 40;

double clampFraction(double percent) {
  double x = percent / 100;
  if (!(x > 0)) return 0;
  return std::min(x, 1.0);
}

// A bar's place in a layout: the cell holds the bar, the widget reaches the
// overhang beyond it at either end.
class OverhangItem final : public QWidgetItem {
 public:
  explicit OverhangItem(QWidget* widget) : QWidgetItem(widget) {}

  QSize sizeHint() const override { return narrower(QWidgetItem::sizeHint()); }
  QSize minimumSize() const override { return narrower(QWidgetItem::minimumSize()); }
  QSize maximumSize() const override { return narrower(QWidgetItem::maximumSize()); }
  void setGeometry(const QRect& rect) override {
    QWidgetItem::setGeometry(rect.adjusted(-OvelBar::kOverhang, 0, OvelBar::kOverhang, 0));
  }
  QRect geometry() const override {
    return QWidgetItem::geometry().adjusted(OvelBar::kOverhang, 0, -OvelBar::kOverhang, 0);
  }

 private:
  static QSize narrower(QSize size) {
    if (size.width() < QWIDGETSIZE_MAX) size.rwidth() = std::max(0, size.width() - 2 * OvelBar::kOverhang);
    return size;
  }
};

}  // namespace

OvelBarGeometry OvelBarGeometry::of(double width, double height, bool labelsTick, double labelHeight,
                                    double usedPercent, std::optional<double> projectedPercent,
                                    std::optional<double> evenPercent) {
  OvelBarGeometry g;
  double label = labelsTick ? labelHeight : 0;
  g.viewHeight = height + 2 * kTickOverhang + label;
  g.top = kTickOverhang + label;
  g.track = QRectF(0, g.top, width, height);
  double u = clampFraction(usedPercent);
  double p = projectedPercent ? clampFraction(*projectedPercent) : 0;
  if (u < p) g.projection = QRectF(0, g.top, p * width, height);
  if (u > 0) g.fill = QRectF(0, g.top, std::max(u * width, height), height);
  if (evenPercent) {
    double x = clampFraction(*evenPercent) * width;
    g.tick = QRectF(x - kTickWidth / 2, g.top - kTickOverhang, kTickWidth, height + 2 * kTickOverhang);
    if (labelsTick) {
      double half = kCaptionWidth / 2;
      g.captionCenter = QPointF(std::min(std::max(x, half), width - half), label / 2);
    }
  }
  return g;
}

OvelBar::OvelBar(double height, bool labelsTick, double labelHeight, QWidget* parent)
    : QWidget(parent),
      height_(height),
      labelsTick_(labelsTick),
      labelHeight_(labelHeight),
      spring_(new Spring(this, [this](const QVariant& value) {
        shownUsed_ = value.toDouble();
        update();
      })) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(
      static_cast<int>(std::ceil(OvelBarGeometry::of(0, height, labelsTick, labelHeight, 0, {}, {}).viewHeight)));
}

void OvelBar::addTo(QBoxLayout* layout, OvelBar* bar, int stretch) {
  // addWidget parents and shows the bar; its item is then swapped for one
  // that knows the overhang.
  layout->addWidget(bar, stretch);
  int index = layout->indexOf(bar);
  delete layout->takeAt(index);
  layout->insertItem(index, new OverhangItem(bar));
  layout->setStretch(index, stretch);
}

void OvelBar::setAssessment(const WindowAssessment& assessment, ThemeColor tint) {
  projected_ = assessment.projectedAtReset;
  even_ = assessment.evenOvelPercent;
  tint_ = std::move(tint);
  spring_->setTarget(assessment.window.usedPercent);
  update();
}

QRectF OvelBar::barArea() const { return QRectF(kOverhang, 0, std::max(0, width() - 2 * kOverhang), height()); }

OvelBarGeometry OvelBar::geometry() const {
  return OvelBarGeometry::of(barArea().width(), height_, labelsTick_, labelHeight_, shownUsed_, projected_, even_);
}

std::optional<QString> OvelBar::projectionHelp() const {
  if (!geometry().projection) return std::nullopt;
  return QString::fromStdString("At this ovel: " + Format::percent(projected_.value_or(0)) + " at reset");
}

std::optional<QString> OvelBar::tickHelp() const {
  if (!even_) return std::nullopt;
  return QString::fromStdString("Even ovel: " + Format::percent(*even_));
}

QSize OvelBar::sizeHint() const { return {120 + 2 * kOverhang, height()}; }

QSize OvelBar::minimumSizeHint() const { return {kMinimumWidth + 2 * kOverhang, height()}; }

bool OvelBar::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  OvelBarGeometry g = geometry();
  QPointF at = QPointF(help->pos()) - barArea().topLeft();
  std::optional<QString> text;
  // The tick sits over the bar, so it answers first; a little slack makes a
  // 4-point target easier to hit.
  if (g.tick && g.tick->adjusted(-3, 0, 3, 0).contains(at)) text = tickHelp();
  else if (g.projection && g.projection->contains(at) && (!g.fill || at.x() > g.fill->right())) text = projectionHelp();
  if (text) QToolTip::showText(help->globalPos(), *text, this);
  else QToolTip::hideText();
  return true;
}

void OvelBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(barArea().topLeft());
  const QPalette& colors = palette();
  OvelBarGeometry g = geometry();
  QColor tint = tint_.resolve(colors);
  fillCapsule(painter, g.track, Theme::role(ColorRole::quaternary, colors));
  if (g.projection) { fillCapsule(painter, *g.projection, Theme::faded(tint, kProjectionOpacity)); }
  if (g.fill) {
    QLinearGradient gradient(g.fill->topLeft(), g.fill->bottomLeft());
    gradient.setColorAt(0, tint.lighter(115));
    gradient.setColorAt(1, tint);
    fillCapsule(painter, *g.fill, gradient);
  }
  if (g.tick) {
    fillCapsule(painter, *g.tick, Theme::role(ColorRole::windowBackground, colors));
    QRectF front = *g.tick;
    front.setLeft(g.tick->center().x() - 1);
    front.setWidth(2);
    fillCapsule(painter, front, Theme::role(ColorRole::primary, colors));
  }
  if (g.captionCenter) {
    QRectF caption(0, 0, OvelBarGeometry::kCaptionWidth, labelHeight_);
    caption.moveCenter(*g.captionCenter);
    painter.setFont(Theme::font(TextStyle::caption2, QFont::Medium));
    painter.setPen(Theme::role(ColorRole::secondary, colors));
    painter.drawText(caption, Qt::AlignCenter, QStringLiteral("even ovel"));
  }
}

}  // namespace ovel
