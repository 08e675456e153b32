#pragma once

// Walking a dialog's controls in z-order, and moving the keyboard focus between them with the
// reason the toolkit should see. Internal to the layer.

#include "platform/window/window_types.h"

#include <Qt>
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

// SetFocus with a reason: Tab and Backtab make an edit select its text, as tabbing into an
// edit does on the platform. Returns the window that had the focus.
HWND FocusWindow(HWND window, Qt::FocusReason reason);

} // namespace platform::detail
