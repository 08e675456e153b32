#include "platform/files/threads.h"

#include "platform/files/file_api.h"
#include "platform/files/file_faults.h"
#include "platform/files/kernel_object.h"

#include <cerrno>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

namespace platform {

namespace {

struct ThreadObject final : KernelObject {
    std::thread thread;
    bool Release() override {
        thread.detach();
        return true;
    }
};

} // namespace

HANDLE CreateThread(void* /*security*/, std::size_t /*stackSize*/, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD /*creationFlags*/, DWORD* threadId) {
    if (detail::PlannedFailureDue(FileCall::CreateThread)) {
        return nullptr;
    }
    if (start == nullptr) {
        SetLastError(EINVAL);
        return nullptr;
    }
    auto object = std::unique_ptr<ThreadObject>(new (std::nothrow) ThreadObject);
    if (!object) {
        SetLastError(EAGAIN);
        return nullptr;
    }
    try {
        object->thread = std::thread([start, parameter] { start(parameter); });
    } catch (const std::system_error& error) {
        SetLastError(static_cast<DWORD>(error.code().value()));
        return nullptr;
    } catch (const std::bad_alloc&) {
        SetLastError(ENOMEM);
        return nullptr;
    }
    if (threadId != nullptr) {
        *threadId = 0;
    }
    return object.release();
}

} // namespace platform
