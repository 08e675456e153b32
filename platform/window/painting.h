#pragma once

// Painting a dialog's surface from its WM_PAINT, and the layered window's colour key.

#include "platform/window/window_types.h"

namespace platform {

// Valid between the BeginPaint and EndPaint of a WM_PAINT that the layer delivered; at any
// other time the context paints nothing.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

HBRUSH CreateSolidBrush(COLORREF color);
BOOL DeleteObject(HGDIOBJ object);

// rect null: the whole client area. Also makes a layered window recompute its colour key.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// Needs WS_EX_LAYERED. With LWA_COLORKEY every pixel the window's procedure paints in exactly
// that colour shows what lies behind the window: as transparent pixels where the display
// composites, through the window's shape on a plain X server. A display that can show
// neither refuses LWA_COLORKEY (FALSE), as a platform without layered windows would.
// LWA_ALPHA sets the window's opacity.
BOOL SetLayeredWindowAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags);

} // namespace platform
