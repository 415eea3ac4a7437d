// Whether the panel that holds the tray is light or dark, as far as anything
// tells.
#pragma once

namespace ovel {

enum class PanelTone { light, dark, unknown };

}  // namespace ovel
