// Results that nobody can reach before they are published, and that leave nothing behind when
// the process is ended by a signal.

#include "platform/files/file_api.h"
#include "platform/files/file_faults.h"
#include "platform/files/safe_output.h"
#include "support/test_files.h"

#include <acl/libacl.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace platform;
using testing_support::Bytes;
using testing_support::FilesIn;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Every fsync of the process goes through here to the system's, which records whether it was
// a folder's and what the system answered: a sync that fails is a sync that did not happen.
struct SyncCall {
    bool folder = false;
    int result = 0;
};
std::mutex syncMutex;
std::vector<SyncCall> syncCalls;

// While set, the calls below answer as FAT or exFAT through FUSE do: no permissions, no rename
// that refuses to replace, no hard links. Otherwise they are the system's.
std::atomic<bool> likeFatThroughFuse{false};

template <typename Call>
Call System(const char* name) {
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fchmod(int fd, mode_t mode) noexcept {
    static const auto system = System<int (*)(int, mode_t)>("fchmod");
    if (likeFatThroughFuse) {
        errno = ENOSYS;
        return -1;
    }
    return system(fd, mode);
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned flags) noexcept {
    static const auto system =
        System<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    if (likeFatThroughFuse && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return system(fromFolder, from, toFolder, to, flags);
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to,
                      int flags) noexcept {
    static const auto system = System<int (*)(int, const char*, int, const char*, int)>("linkat");
    if (likeFatThroughFuse) {
        errno = EPERM;
        return -1;
    }
    return system(fromFolder, from, toFolder, to, flags);
}

extern "C" int fsync(int fd) {
    static const auto system = System<int (*)(int)>("fsync");
    const int result = system(fd);
    struct stat info {};
    const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    std::lock_guard lock(syncMutex);
    syncCalls.push_back({folder, result});
    return result;
}

namespace {

TEST(ResultFile, AResultAndItsFolderAreSyncedBeforeItCounts) {
    // A user may delete the source as soon as the result is reported done, so a new result
    // must last through a crash as a replacing one must.
    for (int run = 0; run < 4; ++run) {
        const bool named = (run & 1) != 0;
        const bool replacing = (run & 2) != 0;
        SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
        SCOPED_TRACE(replacing ? "replacing" : "new");
        ForceNamedTemporaryForTesting(named);
        TempDir dir;
        if (replacing) {
            WriteBytes(dir / "out", Bytes{'o', 'l', 'd'});
        }
        {
            std::lock_guard lock(syncMutex);
            syncCalls.clear();
        }
        ResultFile result;
        ASSERT_TRUE(result.Create((dir / "out").c_str(), nullptr, true));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(result.handle(), "new", 3, &written, nullptr));
        ASSERT_TRUE(result.Publish());
        ForceNamedTemporaryForTesting(false);
        EXPECT_EQ(ReadBytes(dir / "out"), (Bytes{'n', 'e', 'w'}));
        std::lock_guard lock(syncMutex);
        // The file's content first, then the folder's new entry.
        ASSERT_EQ(syncCalls.size(), 2u);
        EXPECT_FALSE(syncCalls[0].folder);
        EXPECT_EQ(syncCalls[0].result, 0);
        EXPECT_TRUE(syncCalls[1].folder);
        EXPECT_EQ(syncCalls[1].result, 0);
    }
}

// Sets or clears a folder's append-only flag; false where that is not allowed or not kept.
bool SetAppendOnly(const std::string& folder, bool on) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    bool set = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
    set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return set;
}

// In an append-only folder a name can be made but never moved or removed: a result that has to
// be renamed into place is refused before it is written, not left behind as a hidden copy.
TEST(ResultFile, AnAppendOnlyFolderKeepsNoHiddenCopies) {
    for (int run = 0; run < 4; ++run) {
        const bool named = (run & 1) != 0;
        const bool replacing = (run & 2) != 0;
        SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
        SCOPED_TRACE(replacing ? "replacing" : "new");
        TempDir dir;
        if (replacing) {
            WriteBytes(dir / "out", Bytes{'o', 'l', 'd'});
        }
        if (!SetAppendOnly(dir.path(), true)) {
            GTEST_SKIP() << "cannot make a folder append-only here";
        }
        ForceNamedTemporaryForTesting(named);
        ResultFile result;
        DWORD written = 0;
        const bool published = result.Create((dir / "out").c_str(), nullptr, true) &&
                               WriteFile(result.handle(), "new", 3, &written, nullptr) &&
                               result.Publish();
        result.Discard();
        ForceNamedTemporaryForTesting(false);
        // Only a new name for an unnamed result needs nothing moved.
        EXPECT_EQ(published, !named && !replacing);
        const Bytes old{'o', 'l', 'd'};
        const Bytes fresh{'n', 'e', 'w'};
        if (published || replacing) {
            EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"out"});
            EXPECT_EQ(ReadBytes(dir / "out"), published ? fresh : old);
        } else {
            EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{});
        }
        ASSERT_TRUE(SetAppendOnly(dir.path(), false));
    }
}

