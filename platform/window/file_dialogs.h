#pragma once

// The open-file dialog.

#include "platform/window/window_types.h"

namespace platform {

// The record's layout follows the classic one; lStructSize must be 88 (76 for the record of
// older systems, which lacks the last three fields) or sizeof(OPENFILENAME).
struct OPENFILENAME {
    DWORD lStructSize = 0;
    HWND hwndOwner = nullptr;
    HINSTANCE hInstance = nullptr;
    const char* lpstrFilter = nullptr; // pairs of "name\0pattern;pattern\0", ending in "\0"
    char* lpstrCustomFilter = nullptr;
    DWORD nMaxCustFilter = 0;
    DWORD nFilterIndex = 0;
    char* lpstrFile = nullptr;
    DWORD nMaxFile = 0;
    char* lpstrFileTitle = nullptr;
    DWORD nMaxFileTitle = 0;
    const char* lpstrInitialDir = nullptr;
    const char* lpstrTitle = nullptr;
    DWORD Flags = 0;
    WORD nFileOffset = 0;
    WORD nFileExtension = 0;
    const char* lpstrDefExt = nullptr;
    LPARAM lCustData = 0;
    LPOFNHOOKPROC lpfnHook = nullptr; // not called: the toolkit's dialog has no such hook
    const char* lpTemplateName = nullptr;
    void* pvReserved = nullptr;
    DWORD dwReserved = 0;
    DWORD FlagsEx = 0;
};
using OPENFILENAMEA = OPENFILENAME;

inline constexpr DWORD OPENFILENAME_SIZE_VERSION_400 = 76;
inline constexpr DWORD OPENFILENAME_SIZE_VERSION_500 = 88;

inline constexpr DWORD OFN_READONLY = 0x00000001;
inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
inline constexpr DWORD OFN_ENABLEHOOK = 0x00000020;
inline constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
inline constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
inline constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
inline constexpr DWORD OFN_EXPLORER = 0x00080000;
inline constexpr DWORD OFN_ENABLESIZING = 0x00800000;

// Shows the toolkit's own (not the desktop's) file dialog, modal, with the owner disabled.
// Nonzero with the chosen path in lpstrFile when the user confirms; a name that does not
// exist yet is accepted unless OFN_FILEMUSTEXIST is set. 0 when cancelled, or when the path
// does not fit nMaxFile.
BOOL GetOpenFileName(OPENFILENAME* request);

} // namespace platform
