#include "platform/files/file_api.h"

#include "platform/files/async_io.h"
#include "platform/files/file_faults.h"
#include "platform/files/kernel_object.h"
#include "platform/seams/planned_failures.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <typeinfo>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

thread_local DWORD lastError = 0;

// A result to be synced at its end is synced each time this much more has been written. Each
// sync also commits the file system's journal, so fewer are cheaper; what is left for the end
// is at most this much and the one under way.
constexpr std::uint64_t kSyncEvery = 8 << 20;

bool Fail(int error) {
    lastError = static_cast<DWORD>(error);
    return false;
}

struct FileObject;

// Linux has no share modes; this process's own open files stand in for them, which is what
// keeps a job from truncating its own source.
struct OpenFile {
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD shareMode;
    const FileObject* owner;
};
std::mutex openFilesMutex;
std::vector<OpenFile> openFiles;

bool SharingConflict(const OpenFile& existing, DWORD access, DWORD shareMode) {
    bool theyRefuseUs =
        ((access & GENERIC_READ) != 0 && (existing.shareMode & FILE_SHARE_READ) == 0) ||
        ((access & GENERIC_WRITE) != 0 && (existing.shareMode & FILE_SHARE_WRITE) == 0);
    bool weRefuseThem =
        ((existing.access & GENERIC_READ) != 0 && (shareMode & FILE_SHARE_READ) == 0) ||
        ((existing.access & GENERIC_WRITE) != 0 && (shareMode & FILE_SHARE_WRITE) == 0);
    return theyRefuseUs || weRefuseThem;
}

// Reads run ahead of the caller and writes behind it on a thread of the file's own, so that a
// 1 KiB transform copies memory while the system calls run beside it.
struct FileObject final : KernelObject {
    int fd = -1;
    DWORD access = 0;
    Durability durability = Durability::Cached;
    std::unique_ptr<ReadAhead> reader;
    std::unique_ptr<WriteBehind> writer;

    ~FileObject() override {
        // The threads use the descriptor until they have stopped.
        writer.reset();
        reader.reset();
        if (fd >= 0) {
            ::close(fd);
        }
    }

    bool EnsureReader() {
        if (!reader) {
            reader.reset(new (std::nothrow) ReadAhead(fd));
            if (!reader) {
                return Fail(ENOMEM);
            }
        }
        return true;
    }

    bool EnsureWriter() {
        if (!writer) {
            writer.reset(new (std::nothrow) WriteBehind(
                fd, IoBlocks{}, durability == Durability::SyncedAtEnd ? kSyncEvery : 0));
            if (!writer) {
                return Fail(ENOMEM);
            }
        }
        return true;
    }

    // Waits until everything written so far has reached the file.
    bool Flush() {
        int error = writer ? writer->Flush() : 0;
        return error == 0 || Fail(error);
    }

    bool Release() override {
        int writeError = writer ? writer->Finish() : 0;
        writer.reset();
        reader.reset();
        {
            std::lock_guard lock(openFilesMutex);
            std::erase_if(openFiles, [this](const OpenFile& f) { return f.owner == this; });
        }
        int closed = ::close(fd);
        fd = -1;
        if (writeError != 0) {
            return Fail(writeError);
        }
        return closed == 0 || Fail(errno);
    }
};

struct FindObject final : KernelObject {
    bool Release() override { return true; }
};

FileObject* AsFile(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Every read and write asks; a type comparison costs less than a dynamic_cast's search.
    return typeid(*handle) == typeid(FileObject) ? static_cast<FileObject*>(handle) : nullptr;
}

bool MatchesPattern(const char* pattern, const char* name) {
    // Iterative * and ? matching with one backtrack point, as file patterns need no more.
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '?' || (*pattern != '*' && *pattern == *name)) {
            ++pattern;
            ++name;
        } else if (*pattern == '*') {
            starPattern = pattern++;
            starName = name;
        } else if (starPattern != nullptr) {
            pattern = starPattern + 1;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

bool FillFindData(const std::string& path, const std::string& name, WIN32_FIND_DATA* data) {
    struct stat info {};
    if (StatPath(path.c_str(), &info, true) != 0) {
        return false;
    }
    if (data != nullptr) {
        data->dwFileAttributes =
            S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        data->fileSize = static_cast<std::uint64_t>(info.st_size);
        std::size_t n = std::min(name.size(), sizeof data->cFileName - 1);
        std::memcpy(data->cFileName, name.data(), n);
        data->cFileName[n] = '\0';
    }
    return true;
}

} // namespace

namespace detail {

#ifdef VANTHE_TEST_SEAMS
namespace {
PlannedFailures<FileCall> plannedFailures;
} // namespace

bool PlannedFailureDue(FileCall call) {
    DWORD error = 0;
    if (!plannedFailures.Due(call, &error)) {
        return false;
    }
    lastError = error;
    return true;
}
#endif

} // namespace detail

using detail::PlannedFailureDue;

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}

