#include "model/PreferenceTypes.h"

namespace ovel {
namespace {

// The names stored in the defaults, in enum order.
constexpr std::array<std::string_view, kAllMenuBarItems.size()> kMenuBarItemNames = {
    "tightestRing", "sessionRing", "sessionPercent", "sessionReset", "weekRing",
    "weekPercent",  "weekReset",   "ovelFactor",     "sessionsLeft",
};

constexpr std::array<std::string_view, kAllGlyphStyles.size()> kGlyphStyleNames = {"usage", "steer", "usageAndSteer"};

}  // namespace

std::string_view rawValue(MenuBarItem item) { return kMenuBarItemNames[static_cast<std::size_t>(item)]; }

std::optional<MenuBarItem> menuBarItemFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kMenuBarItemNames.size(); ++i)
    if (kMenuBarItemNames[i] == raw) return kAllMenuBarItems[i];
  return std::nullopt;
}

std::string_view rawValue(GlyphStyle style) { return kGlyphStyleNames[static_cast<std::size_t>(style)]; }

std::optional<GlyphStyle> glyphStyleFromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kGlyphStyleNames.size(); ++i)
    if (kGlyphStyleNames[i] == raw) return kAllGlyphStyles[i];
  return std::nullopt;
}

}  // namespace ovel
