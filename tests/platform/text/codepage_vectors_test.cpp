// Known-answer files for passwords outside ASCII: each password, typed as UTF-8 and converted
// into its locale's code page, must key the cipher that made the file on Windows.

#include "platform/crypto/crypt_api.h"
#include "platform/text/code_page.h"
#include "platform/text/text_convert.h"
#include "support/rc4.h"
#include "support/test_files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace platform;
using testing_support::Bytes;
using testing_support::FromHex;
using testing_support::Rc4;
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
