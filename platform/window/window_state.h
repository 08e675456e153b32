#pragma once

// Text, focus, order, state and geometry of windows. Geometry is in logical pixels.

#include "platform/window/messaging.h"
#include "platform/window/window_types.h"

namespace platform {

// Through WM_GETTEXT: copies at most maxCount - 1 bytes and a zero; returns the bytes copied.
int GetWindowText(HWND window, char* buffer, int maxCount);
int GetWindowTextLength(HWND window);

// Returns the window that had the focus. When the window is active, WM_KILLFOCUS and
// WM_SETFOCUS arrive before the call returns. A disabled window cannot take the focus.
HWND SetFocus(HWND window);
HWND GetFocus();
HWND GetActiveWindow();

// A control moves to the top of its dialog's z-order, and so first in tab order. FALSE for
// anything but a control.
BOOL BringWindowToTop(HWND window);

// Returns nonzero when the window was disabled before. A disabled dialog takes no input and
// cannot be closed; it remembers its focused control and gives it back when enabled again.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowVisible(HWND window);
BOOL IsIconic(HWND window);

BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect); // screen coordinates, frame included
// Moves the window (unless SWP_NOMOVE) and activates it (unless SWP_NOACTIVATE). The program
// only moves windows: the size and z-order arguments are ignored, as with SWP_NOSIZE and
// SWP_NOZORDER.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);

// With TRUE, the pointer over the program's windows says that it is at work yet takes input
// (the platform's "working in background" pointer), until called with FALSE.
void ShowWorkingPointer(BOOL working);

namespace detail {

BOOL IsWindowEnabled(HWND window);
// SW_HIDE, SW_MINIMIZE and SW_SHOWNORMAL; any other command shows the window as it was.
BOOL ShowWindow(HWND window, int command);

} // namespace detail

} // namespace platform
