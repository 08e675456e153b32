#pragma once

// The one request that hands a job from the dialog to its worker thread.

#include "platform/window/window_types.h"

#include <cstdint>
#include <string>

namespace vanthe {

// The texts are copies made at the click, so the dialog may change its fields at once
// without changing the job.
struct JobRequest {
    std::string source;
    std::string destination;
    std::string password;
    platform::HWND window = nullptr;
    int mode = 0;          // 0 encrypts; anything else decrypts
    bool replace = false;  // the user agreed to replace an existing destination
    std::int32_t rows = 0; // the height of the dialog's progress fill
    // The code page a password with letters beyond ASCII was hashed in; 0 for an ASCII one,
    // which every code page hashes alike.
    platform::UINT codePage = 0;
};

// Exactly one, for the whole process; only written while no job is under way.
extern JobRequest jobRequest;

} // namespace vanthe
