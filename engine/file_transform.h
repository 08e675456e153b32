#pragma once

// One job: the source file read in 1024-byte chunks, each passed in place through the cipher
// and written to the destination, with three notifications to a window as it goes.

#include "platform/window/window_types.h"

#include <string>

namespace vanthe {

// wParam: the source size in whole KiB (low 32 bits).
inline constexpr platform::UINT WM_JOB_STARTED = platform::WM_USER + 12;
// wParam: the zero-based index of the chunk just written.
inline constexpr platform::UINT WM_JOB_PROGRESS = platform::WM_USER + 10;
// wParam: 1 when the job failed, 0 when it succeeded. Always the last message of a job.
inline constexpr platform::UINT WM_JOB_FINISHED = platform::WM_USER + 11;

inline constexpr int kModeEncrypt = 0;
inline constexpr int kModeDecrypt = 1;

class FileTransform {
public:
    bool EncryptFile(const std::string& source, const std::string& destination,
                     const std::string& password);
    bool DecryptFile(const std::string& source, const std::string& destination,
                     const std::string& password);
    // Mode 0 encrypts, anything else decrypts. On false, errorText says why.
    bool Transform(const std::string& source, const std::string& destination,
                   const std::string& password, int mode);

    std::string errorText;
    platform::HWND notifyWindow = nullptr;
};

} // namespace vanthe
