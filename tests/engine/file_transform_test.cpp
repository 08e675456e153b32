#include "engine/file_transform.h"
#include "platform/crypto/crypt_faults.h"
#include "platform/files/file_faults.h"
#include "platform/window/messaging.h"
#include "support/test_files.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
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
using vanthe::WM_JOB_FINISHED;
using vanthe::WM_JOB_PROGRESS;
using vanthe::WM_JOB_STARTED;

namespace {

using Message = std::pair<UINT, WPARAM>;

// A window that records the job notifications and can act on them.
class Recorder {
public:
    Recorder() {
        window_ = CreateMessageWindow(&Recorder::Proc);
        SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Recorder() { DestroyWindow(window_); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    HWND window() const { return window_; }
    std::vector<Message> messages;
    std::function<void(UINT, WPARAM)> onMessage;

private:
    static LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM) {
        auto* self = reinterpret_cast<Recorder*>(GetWindowLongPtr(window, GWLP_USERDATA));
        if (self != nullptr && message >= WM_USER) {
            self->messages.emplace_back(message, wParam);
            if (self->onMessage) {
                self->onMessage(message, wParam);
            }
        }
        return 0;
    }
    HWND window_;
};

std::vector<Message> ExpectedRun(std::size_t size) {
    std::vector<Message> expected{{WM_JOB_STARTED, size / 1024}};
    for (std::size_t i = 0; i * 1024 < size; ++i) {
        expected.emplace_back(WM_JOB_PROGRESS, i);
    }
    expected.emplace_back(WM_JOB_FINISHED, 0);
    return expected;
}

const std::vector<Message> kFailedBeforeStart{{WM_JOB_FINISHED, 1}};

class Transform : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCryptFailures();
        ClearFileFailures();
        ResetCryptCounters();
        transform.notifyWindow = recorder.window();
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
        ASSERT_TRUE(job.EncryptFile(vector.input, destination, vector.password)) << job.errorText;
        EXPECT_EQ(ReadBytes(destination), ReadBytes(vector.output)) << vector.output;
        ASSERT_TRUE(job.DecryptFile(vector.output, dir / "back", vector.password));
        EXPECT_EQ(ReadBytes(dir / "back"), ReadBytes(vector.input)) << vector.output;
    }
}