TEST(ResultFile, WithoutLinksOrPermissionsResultsStillTakeTheirNames) {
    TempDir dir;
    WriteBytes(dir / "old", Bytes{'o', 'l', 'd'});
    ForceNamedTemporaryForTesting(true); // no unnamed files there either
    likeFatThroughFuse = true;
    const auto write = [](ResultFile& result, const char* text) {
        DWORD written = 0;
        return WriteFile(result.handle(), text, 3, &written, nullptr) != FALSE;
    };
    ResultFile fresh;
    ResultFile late;
    ResultFile replacing;
    EXPECT_TRUE(fresh.Create((dir / "new").c_str(), nullptr, false) && write(fresh, "new") &&
                fresh.Publish());
    // A name that appears while the result is written is kept.
    EXPECT_TRUE(late.Create((dir / "late").c_str(), nullptr, false) && write(late, "own"));
    WriteBytes(dir / "late", Bytes{'t', 'h', 'e', 'i', 'r', 's'});
    EXPECT_FALSE(late.Publish());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EEXIST));
    EXPECT_TRUE(replacing.Create((dir / "old").c_str(), nullptr, true) && write(replacing, "now") &&
                replacing.Publish());
    likeFatThroughFuse = false;
    ForceNamedTemporaryForTesting(false);
    EXPECT_EQ(ReadBytes(dir / "new"), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(ReadBytes(dir / "late"), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
    EXPECT_EQ(ReadBytes(dir / "old"), (Bytes{'n', 'o', 'w'}));
    late.Discard();
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"late", "new", "old"}));
}

