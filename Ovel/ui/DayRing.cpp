#include "ui/DayRing.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

#include "ui/Symbol.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr double kSegments = 7;
constexpr double kSegmentTrim = 4.5;
constexpr double kTrackAlpha = 0.3;
constexpr double kClosedSweep = 359.6;
constexpr double kDashAlpha = 0.45;

// 0 at twelve o'clock, clockwise on screen.
QPointF onCircle(QPointF c, double distance, double degrees) {
  double radians = degrees * M_PI / 180;
  return {c.x() + distance * std::sin(radians), c.y() - distance * std::cos(radians)};
}

std::optional<DayRing::Mark> centerMark(QPointF c, double u, const DayRing::Center& center) {
  using Case = DayRing::Center::Case;
  switch (center.centerCase) {
    case Case::evenOvel: {
      double angle = center.value <= 0 ? 0 : std::min(center.value, 100.0) * 3.6;
      return DayRing::Mark{linePath(onCircle(c, 1.6 * u, angle), onCircle(c, 4.1 * u, angle)),
                           DayRing::Stroke{1.5 * u, Qt::RoundCap}, 1.0};
    }
    case Case::arrow: {
      QPainterPath arrow(QPointF(-3.4 * u, 0));
      arrow.lineTo(3.4 * u, 0);
      double arm = 2.4 * u * std::cos(M_PI / 4);
      arrow.moveTo(3.4 * u - arm, -arm);
      arrow.lineTo(3.4 * u, 0);
      arrow.lineTo(3.4 * u - arm, arm);
      QTransform transform;
      transform.translate(c.x(), c.y());
      transform.rotate(-center.value);
      return DayRing::Mark{transform.map(arrow), DayRing::Stroke{1.6 * u, Qt::RoundCap}, 1.0};
    }
    case Case::stop: {
      QPainterPath square;
      square.addRoundedRect(QRectF(c.x() - 2.5 * u, c.y() - 2.5 * u, 5 * u, 5 * u), 1.1 * u, 1.1 * u);
      return DayRing::Mark{square, DayRing::Fill{}, 1.0};
    }
    case Case::dash:
      return DayRing::Mark{linePath({c.x() - 2.6 * u, c.y()}, {c.x() + 2.6 * u, c.y()}),
                           DayRing::Stroke{1.6 * u, Qt::RoundCap}, kDashAlpha};
    case Case::none: break;
  }
  return std::nullopt;
}

}  // namespace

std::vector<DayRing::Mark> DayRing::marks(double side, std::optional<double> used, bool segmented, Center center) {
  double u = side / 18;
  QPointF c(side / 2, side / 2);
  double radius = 6.4 * u;
  Stroke roundStroke{2.2 * u, Qt::RoundCap};
  Stroke buttStroke{2.2 * u, Qt::FlatCap};
  std::optional<double> sweep;
  if (used) sweep = *used <= 0 ? 0 : std::min(*used, 100.0) * 3.6;

  std::vector<Mark> result;
  if (!segmented) {
    result.push_back({arcPath(c, radius, 0, 360), roundStroke, kTrackAlpha});
    if (sweep && *sweep > 0)
      result.push_back({arcPath(c, radius, 0, *sweep >= kClosedSweep ? 360 : *sweep), roundStroke, 1.0});
  } else {
    for (int i = 0; i < kSegments; ++i) {
      double start = i * 360 / kSegments + kSegmentTrim;
      double end = (i + 1) * 360 / kSegments - kSegmentTrim;
      result.push_back({arcPath(c, radius, start, end), buttStroke, kTrackAlpha});
      if (sweep && start < *sweep)
        result.push_back({arcPath(c, radius, start, std::min(end, *sweep)), buttStroke, 1.0});
    }
  }
  if (auto mark = centerMark(c, u, center)) result.push_back(std::move(*mark));
  return result;
}

DayRing::Center DayRing::center(GlyphStyle style, const std::optional<OvelSteer>& steer,
                                std::optional<double> evenOvel) {
  if (style == GlyphStyle::usage) return evenOvel ? Center::evenOvel(*evenOvel) : Center::none();
  if (!steer) return Center::dash();
  if (steer->factor <= 0) return Center::stop();
  return Center::arrow(steer->angleDegrees());
}

void DayRing::draw(QPainter& painter, const std::vector<Mark>& marks, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  for (const Mark& mark : marks) {
    // A translucent tint (the secondary colour) stays translucent.
    QColor shade = Theme::faded(color, mark.alpha);
    if (const auto* stroke = std::get_if<Stroke>(&mark.style)) {
      painter.setPen(QPen(shade, stroke->width, Qt::SolidLine, stroke->cap, Qt::RoundJoin));
      painter.setBrush(Qt::NoBrush);
    } else {
      painter.setPen(Qt::NoPen);
      painter.setBrush(shade);
    }
    painter.drawPath(mark.path);
  }
  painter.restore();
}

}  // namespace ovel
