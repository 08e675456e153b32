#include "platform/files/file_api.h"
#include "platform/files/file_faults.h"
#include "platform/files/strings.h"
#include "platform/files/threads.h"
#include "support/test_files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;
using testing_support::Bytes;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

HANDLE OpenSource(const std::string& path) {
    return CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE CreateDestination(const std::string& path) {
    return CreateFile(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(LastError, HResultWrapsPositiveNumbersAndPassesTheRestThrough) {
    SetLastError(2);
    EXPECT_EQ(HResultFromLastError(), 0x80070002u);
    SetLastError(0x1234ABCD);
    EXPECT_EQ(HResultFromLastError(), 0x8007ABCDu);
    SetLastError(0);
    EXPECT_EQ(HResultFromLastError(), 0u);
    SetLastError(0x80090008); // negative as a signed number: already a code
    EXPECT_EQ(HResultFromLastError(), 0x80090008u);
}

TEST(LastError, IsKeptPerThread) {
    SetLastError(5);
    std::atomic<DWORD> seen{99};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* out) -> DWORD {
            static_cast<std::atomic<DWORD>*>(out)->store(GetLastError());
            return 0;
        },
        &seen, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
    for (int i = 0; i < 2000 && seen.load() == 99; ++i) {
        ::usleep(1000);
    }
    EXPECT_EQ(seen.load(), 0u);
    EXPECT_EQ(GetLastError(), 5u);
}

class SameFile : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir / "source.bin";
        WriteBytes(source, Pattern(3000));
        handle = OpenSource(source);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { CloseHandle(handle); }

    void ExpectRefusedAndUntouched(const std::string& destination) {
        SetLastError(0);
        EXPECT_EQ(CreateDestination(destination), INVALID_HANDLE_VALUE) << destination;
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(ReadBytes(source), Pattern(3000));
    }

    TempDir dir;
    std::string source;
    HANDLE handle = nullptr;
};

TEST_F(SameFile, SamePathIsRefusedBeforeTruncation) {
    ExpectRefusedAndUntouched(source);
}

TEST_F(SameFile, AnotherSpellingIsRefused) {
    ExpectRefusedAndUntouched(dir.path() + "/./source.bin");
    ExpectRefusedAndUntouched(dir.path() + "//source.bin");
}

TEST_F(SameFile, HardLinkIsRefused) {
    ASSERT_EQ(::link(source.c_str(), (dir / "hard").c_str()), 0);
    ExpectRefusedAndUntouched(dir / "hard");
}

TEST_F(SameFile, SymbolicLinkIsRefused) {
    ASSERT_EQ(::symlink(source.c_str(), (dir / "soft").c_str()), 0);
    ExpectRefusedAndUntouched(dir / "soft");
}

TEST_F(SameFile, RefusalEndsWhenTheSourceIsClosed) {
    CloseHandle(handle);
    handle = OpenSource(dir / "nothing"); // keeps TearDown simple
    HANDLE destination = CreateDestination(source);
    ASSERT_NE(destination, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(destination));
    EXPECT_TRUE(ReadBytes(source).empty());
}

TEST_F(SameFile, TwoReadersMayShare) {
    HANDLE second = OpenSource(source);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(second);
}

TEST(Sources, OnlyRegularFilesAreRead) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    SetLastError(0);
    EXPECT_EQ(OpenSource(dir.path()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EISDIR));
    // A FIFO with no writer must not block the open.
    EXPECT_EQ(OpenSource(dir / "fifo"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
    EXPECT_EQ(OpenSource("/dev/zero"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenSource(dir / "missing"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));

    // Asked for by name, a device is read as a stream; a folder still is not.
    HANDLE stream = OpenStream("/dev/null");
    ASSERT_NE(stream, nullptr);
    unsigned char byte = 0;
    DWORD got = 1;
    EXPECT_TRUE(ReadFile(stream, &byte, 1, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(stream));
    EXPECT_EQ(OpenStream(dir.path().c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EISDIR));
}

TEST(Sources, AFileAnotherProgramHoldsALeaseOnIsReadOnceItLetsGo) {
    TempDir dir;
    const std::string path = dir / "shared.doc";
    WriteBytes(path, Pattern(100));
    const int held = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    if (::fcntl(held, F_SETLEASE, F_WRLCK) != 0) {
        ::close(held);
        GTEST_SKIP() << "the file system gives no leases here";
    }
    // The holder hears of the open through SIGIO, as a file server does, and lets go a
    // little later.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGIO, &ignore, &previous), 0);
    std::thread holder([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::fcntl(held, F_SETLEASE, F_UNLCK);
        ::close(held);
    });
    HANDLE source = OpenSource(path);
    holder.join();
    ::sigaction(SIGIO, &previous, nullptr);
    ASSERT_NE(source, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(CloseHandle(source));
}

TEST(Reading, FillsEachRequestUntilTheEnd) {
    TempDir dir;
    Bytes content = Pattern(700 * 1024 + 5);
    WriteBytes(dir / "big", content);
    HANDLE file = OpenSource(dir / "big");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), content.size());
    EXPECT_EQ(high, 0u);
    Bytes back;
    unsigned char chunk[1000];
    for (;;) {
        DWORD n = 0;
        ASSERT_TRUE(ReadFile(file, chunk, sizeof chunk, &n, nullptr));
        if (n == 0) {
            break;
        }
        ASSERT_TRUE(n == sizeof chunk || back.size() + n == content.size());
        back.insert(back.end(), chunk, chunk + n);
    }
    EXPECT_EQ(back, content);
    EXPECT_TRUE(CloseHandle(file));
}

TEST(Writing, ReachesTheFileWhenClosed) {
    TempDir dir;
    HANDLE file = CreateDestination(dir / "out");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Bytes content = Pattern(900 * 1024 + 11);
    // Chunks of the transform's size, then sizes that leave every alignment within a block.
    const std::size_t sizes[] = {1024, 1024, 1, 48, 1000, 63, 64, 4096, 200000, 17};
    std::size_t next = 0;
    for (std::size_t at = 0; at < content.size(); next = (next + 1) % std::size(sizes)) {
        DWORD n = static_cast<DWORD>(std::min(sizes[next], content.size() - at));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, content.data() + at, n, &written, nullptr));
        ASSERT_EQ(written, n);
        at += n;
    }
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadBytes(dir / "out"), content);
}