// Runs `body` in a child whose results have names until they end, as where the file system
// has no unnamed files, with the clean-up at a process's end in place; returns its wait status.
int StatusOfChildWithNamedResults(const std::function<void()>& body) {
    pid_t child = ::fork();
    if (child == 0) {
        ForceNamedTemporaryForTesting(true);
        CleanUpResultsOnFatalSignals(nullptr);
        body();
        ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return status;
}

TEST(ResultFile, SignalsThatEndTheProcessLeaveNoTemporaryName) {
    for (int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGABRT}) {
        TempDir dir;
        WriteBytes(dir / "out", Bytes{'o', 'l', 'd'});
        const int status = StatusOfChildWithNamedResults([&] {
            ResultFile result;
            if (!result.Create((dir / "out").c_str(), nullptr, true)) {
                ::_exit(3);
            }
            DWORD written = 0;
            const char data[] = "new content";
            WriteFile(result.handle(), data, sizeof data, &written, nullptr);
            FlushFileBuffers(result.handle());
            if (FilesIn(dir.path()).size() != 2) {
                ::_exit(4); // the temporary name should exist now
            }
            ::raise(signal);
            ::_exit(5);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal << ", exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"out"}) << "signal " << signal;
        EXPECT_EQ(ReadBytes(dir / "out"), (Bytes{'o', 'l', 'd'}));
    }
}

TEST(ResultFile, ASignalRemovesEveryTemporaryNameHoweverManyJobsRun) {
    // vanthe-cli -j 150 onto a FAT stick: every job's result has a name until it ends.
    TempDir dir;
    const int status = StatusOfChildWithNamedResults([&] {
        std::vector<std::unique_ptr<ResultFile>> results;
        for (int i = 0; i < 150; ++i) {
            results.push_back(std::make_unique<ResultFile>());
            if (!results.back()->Create((dir / ("out" + std::to_string(i))).c_str(), nullptr,
                                        false)) {
                ::_exit(3);
            }
        }
        if (FilesIn(dir.path()).size() != 150) {
            ::_exit(4);
        }
        ::raise(SIGTERM);
        ::_exit(5);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{});
}

TEST(ResultFile, AnExitFromAnywhereLeavesNoTemporaryName) {
    // As when a library that lost the display's connection ends the process mid-job.
    TempDir dir;
    const int status = StatusOfChildWithNamedResults([&] {
        // As on a worker's stack, which exit() does not unwind: never destroyed.
        static ResultFile* const result = new ResultFile;
        if (!result->Create((dir / "out").c_str(), nullptr, false) ||
            FilesIn(dir.path()).size() != 1) {
            ::_exit(3);
        }
        std::exit(1);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{});
}

TEST(ResultFile, UnnamedResultsAreInvisibleUntilPublished) {
    TempDir dir;
    ResultFile result;
    ASSERT_TRUE(result.Create((dir / "out").c_str(), nullptr, false));
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{});
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(result.handle(), "abc", 3, &written, nullptr));
    ASSERT_TRUE(result.Publish());
    EXPECT_EQ(ReadBytes(dir / "out"), (Bytes{'a', 'b', 'c'}));
}

TEST(ResultFile, ClosedStandardDescriptorsAreNotHandedToResults) {
    // As `vanthe-cli ... 2>&- >&-` starts: a result opened next must not get number 1 or 2,
    // and writing to them must still fail, as it did while they were closed.
    TempDir dir;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
        if (!OccupyClosedStandardDescriptors()) {
            ::_exit(3);
        }
        ResultFile result;
        if (!result.Create((dir / "out").c_str(), nullptr, false)) {
            ::_exit(4);
        }
        const char message[] = "a message meant for standard error\n";
        bool quiet = ::write(STDERR_FILENO, message, sizeof message - 1) < 0 && errno == EBADF &&
                     ::write(STDOUT_FILENO, message, sizeof message - 1) < 0 && errno == EBADF;
        DWORD written = 0;
        if (!WriteFile(result.handle(), "data", 4, &written, nullptr) || !result.Publish()) {
            ::_exit(5);
        }
        ::_exit(quiet ? 0 : 6);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(dir / "out"), (Bytes{'d', 'a', 't', 'a'}));
}

// Publishes "data" for dir/out made from dir/source, and gives its permission bits.
mode_t PublishedBits(const TempDir& dir, bool replace) {
    const int fd = ::open((dir / "source").c_str(), O_RDONLY | O_CLOEXEC);
    HANDLE source = HandleFromDescriptor(fd, GENERIC_READ);
    ResultFile result;
    DWORD written = 0;
    const bool ok = result.Create((dir / "out").c_str(), source, replace) &&
                    WriteFile(result.handle(), "data", 4, &written, nullptr) && result.Publish();
    CloseHandle(source);
    struct stat info {};
    return ok && ::stat((dir / "out").c_str(), &info) == 0 ? info.st_mode & 07777 : 01000;
}

TEST(ResultFile, NobodyMayReadTheResultWhoCouldNotReadTheSourceOrTheReplacedFile) {
    const mode_t mask = ::umask(022);
    TempDir dir;
    WriteBytes(dir / "source", Bytes{'s'});
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0644), 0);
    EXPECT_EQ(PublishedBits(dir, false), 0644u);

    // A private file replaced by a result of a public source stays private; a public one
    // replaced by that of a private source becomes private.
    ASSERT_EQ(::chmod((dir / "out").c_str(), 0600), 0);
    EXPECT_EQ(PublishedBits(dir, true), 0600u);
    ASSERT_EQ(::chmod((dir / "out").c_str(), 0644), 0);
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0640), 0);
    EXPECT_EQ(PublishedBits(dir, true), 0640u);
    ASSERT_EQ(::unlink((dir / "out").c_str()), 0);

    // An access list that lets one other user read the source: its group bits are the list's
    // mask, while its group may read nothing.
    acl_t list = ::acl_from_text("u::rw-,g::---,u:65534:r--,m::r--,o::---");
    ASSERT_NE(list, nullptr);
    const bool listed = ::acl_set_file((dir / "source").c_str(), ACL_TYPE_ACCESS, list) == 0;
    ::acl_free(list);
    if (listed) {
        EXPECT_EQ(PublishedBits(dir, false), 0600u);
        ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
    }
    // Without the list the group's bits are passed on.
    ASSERT_EQ(::unlink((dir / "source").c_str()), 0);
    WriteBytes(dir / "source", Bytes{'s'});
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0640), 0);
    EXPECT_EQ(PublishedBits(dir, false), 0640u);
    ASSERT_EQ(::unlink((dir / "out").c_str()), 0);

    // A source of another group: that group's bits are no business of the result's group,
    // whose members get what everyone else may do, never less.
    if (::chown((dir / "source").c_str(), static_cast<uid_t>(-1), 65534) == 0 &&
        ::getegid() != 65534) {
        EXPECT_EQ(PublishedBits(dir, false), 0600u);
        ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
        ASSERT_EQ(::chmod((dir / "source").c_str(), 0664), 0);
        EXPECT_EQ(PublishedBits(dir, false), 0644u);
        ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
        ASSERT_EQ(::chmod((dir / "source").c_str(), 0604), 0);
        EXPECT_EQ(PublishedBits(dir, false), 0604u);
    }
    ::umask(mask);
}

