// The values the user's settings take that views draw with: what the tray
// shows and in which order, and how its rings are drawn. Apart from the
// observable Preferences, so that drawing code needs no QObject.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ovel {

enum class MenuBarItem {
  tightestRing,
  sessionRing,
  sessionPercent,
  sessionReset,
  weekRing,
  weekPercent,
  weekReset,
  ovelFactor,
  sessionsLeft,
};

inline constexpr std::array kAllMenuBarItems = {
    MenuBarItem::tightestRing, MenuBarItem::sessionRing, MenuBarItem::sessionPercent,
    MenuBarItem::sessionReset, MenuBarItem::weekRing,    MenuBarItem::weekPercent,
    MenuBarItem::weekReset,    MenuBarItem::ovelFactor,  MenuBarItem::sessionsLeft,
};

std::string_view rawValue(MenuBarItem item);
std::optional<MenuBarItem> menuBarItemFromRaw(std::string_view raw);

struct MenuBarEntry {
  MenuBarItem item;
  bool isOn = false;
  bool operator==(const MenuBarEntry&) const = default;
};

enum class GlyphStyle { usage, steer, usageAndSteer };

inline constexpr std::array kAllGlyphStyles = {GlyphStyle::usage, GlyphStyle::steer, GlyphStyle::usageAndSteer};

std::string_view rawValue(GlyphStyle style);
std::optional<GlyphStyle> glyphStyleFromRaw(std::string_view raw);

}  // namespace ovel
