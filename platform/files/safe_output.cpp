#include "platform/files/safe_output.h"

#include "platform/files/file_faults.h"

#include <acl/libacl.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <new>
#include <random>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace platform {

namespace {

// Named temporary results, for RemoveUnpublishedResults: a signal handler may neither allocate
// nor lock, so the table grows by blocks that are never freed, and a handler only reads it.
constexpr int kSlots = 64;
constexpr std::size_t kNameSize = 32;
struct Slot {
    std::atomic<bool> used{false};
    std::atomic<int> folder{-1};
    char name[kNameSize] = {};
};
struct SlotBlock {
    Slot slots[kSlots];
    std::atomic<SlotBlock*> next{nullptr};
};
SlotBlock firstBlock;

// Index `slot` counts through the blocks in order. -1 when no memory is left for a block.
int TakeSlot(int folder, const std::string& name) {
    int index = 0;
    for (SlotBlock* block = &firstBlock; block != nullptr; index += kSlots) {
        for (int i = 0; i < kSlots; ++i) {
            bool expected = false;
            if (block->slots[i].used.compare_exchange_strong(expected, true)) {
                std::snprintf(block->slots[i].name, kNameSize, "%s", name.c_str());
                block->slots[i].folder.store(folder);
                return index + i;
            }
        }
        SlotBlock* next = block->next.load();
        if (next == nullptr) {
            auto* grown = new (std::nothrow) SlotBlock;
            if (grown == nullptr) {
                return -1;
            }
            if (block->next.compare_exchange_strong(next, grown)) {
                next = grown;
            } else {
                delete grown; // another thread grew it first; `next` is its block
            }
        }
        block = next;
    }
    return -1;
}

void ReleaseSlot(int slot) {
    if (slot < 0) {
        return;
    }
    SlotBlock* block = &firstBlock;
    for (int skip = slot / kSlots; skip > 0; --skip) {
        block = block->next.load();
    }
    block->slots[slot % kSlots].folder.store(-1);
    block->slots[slot % kSlots].used.store(false);
}

// A thread that makes or moves a name holds every signal meanwhile, but another thread of the
// process may take one then, and end it: the handler waits for such calls to finish before it
// reads the table, and once the process is ending no more of them begin.
std::atomic<int> namesInMotion{0};
std::atomic<bool> processEnding{false};

// Blocks every signal for the few calls that must not be cut in half, and counts the thread as
// one that makes or moves a name.
class NameInMotion {
public:
    NameInMotion() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous_);
        ++namesInMotion;
        if (processEnding.load()) {
            // The process ends in a moment; nothing this thread would name may be left. The
            // count is given back once: the handler waits for it to reach zero.
            --namesInMotion;
            for (;;) {
                const timespec pause{0, 1000000};
                ::nanosleep(&pause, nullptr);
            }
        }
    }
    ~NameInMotion() {
        --namesInMotion;
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    NameInMotion(const NameInMotion&) = delete;
    NameInMotion& operator=(const NameInMotion&) = delete;

private:
    sigset_t previous_;
};

// Short and of fixed length, so any destination name that fits the folder fits here too.
std::string TemporaryName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name = ".vanthe-";
    for (int i = 0; i < 8; ++i) {
        name += kLetters[random() % (sizeof kLetters - 1)];
    }
    return name;
}

// The umask, read once: reading it means setting it for a moment, which results made on
// several threads at once must never see.
mode_t ProcessUmask() {
    static const mode_t mask = [] {
        mode_t current = ::umask(0);
        ::umask(current);
        return current;
    }();
    return mask;
}

// An unnamed result takes its name, and a replaced file's access list is read, through the
// process's descriptors in /proc, which a bare chroot or sandbox may not have mounted.
bool HaveDescriptorPaths() {
    return ::access("/proc/self/fd", X_OK) == 0;
}

// How a file system says it does not do something at all: FAT and exFAT through FUSE answer a
// change of permissions, or a hard link, in these ways.
bool NotDoneHere(int error) {
    return error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

// Makes a rename in the folder last through a crash. The folder is held as a path only, which
// cannot be synced, so it is opened for reading here; a folder the user may write to but not
// read cannot be synced at all.
void SyncFolder(int folder) {
    int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable >= 0) {
        ::fsync(readable);
        ::close(readable);
    }
}

