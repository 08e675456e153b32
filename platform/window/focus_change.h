#pragma once

// Moving the keyboard focus with the reason the toolkit should see. Internal to the layer.

#include "platform/window/window_types.h"

#include <Qt>

namespace platform::detail {

// SetFocus with a reason: Tab and Backtab make an edit select its text, as tabbing into an
// edit does on the platform. Returns the window that had the focus.
HWND FocusWindow(HWND window, Qt::FocusReason reason);

} // namespace platform::detail
