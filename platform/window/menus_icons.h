#pragma once

// The system menu and icons. The window manager owns the title bar's menu on Linux, so a
// dialog shows its system menu as a context menu of its own surface: right-click outside the
// controls, Shift+F10, the Menu key or Alt+Space.

#include "platform/window/window_types.h"

namespace platform {

// The dialog's system menu: "Minimize" (with WS_MINIMIZEBOX) and "Close", then whatever was
// inserted. Null for a window without WS_SYSMENU, and after revert.
HMENU GetSystemMenu(HWND window, BOOL revert);
// position (UINT)-1 with MF_BYPOSITION appends. Choosing an item sends WM_SYSCOMMAND with its
// id in wParam to the window.
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text);
BOOL DrawMenuBar(HWND window);
int GetMenuItemCount(HMENU menu);
int GetMenuString(HMENU menu, UINT item, char* buffer, int maxCount, UINT flags);

// Loads an icon resource at cx x cy pixels (0: the icon's own size, or SM_CXICON with
// LR_DEFAULTSIZE), choosing the closest of its images. Only IMAGE_ICON is known, so the
// result is typed as an icon.
HICON LoadImage(HINSTANCE instance, int id, UINT type, int cx, int cy, UINT flags);
int GetSystemMetrics(int index);

} // namespace platform
