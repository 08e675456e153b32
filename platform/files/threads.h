#pragma once

// Threads with the calling convention of the files layer: a handle, or null with the
// last-error value set.

#include "platform/base_types.h"

#include <cstddef>

namespace platform {

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);
// The thread runs at once; closing its handle (CloseHandle) detaches it.
HANDLE CreateThread(void* security, std::size_t stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD creationFlags, DWORD* threadId);

} // namespace platform
