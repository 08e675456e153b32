#pragma once

// Window procedures and SendMessage, the words stored with a window, and the relations
// between windows.

#include "platform/window/window_types.h"

namespace platform {

// Calls the window's procedure on the window's own thread and returns its result. A window
// that does not exist answers 0 at once. From another thread the call waits until the owner
// thread has handled the message; it answers 0 at once when that thread runs no message
// loop of this layer, and 0 when the window is destroyed before the message was handled.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LONG_PTR GetWindowLongPtr(HWND window, int index);
// Returns the previous value. GWL_STYLE cannot be set here; a new GWL_EXSTYLE is announced to
// the window with WM_STYLECHANGED (wParam the index, lParam a STYLESTRUCT*).
LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value);
// The 32-bit forms; GWLP_WNDPROC does not fit and is refused (0).
LONG GetWindowLong(HWND window, int index);
LONG SetWindowLong(HWND window, int index, LONG value);

LRESULT CallWindowProc(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Relations. Siblings are kept in z-order, which is also the dialog's tab order.
HWND GetParent(HWND window); // the parent of a child window, the owner of a popup
HWND GetWindow(HWND window, UINT relation);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);

} // namespace platform
