#include "platform/files/async_io.h"
#include "platform/files/file_api.h"
#include "support/test_files.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace platform;
using testing_support::Bytes;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

constexpr std::size_t kBlock = IoBlocks{}.blockSize; // the files layer's own ring
constexpr std::size_t kRing = IoBlocks{}.blockCount * kBlock;
constexpr IoBlocks kSmall{4096, 3};

// Reads the whole source in requests of `request` bytes; only the last may come up short.
Bytes ReadAll(ReadAhead& reader, std::size_t request) {
    Bytes back;
    Bytes piece(request);
    for (;;) {
        std::size_t n = 0;
        EXPECT_EQ(reader.Read(piece.data(), request, &n), 0);
        back.insert(back.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < request) {
            std::size_t more = 1;
            EXPECT_EQ(reader.Read(piece.data(), request, &more), 0);
            EXPECT_EQ(more, 0u) << "a short read comes only at the end";
            return back;
        }
    }
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

TEST(ReadAhead, GivesTheFileBytesForSizesAroundBlockEdges) {
    TempDir dir;
    std::size_t ring = kSmall.blockSize * kSmall.blockCount;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, kSmall.blockSize - 1, kSmall.blockSize,
                             kSmall.blockSize + 1, ring - 1, ring, ring + 1, 7 * ring + 13}) {
        Bytes content = Pattern(size);
        WriteBytes(dir / "f", content);
        for (std::size_t request : {std::size_t{1}, std::size_t{1000}, std::size_t{1024},
                                    std::size_t{5000}, std::size_t{3 * 4096 + 1}}) {
            Descriptor fd(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_GE(fd.get(), 0);
            ReadAhead reader(fd.get(), kSmall);
            EXPECT_EQ(ReadAll(reader, request), content) << size << " in " << request;
        }
    }
}

TEST(ReadAhead, StartsAtTheDescriptorsOffset) {
    TempDir dir;
    WriteBytes(dir / "f", Pattern(10000));
    Descriptor fd(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::lseek(fd.get(), 100, SEEK_SET), 100);
    ReadAhead reader(fd.get(), kSmall);
    Bytes expected = Pattern(10000);
    expected.erase(expected.begin(), expected.begin() + 100);
    EXPECT_EQ(ReadAll(reader, 1024), expected);
}

TEST(ReadAhead, StoppingBeforeTheEndLeavesNothingRunning) {
    TempDir dir;
    WriteBytes(dir / "f", Pattern(2 * kRing));
    Descriptor fd(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC));
    {
        ReadAhead reader(fd.get());
        unsigned char piece[1024];
        std::size_t n = 0;
        ASSERT_EQ(reader.Read(piece, sizeof piece, &n), 0);
        EXPECT_EQ(Bytes(piece, piece + n), Pattern(1024));
    } // the reader waits on a full ring and must stop
}

// A writer that stays open and sends nothing more: what has arrived is handed on at once,
// and the reader can still be ended, as a job that fails while reading standard input must.
TEST(ReadAhead, APipeHandsOnWhatHasArrivedAndCanBeEndedWhileItWaits) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);
    Bytes sent = Pattern(100);
    ASSERT_EQ(::write(writeEnd.get(), sent.data(), sent.size()), 100);
    {
        ReadAhead reader(readEnd.get(), kSmall);
        Bytes piece(100);
        std::size_t n = 0;
        ASSERT_EQ(reader.Read(piece.data(), piece.size(), &n), 0);
        EXPECT_EQ(piece, sent);
    } // the writer is still open: ending the reader must not wait for it
}

// A stream socket whose peer went away with data of ours unread: the data it sent is read
// first, then the read fails with ECONNRESET, a real failure in the middle of a source.
TEST(ReadAhead, AFailureComesAfterEveryByteReadBeforeIt) {
    for (std::size_t request : {std::size_t{1000}, std::size_t{1100}}) {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        Descriptor ours(pair[0]);
        Descriptor theirs(pair[1]);
        Bytes sent = Pattern(5000);
        ASSERT_EQ(::write(theirs.get(), sent.data(), sent.size()), 5000);
        ASSERT_EQ(::write(ours.get(), "x", 1), 1);
        theirs.Close();

        ReadAhead reader(ours.get(), IoBlocks{4096, 2});
        Bytes back;
        Bytes piece(request);
        int error = 0;
        for (int calls = 0; calls < 100 && error == 0; ++calls) {
            std::size_t n = 0;
            error = reader.Read(piece.data(), request, &n);
            ASSERT_TRUE(error != 0 || n == request) << "no short read before the failure";
            back.insert(back.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
        }
        EXPECT_EQ(error, ECONNRESET);
        // Every whole request before the failure was handed out; the one it cut short was not.
        std::size_t whole = sent.size() / request * request;
        EXPECT_EQ(back, Bytes(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(whole)));
        std::size_t n = 7;
        EXPECT_EQ(reader.Read(piece.data(), request, &n), ECONNRESET) << "and again";
        EXPECT_EQ(n, 0u);
    }
}

TEST(WriteBehind, FinishWritesEverythingForSizesAroundBlockEdges) {
    TempDir dir;
    std::size_t ring = kSmall.blockSize * kSmall.blockCount;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, kSmall.blockSize - 1, kSmall.blockSize,
                             kSmall.blockSize + 1, ring, ring + 1, 9 * ring + 5}) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{1024}, std::size_t{5000}}) {
            Bytes content = Pattern(size);
            Descriptor fd(
                ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
            ASSERT_GE(fd.get(), 0);
            WriteBehind writer(fd.get(), kSmall);
            for (std::size_t at = 0; at < size; at += piece) {
                ASSERT_EQ(writer.Write(content.data() + at, std::min(piece, size - at)), 0);
            }
            EXPECT_EQ(writer.Finish(), 0);
            EXPECT_EQ(ReadBytes(dir / "out"), content) << size << " in " << piece;
        }
    }
}

