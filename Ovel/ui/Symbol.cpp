#include "ui/Symbol.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>

#include <cmath>
#include <initializer_list>

namespace ovel {
namespace {

constexpr double kGrid = 24;
const QPointF kMiddle(12, 12);

QPainterPath stroked(const QPainterPath& path, double width) {
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::RoundCap);
  stroker.setJoinStyle(Qt::RoundJoin);
  return stroker.createStroke(path).simplified();
}

QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false) {
  QPainterPath path(*points.begin());
  for (auto point = points.begin() + 1; point != points.end(); ++point) path.lineTo(*point);
  if (closed) path.closeSubpath();
  return path;
}

QPainterPath disc(QPointF centre, double radius) {
  QPainterPath path;
  path.addEllipse(centre, radius, radius);
  return path;
}

QPainterPath unite(std::initializer_list<QPainterPath> parts) {
  QPainterPath result;
  for (const auto& part : parts) result = result.united(part);
  return result;
}

QPainterPath exclamation(double top, double bottom, double width, double dotY, double dotRadius) {
  return unite({stroked(linePath({12, top}, {12, bottom}), width), disc({12, dotY}, dotRadius)});
}

QPainterPath triangle() { return polyline({{12, 3.4}, {21.4, 19.8}, {2.6, 19.8}}, true); }

QPainterPath hand() {
  // Three broad fingers with wide gaps of disc between them and a thumb out
  // to the side: at 10 to 12 px the gaps still show, so the mark reads as a
  // raised hand rather than a hole in the disc.
  QPainterPath palm;
  palm.addRoundedRect(QRectF(8.2, 11.4, 9.4, 7.6), 3.0, 3.0);
  QPainterPath fingers;
  constexpr double kFingers[][2] = {{9.3, 7.4}, {12.9, 5.6}, {16.5, 7.0}};  // x, tip
  for (const auto& finger : kFingers) fingers.addPath(linePath({finger[0], 12.6}, {finger[0], finger[1]}));
  fingers.addPath(linePath({9.4, 16.2}, {6.0, 12.6}));
  return palm.united(stroked(fingers, 2.2));
}

QPainterPath gear() {
  QPainterPath body = disc(kMiddle, 7.2);
  for (int tooth = 0; tooth < 8; ++tooth) {
    QPainterPath shape;
    shape.addRoundedRect(QRectF(-1.9, -10.6, 3.8, 5.2), 1, 1);
    QTransform turn;
    turn.translate(kMiddle.x(), kMiddle.y());
    turn.rotate(tooth * 45.0);
    body = body.united(turn.map(shape));
  }
  return body.subtracted(disc(kMiddle, 3.1));
}

QPainterPath gauge() {
  QPointF hub(12, 13.4);
  QPainterPath dots;
  for (int step = 0; step <= 6; ++step) {
    double radians = (-90 + step * 30) * M_PI / 180;
    dots.addPath(disc({hub.x() + 6.6 * std::sin(radians), hub.y() - 6.6 * std::cos(radians)}, 0.85));
  }
  double needle = 240 * M_PI / 180;
  QPointF tip(hub.x() + 5.6 * std::sin(needle), hub.y() - 5.6 * std::cos(needle));
  return unite({stroked(disc(kMiddle, 9.6), 1.6), dots, stroked(linePath(hub, tip), 1.8), disc(hub, 1.7)});
}

QPainterPath terminal() {
  QPainterPath frame;
  frame.addRoundedRect(QRectF(2.6, 4.4, 18.8, 15.2), 2.6, 2.6);
  QPainterPath prompt = polyline({{6.6, 9.2}, {9.6, 12}, {6.6, 14.8}});
  prompt.addPath(linePath({11.6, 15}, {16.6, 15}));
  return unite({stroked(frame, 1.6), stroked(prompt, 1.7)});
}

