// The user's tray items drawn as one row of rings and short texts: the
// picture the settings preview and the snapshots show, and the parts that
// the tray groups into items of their own.
#pragma once

#include <QColor>
#include <QImage>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/engine/OvelEngine.h"
#include "model/PreferenceTypes.h"
#include "ui/DayRing.h"

namespace ovel {

struct MenuBarPart {
  struct Ring {
    WindowKind kind;
    std::optional<WindowAssessment> assessment;
    std::optional<OvelSteer> steer;
  };
  struct Text {
    std::string text;
    // The widest this item's text gets, for hosts that size a label once.
    std::string guide;
    // The window whose figure it is.
    WindowKind window = WindowKind::session();
  };
  std::variant<Ring, Text> content;

  bool isRing() const { return std::holds_alternative<Ring>(content); }
};

// What the parts are read from.
struct GlyphInputs {
  std::optional<WindowAssessment> session;
  std::optional<WindowAssessment> week;
  std::optional<OvelSteer> steer;
  std::optional<WindowAssessment> steerAssessment;
  bool hasAssessments = false;
  std::optional<SessionWeekRatio> sessionWeekRatio;
  Date now;

  // The usage model's figures at this moment. A template, so that drawing
  // needs no model header: any type with the model's accessors will do.
  template <class Model>
  static GlyphInputs of(const Model& model) {
    return GlyphInputs{
        model.session(),          model.week(), model.steer(), model.steerAssessment(), !model.assessments().empty(),
        model.sessionWeekRatio(), model.now()};
  }
};

struct MenuBarRow {
  MenuBarRow() = delete;

  // A part per item that has something to show; the tightest ring when
  // none has.
  static std::vector<MenuBarPart> parts(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs);
  // The ring of the steer's window (the session's without a steer).
  static MenuBarPart::Ring tightestRing(const GlyphInputs& inputs);

  // A desktop tray has no template images: an untinted image is drawn in
  // `base`, the text colour of the panel, and tints take the appearance
  // that `base` is the text colour of.
  static QImage image(const std::vector<MenuBarPart>& parts, GlyphStyle style, bool tint,
                      const QColor& base = Qt::black, double devicePixelRatio = 2);

  // Whether image() would tint nothing: every mark in `base`.
  static bool isTemplate(const std::vector<MenuBarPart>& parts, bool tint);
  // The left edge of each part and the image's width, in points.
  static std::vector<double> layout(const std::vector<MenuBarPart>& parts, double& width);

  // What a ring's marks are drawn from, at any size, in the glyph style.
  struct RingFace {
    std::optional<double> used;
    bool segmented = false;
    DayRing::Center center;
    bool operator==(const RingFace&) const = default;
  };
  static RingFace ringFace(const MenuBarPart::Ring& ring, GlyphStyle style);
  // A ring's marks `side` points wide, in the glyph style.
  static std::vector<DayRing::Mark> ringMarks(const MenuBarPart::Ring& ring, GlyphStyle style, double side);
  // Its colour: the status's orange or red when tinted, else `base`.
  static QColor ringColor(const MenuBarPart::Ring& ring, bool tint, const QColor& base);
};

}  // namespace ovel
