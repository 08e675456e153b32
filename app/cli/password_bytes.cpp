#include "app/cli/password_bytes.h"

#include "engine/password_bytes.h"
#include "platform/files/strings.h"
#include "platform/text/code_page.h"
#include "platform/text/text_convert.h"

#include <algorithm>

namespace vanthe::cli {

bool IsKnownCodePage(int codePage) {
    return codePage > 0 && platform::IsValidCodePage(static_cast<platform::UINT>(codePage));
}

bool ChooseCodePage(int chosen, int& codePage, std::string& reason) {
    if (chosen != 0) {
        codePage = chosen;
        return true;
    }
    platform::UINT fromEnvironment = 0;
    if (!platform::CodePageFromEnvironment(&fromEnvironment, &reason)) {
        return false;
    }
    codePage = static_cast<int>(fromEnvironment);
    return true;
}

bool ToPasswordBytes(const std::string& text, PasswordOrigin origin, int codePage, bool encrypting,
                     PasswordBytes& result) {
    result.codePage = codePage;
    result.nonAscii = std::any_of(text.begin(), text.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (origin == PasswordOrigin::FileLine && !platform::IsValidUtf8(text)) {
        // Already in a legacy encoding: every raw-byte password keeps working.
        result.bytes = text;
        return true;
    }
    vanthe::PasswordBytes converted =
        PasswordForCodePage(text, static_cast<platform::UINT>(codePage), encrypting);
    result.bytes = std::move(converted.bytes);
    result.errorText = converted.errorText;
    return converted.ok;
}

std::size_t DialogCharacters(const std::string& text) {
    if (!platform::IsValidUtf8(text)) {
        return text.size();
    }
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // A lead byte starts one unit; a four-byte sequence is a surrogate pair, two.
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

void Wipe(PasswordBytes& password) {
    platform::SecureZeroMemory(password.bytes.data(), password.bytes.size());
}

} // namespace vanthe::cli
