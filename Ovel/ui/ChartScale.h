// What charts painted with QPainter share: a plot rectangle that maps times
// and values to points, time marks on whole local hours or days with their
// labels, pens whose dashes are given in points, and a long series thinned
// to the pixel columns it covers.
#pragma once

#include <QColor>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/Time.h"

namespace ovel {

// One point of a time series: a time and a value (percentage points).
struct ChartPoint {
  Date time;
  double value = 0;

  bool operator==(const ChartPoint&) const = default;
};

// Times from `start` to `end` run left to right across the plot, values
// from `low` to `high` bottom to top. Out-of-range inputs map outside the
// plot; painters clip.
class ChartScale {
 public:
  ChartScale(QRectF plot, Date start, Date end, double low, double high);

  double x(Date time) const;
  double y(double value) const;
  QPointF map(const ChartPoint& point) const { return {x(point.time), y(point.value)}; }
  const QRectF& plot() const { return plot_; }
  Date start() const { return start_; }
  Date end() const { return end_; }

 private:
  QRectF plot_;
  Date start_;
  Date end_;
  double low_;
  double high_;
};

// Marks on whole local steps (minutes, hours or days, read in `zone`, empty
// for the machine's), all inside [start, end]: the smallest step that gives
// no more than half as many again as `desiredCount`.
struct TimeMarks {
  std::vector<Date> marks;
  double step = 0;  // seconds between marks
};
TimeMarks timeMarks(Date start, Date end, int desiredCount, std::string_view zone = {});

// How a line is stroked: its width, its caps and, for a dashed line, the
// dash and gap lengths in points, alternating. Joins are mitred.
struct StrokeStyle {
  double width = 1;
  Qt::PenCapStyle cap = Qt::FlatCap;
  std::vector<double> dash;

  // The pen that strokes it in `color` (QPen takes dashes in pen widths).
  QPen pen(const QColor& color) const;
};

// The series (in time order) as drawn at the scale's width: of each pixel
// column at most
// the first, lowest, highest and last point, in time order. Every rise and
// drop, and the last point, survive; a series with no more than four points
// a column on average comes back whole.
std::vector<ChartPoint> thinToColumns(std::span<const ChartPoint> points, const ChartScale& scale);

// A polyline with every point dropped that lies within `tolerance` of the
// straight line through the points kept around it (Douglas-Peucker). The
// first and last points stay, and so does every corner that shows.
QPolygonF simplifyPolyline(const QPolygonF& points, double tolerance);

}  // namespace ovel