// The permission bits of an access list entry, in the "other" position.
mode_t EntryBits(acl_entry_t entry) {
    acl_permset_t permissions;
    if (acl_get_permset(entry, &permissions) != 0) {
        return 0;
    }
    return (acl_get_perm(permissions, ACL_READ) == 1 ? S_IROTH : 0) |
           (acl_get_perm(permissions, ACL_WRITE) == 1 ? S_IWOTH : 0) |
           (acl_get_perm(permissions, ACL_EXECUTE) == 1 ? S_IXOTH : 0);
}

// What a file's permission bits let each class of user do, as a result owned by the caller in
// group `group` may pass on. With an access control list the group bits are its mask, and the
// file's group may do less; the result's group, where it is not the file's, gets no more than
// others do, as its members had no more unless they were in the file's group. A user or group the
// list names falls into the result's group or others, which then get no more than the list
// let that one do, so an entry that shuts someone out keeps them out. A file system without
// lists gives the plain bits.
mode_t PassedOnBits(const struct stat& info, acl_t acl, gid_t group) {
    mode_t bits = info.st_mode & 0777;
    const mode_t mask = (info.st_mode & S_IRWXG) >> 3;
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl != nullptr && acl_get_entry(acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(entry, &tag) != 0) {
            continue;
        }
        if (tag == ACL_GROUP_OBJ) {
            bits &= ~(S_IRWXG & ~(EntryBits(entry) << 3));
        } else if (tag == ACL_USER || tag == ACL_GROUP) {
            const mode_t may = EntryBits(entry) & mask;
            bits &= S_IRWXU | (may << 3) | may;
        }
    }
    if (info.st_gid != group) {
        bits &= ~S_IRWXG | ((bits & S_IRWXO) << 3);
    }
    return bits;
}

// An access list as libacl hands it out, freed with it; null where a file has none to read.
struct AccessListFree {
    void operator()(acl_t list) const { ::acl_free(list); }
};
using AccessList = std::unique_ptr<std::remove_pointer_t<acl_t>, AccessListFree>;

// In an append-only folder names can be made but never moved or removed: a result that must
// take its name by renaming would stay behind under its temporary name, a hidden copy of the
// data. A folder that cannot be read for its flags is taken as it looks.
bool AppendOnly(int folder) {
    const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) {
        return false;
    }
    int flags = 0;
    const bool appendOnly =
        ::ioctl(readable, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
    ::close(readable);
    return appendOnly;
}

// An immutable or append-only file can be neither replaced nor removed.
bool Unreplaceable(int folder, const std::string& name) {
    struct statx info {};
    if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) != 0) {
        return false;
    }
    const std::uint64_t fixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    return (info.stx_attributes & info.stx_attributes_mask & fixed) != 0;
}

// In a sticky folder (/tmp) only the file's owner, the folder's or root may replace its name.
bool AnotherUsersInStickyFolder(int folder, const struct stat& existing) {
    struct stat folderInfo {};
    const uid_t user = ::geteuid();
    return user != 0 && ::fstat(folder, &folderInfo) == 0 && (folderInfo.st_mode & S_ISVTX) != 0 &&
           existing.st_uid != user && folderInfo.st_uid != user;
}

// Whether the existing file `name` keeps its name whatever this process does.
bool KeepsItsName(int folder, const std::string& name, const struct stat& existing) {
    return Unreplaceable(folder, name) || AppendOnly(folder) ||
           AnotherUsersInStickyFolder(folder, existing);
}

// The permission bits a new file in the folder may have. A folder with a default access list
// decides them for every file made in it, and the umask then counts for nothing: the list's
// owner and other entries, and its group entry within its mask. The group bits are the file's
// group's own, since the result keeps none of the users and groups the list names.
mode_t NewFileBits(int folder, const std::string& folderPath) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", folder);
    const AccessList list(
        ::acl_get_file(HaveDescriptorPaths() ? path : folderPath.c_str(), ACL_TYPE_DEFAULT));
    mode_t owner = 0;
    mode_t group = 0;
    mode_t mask = 0777;
    mode_t others = 0;
    bool any = false;
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; list && acl_get_entry(list.get(), which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(entry, &tag) != 0) {
            continue;
        }
        any = true;
        if (tag == ACL_USER_OBJ) {
            owner = EntryBits(entry) << 6;
        } else if (tag == ACL_MASK) {
            mask = EntryBits(entry) << 3;
        } else if (tag == ACL_GROUP_OBJ) {
            group = EntryBits(entry) << 3;
        } else if (tag == ACL_OTHER) {
            others = EntryBits(entry);
        }
    }
    return any ? owner | (group & mask) | others : 0777 & ~ProcessUmask();
}

