#pragma once

// The program's main routine: process-wide start-up, the main dialog, and shutdown.

#include "platform/window/window_types.h"

namespace vanthe {

// Returns the exit code: the dialog's result (2 when the user closed it), 0 when the argument
// names no existing file, -1 when the dialog cannot be created.
int WinMain(platform::HINSTANCE instance, const char* commandTail);

} // namespace vanthe
