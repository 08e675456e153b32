#pragma once

// One safe way to write a result. The result is a new file in the destination's folder that
// nobody else can reach by name while it is written (an unnamed O_TMPFILE where the file system
// has it, else an exclusive, no-follow temporary name with mode 0600). It is written through
// its own descriptor and takes the destination's name in one step, only when published; a
// result that is never published leaves nothing behind.

#include "platform/files/file_api.h"

#include <string>

namespace platform {

// A destination that is no regular file: the Windows number, which no errno value reaches.
inline constexpr DWORD ERROR_CANT_ACCESS_FILE = 1920;

class ResultFile {
public:
    ResultFile() = default;
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    // Starts a result for `destination`. Fails, with the last-error value set, when the
    // destination exists and is not a regular file (ERROR_CANT_ACCESS_FILE), is the open
    // `source` itself (ERROR_SHARING_VIOLATION), exists while `replace` is false (EEXIST), or
    // when its folder takes no new file. `source` may be null; the result gets its permission
    // bits, limited by the umask (0666 less the umask without a source or from a pipe or
    // device), without the group's when the result's group is another or the source's access
    // list denies them to its group.
    bool Create(const char* destination, HANDLE source, bool replace);
    // Written through this handle with WriteFile; owned by the result.
    HANDLE handle() const { return handle_; }
    // Writes out what is buffered, gives the result its permissions and its name. A result that
    // replaces a file keeps no permission bit the file lacked. The result is synced before it
    // takes the name and its folder after, so a crash can leave neither an empty file under the
    // name nor the name missing once Publish has returned.
    // Without `replace`, a destination that appeared meanwhile is kept (EEXIST).
    bool Publish();
    // After a failed Publish: true when putting the bytes on disk failed, which some file
    // systems report only then, rather than giving the result its name.
    bool FailedWriting() const { return failedWriting_; }
    // After a failed Create: true when the destination exists and can never take the result's
    // place (it is immutable or append-only, or its folder is append-only).
    bool NameRefused() const { return nameRefused_; }
    // Drops an unpublished result. Also done by the destructor.
    void Discard();

private:
    bool Fail(int error);

    HANDLE handle_ = nullptr;
    int fd_ = -1;
    int folder_ = -1;
    int slot_ = -1;
    bool replace_ = false;
    bool failedWriting_ = false;
    bool nameRefused_ = false;
    unsigned permissions_ = 0600;
    unsigned group_ = 0;     // the group the result was made with
    std::string folderPath_; // the destination's folder as it was named
    std::string name_;       // the destination's last component
    std::string temporary_;  // empty for an unnamed result
};

// What stands at a destination's name, as a result for it would find it.
enum class Existing { Nothing, RegularFile, Source, NotRegular };
// `source` may be null. The name itself is looked at: a symlink is NotRegular.
Existing DestinationState(const char* destination, const char* source);

// Whether an existing regular file at `destination` may not be replaced even when asked to (it
// or its folder is immutable or append-only, or it is another user's in a sticky folder), as
// ResultFile::Create finds before any work.
bool ReplacementRefused(const char* destination);

// Unlinks the temporary names of results not yet published, for a process that is ending: a
// thread about to make or move such a name waits for its end instead. Safe in a signal handler.
void RemoveUnpublishedResults();

// Makes the signals that end a process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1,
// SIGUSR2, SIGALRM, SIGABRT) first remove unpublished results and call `also` (which must be safe
// in a signal handler; may be null), then end the process as the signal would have; exit() removes
// them too; a signal the caller set to be ignored is left so. SIGXFSZ is ignored, so a write
// past the file-size limit fails with EFBIG like any failed write.
void CleanUpResultsOnFatalSignals(void (*also)());

// A standard descriptor the process was started without (2>&- in a script or a service) is
// the number the next file opened gets, and messages written to it would land inside a result.
// Each closed one is taken by /dev/null, opened the other way round so that using it still
// fails as it did. False when one cannot be taken.
bool OccupyClosedStandardDescriptors();

} // namespace platform