QPainterPath trash() {
  QPainterPath outline = linePath({4, 6.2}, {20, 6.2});
  outline.addPath(polyline({{9.2, 6}, {9.2, 3.6}, {14.8, 3.6}, {14.8, 6}}));
  outline.addPath(polyline({{6, 6.4}, {7.2, 20.4}, {16.8, 20.4}, {18, 6.4}}));
  QPainterPath ribs = linePath({10.2, 9.6}, {10.2, 17.2});
  ribs.addPath(linePath({13.8, 9.6}, {13.8, 17.2}));
  return unite({stroked(outline, 1.7), stroked(ribs, 1.4)});
}

QPainterPath build(Symbol symbol) {
  switch (symbol) {
    case Symbol::checkmarkCircleFill:
      return disc(kMiddle, 10).subtracted(stroked(polyline({{7.3, 12.4}, {10.5, 15.6}, {16.7, 8.6}}), 2.3));
    case Symbol::eyeCircleFill: {
      QPainterPath almond(QPointF(5.8, 12));
      almond.quadTo(12, 5.2, 18.2, 12);
      almond.quadTo(12, 18.8, 5.8, 12);
      almond.closeSubpath();
      return disc(kMiddle, 10).subtracted(unite({stroked(almond, 1.7), disc(kMiddle, 2.3)}));
    }
    case Symbol::exclamationmarkTriangleFill:
      return unite({triangle(), stroked(triangle(), 2.6)}).subtracted(exclamation(9, 13.6, 2.3, 16.9, 1.35));
    case Symbol::handRaisedCircleFill: return disc(kMiddle, 10).subtracted(hand());
    case Symbol::exclamationmarkCircle:
      return unite({stroked(disc(kMiddle, 9.2), 1.8), exclamation(7.2, 12.8, 2, 16.3, 1.25)});
    case Symbol::exclamationmarkTriangle:
      return unite({stroked(triangle(), 1.8), exclamation(9.5, 13.8, 1.9, 16.6, 1.2)});
    case Symbol::xmarkCircleFill: {
      QPainterPath cross = linePath({8.4, 8.4}, {15.6, 15.6});
      cross.addPath(linePath({15.6, 8.4}, {8.4, 15.6}));
      return disc(kMiddle, 10).subtracted(stroked(cross, 2.3));
    }
    case Symbol::infoCircle:
      return unite(
          {stroked(disc(kMiddle, 9.2), 1.8), disc({12, 7.6}, 1.3), stroked(linePath({12, 10.8}, {12, 16.8}), 2)});
    case Symbol::arrowClockwise:
      return unite({stroked(arcPath({12, 13}, 7.5, 55, 348), 2), polyline({{9.8, 2.2}, {15, 5.6}, {9.8, 9.0}}, true)});
    case Symbol::boltFill:
      return polyline({{13.6, 1.8}, {5.2, 13.6}, {11.2, 13.6}, {10.2, 22.2}, {18.8, 10}, {12.8, 10}}, true);
    case Symbol::chartXyaxisLine:
      return unite({stroked(polyline({{3.5, 3.5}, {3.5, 20.5}, {20.5, 20.5}}), 1.8),
                    stroked(polyline({{6.8, 16.2}, {10.6, 11.2}, {14, 14}, {19.6, 6.4}}), 1.8)});
    case Symbol::gearshape: return gear();
    case Symbol::power:
      return unite({stroked(arcPath({12, 13}, 7.6, 38, 322), 2.1), stroked(linePath({12, 2.8}, {12, 11}), 2.1)});
    case Symbol::terminal: return terminal();
    case Symbol::gaugeWithDotsNeedle0percent: return gauge();
    case Symbol::trash: return trash();
    case Symbol::chevronUp: return stroked(polyline({{5.5, 15.5}, {12, 9}, {18.5, 15.5}}), 2.3);
    case Symbol::chevronDown: return stroked(polyline({{5.5, 8.5}, {12, 15}, {18.5, 8.5}}), 2.3);
    case Symbol::chevronRight: return stroked(polyline({{8.5, 5.5}, {15, 12}, {8.5, 18.5}}), 2.3);
    case Symbol::plus: {
      QPainterPath cross = linePath({12, 5}, {12, 19});
      cross.addPath(linePath({5, 12}, {19, 12}));
      return stroked(cross, 2.2);
    }
    case Symbol::minus: return stroked(linePath({5, 12}, {19, 12}), 2.2);
    case Symbol::circleFill: break;
  }
  return disc(kMiddle, 12);
}

}  // namespace

