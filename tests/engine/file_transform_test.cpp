#include "engine/failure_meaning.h"
#include "engine/file_handle.h"
#include "engine/file_transform.h"
#include "platform/crypto/crypt_faults.h"
#include "platform/files/file_faults.h"
#include "platform/files/safe_output.h"
#include "support/test_files.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace platform;
using testing_support::Bytes;
using testing_support::PathExists;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using vanthe::FileTransform;
using vanthe::JobStep;

namespace {

enum Kind { Started, Chunk, Finished };
using Event = std::pair<Kind, std::uint64_t>;

// Records a job's events and can act on them.
class Recorder final : public vanthe::JobObserver {
public:
    void OnJobStarted(std::uint64_t size) override { Record(Started, size); }
    void OnChunkDone(std::uint64_t index, std::uint64_t) override { Record(Chunk, index); }
    void OnJobFinished(bool failed) override { Record(Finished, failed ? 1 : 0); }

    std::vector<Event> events;
    std::function<void(Kind)> onEvent;

private:
    void Record(Kind kind, std::uint64_t value) {
        events.emplace_back(kind, value);
        if (onEvent) {
            onEvent(kind);
        }
    }
};

std::vector<Event> ExpectedRun(std::size_t size) {
    std::vector<Event> expected{{Started, size}};
    for (std::size_t i = 0; i * 1024 < size; ++i) {
        expected.emplace_back(Chunk, i);
    }
    expected.emplace_back(Finished, 0);
    return expected;
}

const std::vector<Event> kFailedBeforeStart{{Finished, 1}};

// The names in a folder, but for the ones given.
std::vector<std::string> Others(const std::string& folder, std::vector<std::string> known) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != ".." &&
                std::find(known.begin(), known.end(), name) == known.end()) {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

class Transform : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCryptFailures();
        ClearFileFailures();
        ResetCryptCounters();
        transform.observer = &recorder;
        source = dir / "report.doc";
        destination = dir / "report.doc.enx";
    }
    void TearDown() override {
        ClearCryptFailures();
        ClearFileFailures();
        EXPECT_EQ(CryptLiveObjects(), 0);
    }

    bool Encrypt() { return transform.EncryptFile(source, destination, "password"); }

    TempDir dir;
    Recorder recorder;
    FileTransform transform;
    std::string source;
    std::string destination;
};

TEST_F(Transform, KnownAnswersBothWays) {
    for (const auto& vector : testing_support::LoadVectors()) {
        FileTransform job;
        job.replaceExisting = true;
        ASSERT_TRUE(job.EncryptFile(vector.input, destination, vector.password)) << job.errorText;
        EXPECT_EQ(ReadBytes(destination), ReadBytes(vector.output)) << vector.output;
        job.checkPlausibility = false;
        ASSERT_TRUE(job.DecryptFile(vector.output, dir / "back", vector.password));
        EXPECT_EQ(ReadBytes(dir / "back"), ReadBytes(vector.input)) << vector.output;
    }
}

TEST_F(Transform, EventsFollowTheChunks) {
    transform.replaceExisting = true;
    for (std::size_t size : {0u, 1u, 1023u, 1024u, 1025u, 3u * 1024u, 5u * 1024u + 300u}) {
        recorder.events.clear();
        ResetCryptCounters();
        WriteBytes(source, Pattern(size));
        ASSERT_TRUE(Encrypt()) << transform.errorText;
        EXPECT_EQ(recorder.events, ExpectedRun(size)) << "size " << size;
        EXPECT_EQ(ReadBytes(destination).size(), size);
        // One cipher call per chunk, the last one final; an empty source makes none.
        EXPECT_EQ(CryptCallCount(CryptCall::Encrypt), (size + 1023) / 1024);
        EXPECT_EQ(CryptFinalCallCount(), size == 0 ? 0u : 1u);
    }
}

