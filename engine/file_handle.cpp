#include "engine/file_handle.h"

namespace vanthe {

using namespace platform;

HRESULT FileHandle::Create(const char* name, DWORD access, DWORD shareMode, DWORD disposition,
                           DWORD flagsAndAttributes) {
    HANDLE handle =
        CreateFile(name, access, shareMode, nullptr, disposition, flagsAndAttributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return HResultFromLastError();
    }
    Close();
    handle_ = handle;
    return 0;
}

HRESULT FileHandle::Adopt(HANDLE handle) {
    if (handle == nullptr) {
        return HResultFromLastError();
    }
    Close();
    handle_ = handle;
    return 0;
}

HRESULT FileHandle::Read(void* buffer, DWORD count, DWORD* bytesRead) {
    return ReadFile(handle_, buffer, count, bytesRead, nullptr) ? 0 : HResultFromLastError();
}

HRESULT FileHandle::Write(const void* buffer, DWORD count, DWORD* bytesWritten) {
    return WriteFile(handle_, buffer, count, bytesWritten, nullptr) ? 0 : HResultFromLastError();
}

HRESULT FileHandle::GetSize(std::uint64_t* size) {
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        return HResultFromLastError();
    }
    *size = (static_cast<std::uint64_t>(high) << 32) | low;
    return 0;
}

HRESULT FileHandle::GetChangeTimes(ChangeTimes* times) {
    FILETIME changed;
    FILETIME written;
    if (!GetFileTime(handle_, &changed, nullptr, &written)) {
        return HResultFromLastError();
    }
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    times->content = ticks(written);
    times->any = ticks(changed);
    return 0;
}

std::chrono::milliseconds FileHandle::ChangeTimes::SameStampWithin(std::uint64_t now) const {
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    const bool wholeSeconds = any % kTicksPerSecond == 0 && content % kTicksPerSecond == 0;
    const std::uint64_t step = wholeSeconds ? 2 * kTicksPerSecond : kTicksPerSecond / 50;
    if (now >= any + step || any > now + step) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::milliseconds((any + step - now + 9999) / 10000);
}

std::uint64_t FileHandle::Now() {
    // Ticks of 100 ns from 1601, as the file times count them.
    constexpr std::uint64_t kEpochDifference = 11644473600u * 10000000u;
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return kEpochDifference + static_cast<std::uint64_t>(since1970.count()) / 100;
}

HRESULT FileHandle::Close() {
    if (handle_ == nullptr) {
        return 0;
    }
    HANDLE handle = handle_;
    handle_ = nullptr;
    return CloseHandle(handle) ? 0 : HResultFromLastError();
}

} // namespace vanthe
