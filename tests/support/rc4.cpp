#include "support/rc4.h"

#include "platform/crypto/crypt_api.h"

#include <gtest/gtest.h>

namespace testing_support {

using namespace platform;

Bytes Rc4(const std::string& password, Bytes data) {
    HCRYPTPROV provider = nullptr;
    HCRYPTHASH hash = nullptr;
    HCRYPTKEY key = nullptr;
    EXPECT_EQ(CryptAcquireContext(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
              S_OK);
    EXPECT_EQ(CryptCreateHash(provider, CALG_MD5, nullptr, 0, &hash), S_OK);
    EXPECT_EQ(CryptHashData(hash, reinterpret_cast<const unsigned char*>(password.data()),
                            static_cast<DWORD>(password.size()), 0),
              S_OK);
    EXPECT_EQ(CryptDeriveKey(provider, CALG_RC4, hash, (40u << 16) | CRYPT_EXPORTABLE, &key), S_OK);
    DWORD length = static_cast<DWORD>(data.size());
    EXPECT_EQ(CryptEncrypt(key, nullptr, true, 0, data.data(), &length, length), S_OK);
    CryptDestroyKey(key);
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return data;
}

} // namespace testing_support
