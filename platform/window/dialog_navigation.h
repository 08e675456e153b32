#pragma once

// Walking a dialog's controls in z-order. Internal to the layer.

#include "platform/window/window_types.h"

#include <vector>

namespace platform::detail {

// The controls of control's group: from the nearest WS_GROUP control at or before it up to,
// not including, the next WS_GROUP control.
std::vector<HWND> GroupOf(HWND control);

// Visible and enabled by its own style bits, as the dialog manager judges tab stops.
bool IsUsable(HWND control);

} // namespace platform::detail
