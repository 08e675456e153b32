#include "platform/crypto/crypt_api.h"
#include "platform/crypto/crypt_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <string>

using namespace platform;
using testing_support::Bytes;
using testing_support::FromHex;

namespace {

class CryptApi : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCryptFailures();
        ASSERT_EQ(
            CryptAcquireContext(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
            S_OK);
    }
    void TearDown() override {
        if (key != nullptr) {
            EXPECT_EQ(CryptDestroyKey(key), S_OK);
        }
        EXPECT_EQ(CryptReleaseContext(provider, 0), S_OK);
        EXPECT_EQ(CryptLiveObjects(), 0);
        ClearCryptFailures();
    }

    void DeriveFrom(const std::string& password, DWORD flags = 0x00280001) {
        HCRYPTHASH hash = nullptr;
        ASSERT_EQ(CryptCreateHash(provider, CALG_MD5, nullptr, 0, &hash), S_OK);
        ASSERT_EQ(CryptHashData(hash, reinterpret_cast<const unsigned char*>(password.data()),
                                static_cast<DWORD>(password.size()), 0),
                  S_OK);
        ASSERT_EQ(CryptDeriveKey(provider, CALG_RC4, hash, flags, &key), S_OK);
        ASSERT_EQ(CryptDestroyHash(hash), S_OK);
    }

    Bytes Keystream(std::size_t size, bool final = false) {
        Bytes data(size, 0);
        DWORD length = static_cast<DWORD>(size);
        EXPECT_EQ(CryptEncrypt(key, nullptr, final, 0, data.data(), &length, length), S_OK);
        return data;
    }

    HCRYPTPROV provider = nullptr;
    HCRYPTKEY key = nullptr;
};

TEST_F(CryptApi, FortyBitKeyIsFiveDigestBytesAndElevenZeroBytesOfSalt) {
    // MD5("abc") = 900150983cd24fb0...; RC4 key 900150983c followed by zeros.
    DeriveFrom("abc");
    EXPECT_EQ(Keystream(16), FromHex("7cd2e8eb6b58c5d62ae773a0e28b5855"));
}

TEST_F(CryptApi, KeyStreamRunsOnAcrossCallsUntilTheFinalFlag) {
    DeriveFrom("abc");
    Bytes first = Keystream(7);
    Bytes rest = Keystream(9, true);
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(first, FromHex("7cd2e8eb6b58c5d62ae773a0e28b5855"));
    // After the final chunk the key starts its stream over.
    EXPECT_EQ(Keystream(4), FromHex("7cd2e8eb"));
}

TEST_F(CryptApi, DecryptIsTheSameByteTransform) {
    DeriveFrom("abc");
    Bytes data = FromHex("00000000");
    DWORD length = 4;
    ASSERT_EQ(CryptDecrypt(key, nullptr, true, 0, data.data(), &length), S_OK);
    EXPECT_EQ(data, FromHex("7cd2e8eb"));
}

TEST_F(CryptApi, NoSaltUsesTheShortKeyItself) {
    DeriveFrom("abc", 0x00280001 | CRYPT_NO_SALT);
    EXPECT_NE(Keystream(16), FromHex("7cd2e8eb6b58c5d62ae773a0e28b5855"));
}

TEST_F(CryptApi, HashCannotTakeDataAfterAKeyWasDerivedFromIt) {
    HCRYPTHASH hash = nullptr;
    ASSERT_EQ(CryptCreateHash(provider, CALG_MD5, nullptr, 0, &hash), S_OK);
    ASSERT_EQ(CryptDeriveKey(provider, CALG_RC4, hash, 0x00280001, &key), S_OK);
    unsigned char byte = 'x';
    EXPECT_EQ(CryptHashData(hash, &byte, 1, 0), NTE_BAD_HASH_STATE);
    EXPECT_EQ(CryptDestroyHash(hash), S_OK);
}

TEST_F(CryptApi, RefusesWhatTheDefaultProviderDoesNotOffer) {
    HCRYPTHASH hash = nullptr;
    EXPECT_EQ(CryptCreateHash(provider, 0x8004 /* SHA-1 */, nullptr, 0, &hash), NTE_BAD_ALGID);
    ASSERT_EQ(CryptCreateHash(provider, CALG_MD5, nullptr, 0, &hash), S_OK);
    EXPECT_EQ(CryptDeriveKey(provider, 0x6602 /* RC2 */, hash, 0x00280001, &key), NTE_BAD_ALGID);
    EXPECT_EQ(CryptDeriveKey(provider, CALG_RC4, hash, 0x00200001, &key), NTE_BAD_FLAGS);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(CryptDestroyHash(hash), S_OK);

    HCRYPTPROV other = nullptr;
    EXPECT_EQ(CryptAcquireContext(&other, nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT),
              NTE_BAD_PROV_TYPE);
    EXPECT_EQ(CryptAcquireContext(&other, "container", nullptr, PROV_RSA_FULL, 0), NTE_BAD_FLAGS);
    EXPECT_EQ(other, nullptr);
}

TEST_F(CryptApi, BufferShorterThanTheDataIsRefused) {
    DeriveFrom("abc");
    Bytes data(8);
    DWORD length = 8;
    EXPECT_EQ(CryptEncrypt(key, nullptr, false, 0, data.data(), &length, 4), NTE_BAD_LEN);
}

TEST_F(CryptApi, InjectedFailureHitsTheChosenCallOnce) {
    DeriveFrom("abc");
    InjectCryptFailure(CryptCall::Encrypt, 0x8007000E, 1);
    Bytes data(4);
    DWORD length = 4;
    EXPECT_EQ(CryptEncrypt(key, nullptr, false, 0, data.data(), &length, 4), S_OK);
    EXPECT_EQ(CryptEncrypt(key, nullptr, false, 0, data.data(), &length, 4), 0x8007000Eu);
    EXPECT_EQ(CryptEncrypt(key, nullptr, false, 0, data.data(), &length, 4), S_OK);
}

TEST(CryptContexts, EachContextIsIndependentAndReleasesEverything) {
    HCRYPTPROV a = nullptr;
    HCRYPTPROV b = nullptr;
    ASSERT_EQ(CryptAcquireContext(&a, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT), S_OK);
    ASSERT_EQ(CryptAcquireContext(&b, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT), S_OK);
    HCRYPTHASH hash = nullptr;
    HCRYPTKEY key = nullptr;
    ASSERT_EQ(CryptCreateHash(a, CALG_MD5, nullptr, 0, &hash), S_OK);
    ASSERT_EQ(CryptDeriveKey(a, CALG_RC4, hash, 0x00280001, &key), S_OK);
    // The key outlives its hash and its context, as the service allows.
    EXPECT_EQ(CryptDestroyHash(hash), S_OK);
    EXPECT_EQ(CryptReleaseContext(a, 0), S_OK);
    unsigned char byte = 0;
    DWORD length = 1;
    EXPECT_EQ(CryptEncrypt(key, nullptr, true, 0, &byte, &length, 1), S_OK);
    EXPECT_EQ(CryptDestroyKey(key), S_OK);
    EXPECT_EQ(CryptReleaseContext(b, 0), S_OK);
    EXPECT_EQ(CryptLiveObjects(), 0);
}

} // namespace