TEST_F(Transform, EncryptingTwiceOrDecryptingGivesTheSourceBack) {
    WriteBytes(source, Pattern(10000));
    ASSERT_TRUE(Encrypt());
    ASSERT_TRUE(transform.EncryptFile(destination, dir / "twice", "password"));
    EXPECT_EQ(ReadBytes(dir / "twice"), Pattern(10000));
    ASSERT_TRUE(transform.DecryptFile(destination, dir / "plain", "password"));
    EXPECT_EQ(ReadBytes(dir / "plain"), Pattern(10000));
}

TEST_F(Transform, WithoutTheCheckAWrongPasswordDecryptsToOtherBytes) {
    WriteBytes(source, Pattern(2000));
    ASSERT_TRUE(Encrypt());
    recorder.events.clear();
    transform.checkPlausibility = false;
    ASSERT_TRUE(transform.DecryptFile(destination, dir / "plain", "wrong"));
    EXPECT_EQ(recorder.events.back(), Event(Finished, 0));
    EXPECT_EQ(ReadBytes(dir / "plain").size(), 2000u);
    EXPECT_NE(ReadBytes(dir / "plain"), Pattern(2000));
}

TEST_F(Transform, RefusedContextTouchesNoFile) {
    WriteBytes(source, Pattern(10));
    InjectCryptFailure(CryptCall::AcquireContext, NTE_PROVIDER_DLL_FAIL);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Init error. HR8009001D");
    EXPECT_EQ(transform.failure.step, JobStep::CryptoContext);
    EXPECT_EQ(transform.failure.code, NTE_PROVIDER_DLL_FAIL);
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, FailedSetKeyTouchesNoFile) {
    WriteBytes(source, Pattern(10));
    InjectCryptFailure(CryptCall::DeriveKey, NTE_BAD_KEY);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Setkey error. HR:80090003");
    EXPECT_EQ(transform.failure.step, JobStep::SetKey);
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, MissingSourceIsAFileErrorInDecimal) {
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 2.");
    EXPECT_EQ(transform.failure.step, JobStep::OpenSource);
    EXPECT_EQ(transform.failure.code, 2u);
    EXPECT_FALSE(transform.DecryptFile(source, destination, "password"));
    EXPECT_EQ(transform.errorText, "Decryption error: 2.");
    EXPECT_EQ(recorder.events, std::vector<Event>(2, Event(Finished, 1)));
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, SourceThatCannotBeSizedLeavesTheDestinationAlone) {
    WriteBytes(source, Pattern(10));
    InjectFileFailure(FileCall::GetSize, 13);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 13.");
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, DestinationThatCannotBeCreated) {
    WriteBytes(source, Pattern(10));
    EXPECT_FALSE(transform.EncryptFile(source, dir / "no/such/folder", "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 2.");
    EXPECT_EQ(transform.failure.step, JobStep::CreateDestination);
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
}

TEST_F(Transform, DirectorySourceIsRefused) {
    EXPECT_FALSE(transform.EncryptFile(dir.path(), destination, "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 21.");
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, APipeOrDeviceSourceIsNamedAsSuch) {
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& stream : {fifo, std::string("/dev/zero")}) {
        EXPECT_FALSE(transform.EncryptFile(stream, destination, "password"));
        EXPECT_EQ(FailureMeaning(transform.failure), "The source is a pipe or device, not a file.");
        EXPECT_FALSE(PathExists(destination));
    }
}

class SameFileTransform : public Transform, public ::testing::WithParamInterface<const char*> {};

TEST_P(SameFileTransform, IsRefusedWithASharingViolationAndNothingChanges) {
    WriteBytes(source, Pattern(5000));
    std::string other = GetParam();
    std::string target = source;
    if (other == "hard link") {
        target = dir / "hard";
        ASSERT_EQ(::link(source.c_str(), target.c_str()), 0);
    } else if (other == "other spelling") {
        target = dir.path() + "/./report.doc";
    }
    transform.replaceExisting = true;
    EXPECT_FALSE(transform.EncryptFile(source, target, "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 32.");
    EXPECT_EQ(transform.failure.step, JobStep::SameFile);
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
    EXPECT_EQ(ReadBytes(source), Pattern(5000));
}

INSTANTIATE_TEST_SUITE_P(Spellings, SameFileTransform,
                         ::testing::Values("same path", "other spelling", "hard link"));

// Whatever fails mid-job, an existing destination keeps its old content and no temporary file
// is left beside it.
class FailedJob : public Transform {
protected:
    void SetUp() override {
        Transform::SetUp();
        WriteBytes(source, Pattern(5000));
        WriteBytes(destination, Bytes{'o', 'l', 'd'});
        transform.replaceExisting = true;
    }
    void ExpectOldDestinationAndNothingElse() {
        EXPECT_EQ(ReadBytes(destination), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(Others(dir.path(), {"report.doc", "report.doc.enx"}), std::vector<std::string>{});
    }
};

TEST_F(FailedJob, ReadFailure) {
    InjectFileFailure(FileCall::Read, 5, 3);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 5.");
    EXPECT_EQ(transform.failure.step, JobStep::Read);
    // The read of chunk 3 runs ahead of chunk 2's cipher call.
    std::vector<Event> expected{{Started, 5000}, {Chunk, 0}, {Chunk, 1}, {Finished, 1}};
    EXPECT_EQ(recorder.events, expected);
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, ASourceChangedWhileItIsReadGivesNoResult) {
    // Another program truncates the source, rewrites part of it or appends to it during the
    // job: the result would match no version of it, and the user may delete the source
    // trusting it. A rewrite may also set the content's time back, as touch -r or a copy that
    // keeps times does.
    enum Change { Truncated, Rewritten, Appended, RewrittenWithItsTimesKept };
    for (Change change : {Truncated, Rewritten, Appended, RewrittenWithItsTimesKept}) {
        SCOPED_TRACE(change);
        WriteBytes(source, Pattern(300000));
        struct stat before {};
        ASSERT_EQ(::stat(source.c_str(), &before), 0);
        recorder.events.clear();
        recorder.onEvent = [&](Kind kind) {
            if (kind != Chunk || recorder.events.size() != 10) {
                return;
            }
            const int fd = ::open(source.c_str(), O_WRONLY | (change == Appended ? O_APPEND : 0));
            ASSERT_GE(fd, 0);
            if (change == Truncated) {
                ASSERT_EQ(::ftruncate(fd, 100000), 0);
            } else if (change == Appended) {
                ASSERT_EQ(::write(fd, "more", 4), 4);
            } else {
                ASSERT_EQ(::pwrite(fd, "edited", 6, 200000), 6);
            }
            if (change == RewrittenWithItsTimesKept) {
                // Written again until the clock has moved past the job's start, so the change
                // shows in the one time nobody can set.
                struct stat now {};
                const struct timespec kept[2] = {before.st_atim, before.st_mtim};
                do {
                    ASSERT_EQ(::pwrite(fd, "edited", 6, 200000), 6);
                    ASSERT_EQ(::futimens(fd, kept), 0);
                    ASSERT_EQ(::fstat(fd, &now), 0);
                } while (now.st_ctim.tv_sec == before.st_ctim.tv_sec &&
                         now.st_ctim.tv_nsec == before.st_ctim.tv_nsec);
            } else {
                // The change must be seen even when it falls in the same clock tick as the open.
                struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 5, 0}};
                ASSERT_EQ(::futimens(fd, later), 0);
            }
            ::close(fd);
        };
        EXPECT_FALSE(Encrypt());
        recorder.onEvent = nullptr;
        EXPECT_EQ(transform.failure.step, JobStep::SourceChanged);
        EXPECT_EQ(transform.failure.code, ERROR_FILE_INVALID);
        EXPECT_EQ(transform.errorText, "Encryption error: 1006.");
        ExpectOldDestinationAndNothingElse();
    }
}

// A file system that keeps whole seconds (ext4 made with small inodes, FAT, sshfs) stamps a
// rewrite in the same second as the change before it with the same times.
TEST_F(FailedJob, ARewriteInTheSameSecondAsTheLastChangeIsSeen) {
    const std::string image = dir / "disk.img";
    const std::string mounted = dir / "disk";
    ASSERT_EQ(::mkdir(mounted.c_str(), 0700), 0);
    const int made =
        std::system(("truncate -s 16M '" + image + "' && mkfs.ext4 -q -I 128 '" + image +
                     "' 2>/dev/null && mount -o loop '" + image + "' '" + mounted + "' 2>/dev/null")
                        .c_str());
    if (made != 0) {
        GTEST_SKIP() << "cannot mount a file system image here";
    }
    source = mounted + "/report.doc";
    destination = mounted + "/report.doc.enx";
    // Written just now, so the rewrite below falls in the same second, bar a second's turn.
    WriteBytes(source, Pattern(300000));
    recorder.onEvent = [&](Kind kind) {
        if (kind == Chunk && recorder.events.size() == 10) {
            const int fd = ::open(source.c_str(), O_WRONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::pwrite(fd, "edited", 6, 0), 6);
            ASSERT_EQ(::pwrite(fd, "edited", 6, 200000), 6);
            ::close(fd);
        }
    };
    EXPECT_FALSE(Encrypt());
    recorder.onEvent = nullptr;
    EXPECT_EQ(transform.failure.step, JobStep::SourceChanged);
    EXPECT_FALSE(PathExists(destination));
    ::umount2(mounted.c_str(), MNT_DETACH);
}

TEST(ChangeStamps, AStampFromAnotherClockNeverHoldsAJobUp) {
    constexpr std::uint64_t kSecond = 10000000;
    const std::uint64_t now = 1000000 * kSecond + kSecond / 4;
    const auto within = [now](std::uint64_t any, std::uint64_t content) {
        return vanthe::FileHandle::ChangeTimes{content, any}.SameStampWithin(now).count();
    };
    // Whole seconds: until two have passed, FAT's step.
    const std::uint64_t thisSecond = now - kSecond / 4;
    EXPECT_EQ(within(thisSecond, thisSecond - 3 * kSecond), 1750);
    EXPECT_EQ(within(thisSecond - 2 * kSecond, thisSecond - 3 * kSecond), 0);
    // A finer clock's tick.
    EXPECT_EQ(within(now - kSecond / 200, now - kSecond / 200), 15);
    EXPECT_EQ(within(now - kSecond / 10, now - kSecond / 10), 0);
    // A server whose clock runs an hour ahead.
    EXPECT_EQ(within(thisSecond + 3600 * kSecond, thisSecond), 0);
}

TEST_F(FailedJob, ReadFailingWithTheNumberOnceTakenForEndOfFile) {
    // 38 is ENOSYS here, a failure like any other, not the end of the source.
    InjectFileFailure(FileCall::Read, 38, 2);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 38.");
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, CipherFailureEndsTheJobWithTheSessionsText) {
    InjectCryptFailure(CryptCall::Decrypt, NTE_BAD_DATA, 2);
    transform.checkPlausibility = false;
    EXPECT_FALSE(transform.DecryptFile(source, destination, "password"));
    EXPECT_EQ(transform.errorText, "Decrypt error. HR:80090005");
    EXPECT_EQ(transform.failure.step, JobStep::Cipher);
    std::vector<Event> expected{{Started, 5000}, {Chunk, 0}, {Chunk, 1}, {Finished, 1}};
    EXPECT_EQ(recorder.events, expected);
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, WriteFailure) {
    InjectFileFailure(FileCall::Write, 28, 1);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 28.");
    EXPECT_EQ(transform.failure.step, JobStep::Write);
    std::vector<Event> expected{{Started, 5000}, {Chunk, 0}, {Finished, 1}};
    EXPECT_EQ(recorder.events, expected);
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, AResultRefusedItsNameIsNoWriteFailure) {
    // As when the destination belongs to another user in a sticky folder, or is immutable.
    InjectFileFailure(FileCall::Publish, EPERM);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 1.");
    EXPECT_EQ(transform.failure.step, JobStep::Publish);
    EXPECT_EQ(transform.failure.code, static_cast<std::uint32_t>(EPERM));
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, ASyncThatFailsIsAWriteFailure) {
    // As on a full file system over the network, which tells only when the result is synced.
    InjectFileFailure(FileCall::Sync, EIO);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.failure.step, JobStep::Write);
    EXPECT_EQ(transform.failure.code, static_cast<std::uint32_t>(EIO));
    EXPECT_EQ(FailureMeaning(transform.failure),
              "The destination cannot be written: Input/output error.");
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, FileSizeLimitMakesTheLastWriteFail) {
    // With the signal ignored, as both programs do, a write past the limit fails with EFBIG.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 2000;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    bool ok = Encrypt();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(transform.errorText, "Encryption error: 27.");
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, ExistingDestinationIsKeptUnlessReplacingWasAllowed) {
    transform.replaceExisting = false;
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.failure.step, JobStep::Publish);
    EXPECT_EQ(transform.failure.code, static_cast<std::uint32_t>(EEXIST));
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
    ExpectOldDestinationAndNothingElse();

    transform.replaceExisting = true;
    EXPECT_TRUE(Encrypt());
    EXPECT_EQ(ReadBytes(destination).size(), 5000u);
}

