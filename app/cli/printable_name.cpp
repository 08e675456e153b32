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

// Marks that turn the direction of the text after them (U+061C, U+200E, U+200F, U+202A to
// U+202E, U+2066 to U+2069): "invoice\u202Efdp.exe" would show as "invoiceexe.pdf".
bool TurnsTheText(const std::string& text, std::size_t at, std::size_t length) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    if (length == 2) {
        return byte(0) == 0xD8 && byte(1) == 0x9C;
    }
    if (length != 3 || byte(0) != 0xE2) {
        return false;
    }
    return (byte(1) == 0x80 &&
            (byte(2) == 0x8E || byte(2) == 0x8F || (byte(2) >= 0xAA && byte(2) <= 0xAE))) ||
           (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9);
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
                   length > 0 && !TurnsTheText(name, at, length)) {
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
