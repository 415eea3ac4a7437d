// The status-item image: the user's enabled items as a row of rings and
// short texts; and the same items as a desktop tray shows them, one square
// item per ring with the texts that follow it.
#pragma once

#include <QColor>
#include <QImage>

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Preferences.h"
#include "core/OvelEngine.h"
#include "ui/DayRing.h"
#include "ui/Theme.h"

namespace ovel {

class UsageModel;

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

// One square item of a desktop tray: a ring and the texts that follow it in
// the layout.
struct TrayItem {
  MenuBarPart::Ring ring;
  std::vector<MenuBarPart::Text> texts;

  // The texts in one line, for hosts that show a label beside the icon.
  std::string label() const;
  std::string labelGuide() const;
  // For the tooltip: a line per window, the ring's first, each named with
  // its own figures ("Week: 40%", then "Session: 2%").
  std::string toolTipText() const;
};

// How the preferences draw on a panel: untinted marks take the text colour
// of a light or a dark panel, tinted ones that appearance's orange and red.
// Where the panel's tone is not known, the marks are drawn to read on black
// and on white alike.
struct GlyphLook {
  GlyphStyle style;
  bool tint;
  std::optional<Appearance> panel;

  static GlyphLook of(const Preferences& preferences, std::optional<Appearance> panel);
  // The colour of untinted marks.
  QColor base() const;
};

// A tray item with its icon painted at any size, `pixels` a side.
struct PaintedTrayItem {
  TrayItem item;
  std::function<QImage(int pixels)> paintIcon;
};

struct MenuBarGlyph {
  MenuBarGlyph() = delete;

  static std::vector<MenuBarPart> parts(const std::vector<MenuBarItem>& items, const UsageModel& model);
  static std::vector<MenuBarPart> parts(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs);

  // A desktop tray has no template images: an untinted image is drawn in
  // `base`, the text colour of the panel, and tints take the appearance
  // that `base` is the text colour of.
  static QImage image(const std::vector<MenuBarPart>& parts, GlyphStyle style, bool tint,
                      const QColor& base = Qt::black, double devicePixelRatio = 2);

  // Whether image() would tint nothing: every mark in `base`.
  static bool isTemplate(const std::vector<MenuBarPart>& parts, bool tint);
  // The left edge of each part and the image's width, in points.
  static std::vector<double> layout(const std::vector<MenuBarPart>& parts, double& width);

  // The parts grouped into tray items, in layout order: texts before the
  // first ring go with it, and texts without any ring go with the tightest.
  static std::vector<TrayItem> trayItems(const std::vector<MenuBarItem>& items, const UsageModel& model);
  static std::vector<TrayItem> trayItems(const std::vector<MenuBarItem>& items, const GlyphInputs& inputs);

  // One ring as a square tray icon of `pixels` a side, drawn for that size.
  // The marks have a halo of the tone opposite to theirs: thin on a panel
  // of known tone, so the ring stays readable should the tone be wrong;
  // where it is not known, as wide as the marks, so the halo alone carries
  // the ring on a panel of the marks' own tone.
  static QImage trayIcon(const MenuBarPart::Ring& ring, const GlyphLook& look, int pixels);
  // The user's tray items, each painting its icon in the look of the
  // preferences on that panel.
  static std::vector<PaintedTrayItem> paintedTrayItems(const Preferences& preferences, const UsageModel& model,
                                                       std::optional<Appearance> panel);
};

}  // namespace ovel
