#pragma once

// Walking a dialog's controls in z-order. Internal to the layer.

#include "platform/window/window_types.h"

#include <vector>

namespace platform::detail {

// The controls of control's group: from the nearest WS_GROUP control at or before it up to,
// not including, the next WS_GROUP control.
std::vector<HWND> GroupOf(HWND control);

// The next (or previous) enabled, visible WS_TABSTOP control after control in z-order,
// wrapping around; control null starts at the beginning (or end).
HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);
// The same within control's group, WS_TABSTOP or not; control itself when no other is usable.
HWND GetNextDlgGroupItem(HWND control, bool previous);

} // namespace platform::detail