QPainterPath linePath(QPointF from, QPointF to) {
  QPainterPath path(from);
  path.lineTo(to);
  return path;
}

QPainterPath arcPath(QPointF centre, double radius, double from, double to) {
  QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  QPainterPath path;
  // Qt counts degrees from three o'clock, counter-clockwise on screen.
  path.arcMoveTo(box, 90 - from);
  path.arcTo(box, 90 - from, -(to - from));
  return path;
}

std::string_view symbolName(Symbol symbol) {
  switch (symbol) {
    case Symbol::checkmarkCircleFill: return "checkmark.circle.fill";
    case Symbol::eyeCircleFill: return "eye.circle.fill";
    case Symbol::exclamationmarkTriangleFill: return "exclamationmark.triangle.fill";
    case Symbol::handRaisedCircleFill: return "hand.raised.circle.fill";
    case Symbol::exclamationmarkCircle: return "exclamationmark.circle";
    case Symbol::exclamationmarkTriangle: return "exclamationmark.triangle";
    case Symbol::xmarkCircleFill: return "xmark.circle.fill";
    case Symbol::infoCircle: return "info.circle";
    case Symbol::arrowClockwise: return "arrow.clockwise";
    case Symbol::boltFill: return "bolt.fill";
    case Symbol::chartXyaxisLine: return "chart.xyaxis.line";
    case Symbol::gearshape: return "gearshape";
    case Symbol::power: return "power";
    case Symbol::terminal: return "terminal";
    case Symbol::gaugeWithDotsNeedle0percent: return "gauge.with.dots.needle.0percent";
    case Symbol::trash: return "trash";
    case Symbol::chevronUp: return "chevron.up";
    case Symbol::chevronDown: return "chevron.down";
    case Symbol::chevronRight: return "chevron.right";
    case Symbol::plus: return "plus";
    case Symbol::minus: return "minus";
    case Symbol::circleFill: break;
  }
  return "circle.fill";
}

Symbol statusSymbol(OvelStatus status) {
  switch (status) {
    case OvelStatus::comfortable: return Symbol::checkmarkCircleFill;
    case OvelStatus::watch: return Symbol::eyeCircleFill;
    case OvelStatus::atRisk: return Symbol::exclamationmarkTriangleFill;
    case OvelStatus::limited: break;
  }
  return Symbol::handRaisedCircleFill;
}

const QPainterPath& symbolPath(Symbol symbol) {
  static const auto paths = [] {
    std::array<QPainterPath, kAllSymbols.size()> built;
    for (Symbol each : kAllSymbols) built[static_cast<std::size_t>(each)] = build(each);
    return built;
  }();
  return paths[static_cast<std::size_t>(symbol)];
}

void paintSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color) {
  double side = std::min(box.width(), box.height());
  QTransform place;
  place.translate(box.center().x() - side / 2, box.center().y() - side / 2);
  place.scale(side / kGrid, side / kGrid);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(place.map(symbolPath(symbol)), color);
  painter.restore();
}

QIcon symbolIcon(Symbol symbol, int pixels, const QColor& color) {
  constexpr double kDensity = 2;
  QPixmap pixmap(QSize(pixels, pixels) * kDensity);
  pixmap.setDevicePixelRatio(kDensity);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  paintSymbol(painter, symbol, QRectF(0, 0, pixels, pixels), color);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace ovel
