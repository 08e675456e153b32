// Known-answer files for passwords outside ASCII: each password, typed as UTF-8 and converted
// into its locale's code page, must key the cipher that made the file on Windows.

#include "platform/crypto/crypt_api.h"
#include "platform/text/code_page.h"
#include "platform/text/text_convert.h"
#include "support/test_files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace platform;
using testing_support::Bytes;
using testing_support::FromHex;
using testing_support::ReadBytes;

namespace {

struct CodePageVector {
    std::string locale;
    std::string passwordUtf8;
    UINT codePage = 0;
    std::string passwordBytes;
    std::string input;
    std::string output;
};

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<CodePageVector> LoadCodePageVectors() {
    const std::string root = VANTHE_TEST_DATA_DIR "/vectors/codepage/";
    std::ifstream table(root + "vectors.tsv");
    std::vector<CodePageVector> vectors;
    std::string line;
    std::getline(table, line); // column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        CodePageVector v;
        std::string utf8Hex, bytesHex, input, output;
        fields >> v.locale >> utf8Hex >> v.codePage >> bytesHex >> input >> output;
        v.passwordUtf8 = Text(FromHex(utf8Hex));
        v.passwordBytes = Text(FromHex(bytesHex));
        v.input = root + input;
        v.output = root + output;
        vectors.push_back(v);
    }
    return vectors;
}

// The file's bytes run through RC4 keyed from the password bytes, as the program keys it.
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
    EXPECT_EQ(CryptDeriveKey(provider, CALG_RC4, hash, 0x00280001, &key), S_OK);
    DWORD length = static_cast<DWORD>(data.size());
    EXPECT_EQ(CryptEncrypt(key, nullptr, true, 0, data.data(), &length, length), S_OK);
    CryptDestroyKey(key);
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return data;
}

TEST(CodePageVectors, TypedPasswordsKeyTheFilesMadeOnWindows) {
    const std::vector<CodePageVector> vectors = LoadCodePageVectors();
    ASSERT_EQ(vectors.size(), 4U);
    for (const CodePageVector& v : vectors) {
        SCOPED_TRACE(v.locale + " " + v.output);
        EXPECT_EQ(CodePageForLocaleName(v.locale), v.codePage);
        // Encrypting converts strictly, decrypting as Windows does: both give the same bytes.
        for (DWORD flags : {WC_NO_BEST_FIT_CHARS, DWORD{0}}) {
            std::string password;
            ASSERT_EQ(Utf8ToMultiByte(v.codePage, flags, v.passwordUtf8, &password),
                      TextFault::None);
            EXPECT_EQ(password, v.passwordBytes);
            const Bytes plain = ReadBytes(v.input);
            const Bytes cipher = ReadBytes(v.output);
            ASSERT_EQ(plain.size(), cipher.size());
            EXPECT_EQ(Rc4(password, plain), cipher);
            EXPECT_EQ(Rc4(password, cipher), plain);
        }
        // The UTF-8 bytes themselves are not what Windows hashed.
        EXPECT_NE(Rc4(v.passwordUtf8, ReadBytes(v.input)), ReadBytes(v.output));
    }
}

} // namespace
