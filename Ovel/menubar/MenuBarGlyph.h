// The status-item image: the user's enabled items as a row of rings and
// short texts.
#pragma once

#include <QColor>
#include <QImage>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Preferences.h"
#include "core/OvelEngine.h"
#include "ui/DayRing.h"

namespace ovel {

class UsageModel;

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
