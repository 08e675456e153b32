#pragma once

// Message boxes and the beep.

#include "platform/window/window_types.h"

namespace platform {

// Shows a modal box and returns the button that dismissed it (IDOK for an MB_OK box, also on
// Escape). From another thread the box is shown by the owner's thread while the caller waits;
// it returns 0 at once without an owner, when the owner is gone or its thread runs no loop. Without
// a display the caption and text go to standard error instead.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// The desktop's alert sound; every beep type sounds the same here.
BOOL MessageBeep(UINT type);

} // namespace platform
