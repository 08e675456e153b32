#pragma once

// The open-file dialog.

#include "platform/window/window_types.h"

namespace platform {

// The fields of the classic record that mean something here; lStructSize must be its size.
struct OPENFILENAME {
    DWORD lStructSize = 0;
    HWND hwndOwner = nullptr;
    HINSTANCE hInstance = nullptr;
    char* lpstrFile = nullptr;
    DWORD nMaxFile = 0;
    char* lpstrFileTitle = nullptr;
    DWORD nMaxFileTitle = 0;
    DWORD Flags = 0;
};

inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_EXPLORER = 0x00080000;
inline constexpr DWORD OFN_ENABLESIZING = 0x00800000;

// Shows the toolkit's own (not the desktop's) file dialog, modal, with the owner disabled.
// Nonzero with the chosen path in lpstrFile and its name in lpstrFileTitle when the user
// confirms; a name that does not exist yet is accepted. 0 when cancelled, or when the path
// does not fit nMaxFile. The flags change nothing: the dialog always looks the same.
BOOL GetOpenFileName(OPENFILENAME* request);

} // namespace platform
