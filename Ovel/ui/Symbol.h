// The symbols every view draws, our own, so that nothing depends on a font
// having a glyph or a desktop having an icon theme. Each is one filled
// outline on a 24-unit grid, scaled into the caller's square.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QRectF>

#include <array>
#include <string_view>

#include "core/engine/OvelEngine.h"

class QPainter;

namespace ovel {

enum class Symbol {
  checkmarkCircleFill,
  eyeCircleFill,
  exclamationmarkTriangleFill,
  handRaisedCircleFill,
  exclamationmarkCircle,
  exclamationmarkTriangle,
  xmarkCircleFill,
  infoCircle,
  arrowClockwise,
  boltFill,
  chartXyaxisLine,
  gearshape,
  power,
  terminal,
  gaugeWithDotsNeedle0percent,
  trash,
  chevronUp,
  chevronDown,
  chevronRight,
  plus,
  minus,
  circleFill,
};

inline constexpr std::array kAllSymbols = {
    Symbol::checkmarkCircleFill,
    Symbol::eyeCircleFill,
    Symbol::exclamationmarkTriangleFill,
    Symbol::handRaisedCircleFill,
    Symbol::exclamationmarkCircle,
    Symbol::exclamationmarkTriangle,
    Symbol::xmarkCircleFill,
    Symbol::infoCircle,
    Symbol::arrowClockwise,
    Symbol::boltFill,
    Symbol::chartXyaxisLine,
    Symbol::gearshape,
    Symbol::power,
    Symbol::terminal,
    Symbol::gaugeWithDotsNeedle0percent,
    Symbol::trash,
    Symbol::chevronUp,
    Symbol::chevronDown,
    Symbol::chevronRight,
    Symbol::plus,
    Symbol::minus,
    Symbol::circleFill,
};

// The symbol's conventional name, as "checkmark.circle.fill".
std::string_view symbolName(Symbol symbol);

// The symbol of a status: a check, an eye, a warning triangle, a raised hand.
Symbol statusSymbol(OvelStatus status);

// The filled outline in the 24 x 24 design square.
const QPainterPath& symbolPath(Symbol symbol);

// Fills the symbol into the largest square centred in `box`.
void paintSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color);

// The symbol as an icon `pixels` wide, drawn sharp on high-density screens.
QIcon symbolIcon(Symbol symbol, int pixels, const QColor& color);

// Strokes the symbols are built from, and the day ring too: a straight
// line, and an arc from `from` to `to` degrees, 0 at twelve o'clock,
// clockwise on screen.
QPainterPath linePath(QPointF from, QPointF to);
QPainterPath arcPath(QPointF centre, double radius, double from, double to);

}  // namespace ovel
