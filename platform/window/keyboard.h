#pragma once

// Synthetic keys.

#include "platform/window/window_types.h"

namespace platform {

// Queues one key event; it acts after the current handler has returned, as if typed by the
// user, with the modifiers held at that moment (VK_TAB with Shift held moves backwards).
// Only VK_TAB is known.
void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, UINT_PTR extraInfo);

} // namespace platform