// Sets an access list given in text form (a folder's default one with ACL_TYPE_DEFAULT); false
// where the file system keeps none.
bool SetAccessList(const std::string& path, const char* text, acl_type_t type = ACL_TYPE_ACCESS) {
    acl_t list = ::acl_from_text(text);
    const bool set = list != nullptr && ::acl_set_file(path.c_str(), type, list) == 0;
    ::acl_free(list);
    return set;
}

// A folder's default access list decides what files made in it may be, whatever the umask,
// as it does for cp or an editor: a result there is no more open than the list lets it be.
TEST(ResultFile, AFoldersDefaultAccessListHoldsForResultsMadeInIt) {
    const mode_t mask = ::umask(022);
    TempDir dir;
    WriteBytes(dir / "source", Bytes{'s'});
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0644), 0);
    if (!SetAccessList(dir.path(), "u::rw-,g::---,o::---", ACL_TYPE_DEFAULT)) {
        ::umask(mask);
        GTEST_SKIP() << "the file system keeps no access lists";
    }
    EXPECT_EQ(PublishedBits(dir, false), 0600u);
    ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
    // A list that lets the group read: there the umask, which would shut the group out, counts
    // for nothing.
    ::umask(077);
    ASSERT_TRUE(SetAccessList(dir.path(), "u::rwx,g::r-x,o::---", ACL_TYPE_DEFAULT));
    EXPECT_EQ(PublishedBits(dir, false), 0640u);
    ::umask(mask);
}

TEST(ResultFile, AUserOrGroupAFoldersDefaultListNamesGetsNoMoreThanTheSourceGave) {
    // A shared folder that lets one other user and one other group in to every file made there;
    // the source is the owner's and its group's alone.
    const mode_t mask = ::umask(022);
    TempDir dir;
    WriteBytes(dir / "source", Bytes{'s'});
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0640), 0);
    const bool set = SetAccessList(
        dir.path(), "u::rwx,u:65534:rwx,g::rwx,g:65534:rwx,m::rwx,o::---", ACL_TYPE_DEFAULT);
    ::umask(mask);
    if (!set) {
        GTEST_SKIP() << "the file system keeps no access lists";
    }
    EXPECT_EQ(PublishedBits(dir, false), 0640u);
    EXPECT_EQ(::acl_extended_file((dir / "out").c_str()), 0);

    // A list that lets one user read and shuts the file's group out: the mask it needs for that
    // user lets no one else in.
    ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0644), 0);
    ASSERT_TRUE(
        SetAccessList(dir.path(), "u::rwx,u:65534:r--,g::---,m::r--,o::---", ACL_TYPE_DEFAULT));
    EXPECT_EQ(PublishedBits(dir, false), 0600u);
    EXPECT_EQ(::acl_extended_file((dir / "out").c_str()), 0);
}