TEST_F(Transform, NotificationsFollowTheChunks) {
    for (std::size_t size : {0u, 1u, 1023u, 1024u, 1025u, 3u * 1024u, 5u * 1024u + 300u}) {
        recorder.messages.clear();
        ResetCryptCounters();
        WriteBytes(source, Pattern(size));
        ASSERT_TRUE(Encrypt()) << transform.errorText;
        EXPECT_EQ(recorder.messages, ExpectedRun(size)) << "size " << size;
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

TEST_F(Transform, WrongPasswordDecryptsToOtherBytesWithoutComplaint) {
    WriteBytes(source, Pattern(2000));
    ASSERT_TRUE(Encrypt());
    recorder.messages.clear();
    ASSERT_TRUE(transform.DecryptFile(destination, dir / "plain", "wrong"));
    EXPECT_EQ(recorder.messages.back(), Message(WM_JOB_FINISHED, 0));
    EXPECT_EQ(ReadBytes(dir / "plain").size(), 2000u);
    EXPECT_NE(ReadBytes(dir / "plain"), Pattern(2000));
}

TEST_F(Transform, RefusedContextTouchesNoFile) {
    WriteBytes(source, Pattern(10));
    InjectCryptFailure(CryptCall::AcquireContext, NTE_PROVIDER_DLL_FAIL);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Init error. HR8009001D");
    EXPECT_EQ(recorder.messages, kFailedBeforeStart);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, FailedSetKeyTouchesNoFile) {
    WriteBytes(source, Pattern(10));
    InjectCryptFailure(CryptCall::DeriveKey, NTE_BAD_KEY);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Setkey error. HR:80090003");
    EXPECT_EQ(recorder.messages, kFailedBeforeStart);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, MissingSourceIsAFileErrorInDecimal) {
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 2.");
    EXPECT_FALSE(transform.DecryptFile(source, destination, "password"));
    EXPECT_EQ(transform.errorText, "Decryption error: 2.");
    EXPECT_EQ(recorder.messages, std::vector<Message>(2, Message(WM_JOB_FINISHED, 1)));
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, SourceThatCannotBeSizedLeavesTheDestinationAlone) {
    WriteBytes(source, Pattern(10));
    InjectFileFailure(FileCall::GetSize, 13);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 13.");
    EXPECT_EQ(recorder.messages, kFailedBeforeStart);
    EXPECT_FALSE(PathExists(destination));
}

TEST_F(Transform, DestinationThatCannotBeCreated) {
    WriteBytes(source, Pattern(10));
    EXPECT_FALSE(transform.EncryptFile(source, dir / "no/such/folder", "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 2.");
    EXPECT_EQ(recorder.messages, kFailedBeforeStart);
}

TEST_F(Transform, DirectorySourceIsRefused) {
    EXPECT_FALSE(transform.EncryptFile(dir.path(), destination, "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 21.");
    EXPECT_FALSE(PathExists(destination));
}

class SameFileTransform : public Transform, public ::testing::WithParamInterface<const char*> {};

TEST_P(SameFileTransform, IsRefusedWithASharingViolationAndNothingChanges) {
    WriteBytes(source, Pattern(5000));
    std::string other = GetParam();
    std::string target = source;
    if (other == "hard link") {
        target = dir / "hard";
        ASSERT_EQ(::link(source.c_str(), target.c_str()), 0);
    } else if (other == "symlink") {
        target = dir / "soft";
        ASSERT_EQ(::symlink(source.c_str(), target.c_str()), 0);
    } else if (other == "other spelling") {
        target = dir.path() + "/./report.doc";
    }
    EXPECT_FALSE(transform.EncryptFile(source, target, "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 32.");
    EXPECT_EQ(recorder.messages, kFailedBeforeStart);
    EXPECT_EQ(ReadBytes(source), Pattern(5000));
}

INSTANTIATE_TEST_SUITE_P(Spellings, SameFileTransform,
                         ::testing::Values("same path", "other spelling", "hard link", "symlink"));

TEST_F(Transform, ReadFailureAfterSomeChunksKeepsWhatWasWritten) {
    WriteBytes(source, Pattern(5000));
    InjectFileFailure(FileCall::Read, 5, 3);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 5.");
    std::vector<Message> expected{{WM_JOB_STARTED, 4},
                                  {WM_JOB_PROGRESS, 0},
                                  {WM_JOB_PROGRESS, 1},
                                  {WM_JOB_PROGRESS, 2},
                                  {WM_JOB_FINISHED, 1}};
    EXPECT_EQ(recorder.messages, expected);
    EXPECT_EQ(ReadBytes(destination).size(), 3u * 1024u);
}

TEST_F(Transform, CipherFailureOnAChunkEndsTheJobWithTheSessionsText) {
    WriteBytes(source, Pattern(5000));
    InjectCryptFailure(CryptCall::Decrypt, NTE_BAD_DATA, 2);
    EXPECT_FALSE(transform.DecryptFile(source, destination, "password"));
    EXPECT_EQ(transform.errorText, "Decrypt error. HR:80090005");
    std::vector<Message> expected{
        {WM_JOB_STARTED, 4}, {WM_JOB_PROGRESS, 0}, {WM_JOB_PROGRESS, 1}, {WM_JOB_FINISHED, 1}};
    EXPECT_EQ(recorder.messages, expected);
    EXPECT_EQ(ReadBytes(destination).size(), 2u * 1024u);
}

TEST_F(Transform, WriteFailureOnAChunk) {
    WriteBytes(source, Pattern(5000));
    InjectFileFailure(FileCall::Write, 28, 1);
    EXPECT_FALSE(Encrypt());
    EXPECT_EQ(transform.errorText, "Encryption error: 28.");
    std::vector<Message> expected{{WM_JOB_STARTED, 4}, {WM_JOB_PROGRESS, 0}, {WM_JOB_FINISHED, 1}};
    EXPECT_EQ(recorder.messages, expected);
    EXPECT_EQ(ReadBytes(destination).size(), 1024u);
}

TEST_F(Transform, DataThatNeverReachesTheDiskIsAFailure) {
    WriteBytes(source, Pattern(3000));
    EXPECT_FALSE(transform.EncryptFile(source, "/dev/full", "password"));
    EXPECT_EQ(transform.errorText, "Encryption error: 28.");
    EXPECT_EQ(recorder.messages.back(), Message(WM_JOB_FINISHED, 1));
}

TEST_F(Transform, SourceThatShrinksEndsAtItsNewEndAsASuccess) {
    WriteBytes(source, Pattern(4096));
    recorder.onMessage = [&](UINT message, WPARAM) {
        if (message == WM_JOB_STARTED) {
            ASSERT_EQ(::truncate(source.c_str(), 1500), 0);
        }
    };
    EXPECT_TRUE(Encrypt());
    std::vector<Message> expected{
        {WM_JOB_STARTED, 4}, {WM_JOB_PROGRESS, 0}, {WM_JOB_PROGRESS, 1}, {WM_JOB_FINISHED, 0}};
    EXPECT_EQ(recorder.messages, expected);
    EXPECT_EQ(ReadBytes(destination).size(), 1500u);
    EXPECT_EQ(CryptFinalCallCount(), 0u);
}

TEST_F(Transform, SourceThatGrowsTakesInAtMostOneChunksExtraBytes) {
    WriteBytes(source, Pattern(1500));
    recorder.onMessage = [&](UINT message, WPARAM) {
        if (message == WM_JOB_STARTED) {
            WriteBytes(source, Pattern(4500));
        }
    };
    EXPECT_TRUE(Encrypt());
    EXPECT_EQ(ReadBytes(destination).size(), 2048u);
    EXPECT_EQ(recorder.messages.size(), 4u);
    EXPECT_EQ(CryptFinalCallCount(), 1u);
}

TEST_F(Transform, AWindowThatIsGoneDoesNotStopTheJob) {
    WriteBytes(source, Pattern(3000));
    transform.notifyWindow = reinterpret_cast<HWND>(std::uintptr_t{0xDEAD});
    EXPECT_TRUE(Encrypt());
    EXPECT_EQ(ReadBytes(destination).size(), 3000u);
}

} // namespace
