#pragma once

// The system menu and icons. The window manager owns the title bar's menu on Linux, so a
// dialog shows its system menu as a context menu of its own surface: right-click outside the
// controls, Shift+F10, the Menu key or Alt+Space.

#include "platform/window/window_types.h"

#include <string>
#include <vector>

namespace platform {

// The dialog's system menu: "Minimize" (with WS_MINIMIZEBOX) and "Close", then whatever was
// inserted. Null for a window without WS_SYSMENU. The menu stays the dialog's: revert is
// ignored.
HMENU GetSystemMenu(HWND window, BOOL revert);
// Only appends: position (UINT)-1 with MF_BYPOSITION. Choosing an item sends WM_SYSCOMMAND
// with its id in wParam to the window.
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text);
BOOL DrawMenuBar(HWND window);

// Loads an icon resource at cx x cy pixels (0: the icon's own size), choosing the closest of
// its images; the flags ask for nothing here. Only IMAGE_ICON is known, so the result is
// typed as an icon.
HICON LoadImage(HINSTANCE instance, int id, UINT type, int cx, int cy, UINT flags);
// The icon sizes, SM_CXICON and SM_CXSMICON with their heights; 0 for anything else.
int GetSystemMetrics(int index);

namespace detail {

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::string text;
};

// The items behind a menu handle; empty for an unknown handle.
std::vector<MenuItem> MenuItems(HMENU menu);

} // namespace detail

} // namespace platform
