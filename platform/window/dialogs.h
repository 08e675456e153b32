#pragma once

// Modal dialogs built from templates, and the dialog manager's default processing. The dialog
// procedure convention is the classic one: nonzero means handled, with the message result set
// through SetWindowLongPtr(dialog, DWLP_MSGRESULT, result); for WM_INITDIALOG the return value
// itself is the result (TRUE asks for the default focus).

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

BOOL SetDlgItemText(HWND dialog, int id, const char* text);

namespace detail {

// The window procedure of every dialog: calls the dialog procedure, then, for what it left
// unhandled, the default processing (Enter, Escape and close become WM_COMMAND IDOK and
// IDCANCEL, SC_MINIMIZE minimises, WM_SETICON sets the window icon, ...).
LRESULT DefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace detail

} // namespace platform
