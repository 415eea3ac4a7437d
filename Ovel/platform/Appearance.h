// Whether something is drawn light or dark: the windows, as the desktop
// wants them, or the panel the tray sits in.
#pragma once

namespace ovel {

enum class Appearance { light, dark };

}  // namespace ovel
