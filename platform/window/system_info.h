#pragma once

// The platform's version and desktop parameters.

#include "platform/window/window_types.h"

namespace platform {

struct OSVERSIONINFO {
    DWORD dwOSVersionInfoSize = 0; // must be 148
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
using OSVERSIONINFOA = OSVERSIONINFO;

inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// The layer reports 6.1, a release with the newer file dialog record.
BOOL GetVersionEx(OSVERSIONINFO* info);

// SPI_GETWORKAREA: the primary screen's available geometry into a RECT.
BOOL SystemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni);

} // namespace platform
