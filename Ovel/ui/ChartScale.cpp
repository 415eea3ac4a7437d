#include "ui/ChartScale.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "core/engine/EngineConstants.h"
#include "core/support/TimeZone.h"

namespace ovel {
namespace {

constexpr std::array<double, 14> kSteps = {60,   120,   300,   600,   900,  1800,     3600,
                                           7200, 10800, 21600, 43200, kDay, 2 * kDay, 7 * kDay};

// The wall-clock reading of `date` in the zone, as seconds since 1970.
double civilSeconds(Date date, std::string_view zone) {
  LocalTime local = localTime(date, zone);
  using namespace std::chrono;
  auto day = sys_days{year{local.year} / month{static_cast<unsigned>(local.month)} / static_cast<unsigned>(local.day)};
  return static_cast<double>(day.time_since_epoch().count()) * kDay + local.hour * 3600.0 + local.minute * 60.0 +
         local.second;
}

double zoneOffset(Date date, std::string_view zone) {
  return civilSeconds(date, zone) - std::floor(secondsSince1970(date));
}

std::vector<Date> marksEvery(double step, Date start, Date end, std::string_view zone) {
  std::vector<Date> marks;
  double startOffset = zoneOffset(start, zone);
  double localStart = secondsSince1970(start) + startOffset;
  double localEnd = secondsSince1970(end) + zoneOffset(end, zone);
  for (double local = std::ceil(localStart / step) * step; local <= localEnd; local += step) {
    // The offset where the mark falls, which differs from the start's across
    // a daylight-saving change.
    double guess = local - startOffset;
    Date mark = dateFromSeconds1970(local - zoneOffset(dateFromSeconds1970(guess), zone));
    if (mark >= start && mark <= end) marks.push_back(mark);
  }
  return marks;
}

}  // namespace

ChartScale::ChartScale(QRectF plot, Date start, Date end, double low, double high)
    : plot_(plot), start_(start), end_(end), low_(low), high_(high) {}

double ChartScale::x(Date time) const {
  double span = secondsBetween(end_, start_);
  if (!(span > 0)) return plot_.left();
  return plot_.left() + secondsBetween(time, start_) / span * plot_.width();
}

double ChartScale::y(double value) const {
  double span = high_ - low_;
  if (!(span > 0)) return plot_.bottom();
  return plot_.bottom() - (value - low_) / span * plot_.height();
}

TimeMarks timeMarks(Date start, Date end, int desiredCount, std::string_view zone) {
  double span = secondsBetween(end, start);
  auto most = static_cast<std::size_t>(std::floor(desiredCount * 1.5));
  TimeMarks chosen;
  if (!(span > 0)) return chosen;
  for (double step : kSteps) {
    // A step that cannot come close is not worth laying out.
    if (span / step > static_cast<double>(most) + 2) continue;
    chosen = {marksEvery(step, start, end, zone), step};
    if (chosen.marks.size() <= most) break;
  }
  return chosen;
}

QPen StrokeStyle::pen(const QColor& color) const {
  QPen pen(color, width, Qt::SolidLine, cap, Qt::MiterJoin);
  // A miter limit of 10 as the full miter's length; Qt measures half of it.
  pen.setMiterLimit(5);
  if (!dash.empty()) {
    QList<qreal> pattern;
    for (double length : dash) pattern.append(length / width);
    pen.setDashPattern(pattern);
  }
  return pen;
}

std::vector<ChartPoint> thinToColumns(std::span<const ChartPoint> points, const ChartScale& scale) {
  auto columns = static_cast<std::size_t>(std::max(1.0, std::ceil(scale.plot().width())));
  if (points.size() <= 4 * columns) return {points.begin(), points.end()};
  std::vector<ChartPoint> kept;
  auto columnOf = [&](const ChartPoint& point) { return std::floor(scale.x(point.time)); };
  std::size_t begin = 0;
  while (begin < points.size()) {
    double column = columnOf(points[begin]);
    std::size_t end = begin + 1;
    while (end < points.size() && columnOf(points[end]) == column) ++end;
    std::size_t lowest = begin, highest = begin;
    for (std::size_t i = begin; i < end; ++i) {
      if (points[i].value < points[lowest].value) lowest = i;
      if (points[i].value > points[highest].value) highest = i;
    }
    std::array<std::size_t, 4> picks = {begin, lowest, highest, end - 1};
    std::sort(picks.begin(), picks.end());
    for (std::size_t i = 0; i < picks.size(); ++i)
      if (i == 0 || picks[i] != picks[i - 1]) kept.push_back(points[picks[i]]);
    begin = end;
  }
  return kept;
}

QPolygonF simplifyPolyline(const QPolygonF& points, double tolerance) {
  if (points.size() < 3) return points;
  std::vector<bool> keep(static_cast<std::size_t>(points.size()), false);
  keep.front() = keep.back() = true;
  // Spans still to look at, as first and last index.
  std::vector<std::pair<qsizetype, qsizetype>> spans = {{0, points.size() - 1}};
  while (!spans.empty()) {
    auto [first, last] = spans.back();
    spans.pop_back();
    QPointF a = points[first];
    QPointF chord = points[last] - a;
    double length = std::hypot(chord.x(), chord.y());
    // Distances scaled by the chord's length, so the loop needs no division;
    // a chord of no length measures the plain distance, squared.
    auto measure = [&](QPointF d) {
      return length > 0 ? std::fabs(chord.x() * d.y() - chord.y() * d.x()) : d.x() * d.x() + d.y() * d.y();
    };
    double limit = length > 0 ? tolerance * length : tolerance * tolerance;
    double farthest = -1;
    qsizetype at = first;
    for (qsizetype i = first + 1; i < last; ++i) {
      double distance = measure(points[i] - a);
      if (distance > farthest) {
        farthest = distance;
        at = i;
      }
    }
    if (farthest <= limit) continue;
    keep[static_cast<std::size_t>(at)] = true;
    spans.push_back({first, at});
    spans.push_back({at, last});
  }
  QPolygonF kept;
  for (qsizetype i = 0; i < points.size(); ++i)
    if (keep[static_cast<std::size_t>(i)]) kept << points[i];
  return kept;
}

}  // namespace ovel
