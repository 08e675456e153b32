#include "app/cli/printable_name.h"

#include <cstdint>

namespace vanthe::cli {

namespace {

// The length of the valid UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // Overlong forms and UTF-16 surrogates are not UTF-8; U+0080 to U+009F are controls.
    unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90) ||
        (lead == 0xC2 && second < 0xA0)) {
        return 0;
    }
    return length;
}

// Characters that show as nothing, or turn the direction of the text after them, so that a
// name holding one looks like another: "a\u200Btxt" like "atxt", "invoice\u202Efdp.exe" like
// "invoiceexe.pdf". Joiners (U+200C, U+200D) stay: Persian words and emoji sequences need them.
bool ShowsAsAnother(const std::string& text, std::size_t at, std::size_t length) {
    char32_t c = 0;
    if (length == 2) {
        c = (static_cast<char32_t>(text[at] & 0x1F) << 6) | (text[at + 1] & 0x3F);
    } else if (length == 3) {
        c = (static_cast<char32_t>(text[at] & 0x0F) << 12) |
            (static_cast<char32_t>(text[at + 1] & 0x3F) << 6) | (text[at + 2] & 0x3F);
    }
    return c == 0x00AD || c == 0x061C || c == 0x180E || c == 0x200B || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

} // namespace

std::string Printable(const std::string& name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string printable;
    printable.reserve(name.size());
    std::size_t at = 0;
    while (at < name.size()) {
        auto c = static_cast<unsigned char>(name[at]);
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') {
                printable += '\\';
            }
            printable += static_cast<char>(c);
            ++at;
        } else if (std::size_t length = c >= 0x80 ? Utf8Length(name, at) : 0;
                   length > 0 && !ShowsAsAnother(name, at, length)) {
            printable.append(name, at, length);
            at += length;
        } else {
            switch (c) {
            case '\n':
                printable += "\\n";
                break;
            case '\t':
                printable += "\\t";
                break;
            case '\r':
                printable += "\\r";
                break;
            default:
                printable += "\\x";
                printable += kHex[c >> 4];
                printable += kHex[c & 0xF];
            }
            ++at;
        }
    }
    return printable;
}

} // namespace vanthe::cli
