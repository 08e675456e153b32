#pragma once

// Modal dialogs built from templates, the dialog manager's default processing, and message
// boxes. The dialog procedure convention is the classic one: nonzero means handled, with the
// message result set through SetWindowLongPtr(dialog, DWLP_MSGRESULT, result); for
// WM_INITDIALOG the return value itself is the result (TRUE asks for the default focus).

#include "platform/window/resources.h"
#include "platform/window/window_types.h"

namespace platform {

// Builds the dialog hidden, sends WM_INITDIALOG (wParam the first tab stop, lParam param),
// shows it and runs a modal loop on the calling thread with the owner disabled. Returns the
// value given to EndDialog, or -1 when the dialog cannot be built (no such template, no
// display, not the toolkit's thread).
INT_PTR DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC dialogProc,
                       LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);

// The window procedure of every dialog: calls the dialog procedure, then, for what it left
// unhandled, the default processing (Enter, Escape and close become WM_COMMAND IDOK and
// IDCANCEL, SC_MINIMIZE minimises, WM_SETICON sets the window icon, ...).
LRESULT DefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

BOOL SetDlgItemText(HWND dialog, int id, const char* text);
UINT GetDlgItemText(HWND dialog, int id, char* buffer, int maxCount);

// The next (or previous) enabled, visible WS_TABSTOP control after control in z-order,
// wrapping around; control null starts at the beginning (or end).
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// The same within control's group: from the nearest WS_GROUP control up to the next one.
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);

// Shows a modal box and returns the button that dismissed it (IDOK for an MB_OK box, also on
// Escape). From another thread the box is shown by the owner's thread while the caller waits;
// it returns 0 at once when the owner is gone or that thread runs no loop. Without a display
// the caption and text go to standard error instead.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);
BOOL MessageBeep(UINT type);

} // namespace platform