TEST_F(FailedJob, ADestinationThatCanNeverBeReplacedIsRefusedBeforeTheJob) {
    // Found out only when the result took the name, it would cost the whole job first.
    for (const int flag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
        SCOPED_TRACE(flag);
        const auto setFlag = [&](bool on) {
            const int fd = ::open(destination.c_str(), O_RDONLY);
            int flags = 0;
            bool set = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
            flags = on ? flags | flag : flags & ~flag;
            set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
            ::close(fd);
            return set;
        };
        if (!setFlag(true)) {
            GTEST_SKIP() << "cannot make a file immutable or append-only here";
        }
        recorder.events.clear();
        EXPECT_FALSE(Encrypt());
        EXPECT_TRUE(setFlag(false));
        EXPECT_EQ(recorder.events, kFailedBeforeStart);
        EXPECT_EQ(transform.failure.step, JobStep::Publish);
        EXPECT_EQ(transform.failure.code, static_cast<DWORD>(EPERM));
        ExpectOldDestinationAndNothingElse();
    }
}

TEST_F(FailedJob, AnotherUsersFileInAStickyFolderIsRefusedBeforeTheJob) {
    // In /tmp only a file's owner may replace its name; found out when the result took the
    // name, it would cost the whole job first.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
    ASSERT_EQ(::chmod(source.c_str(), 0644), 0);
    recorder.events.clear();
    // No assertion may end the test between these two: the process must be root again after.
    const bool asNobody = ::seteuid(65534) == 0;
    const bool done = asNobody && Encrypt();
    const bool rootAgain = ::seteuid(0) == 0;
    ASSERT_TRUE(asNobody && rootAgain);
    EXPECT_FALSE(done);
    EXPECT_EQ(recorder.events, kFailedBeforeStart);
    EXPECT_EQ(transform.failure.step, JobStep::Publish);
    EXPECT_EQ(transform.failure.code, static_cast<DWORD>(EPERM));
    ExpectOldDestinationAndNothingElse();
}

