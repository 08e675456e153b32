#pragma once

// Files and the thread's last-error value, with the calling conventions the engine
// was written against: calls return a handle or TRUE, and on failure leave an error number in
// the thread's last-error value. Error numbers are the system's errno values.

#include "platform/base_types.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct stat;

namespace platform {

// Cast once here: the one handle value that means "no handle" for CreateFile and FindFirstFile.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
// The file was changed by someone else while this handle read it.
inline constexpr DWORD ERROR_FILE_INVALID = 1006;

DWORD GetLastError();
void SetLastError(DWORD error);
// The failure code of a call that has just failed, from the thread's last-error value.
HRESULT HResultFromLastError();

// Opening a file that this process holds open with a share mode that excludes the new access
// fails with ERROR_SHARING_VIOLATION before anything is created or truncated. Reading is only
// allowed from regular files: a directory, FIFO or device is refused at once.
HANDLE CreateFile(const char* name, DWORD access, DWORD shareMode, void* security,
                  DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Both are buffered on a thread of the file's own: a read fills the whole request unless the
// end of the file comes first, and written data reaches the file later, all of it by the time
// the handle is closed. A failed background read is returned once the data before it has been
// read; a failed background write by the next WriteFile, GetFileSize or CloseHandle. Either
// is returned again by every later call of its kind.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* bytesRead, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* bytesWritten, void* overlapped);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
// 100-nanosecond intervals since 1601, as the time of the file's last change.
struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};
// The file's times; the system keeps no creation time, so `creation` gets the last change of
// its attributes. Any pointer may be null.
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
// FALSE when buffered data could not be written; the handle is gone either way.
BOOL CloseHandle(HANDLE object);

// Whether a written file is synced when it is done. One that is has its data synced as it
// grows, beside the writing, so that the last sync waits only for the last part.
enum class Durability { Cached, SyncedAtEnd };
// Adopts an open descriptor as a file handle (closed with the handle); null on failure.
HANDLE HandleFromDescriptor(int fd, DWORD access, Durability durability = Durability::Cached);
// The descriptor behind a file handle, -1 for anything else.
int DescriptorOf(HANDLE file);
// Writes out what a handle has buffered; FALSE with the write's error number.
BOOL FlushFileBuffers(HANDLE file);

inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
// A handle of its own on standard input or output (any kind of file), to be closed after use.
HANDLE GetStdHandle(DWORD which);
// A pipe or device named by a path (a FIFO, a shell's <(...)), opened to be read as standard
// input is; the open of a FIFO waits for its writer. Null on failure, for a directory too.
HANDLE OpenStream(const char* name);

struct WIN32_FIND_DATA {
    DWORD dwFileAttributes = 0;
    std::uint64_t fileSize = 0;
    char cFileName[256] = {};
};
// Wildcards * and ? are understood in the last path component only; matches come in byte
// order of their names.
HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE find);

// True when the path, or the first match of its pattern, is an entry that is not a directory.
bool FileExists(const char* path);

// The folder a path names its last component in ("." for a bare name, "/" at the root), and
// that component.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// stat(2), or lstat(2) when not `follow`, also of a path longer than one system call takes
// (PATH_MAX) whose folder and name are not: results are made that way. 0, or an errno value.
int StatPath(const char* path, struct stat* info, bool follow);

} // namespace platform
