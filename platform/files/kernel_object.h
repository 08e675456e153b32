#pragma once

// What every handle of the files layer points at: files, searches and threads.

#include "platform/base_types.h"

namespace platform {

struct KernelObject {
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;
    // Releases what the object holds; false with the last-error value set on failure.
    virtual bool Release() = 0;
};

} // namespace platform