#ifdef VANTHE_TEST_SEAMS
bool forceNamedTemporary = false;
void (*afterTemporaryCreated)(const char* folder, const char* name) = nullptr;
#else
constexpr bool forceNamedTemporary = false;
constexpr void (*afterTemporaryCreated)(const char* folder, const char* name) = nullptr;
#endif

} // namespace

#ifdef VANTHE_TEST_SEAMS
void ForceNamedTemporaryForTesting(bool force) {
    forceNamedTemporary = force;
}

void SetTemporaryCreatedHookForTesting(void (*hook)(const char* folder, const char* name)) {
    afterTemporaryCreated = hook;
}
#endif

ResultFile::~ResultFile() {
    Discard();
}

bool ResultFile::Fail(int error) {
    SetLastError(static_cast<DWORD>(error));
    return false;
}

bool ResultFile::Create(const char* destination, HANDLE source, bool replace) {
    Discard();
    failedWriting_ = false;
    nameRefused_ = false;
    if (detail::PlannedFailureDue(FileCall::Create)) {
        return false;
    }
    if (destination == nullptr || *destination == '\0') {
        return Fail(ENOENT);
    }
    const std::string path(destination);
    name_ = NameOf(path);
    if (name_.empty() || name_ == "." || name_ == "..") {
        return Fail(EISDIR);
    }
    replace_ = replace;
    folderPath_ = FolderOf(path);
    folder_ = ::open(folderPath_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) {
        return Fail(errno);
    }

    struct stat sourceInfo {};
    const int sourceFd = source != nullptr ? DescriptorOf(source) : -1;
    bool haveSource = sourceFd >= 0 && ::fstat(sourceFd, &sourceInfo) == 0;

    struct stat existing {};
    if (::fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (haveSource && existing.st_dev == sourceInfo.st_dev &&
            existing.st_ino == sourceInfo.st_ino) {
            return Fail(static_cast<int>(ERROR_SHARING_VIOLATION));
        }
        if (!S_ISREG(existing.st_mode)) {
            return Fail(static_cast<int>(ERROR_CANT_ACCESS_FILE));
        }
        if (!replace_) {
            return Fail(EEXIST);
        }
        // Said now, rather than once the whole job has been done for nothing.
        if (KeepsItsName(folder_, name_, existing)) {
            nameRefused_ = true;
            return Fail(EPERM);
        }
    } else if (errno != ENOENT) {
        return Fail(errno);
    }

    if (!forceNamedTemporary && HaveDescriptorPaths()) {
        fd_ = ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    }
    if (fd_ < 0 && AppendOnly(folder_)) {
        return Fail(EPERM);
    }
    if (fd_ < 0) {
        // The file system has no unnamed files: a new name that nothing else can be behind.
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            std::string name = TemporaryName();
            NameInMotion held;
            fd_ = ::openat(folder_, name.c_str(),
                           O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
            if (fd_ >= 0) {
                temporary_ = name;
                slot_ = TakeSlot(folder_, name);
            } else if (errno != EEXIST) {
                return Fail(errno);
            }
        }
        if (fd_ < 0) {
            return Fail(EEXIST);
        }
        if (afterTemporaryCreated != nullptr) {
            afterTemporaryCreated(folderPath_.c_str(), temporary_.c_str());
        }
    }
    // The result gives nobody more than the source does: the group it is made with (the
    // caller's, or a set-group-ID folder's) may not be the source's. A pipe's or device's own
    // bits say nothing of what it carries, so a result read from one is made as the shell's `>`
    // makes a file.
    struct stat made {};
    if (::fstat(fd_, &made) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        Discard();
        return Fail(error);
    }
    group_ = made.st_gid;
    permissions_ = (haveSource && S_ISREG(sourceInfo.st_mode)
                        ? PassedOnBits(sourceInfo, AccessList(::acl_get_fd(sourceFd)).get(), group_)
                        : 0666) &
                   NewFileBits(folder_, folderPath_);
    handle_ = HandleFromDescriptor(fd_, GENERIC_WRITE, Durability::SyncedAtEnd);
    if (handle_ == nullptr) {
        int error = static_cast<int>(GetLastError());
        ::close(fd_);
        fd_ = -1;
        Discard();
        return Fail(error);
    }
    return true;
}