TEST(ResultFile, AUserOrGroupTheSourceShutsOutStaysShutOut) {
    const mode_t mask = ::umask(022);
    TempDir dir;
    WriteBytes(dir / "source", Bytes{'s'});
    // Readable by everyone but one user, and everyone but one group; a result without the list
    // would let them in as others.
    for (const char* list :
         {"u::rw-,u:65534:---,g::r--,m::r--,o::r--", "u::rw-,g::r--,g:65534:---,m::r--,o::r--"}) {
        if (!SetAccessList(dir / "source", list)) {
            GTEST_SKIP() << "the file system keeps no access lists";
        }
        EXPECT_EQ(PublishedBits(dir, false), 0600u) << list;
        ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
    }
    // One that may only read keeps the group and others to reading.
    ::umask(0);
    ASSERT_TRUE(SetAccessList(dir / "source", "u::rw-,u:65534:r--,g::rw-,m::rw-,o::rw-"));
    EXPECT_EQ(PublishedBits(dir, false), 0644u);
    ASSERT_EQ(::unlink((dir / "out").c_str()), 0);
    ::umask(022);

    // A replaced file that shut one user out keeps them out, although the source did not.
    ASSERT_TRUE(SetAccessList(dir / "source", "u::rw-,g::r--,o::r--"));
    WriteBytes(dir / "out", Bytes{'o'});
    ASSERT_TRUE(SetAccessList(dir / "out", "u::rw-,u:65534:---,g::r--,m::r--,o::r--"));
    EXPECT_EQ(PublishedBits(dir, true), 0600u);
    ::umask(mask);
}

TEST(ResultFile, WithoutProcMountedResultsTakeTheirNamesAndKeepReplacedFilesClosed) {
    // As in a bare chroot or sandbox: /proc is an empty folder.
    TempDir dir;
    WriteBytes(dir / "source", Bytes{'s'});
    ASSERT_EQ(::chmod((dir / "source").c_str(), 0644), 0);
    WriteBytes(dir / "kept", Bytes{'k'});
    const bool listed = SetAccessList(dir / "kept", "u::rw-,u:65534:---,g::r--,m::r--,o::r--");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0) {
            ::_exit(77);
        }
        const int umask = 022;
        ::umask(umask);
        int failed = 0;
        for (const char* name : {"new", "kept"}) {
            ResultFile result;
            HANDLE source = HandleFromDescriptor(
                ::open((dir / "source").c_str(), O_RDONLY | O_CLOEXEC), GENERIC_READ);
            DWORD written = 0;
            if (!result.Create((dir / name).c_str(), source, true) ||
                !WriteFile(result.handle(), "data", 4, &written, nullptr) || !result.Publish()) {
                failed = 1;
            }
            CloseHandle(source);
        }
        ::_exit(failed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "cannot mount a file system over /proc here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const char* name : {"new", "kept"}) {
        EXPECT_EQ(ReadBytes(dir / name), (Bytes{'d', 'a', 't', 'a'})) << name;
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"kept", "new", "source"}));
    struct stat kept {};
    ASSERT_EQ(::stat((dir / "kept").c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 0777, listed ? 0600u : 0644u);
}

TEST(ResultFile, DestinationStateLooksAtTheNameItself) {
    TempDir dir;
    WriteBytes(dir / "file", Bytes{'x'});
    ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::link((dir / "file").c_str(), (dir / "hard").c_str()), 0);
    EXPECT_EQ(DestinationState((dir / "none").c_str(), nullptr), Existing::Nothing);
    EXPECT_EQ(DestinationState((dir / "file").c_str(), nullptr), Existing::RegularFile);
    EXPECT_EQ(DestinationState((dir / "link").c_str(), nullptr), Existing::NotRegular);
    EXPECT_EQ(DestinationState((dir / "hard").c_str(), (dir / "file").c_str()), Existing::Source);
    EXPECT_EQ(DestinationState(dir.path().c_str(), nullptr), Existing::NotRegular);
}

} // namespace
