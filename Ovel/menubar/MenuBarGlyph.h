// The ring that every view draws, and the status-item image: the user's
// enabled items as a row of rings and short texts.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/OvelEngine.h"
#include "Preferences.h"

class QPainter;

namespace ovel {

class UsageModel;

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
  // Draws the marks at the painter's origin in `color`, each at its alpha.
  static void draw(QPainter& painter, const std::vector<Mark>& marks, const QColor& color);
};

struct MenuBarPart {
  struct Ring {
    WindowKind kind;
    std::optional<WindowAssessment> assessment;
    std::optional<OvelSteer> steer;
  };
  std::variant<Ring, std::string> content;

  bool isRing() const { return std::holds_alternative<Ring>(content); }
};

// What the parts are read from; the model gives it.
struct GlyphInputs {
  std::optional<WindowAssessment> session;
  std::optional<WindowAssessment> week;
  std::optional<OvelSteer> steer;
  std::optional<WindowAssessment> steerAssessment;
  bool hasAssessments = false;
  std::optional<SessionWeekRatio> sessionWeekRatio;
  Date now;
};

struct MenuBarGlyph {
  MenuBarGlyph() = delete;

  static std::vector<MenuBarPart> parts(const std::vector<MenuBarItem>& items, const UsageModel& model);
  static std::vector<MenuBarPart> parts(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs);

  // A desktop tray has no template images: an untinted image is drawn in
  // `base`, the text colour of the panel.
  static QImage image(const std::vector<MenuBarPart>& parts, GlyphStyle style, bool tint,
                      const QColor& base = Qt::black, double devicePixelRatio = 2);

  // Whether image() would tint nothing (the macOS template case).
  static bool isTemplate(const std::vector<MenuBarPart>& parts, bool tint);
  // The left edge of each part and the image's width, in points.
  static std::vector<double> layout(const std::vector<MenuBarPart>& parts, double& width);
};

}  // namespace ovel
