// The one picture of a usage window that the tray, the popover and the
// dashboard all draw: a track, a used arc (seven segments for week kinds)
// and at most one centre mark.
#pragma once

#include <QColor>
#include <QPainterPath>

#include <optional>
#include <variant>
#include <vector>

#include "core/engine/OvelEngine.h"
#include "model/PreferenceTypes.h"

class QPainter;

namespace ovel {

struct DayRing {
  DayRing() = delete;

  struct Stroke {
    double width;
    Qt::PenCapStyle cap;
  };
  struct Fill {};
  struct Mark {
    QPainterPath path;
    std::variant<Stroke, Fill> style;
    double alpha;
  };

  struct Center {
    enum class Case { evenOvel, arrow, none, stop, dash };
    Case centerCase = Case::none;
    double value = 0;  // the even-spend percentage, or the arrow's degrees

    static Center evenOvel(double percent) { return {Case::evenOvel, percent}; }
    static Center arrow(double degrees) { return {Case::arrow, degrees}; }
    static Center none() { return {Case::none, 0}; }
    static Center stop() { return {Case::stop, 0}; }
    static Center dash() { return {Case::dash, 0}; }
    bool operator==(const Center&) const = default;
  };

  // The ring's marks in drawing order, then at most one centre mark, in a
  // square of `side` with the origin top left and y down.
  static std::vector<Mark> marks(double side, std::optional<double> used, bool segmented, Center center);
  static Center center(GlyphStyle style, const std::optional<OvelSteer>& steer, std::optional<double> evenOvel);
  // Draws the marks at the painter's origin in `color`, each at its alpha
  // times the colour's own.
  static void draw(QPainter& painter, const std::vector<Mark>& marks, const QColor& color);
};

}  // namespace ovel