TEST(Writing, AFailedFlushIsReportedByClose) {
    HANDLE full = CreateFile("/dev/full", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    unsigned char byte = 1;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(full, &byte, 1, &written, nullptr));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(full));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOSPC));
}

TEST(Writing, CreateAlwaysTruncatesAnotherFile) {
    TempDir dir;
    WriteBytes(dir / "old", Pattern(5000));
    HANDLE file = CreateDestination(dir / "old");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(ReadBytes(dir / "old").empty());
}

TEST(InjectedFailures, SetTheChosenErrorOnce) {
    TempDir dir;
    WriteBytes(dir / "f", Pattern(10));
    InjectFileFailure(FileCall::Read, 5);
    HANDLE file = OpenSource(dir / "f");
    unsigned char buffer[16];
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(n, 10u);
    CloseHandle(file);
    ClearFileFailures();
}

class Exists : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir / "b.txt", Pattern(1));
        WriteBytes(dir / "c.txt", Pattern(1));
        ::mkdir((dir / "a.txt").c_str(), 0700);
        ::mkdir((dir / "sub").c_str(), 0700);
        WriteBytes(dir / "report.doc", Pattern(1));
    }
    TempDir dir;
};

TEST_F(Exists, PlainPaths) {
    EXPECT_TRUE(FileExists((dir / "report.doc").c_str()));
    EXPECT_FALSE(FileExists((dir / "sub").c_str()));
    EXPECT_FALSE(FileExists((dir / "missing").c_str()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists((dir / "sub/").c_str()));
    EXPECT_FALSE(FileExists(("\"" + dir / "report.doc\"").c_str()));
}

TEST_F(Exists, APathLongerThanOneCallTakesIsLookedUpByItsFolder) {
    std::string deep = dir.path();
    while (deep.size() + 200 < 4050) {
        deep += "/" + std::string(199, 'd');
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    deep += "/" + std::string(4090 - deep.size() - 1, 'e'); // "/long.enx" takes it past 4095
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    const int folder = ::open(deep.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int file = ::openat(folder, "long.enx", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    ::close(file);
    EXPECT_TRUE(FileExists((deep + "/long.enx").c_str()));
    EXPECT_FALSE(FileExists((deep + "/missing").c_str()));
    ::unlinkat(folder, "long.enx", 0);
    ::close(folder);
}

TEST_F(Exists, WildcardsCountTheFirstMatchInSortedOrder) {
    // a.txt (a directory) sorts first, so *.txt does not count as an existing file.
    EXPECT_FALSE(FileExists((dir / "*.txt").c_str()));
    EXPECT_FALSE(FileExists((dir / "?.txt").c_str()));
    EXPECT_FALSE(FileExists((dir / "[bc].txt").c_str())); // brackets are literal
    EXPECT_TRUE(FileExists((dir / "b*").c_str()));
    EXPECT_TRUE(FileExists((dir / "re*rt.d?c").c_str()));
    EXPECT_FALSE(FileExists((dir / "x*").c_str()));
}

TEST(Strings, CompareIgnoresTheCaseOfAsciiLettersOnly) {
    EXPECT_EQ(lstrcmpi(".ENX", ".enx"), 0);
    EXPECT_EQ(lstrcmpi(".eNx", ".EnX"), 0);
    EXPECT_NE(lstrcmpi("\xC3\x89", "\xC3\xA9"), 0); // É and é are other bytes
    EXPECT_LT(lstrcmpi("abc", "abd"), 0);
    EXPECT_GT(lstrcmpi("abc", "ab"), 0);
    EXPECT_EQ(lstrlen("four"), 4);
}

} // namespace
