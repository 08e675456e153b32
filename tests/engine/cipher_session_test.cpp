#include "engine/cipher_session.h"
#include "platform/crypto/crypt_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string>

using namespace platform;
using testing_support::Bytes;
using testing_support::ReadBytes;
using vanthe::CipherSession;

namespace {

class CipherSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCryptFailures();
        ResetCryptCounters();
    }
    void TearDown() override {
        ClearCryptFailures();
        EXPECT_EQ(CryptLiveObjects(), 0) << "a context, hash or key was not released";
    }
};

// Encrypts `data` in chunks of `chunk` bytes, final on the last.
Bytes EncryptInChunks(const std::string& password, Bytes data, std::size_t chunk) {
    CipherSession session;
    EXPECT_TRUE(session.SetKey(password)) << session.errorText();
    for (std::size_t at = 0; at < data.size(); at += chunk) {
        std::size_t n = std::min(chunk, data.size() - at);
        EXPECT_TRUE(session.Encrypt(data.data() + at, static_cast<std::uint32_t>(n),
                                    at + n >= data.size()));
    }
    return data;
}

TEST_F(CipherSessionTest, MatchesTheKnownAnswersInAnyChunking) {
    for (const auto& vector : testing_support::LoadVectors()) {
        Bytes plain = ReadBytes(vector.input);
        Bytes expected = ReadBytes(vector.output);
        for (std::size_t chunk : {1u, 7u, 1000u, 1024u, 4096u}) {
            EXPECT_EQ(EncryptInChunks(vector.password, plain, chunk), expected)
                << vector.output << " in chunks of " << chunk;
        }
    }
}

TEST_F(CipherSessionTest, DecryptingOrEncryptingAgainGivesTheInputBack) {
    Bytes plain = testing_support::Pattern(3000);
    Bytes cipher = EncryptInChunks("secret", plain, 1024);
    EXPECT_NE(cipher, plain);
    EXPECT_EQ(EncryptInChunks("secret", cipher, 333), plain);

    CipherSession session;
    ASSERT_TRUE(session.SetKey("secret"));
    EXPECT_TRUE(session.Decrypt(cipher.data(), 1000, false));
    EXPECT_TRUE(session.Decrypt(cipher.data() + 1000, 2000, true));
    EXPECT_EQ(cipher, plain);
}

TEST_F(CipherSessionTest, SecondKeyIsRefusedAndTheFirstStaysInForce) {
    CipherSession session;
    ASSERT_TRUE(session.SetKey("a"));
    EXPECT_FALSE(session.SetKey("other"));
    EXPECT_EQ(session.errorText(), "Key is already installed.");
    Bytes data = testing_support::Pattern(1);
    ASSERT_TRUE(session.Encrypt(data.data(), 1, true));
    EXPECT_EQ(data, ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p01__pattern-000001.enc"));
}

TEST_F(CipherSessionTest, TransformsBeforeSetKeyAreRefusedAndLeaveTheDataAlone) {
    CipherSession session;
    Bytes data = {1, 2, 3};
    EXPECT_FALSE(session.Encrypt(data.data(), 3, false));
    EXPECT_EQ(session.errorText(), "Call SetKey at first.");
    EXPECT_FALSE(session.Decrypt(data.data(), 3, true));
    EXPECT_EQ(session.errorText(), "Call SetKey at first.");
    EXPECT_EQ(data, (Bytes{1, 2, 3}));
}

TEST_F(CipherSessionTest, RefusedContextKeepsItsTextThroughSetKey) {
    InjectCryptFailure(CryptCall::AcquireContext, NTE_PROVIDER_DLL_FAIL);
    CipherSession session;
    EXPECT_EQ(session.provider(), nullptr);
    EXPECT_EQ(session.errorText(), "Init error. HR8009001D");
    EXPECT_FALSE(session.SetKey("a"));
    EXPECT_EQ(session.errorText(), "Init error. HR8009001D");
    unsigned char byte = 0;
    EXPECT_FALSE(session.Encrypt(&byte, 1, true));
    EXPECT_EQ(session.errorText(), "Call SetKey at first.");
}

TEST_F(CipherSessionTest, EachKeyDerivationStepReportsItsOwnCode) {
    const struct {
        CryptCall call;
        HRESULT code;
        const char* text;
    } cases[] = {
        {CryptCall::CreateHash, NTE_BAD_ALGID, "Setkey error. HR:80090008"},
        {CryptCall::HashData, 0x8007000E, "Setkey error. HR:8007000E"},
        {CryptCall::DeriveKey, NTE_BAD_FLAGS, "Setkey error. HR:80090009"},
    };
    for (const auto& c : cases) {
        InjectCryptFailure(c.call, c.code);
        CipherSession session;
        EXPECT_FALSE(session.SetKey("a"));
        EXPECT_EQ(session.errorText(), c.text);
        // The session stays without a key.
        unsigned char byte = 0;
        EXPECT_FALSE(session.Encrypt(&byte, 1, true));
        EXPECT_EQ(session.errorText(), "Call SetKey at first.");
    }
}

TEST_F(CipherSessionTest, CipherCallFailuresKeepTheirFormAndCode) {
    CipherSession session;
    ASSERT_TRUE(session.SetKey("a"));
    unsigned char byte = 0;
    InjectCryptFailure(CryptCall::Encrypt, NTE_BAD_KEY);
    EXPECT_FALSE(session.Encrypt(&byte, 1, false));
    EXPECT_EQ(session.errorText(), "Encrypt error. HR:80090003");
    InjectCryptFailure(CryptCall::Decrypt, NTE_BAD_DATA);
    EXPECT_FALSE(session.Decrypt(&byte, 1, false));
    EXPECT_EQ(session.errorText(), "Decrypt error. HR:80090005");
    // A later success does not clear the text.
    EXPECT_TRUE(session.Encrypt(&byte, 1, true));
    EXPECT_EQ(session.errorText(), "Decrypt error. HR:80090005");
}

TEST_F(CipherSessionTest, FailedReleasesAreTriedOnceMore) {
    InjectCryptFailure(CryptCall::DestroyHash, NTE_FAIL);
    InjectCryptFailure(CryptCall::DestroyKey, NTE_FAIL);
    InjectCryptFailure(CryptCall::ReleaseContext, NTE_FAIL);
    {
        CipherSession session;
        EXPECT_TRUE(session.SetKey("a"));
    }
    EXPECT_EQ(CryptCallCount(CryptCall::DestroyHash), 2u);
    EXPECT_EQ(CryptCallCount(CryptCall::DestroyKey), 2u);
    EXPECT_EQ(CryptCallCount(CryptCall::ReleaseContext), 2u);
}

TEST_F(CipherSessionTest, PasswordBytesAloneEnterTheHash) {
    // The "abc" vectors were made from exactly three bytes: no terminator, no length.
    Bytes plain = testing_support::Pattern(1025);
    EXPECT_EQ(EncryptInChunks(std::string("abc"), plain, 1024),
              ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p02__pattern-001025.enc"));
    EXPECT_NE(EncryptInChunks(std::string("abc\0", 4), plain, 1024),
              ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p02__pattern-001025.enc"));
}

TEST_F(CipherSessionTest, EmptyPasswordIsTheSessionsToAccept) {
    CipherSession session;
    EXPECT_TRUE(session.SetKey(""));
}

} // namespace