bool ResultFile::Publish() {
    if (handle_ == nullptr) {
        return Fail(EBADF);
    }
    if (!FlushFileBuffers(handle_)) {
        return false;
    }
    if (detail::PlannedFailureDue(FileCall::Publish)) {
        return false;
    }
    struct stat existing {};
    bool replacing = ::fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    mode_t permissions = permissions_;
    if (replacing) {
        // Not a regular file first: no answer would have it replaced.
        if (!S_ISREG(existing.st_mode)) {
            return Fail(static_cast<int>(ERROR_CANT_ACCESS_FILE));
        }
        if (!replace_) {
            return Fail(EEXIST);
        }
        // Replacing a file never opens it to more people than it was open to.
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d/", folder_);
        const std::string named = HaveDescriptorPaths() ? path + name_ : folderPath_ + "/" + name_;
        const AccessList list(::acl_get_file(named.c_str(), ACL_TYPE_ACCESS));
        permissions &= PassedOnBits(existing, list.get(), group_);
    }
    // Where the file system keeps no permissions of ours, the result has those it gives every
    // file there, as the source on it has.
    if (::fchmod(fd_, permissions) != 0 && !NotDoneHere(errno)) {
        return Fail(errno);
    }
    // A folder's default access list may name users and groups, whom the result would then let
    // in through its group bits: the result keeps its bits and no names.
    if (::acl_extended_fd(fd_) == 1) {
        const AccessList bitsAlone(::acl_from_mode(permissions));
        if (!bitsAlone || ::acl_set_fd(fd_, bitsAlone.get()) != 0) {
            return Fail(errno);
        }
    }
    // The result is on disk before it takes the name: a crash must leave neither an empty file
    // in place of a replaced one nor an empty new one, after which a user who deleted the
    // source trusting the result would have lost both.
    const bool planned = detail::PlannedFailureDue(FileCall::Sync);
    if (planned || ::fsync(fd_) != 0) {
        // A file system over the network may tell only now that the bytes could not be
        // written (a full one reports EIO): a write failure, not one of naming.
        failedWriting_ = true;
        return planned ? false : Fail(errno);
    }

    {
        NameInMotion held;
        if (temporary_.empty()) {
            // An unnamed file gets a name by linking its descriptor; a link never replaces.
            char self[64];
            std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
            if (!replacing) {
                if (::linkat(AT_FDCWD, self, folder_, name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                    return Fail(errno);
                }
            } else {
                // The name it has for a moment, on its way to replacing the destination, is in the
                // table too: a signal that another thread takes meanwhile removes it.
                std::string name;
                int linked = -1;
                int slot = -1;
                for (int attempt = 0; attempt < 100 && linked != 0; ++attempt) {
                    name = TemporaryName();
                    slot = TakeSlot(folder_, name);
                    linked = ::linkat(AT_FDCWD, self, folder_, name.c_str(), AT_SYMLINK_FOLLOW);
                    if (linked != 0) {
                        const int error = errno;
                        ReleaseSlot(slot);
                        if (error != EEXIST) {
                            return Fail(error);
                        }
                    }
                }
                if (linked != 0) {
                    return Fail(EEXIST);
                }
                const int renamed = ::renameat(folder_, name.c_str(), folder_, name_.c_str());
                const int error = errno;
                if (renamed != 0) {
                    ::unlinkat(folder_, name.c_str(), 0);
                }
                ReleaseSlot(slot);
                if (renamed != 0) {
                    return Fail(error);
                }
            }
        } else {
            // The name must still be ours: a link planted in its place is not published.
            struct stat named {};
            struct stat opened {};
            if (::fstatat(folder_, temporary_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                ::fstat(fd_, &opened) != 0 || named.st_dev != opened.st_dev ||
                named.st_ino != opened.st_ino) {
                return Fail(ESTALE);
            }
            int renamed = ::renameat2(folder_, temporary_.c_str(), folder_, name_.c_str(),
                                      replacing ? 0 : RENAME_NOREPLACE);
            if (renamed != 0 && !replacing && (errno == EINVAL || errno == ENOSYS)) {
                // The file system cannot refuse atomically; a hard link can.
                renamed = ::linkat(folder_, temporary_.c_str(), folder_, name_.c_str(), 0);
                if (renamed == 0) {
                    ::unlinkat(folder_, temporary_.c_str(), 0);
                } else if (NotDoneHere(errno)) {
                    // Nor has it hard links: the name is looked at just before the rename, the
                    // closest to refusing that such a file system allows.
                    struct stat taken {};
                    if (::fstatat(folder_, name_.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
                        errno = EEXIST;
                    } else if (errno == ENOENT) {
                        renamed = ::renameat(folder_, temporary_.c_str(), folder_, name_.c_str());
                    }
                }
            }
            if (renamed != 0) {
                return Fail(errno);
            }
            temporary_.clear();
            ReleaseSlot(slot_);
            slot_ = -1;
        }
    }
    SyncFolder(folder_);
    HANDLE handle = handle_;
    handle_ = nullptr;
    fd_ = -1;
    bool closed = CloseHandle(handle) != FALSE;
    ::close(folder_);
    folder_ = -1;
    return closed;
}

void ResultFile::Discard() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
        handle_ = nullptr;
        fd_ = -1;
    }
    if (!temporary_.empty() && folder_ >= 0) {
        ::unlinkat(folder_, temporary_.c_str(), 0);
        temporary_.clear();
    }
    ReleaseSlot(slot_);
    slot_ = -1;
    if (folder_ >= 0) {
        ::close(folder_);
        folder_ = -1;
    }
}

namespace {

void (*alsoOnSignal)() = nullptr;

extern "C" void OnFatalSignal(int signal) {
    RemoveUnpublishedResults();
    if (alsoOnSignal != nullptr) {
        alsoOnSignal();
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void CleanUpResultsOnFatalSignals(void (*also)()) {
    alsoOnSignal = also;
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    // The display's connection breaking (a session that ends, a display server that dies) ends
    // the process through exit() or abort(), from whichever library noticed it.
    std::atexit(RemoveUnpublishedResults);
    for (int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGABRT}) {
        // A signal the caller ignores stays ignored: `nohup` keeps a batch running past the
        // end of its session, and an ignored SIGPIPE asks for a write error instead.
        struct sigaction inherited {};
        if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

bool OccupyClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lower ones are open, so the lowest free number is this one.
        int taken = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (taken != fd) {
            if (taken >= 0) {
                ::close(taken);
            }
            return false;
        }
    }
    return true;
}

Existing DestinationState(const char* destination, const char* source) {
    struct stat named {};
    if (destination == nullptr || StatPath(destination, &named, false) != 0) {
        return Existing::Nothing;
    }
    struct stat original {};
    if (source != nullptr && StatPath(source, &original, true) == 0 &&
        original.st_dev == named.st_dev && original.st_ino == named.st_ino) {
        return Existing::Source;
    }
    return S_ISREG(named.st_mode) ? Existing::RegularFile : Existing::NotRegular;
}

bool ReplacementRefused(const char* destination) {
    if (destination == nullptr) {
        return false;
    }
    const std::string path(destination);
    const int folder = ::open(FolderOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return false;
    }
    const std::string name = NameOf(path);
    struct stat existing {};
    const bool refused = ::fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(existing.st_mode) && KeepsItsName(folder, name, existing);
    ::close(folder);
    return refused;
}

void RemoveUnpublishedResults() {
    processEnding.store(true);
    // Bounded: a thread stopped where it makes a name (by a debugger) must not keep the process.
    for (int waited = 0; waited < 1000 && namesInMotion.load() > 0; ++waited) {
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
    for (SlotBlock* block = &firstBlock; block != nullptr; block = block->next.load()) {
        for (Slot& slot : block->slots) {
            int folder = slot.folder.load();
            if (slot.used.load() && folder >= 0) {
                ::unlinkat(folder, slot.name, 0);
            }
        }
    }
}

} // namespace platform
