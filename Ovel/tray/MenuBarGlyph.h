// The status-item image as a desktop tray shows it: one square item per
// ring, with the texts that follow it in the user's layout.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/PreferenceTypes.h"
#include "ui/MenuBarRow.h"
#include "ui/Theme.h"

namespace ovel {

class Preferences;
class UsageModel;

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

// A tray item with its icon painted at any size, `pixels` a side, and what
// that icon shows: an equal key paints an equal icon.
struct PaintedTrayItem {
  TrayItem item;
  std::function<QImage(int pixels)> paintIcon;
  QString iconKey;
};

struct MenuBarGlyph {
  MenuBarGlyph() = delete;

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
  // Everything trayIcon() draws from: rings keyed alike paint alike.
  static QString trayIconKey(const MenuBarPart::Ring& ring, const GlyphLook& look);
  // The user's tray items, each painting its icon in the look of the
  // preferences on that panel.
  static std::vector<PaintedTrayItem> paintedTrayItems(const Preferences& preferences, const UsageModel& model,
                                                       std::optional<Appearance> panel);
};

}  // namespace ovel
