#pragma once

// The desktop's parameters.

#include "platform/window/window_types.h"

namespace platform {

// SPI_GETWORKAREA: the available geometry of the screen the pointer is on into a RECT.
BOOL SystemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni);

} // namespace platform
