#pragma once

// What the display offers: whether the toolkit will be able to open it (the toolkit itself
// ends the process when it cannot, so the layer asks first), and how a layered window's
// colour key can be shown on it. Internal to the layer.

#include <string>

class QWidget;

namespace platform::detail {

// argvPlatform: the value of a "-platform" argument, if any. On success, platform is the one
// that can open it; on failure, reason says why in a few words.
bool CanOpenDisplay(const std::string& argvPlatform, std::string& platform, std::string& reason);

// How key-coloured pixels can show what lies behind a window. A Wayland compositor blends
// windows, so there they are painted with alpha 0 on a translucent window; an X server cuts
// them out with the window's shape; elsewhere (the offscreen platform) nothing behind a window
// can show.
enum class KeyedSurface { Alpha, Shape, None };

// Asks the display the toolkit has opened; the toolkit's thread only.
KeyedSurface KeyedSurfaceSupport();

// KWin on X11 takes the title bar away from a shaped window and moves the window by its gravity
// when it does. The toolkit asks for the gravity that keeps the frame's corner still, since it
// placed the window by its frame, so the window's surface would jump by the title bar's height
// and back. Under KWin this asks for the gravity that keeps the surface still; the toolkit asks
// for it too once it moves a window it has shown. Call it once the window is on the screen;
// nothing happens elsewhere.
void HoldStillWhenReframed(const QWidget& window);

} // namespace platform::detail