// A file synced as it grows, every few blocks, on a thread beside the writing one: a sync never
// moves or loses a byte, a flush ends the syncing and later writes still land after it.
TEST(WriteBehind, SyncingAsItGoesKeepsEveryByteThroughAFlushAndAfterIt) {
    TempDir dir;
    Bytes content = Pattern(40 * kSmall.blockSize + 5);
    Descriptor fd(::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    ASSERT_GE(fd.get(), 0);
    WriteBehind writer(fd.get(), kSmall, 2 * kSmall.blockSize + 1);
    for (std::size_t at = 0; at < content.size(); at += 1000) {
        ASSERT_EQ(
            writer.Write(content.data() + at, std::min<std::size_t>(1000, content.size() - at)), 0);
        if (at == 20 * 1000) {
            ASSERT_EQ(writer.Flush(), 0);
        }
    }
    EXPECT_EQ(writer.Finish(), 0);
    EXPECT_EQ(ReadBytes(dir / "out"), content);
}

// The pipe holds one block and nobody reads it until the writes have been handed over, so
// Finish starts with blocks still waiting and must see every one of them out.
TEST(WriteBehind, FinishWaitsForEveryPendingBlock) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);
    ASSERT_GE(::fcntl(writeEnd.get(), F_SETPIPE_SZ, 4096), 4096);
    std::size_t pipeSize = static_cast<std::size_t>(::fcntl(writeEnd.get(), F_GETPIPE_SZ));

    Bytes content = Pattern(pipeSize + 2 * 4096 + 100);
    WriteBehind writer(writeEnd.get(), IoBlocks{4096, 4});
    for (std::size_t at = 0; at < content.size(); at += 1024) {
        ASSERT_EQ(
            writer.Write(content.data() + at, std::min<std::size_t>(1024, content.size() - at)), 0);
    }
    Bytes received;
    std::thread drain([&] {
        unsigned char piece[1500];
        ssize_t n;
        while ((n = ::read(readEnd.get(), piece, sizeof piece)) > 0) {
            received.insert(received.end(), piece, piece + n);
        }
    });
    EXPECT_EQ(writer.Finish(), 0);
    writeEnd.Close();
    drain.join();
    EXPECT_EQ(received, content);
}

// Nobody reads the pipe: the write fails with EPIPE on the writer's thread, which must not
// end the process with SIGPIPE.
// A small pipe between the two makes each side wait for the other again and again: every
// thread sleeps on a full or empty ring and is woken many times, with every wake-up batch. A
// lost wake-up hangs here; a race shows under ThreadSanitizer.
TEST(ReadAheadAndWriteBehind, HandEveryByteOnWhileBothRingsFillAndDrainManyTimes) {
    const Bytes content = Pattern(3 * 1024 * 1024 + 17);
    for (std::size_t wakeAfter : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4}}) {
        const IoBlocks blocks{1024, 4, wakeAfter};
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        Descriptor readEnd(ends[0]);
        Descriptor writeEnd(ends[1]);
        ::fcntl(writeEnd.get(), F_SETPIPE_SZ, 4096);
        int finished = -1;
        std::thread producer([&] {
            WriteBehind writer(writeEnd.get(), blocks);
            for (std::size_t at = 0; at < content.size(); at += 1000) {
                if (writer.Write(content.data() + at,
                                 std::min<std::size_t>(1000, content.size() - at)) != 0) {
                    break;
                }
            }
            finished = writer.Finish();
            writeEnd.Close();
        });
        ReadAhead reader(readEnd.get(), blocks);
        Bytes back;
        Bytes piece(1024);
        for (;;) {
            std::size_t n = 0;
            int error = reader.Read(piece.data(), piece.size(), &n);
            EXPECT_EQ(error, 0);
            if (error != 0 || n == 0) {
                break;
            }
            back.insert(back.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
        }
        producer.join();
        EXPECT_EQ(finished, 0) << "wake after " << wakeAfter;
        EXPECT_TRUE(back == content) << "wake after " << wakeAfter << ": " << back.size();
    }
}

