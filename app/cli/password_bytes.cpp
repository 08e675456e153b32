#include "app/cli/password_bytes.h"

#include "app/cli/printable_name.h"
#include "engine/password_bytes.h"
#include "platform/files/strings.h"
#include "platform/text/code_page.h"
#include "platform/text/text_convert.h"

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
        reason = Printable(reason); // it quotes the variable's value
        return false;
    }
    codePage = static_cast<int>(fromEnvironment);
    return true;
}

bool ToPasswordBytes(const std::string& text, PasswordOrigin origin, int codePage, bool encrypting,
                     PasswordBytes& result) {
    result.codePage = codePage;
    result.nonAscii = !platform::IsAscii(text);
    if (origin == PasswordOrigin::FileLine && !platform::IsValidUtf8(text)) {
        // Already in a legacy encoding: every raw-byte password keeps working.
        result.bytes = text;
        result.asTheyStand = true;
        return true;
    }
    // A terminal types in its locale's character set. Where that is neither UTF-8 nor the
    // ASCII that UTF-8 contains, the text is read in it, as the dialog's toolkit reads it.
    std::string decoded;
    const std::string charset =
        origin == PasswordOrigin::Typed ? platform::LocaleCharset() : std::string();
    if (!charset.empty() && charset != "UTF-8" && charset != "ANSI_X3.4-1968") {
        const platform::TextFault fault = platform::LocaleTextToUtf8(charset, text, &decoded);
        if (fault != platform::TextFault::None) {
            result.errorText = std::string(platform::TextFaultText(fault)) + " (" + charset + ")";
            return false;
        }
    }
    vanthe::PasswordBytes converted = PasswordForCodePage(
        decoded.empty() ? text : decoded, static_cast<platform::UINT>(codePage), encrypting);
    platform::SecureZeroMemory(decoded.data(), decoded.size());
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
