#include "engine/password_bytes.h"

#include "engine/text_format.h"
#include "platform/files/strings.h"
#include "platform/text/text_convert.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

namespace vanthe {

using namespace platform;

std::string UnrepresentablePasswordText(UINT codePage) {
    return FormatText("The password contains characters that code page %d cannot represent.",
                      static_cast<int>(codePage));
}

namespace {

// Keys that Japanese input here (the JIS tables of EUC-JP and Shift_JIS locales, the yen key)
// types as other characters than Windows does. Code page 932 holds them under Windows' forms,
// so encrypting would refuse a password typed the same way on both.
constexpr std::pair<std::string_view, std::string_view> kJisToWindows[] = {
    {"\u301C", "\uFF5E"}, // wave dash
    {"\u2016", "\u2225"}, // double vertical line
    {"\u2212", "\uFF0D"}, // minus sign
    {"\u00A2", "\uFFE0"}, // cent sign
    {"\u00A3", "\uFFE1"}, // pound sign
    {"\u00AC", "\uFFE2"}, // not sign
    {"\u00A5", "\\"},     // the yen key, which types a backslash on Windows
    {"\u203E", "~"},      // the overline key, which types a tilde on Windows
};

// `utf8` with Windows' form of each such character; wipe it after use.
std::string AsTypedOnWindows(std::string_view utf8) {
    std::string typed;
    typed.reserve(utf8.size() * 2); // no reallocation leaves a copy behind
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto* pair =
            std::find_if(std::begin(kJisToWindows), std::end(kJisToWindows),
                         [&](const auto& p) { return utf8.substr(pos).starts_with(p.first); });
        if (pair == std::end(kJisToWindows)) {
            typed.push_back(utf8[pos++]);
        } else {
            typed.append(pair->second);
            pos += pair->first.size();
        }
    }
    return typed;
}

} // namespace

PasswordBytes PasswordForCodePage(const std::string& utf8, UINT codePage, bool encrypting) {
    PasswordBytes result;
    const DWORD flags = encrypting ? WC_NO_BEST_FIT_CHARS : 0;
    TextFault fault = TextFault::None;
    if (codePage == 932) {
        std::string typed = AsTypedOnWindows(utf8);
        fault = Utf8ToMultiByte(codePage, flags, typed, &result.bytes);
        SecureZeroMemory(typed.data(), typed.size());
    } else {
        fault = Utf8ToMultiByte(codePage, flags, utf8, &result.bytes);
    }
    if (fault == TextFault::None) {
        result.ok = true;
    } else if (fault == TextFault::Unrepresentable) {
        result.unrepresentable = true;
        result.errorText = UnrepresentablePasswordText(codePage);
    } else {
        result.errorText = TextFaultText(fault);
    }
    return result;
}

} // namespace vanthe
