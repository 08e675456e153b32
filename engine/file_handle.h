#pragma once

// A thin owner of one open file. Each operation returns 0 on success or the failure code of
// the call that failed (HResultFromLastError).

#include "platform/files/file_api.h"

#include <chrono>
#include <cstdint>

namespace vanthe {

class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    platform::HRESULT Create(const char* name, platform::DWORD access, platform::DWORD shareMode,
                             platform::DWORD disposition, platform::DWORD flagsAndAttributes);
    platform::HRESULT Read(void* buffer, platform::DWORD count, platform::DWORD* bytesRead);
    platform::HRESULT Write(const void* buffer, platform::DWORD count,
                            platform::DWORD* bytesWritten);
    // Takes over a handle opened elsewhere; a null one is the last-error value's failure.
    platform::HRESULT Adopt(platform::HANDLE handle);
    platform::HRESULT GetSize(std::uint64_t* size);
    // When the file's content, and anything about it, last changed, in the system's ticks. A
    // writer can set the content's time back (touch -r, a copy that keeps times), not the other.
    struct ChangeTimes {
        std::uint64_t content = 0;
        std::uint64_t any = 0;
        bool operator==(const ChangeTimes&) const = default;
        // How long from `now` (in the same ticks) a change could still be stamped with these
        // very times, and so look like none. Stamps come from a clock that moves in steps: whole
        // seconds on some file systems (two on FAT; ext4 with small inodes, sshfs), a clock
        // tick on the others. Zero where the stamp lies further off than a step, either way.
        std::chrono::milliseconds SameStampWithin(std::uint64_t now) const;
    };
    // The system's time now, in the ticks of ChangeTimes.
    static std::uint64_t Now();
    platform::HRESULT GetChangeTimes(ChangeTimes* times);
    // Writes are buffered below, so closing can be the moment a write fails.
    platform::HRESULT Close();

    bool IsOpen() const { return handle_ != nullptr; }
    platform::HANDLE handle() const { return handle_; }

private:
    platform::HANDLE handle_ = nullptr;
};

} // namespace vanthe
