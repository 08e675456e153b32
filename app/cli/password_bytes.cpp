#include "app/cli/password_bytes.h"

#include "platform/files/strings.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace vanthe::cli {

namespace {

constexpr int kUtf8 = 65001;

} // namespace

// TODO(lead): wire platform/text: its code-page table, the locale's ANSI code page, the
// strict conversion for encrypting and the best-fit one for decrypting, IsValidUtf8 for
// password-file lines. Until then the bytes stay as they are, under code page 1252.

bool IsKnownCodePage(int codePage) {
    static constexpr int kKnown[] = {874,  932,  936,  949,  950,  1250, 1251, 1252,
                                     1253, 1254, 1255, 1256, 1257, 1258, kUtf8};
    return std::find(std::begin(kKnown), std::end(kKnown), codePage) != std::end(kKnown);
}

bool ChooseCodePage(int chosen, int& codePage, std::string& reason) {
    if (chosen != 0) {
        codePage = chosen;
        return true;
    }
    if (const char* value = std::getenv("VANTHE_CODEPAGE"); value != nullptr && *value != '\0') {
        int number = 0;
        const char* end = value + std::strlen(value);
        auto [at, error] = std::from_chars(value, end, number);
        if (error != std::errc() || at != end || !IsKnownCodePage(number)) {
            reason = std::string("VANTHE_CODEPAGE: unknown code page '") + value + "'";
            return false;
        }
        codePage = number;
        return true;
    }
    codePage = 1252;
    return true;
}

bool ToPasswordBytes(const std::string& text, PasswordOrigin, int codePage, bool,
                     PasswordBytes& result) {
    result.bytes = text;
    result.codePage = codePage;
    result.nonAscii = std::any_of(text.begin(), text.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return true;
}

void Wipe(PasswordBytes& password) {
    platform::SecureZeroMemory(password.bytes.data(), password.bytes.size());
}

} // namespace vanthe::cli
