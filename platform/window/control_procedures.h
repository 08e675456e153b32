#pragma once

// The window procedures of the controls (what a window class supplies), and what a user's
// click on a button does. Internal to the layer.

#include "platform/window/window_types.h"

namespace platform::detail {

LRESULT EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// An automatic radio button is checked (and its group's others cleared) before BN_CLICKED
// goes to the parent, as a click on the platform does.
void OnButtonClicked(HWND button);

// Brings the widget in line with the window's style bits.
void ApplyStyle(HWND window);

} // namespace platform::detail
