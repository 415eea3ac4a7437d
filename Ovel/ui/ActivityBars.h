// Weighted activity over time as a row of slim rounded bars in the brand
// colour, with no axes: the popover's breakdown chart and the dashboard's
// day strip both draw with it.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <vector>

#include "core/support/Time.h"

namespace ovel {

struct ActivityBar {
  Date center;     // where the bar's middle lies on the time scale
  double value;    // its height on the value scale
  double opacity;  // of the brand colour
  bool operator==(const ActivityBar&) const = default;
};

// The time scale runs from `from` to `to` across the plot, the value scale
// from 0 at the bottom to `top` at the top.
struct ActivityPlot {
  std::vector<ActivityBar> bars;
  Date from;
  Date to;
  double top = 0;
  bool operator==(const ActivityPlot&) const = default;
};

class ActivityBars final : public QWidget {
 public:
  // `edgeInset` keeps the scale's ends that far inside the plot, so that a
  // bar centred on an end is drawn whole.
  ActivityBars(double barWidth, double edgeInset, QWidget* parent = nullptr);

  void setPlot(ActivityPlot plot);
  const ActivityPlot& plot() const { return plot_; }

  // Each bar's rectangle in a plot of `size`, in the order of the bars. A
  // scale of no length puts every bar in the middle; heights are clamped to
  // the plot, and a scale whose top is not above 0 draws nothing tall.
  static std::vector<QRectF> rects(const ActivityPlot& plot, QSizeF size, double barWidth, double edgeInset);

  static constexpr double kCornerRadius = 1.5;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double barWidth_;
  double edgeInset_;
  ActivityPlot plot_;
};

}  // namespace ovel
