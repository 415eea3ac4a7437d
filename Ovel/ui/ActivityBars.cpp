#include "ui/ActivityBars.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/Theme.h"

namespace ovel {

ActivityBars::ActivityBars(double barWidth, double edgeInset, QWidget* parent)
    : QWidget(parent), barWidth_(barWidth), edgeInset_(edgeInset) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ActivityBars::setPlot(ActivityPlot plot) {
  if (plot == plot_) return;
  plot_ = std::move(plot);
  update();
}

std::vector<QRectF> ActivityBars::rects(const ActivityPlot& plot, QSizeF size, double barWidth, double edgeInset) {
  double span = secondsBetween(plot.to, plot.from);
  double plotWidth = std::max(size.width() - 2 * edgeInset, 0.0);
  std::vector<QRectF> rects;
  rects.reserve(plot.bars.size());
  for (const ActivityBar& bar : plot.bars) {
    double fraction = span > 0 ? secondsBetween(bar.center, plot.from) / span : 0.5;
    double x = edgeInset + fraction * plotWidth;
    double share = plot.top > 0 ? std::clamp(bar.value / plot.top, 0.0, 1.0) : 0.0;
    double height = share * size.height();
    rects.emplace_back(x - barWidth / 2, size.height() - height, barWidth, height);
  }
  return rects;
}

void ActivityBars::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  QColor brand = Theme::brand(Theme::appearance(palette()));
  auto shapes = rects(plot_, QSizeF(size()), barWidth_, edgeInset_);
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    double radius = std::min({kCornerRadius, shapes[i].width() / 2, shapes[i].height() / 2});
    QPainterPath bar;
    bar.addRoundedRect(shapes[i], radius, radius);
    painter.fillPath(bar, Theme::faded(brand, plot_.bars[i].opacity));
  }
}

}  // namespace ovel