HRESULT HResultFromLastError() {
    auto value = static_cast<std::int32_t>(lastError);
    if (value <= 0) {
        return static_cast<HRESULT>(value);
    }
    return 0x80070000u | (lastError & 0xFFFFu);
}

HANDLE CreateFile(const char* name, DWORD access, DWORD shareMode, void* /*security*/,
                  DWORD disposition, DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
    if (PlannedFailureDue(FileCall::Create)) {
        return INVALID_HANDLE_VALUE;
    }
    if (name == nullptr || *name == '\0') {
        Fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    bool reading = (access & GENERIC_READ) != 0;
    bool writing = (access & GENERIC_WRITE) != 0;
    if (!reading && !writing) {
        Fail(EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC | O_NONBLOCK |
                (reading && writing ? O_RDWR
                 : writing          ? O_WRONLY
                                    : O_RDONLY);
    switch (disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
        break;
    default:
        Fail(EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; truncation waits until
    // the sharing check has passed.
    int fd = ::open(name, flags, 0666);
    if (fd < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // Another program holds a lease on the file (a file server does, for its clients):
        // opening without O_NONBLOCK asks it to let go and waits until it has, as any reader
        // would. A FIFO never answers so.
        fd = ::open(name, flags & ~O_NONBLOCK, 0666);
    }
    if (fd < 0) {
        Fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::unique_ptr<FileObject>(new (std::nothrow) FileObject);
    if (!file) {
        ::close(fd);
        Fail(ENOMEM);
        return INVALID_HANDLE_VALUE;
    }
    file->fd = fd;
    file->access = access;

    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        Fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(info.st_mode)) {
        Fail(EISDIR);
        return INVALID_HANDLE_VALUE;
    }
    if (reading && !S_ISREG(info.st_mode)) {
        // A pipe or device could be read forever, or not at all.
        Fail(EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    {
        std::lock_guard lock(openFilesMutex);
        for (const OpenFile& open : openFiles) {
            if (open.device == info.st_dev && open.inode == info.st_ino &&
                SharingConflict(open, access, shareMode)) {
                Fail(static_cast<int>(ERROR_SHARING_VIOLATION));
                return INVALID_HANDLE_VALUE;
            }
        }
        try {
            openFiles.push_back(OpenFile{info.st_dev, info.st_ino, access, shareMode, file.get()});
        } catch (const std::bad_alloc&) {
            Fail(ENOMEM);
            return INVALID_HANDLE_VALUE;
        }
    }
    bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (truncate && S_ISREG(info.st_mode) && info.st_size != 0 && ::ftruncate(fd, 0) != 0) {
        Fail(errno);
        file->Release();
        return INVALID_HANDLE_VALUE;
    }
    int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) {
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    }
    return file.release();
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD count, DWORD* bytesRead, void* /*overlapped*/) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (PlannedFailureDue(FileCall::Read)) {
        return FALSE;
    }
    FileObject* file = AsFile(handle);
    if (file == nullptr || (file->access & GENERIC_READ) == 0) {
        return Fail(EBADF);
    }
    if (count > 0 && buffer == nullptr) {
        return Fail(EFAULT);
    }
    if (!file->EnsureReader()) {
        return FALSE;
    }
    std::size_t done = 0;
    if (int error = file->reader->Read(buffer, count, &done); error != 0) {
        return Fail(error);
    }
    if (bytesRead != nullptr) {
        *bytesRead = static_cast<DWORD>(done);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD count, DWORD* bytesWritten,
               void* /*overlapped*/) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    if (PlannedFailureDue(FileCall::Write)) {
        return FALSE;
    }
    FileObject* file = AsFile(handle);
    if (file == nullptr || (file->access & GENERIC_WRITE) == 0) {
        return Fail(EBADF);
    }
    if (count > 0 && buffer == nullptr) {
        return Fail(EFAULT);
    }
    if (!file->EnsureWriter()) {
        return FALSE;
    }
    if (int error = file->writer->Write(buffer, count); error != 0) {
        return Fail(error);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = count;
    }
    return TRUE;
}

namespace {

FILETIME ToFileTime(const struct timespec& time) {
    // Seconds from 1601 to 1970.
    constexpr std::uint64_t kEpochDifference = 11644473600u;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.tv_sec) + kEpochDifference) * 10000000u +
        static_cast<std::uint64_t>(time.tv_nsec) / 100u;
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return result;
}

} // namespace

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
    const int fd = DescriptorOf(handle);
    struct stat info {};
    if (fd < 0) {
        return Fail(EBADF);
    }
    if (::fstat(fd, &info) != 0) {
        return Fail(errno);
    }
    if (creation != nullptr) {
        *creation = ToFileTime(info.st_ctim);
    }
    if (lastAccess != nullptr) {
        *lastAccess = ToFileTime(info.st_atim);
    }
    if (lastWrite != nullptr) {
        *lastWrite = ToFileTime(info.st_mtim);
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
    if (PlannedFailureDue(FileCall::GetSize)) {
        return INVALID_FILE_SIZE;
    }
    FileObject* file = AsFile(handle);
    if (file == nullptr) {
        Fail(EBADF);
        return INVALID_FILE_SIZE;
    }
    if ((file->access & GENERIC_WRITE) != 0 && !file->Flush()) {
        return INVALID_FILE_SIZE;
    }
    struct stat info {};
    if (::fstat(file->fd, &info) != 0) {
        Fail(errno);
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (sizeHigh != nullptr) {
        *sizeHigh = static_cast<DWORD>(size >> 32);
    }
    // A size whose low part is 0xFFFFFFFF must read as a success.
    lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return Fail(EBADF);
    }
    std::unique_ptr<KernelObject> object(handle);
    bool released = object->Release();
    if (PlannedFailureDue(FileCall::Close)) {
        return FALSE;
    }
    return released ? TRUE : FALSE;
}

HANDLE HandleFromDescriptor(int fd, DWORD access, Durability durability) {
    if (fd < 0 || (access & (GENERIC_READ | GENERIC_WRITE)) == 0) {
        Fail(EBADF);
        return nullptr;
    }
    auto* file = new (std::nothrow) FileObject;
    if (file == nullptr) {
        Fail(ENOMEM);
        return nullptr;
    }
    file->fd = fd;
    file->access = access;
    file->durability = durability;
    return file;
}

HANDLE GetStdHandle(DWORD which) {
    int fd = which == STD_INPUT_HANDLE    ? STDIN_FILENO
             : which == STD_OUTPUT_HANDLE ? STDOUT_FILENO
                                          : -1;
    if (fd < 0) {
        Fail(EINVAL);
        return nullptr;
    }
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) {
        Fail(errno);
        return nullptr;
    }
    HANDLE handle = HandleFromDescriptor(copy, fd == STDIN_FILENO ? GENERIC_READ : GENERIC_WRITE);
    if (handle == nullptr) {
        ::close(copy);
    }
    return handle;
}

HANDLE OpenStream(const char* name) {
    int fd = -1;
    do {
        fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        Fail(errno);
        return nullptr;
    }
    struct stat info {};
    int error = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    HANDLE handle = error == 0 ? HandleFromDescriptor(fd, GENERIC_READ) : nullptr;
    if (handle == nullptr) {
        ::close(fd);
        if (error != 0) {
            Fail(error);
        }
    }
    return handle;
}

int DescriptorOf(HANDLE handle) {
    FileObject* file = AsFile(handle);
    return file != nullptr ? file->fd : -1;
}

BOOL FlushFileBuffers(HANDLE handle) {
    FileObject* file = AsFile(handle);
    if (file == nullptr || (file->access & GENERIC_WRITE) == 0) {
        return Fail(EBADF);
    }
    return file->Flush() ? TRUE : FALSE;
}

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
    if (pattern == nullptr || *pattern == '\0') {
        Fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    std::string path(pattern);
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.empty()) {
        Fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    bool found = false;
    if (last.find_first_of("*?") == std::string::npos) {
        found = FillFindData(path, last, data);
    } else {
        DIR* dir = ::opendir(directory.c_str());
        if (dir != nullptr) {
            std::vector<std::string> matches;
            while (dirent* entry = ::readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
                    MatchesPattern(last.c_str(), entry->d_name)) {
                    matches.emplace_back(entry->d_name);
                }
            }
            ::closedir(dir);
            std::sort(matches.begin(), matches.end());
            found = !matches.empty() &&
                    FillFindData((slash == std::string::npos ? "" : directory) + matches.front(),
                                 matches.front(), data);
        }
    }
    if (!found) {
        Fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    return new FindObject;
}

BOOL FindClose(HANDLE find) {
    if (dynamic_cast<FindObject*>(find) == nullptr) {
        return Fail(EBADF);
    }
    delete find;
    return TRUE;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int StatPath(const char* path, struct stat* info, bool follow) {
    if ((follow ? ::stat(path, info) : ::lstat(path, info)) == 0) {
        return 0;
    }
    if (errno != ENAMETOOLONG) {
        return errno;
    }
    const std::string name = NameOf(path);
    if (name.empty()) {
        return ENAMETOOLONG;
    }
    const int folder = ::open(FolderOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return errno;
    }
    const int found = ::fstatat(folder, name.c_str(), info, follow ? 0 : AT_SYMLINK_NOFOLLOW);
    const int error = found == 0 ? 0 : errno;
    ::close(folder);
    return error;
}

bool FileExists(const char* path) {
    WIN32_FIND_DATA data;
    HANDLE find = FindFirstFile(path, &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

#ifdef VANTHE_TEST_SEAMS
void InjectFileFailure(FileCall call, DWORD error, unsigned skip) {
    detail::plannedFailures.Plan(call, error, skip);
}

void ClearFileFailures() {
    detail::plannedFailures.Clear();
}
#endif

} // namespace platform