TEST_F(FailedJob, DestinationThatAppearsDuringTheJobIsKept) {
    ::unlink(destination.c_str());
    transform.replaceExisting = false;
    recorder.onEvent = [&](Kind kind) {
        if (kind == Started) {
            WriteBytes(destination, Bytes{'o', 'l', 'd'});
        }
    };
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.failure.step, JobStep::Publish);
    EXPECT_EQ(transform.failure.code, static_cast<DWORD>(EEXIST));
    ExpectOldDestinationAndNothingElse();

    // One that is no regular file is named as such, since no answer would have it replaced.
    ASSERT_EQ(::unlink(destination.c_str()), 0);
    const std::string elsewhere = dir / "elsewhere";
    recorder.onEvent = [&](Kind kind) {
        if (kind == Started) {
            ::symlink(elsewhere.c_str(), destination.c_str());
        }
    };
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.failure.code, static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
    EXPECT_FALSE(PathExists(elsewhere));
}

TEST_F(Transform, DestinationThatIsNoRegularFileIsRefusedAndLeftAsItIs) {
    WriteBytes(source, Pattern(3000));
    std::string victim = dir / "victim";
    WriteBytes(victim, Bytes{'v'});
    std::string link = dir / "link";
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (bool replace : {false, true}) {
        transform.replaceExisting = replace;
        for (const std::string& target : {link, fifo, dir.path(), std::string("/dev/null")}) {
            EXPECT_FALSE(transform.EncryptFile(source, target, "password")) << target;
            EXPECT_EQ(transform.failure.step, JobStep::DestinationKind) << target;
        }
    }
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(ReadBytes(victim), Bytes{'v'});
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(Transform, ResultTakesTheSourcesPermissions) {
    mode_t mask = ::umask(022);
    for (mode_t mode : {0600, 0640, 0755}) {
        WriteBytes(source, Pattern(100));
        ASSERT_EQ(::chmod(source.c_str(), mode), 0);
        ::unlink(destination.c_str());
        ASSERT_TRUE(Encrypt());
        struct stat info {};
        ASSERT_EQ(::stat(destination.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
    ::umask(mask);
}

std::string planted;
void PlantSymlink(const char* folder, const char* name) {
    std::string path = std::string(folder) + "/" + name;
    ::unlink(path.c_str());
    ::symlink(planted.c_str(), path.c_str());
}

TEST_F(Transform, TemporaryNameSwappedForASymlinkCannotRedirectTheResult) {
    // What another user who can write the folder could do while a job runs.
    WriteBytes(source, Pattern(5000));
    planted = dir / "victim";
    WriteBytes(planted, Bytes{'v'});
    ASSERT_EQ(::chmod(planted.c_str(), 0600), 0);
    ForceNamedTemporaryForTesting(true);
    SetTemporaryCreatedHookForTesting(&PlantSymlink);
    bool ok = Encrypt();
    ForceNamedTemporaryForTesting(false);
    SetTemporaryCreatedHookForTesting(nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadBytes(planted), Bytes{'v'});
    struct stat info {};
    ASSERT_EQ(::stat(planted.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, NamedTemporaryResultsWorkAndLeaveNothing) {
    // File systems without unnamed files take the other way.
    WriteBytes(source, Pattern(5000));
    ForceNamedTemporaryForTesting(true);
    EXPECT_TRUE(Encrypt());
    EXPECT_EQ(Others(dir.path(), {"report.doc", "report.doc.enx"}), std::vector<std::string>{});
    InjectFileFailure(FileCall::Write, 28, 1);
    transform.replaceExisting = true;
    EXPECT_FALSE(Encrypt());
    ForceNamedTemporaryForTesting(false);
    EXPECT_EQ(ReadBytes(destination).size(), 5000u);
    EXPECT_EQ(Others(dir.path(), {"report.doc", "report.doc.enx"}), std::vector<std::string>{});
}

TEST_F(Transform, LongestDestinationNameWorks) {
    WriteBytes(source, Pattern(100));
    std::string longest = dir / std::string(255, 'n');
    EXPECT_TRUE(transform.EncryptFile(source, longest, "password")) << transform.errorText;
    EXPECT_EQ(ReadBytes(longest).size(), 100u);
}

TEST_F(Transform, SourceIsReadToItsEndWhateverItsReportedSize) {
    // /proc files report a size of 0.
    const std::string proc = "/proc/self/mountinfo";
    EXPECT_TRUE(transform.EncryptFile(proc, destination, "password")) << transform.errorText;
    transform.checkPlausibility = false;
    EXPECT_TRUE(transform.DecryptFile(destination, dir / "back", "password"));
    Bytes back = ReadBytes(dir / "back");
    EXPECT_GT(back.size(), 1024u);
    EXPECT_EQ(back, ReadBytes(proc));
}

} // namespace

namespace {

// Answers the wrong-password question as told, and counts how often it was asked.
class Answering final : public vanthe::JobObserver {
public:
    explicit Answering(bool answer) : answer_(answer) {}
    void OnJobStarted(std::uint64_t) override {}
    void OnChunkDone(std::uint64_t, std::uint64_t) override { ++chunks; }
    void OnJobFinished(bool) override {}
    bool ConfirmImplausible(vanthe::Implausible) override {
        ++asked;
        return answer_;
    }
    int asked = 0;
    std::uint64_t chunks = 0;

private:
    bool answer_;
};

Bytes SomeText(std::size_t size) {
    Bytes text(size, 'a');
    for (std::size_t i = 0; i < size; i += 50) {
        text[i] = '\n';
    }
    return text;
}

TEST_F(Transform, WrongPasswordStopsDecryptingBeforeAnythingIsWritten) {
    WriteBytes(source, SomeText(100000));
    ASSERT_TRUE(Encrypt());
    WriteBytes(dir / "plain", Bytes{'o', 'l', 'd'});
    for (bool replace : {false, true}) {
        Answering no(false);
        transform.observer = &no;
        transform.replaceExisting = replace;
        EXPECT_FALSE(transform.DecryptFile(destination, dir / "plain", "wrong"));
        // Without leave to replace, the existing file stops the job before it starts.
        EXPECT_EQ(transform.failure.step, replace ? JobStep::WrongPassword : JobStep::Publish);
        EXPECT_EQ(no.asked, replace ? 1 : 0);
        EXPECT_EQ(ReadBytes(dir / "plain"), (Bytes{'o', 'l', 'd'}));
    }
    ::unlink((dir / "plain").c_str());
    Answering no(false);
    transform.observer = &no;
    EXPECT_FALSE(transform.DecryptFile(destination, dir / "plain", "wrong"));
    EXPECT_EQ(no.asked, 1);
    EXPECT_FALSE(PathExists(dir / "plain"));
    EXPECT_EQ(transform.errorText, "The decrypted data does not look like any known kind of file.");

    Answering yes(true);
    transform.observer = &yes;
    EXPECT_TRUE(transform.DecryptFile(destination, dir / "plain", "wrong"));
    EXPECT_EQ(ReadBytes(dir / "plain").size(), 100000u);

    Answering unasked(false);
    transform.observer = &unasked;
    transform.replaceExisting = true;
    EXPECT_TRUE(transform.DecryptFile(destination, dir / "plain", "password"));
    EXPECT_EQ(unasked.asked, 0);
    EXPECT_EQ(ReadBytes(dir / "plain"), SomeText(100000));
}

TEST_F(Transform, DecryptingAFileNeverEncryptedSaysSoRatherThanBlameThePassword) {
    // An encrypted file looks random under any password; this one is plain text.
    WriteBytes(source, SomeText(100000));
    Answering no(false);
    transform.observer = &no;
    EXPECT_FALSE(transform.DecryptFile(source, destination, "password"));
    EXPECT_EQ(no.asked, 1);
    EXPECT_EQ(transform.failure.step, JobStep::NotEncrypted);
    EXPECT_EQ(transform.errorText, "The file does not look encrypted.");
    EXPECT_FALSE(PathExists(destination));
    // An encrypted one under a wrong password is still that.
    ASSERT_TRUE(Encrypt());
    EXPECT_FALSE(transform.DecryptFile(destination, dir / "plain", "wrong"));
    EXPECT_EQ(transform.failure.step, JobStep::WrongPassword);
}

TEST_F(Transform, EncryptingIsNeverJudged) {
    // Random-looking input, as an already encrypted file is.
    WriteBytes(source, SomeText(5000));
    ASSERT_TRUE(Encrypt());
    Answering asked(false);
    transform.observer = &asked;
    EXPECT_TRUE(transform.EncryptFile(destination, dir / "twice", "other"));
    EXPECT_EQ(asked.asked, 0);
}

TEST_F(Transform, WrongPasswordOnAHugeFileStopsWithinTheFirstSample) {
    // 5 GiB of zeros "decrypt" to the bare key stream; zeros were never encrypted either.
    int fd = ::open(source.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
    ::close(fd);
    Answering no(false);
    transform.observer = &no;
    EXPECT_FALSE(transform.DecryptFile(source, destination, "password"));
    EXPECT_EQ(transform.failure.step, JobStep::NotEncrypted);
    EXPECT_LE(no.chunks, 64u);
    EXPECT_FALSE(PathExists(destination));
}

} // namespace