TEST(WriteBehind, AFailureOnItsThreadComesBackAtTheNextCallAndAtFinish) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);
    readEnd.Close();
    WriteBehind writer(writeEnd.get(), IoBlocks{4096, 2});
    Bytes piece = Pattern(1024);
    int error = 0;
    int calls = 0;
    // The ring holds two blocks, so the failure is back after a few of them at most.
    while (error == 0 && calls < 64) {
        error = writer.Write(piece.data(), piece.size());
        ++calls;
    }
    EXPECT_EQ(error, EPIPE);
    EXPECT_EQ(writer.Write(piece.data(), piece.size()), EPIPE) << "every later call";
    EXPECT_EQ(writer.Flush(), EPIPE);
    EXPECT_EQ(writer.Finish(), EPIPE);
}

class FileSizeLimit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limit = saved;
        limit.rlim_cur = kLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    void TearDown() override { ::setrlimit(RLIMIT_FSIZE, &saved); }

    HANDLE Create() {
        return CreateFile((dir / "out").c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    static constexpr rlim_t kLimit = 64 * 1024;
    rlimit saved{};
    TempDir dir;
};

// A write past RLIMIT_FSIZE fails with EFBIG on the background thread (and its SIGXFSZ must
// not end the process); the caller learns it from the next WriteFile and from CloseHandle.
TEST_F(FileSizeLimit, AFailedBackgroundWriteReachesTheNextWriteAndClose) {
    HANDLE file = Create();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Bytes piece = Pattern(1024);
    BOOL ok = TRUE;
    std::size_t written = 0;
    while (ok && written < 64 * kBlock) {
        DWORD n = 0;
        ok = WriteFile(file, piece.data(), 1024, &n, nullptr);
        written += n;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EFBIG));
    // The ring is all the caller can get ahead of the failure.
    EXPECT_LE(written, kRing + 2 * kBlock);
    SetLastError(0);
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(file, piece.data(), 1024, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EFBIG));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EFBIG));
    EXPECT_EQ(ReadBytes(dir / "out").size(), kLimit);
}

// With a syncing thread beside it, the failure still comes back and both threads end.
TEST_F(FileSizeLimit, AFailedWriteEndsAFileSyncedAsItGoes) {
    Descriptor fd(::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    ASSERT_GE(fd.get(), 0);
    WriteBehind writer(fd.get(), kSmall, kSmall.blockSize);
    Bytes piece = Pattern(1000);
    int error = 0;
    for (std::size_t written = 0; error == 0 && written < 4 * kLimit; written += piece.size()) {
        error = writer.Write(piece.data(), piece.size());
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(writer.Finish(), EFBIG);
    EXPECT_EQ(ReadBytes(dir / "out").size(), kLimit);
}

TEST_F(FileSizeLimit, DataStillPendingAtCloseFailsTheClose) {
    HANDLE file = Create();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Bytes content = Pattern(kLimit + 5000); // less than one block: nothing is written before close
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &n, nullptr));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EFBIG));
    Bytes kept = ReadBytes(dir / "out");
    EXPECT_EQ(kept, Bytes(content.begin(), content.begin() + kLimit));
}

TEST(Files, ReadAndWrittenBytesMatchAroundTheLayersBlockSize) {
    TempDir dir;
    for (std::size_t size :
         {kBlock - 1, kBlock, kBlock + 1, kRing, kRing + 1023, kRing + kBlock + 1}) {
        Bytes content = Pattern(size);
        WriteBytes(dir / "in", content);
        HANDLE in = CreateFile((dir / "in").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE out = CreateFile((dir / "out").c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(in, INVALID_HANDLE_VALUE);
        ASSERT_NE(out, INVALID_HANDLE_VALUE);
        unsigned char chunk[1024];
        std::size_t total = 0;
        for (;;) {
            DWORD n = 0;
            ASSERT_TRUE(ReadFile(in, chunk, sizeof chunk, &n, nullptr));
            if (n == 0) {
                break;
            }
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(out, chunk, n, &written, nullptr));
            total += written;
        }
        EXPECT_EQ(total, size);
        // The size of a file being written counts what is still on its way.
        DWORD high = 0;
        EXPECT_EQ(GetFileSize(out, &high), size);
        EXPECT_TRUE(CloseHandle(in));
        EXPECT_TRUE(CloseHandle(out));
        EXPECT_EQ(ReadBytes(dir / "out"), content) << size;
    }
}

} // namespace
