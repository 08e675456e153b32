#include "platform/text/text_convert.h"

#include "platform/text/code_page.h"

#include <algorithm>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <new>
#include <optional>
#include <string.h>

namespace platform {

namespace {

// Length of the well-formed UTF-8 sequence at text[pos] and its code point, or 0.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u, smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - pos < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i) & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *codePoint = value;
    return length;
}

const char* ConverterName(UINT codePage) {
    switch (codePage) {
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1252:
        return "CP1252";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    default:
        return nullptr;
    }
}

bool IsDoubleByte(UINT codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : handle_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (ok()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in` from the initial state and flushes any pending character into
    // out[0..capacity); returns the length written, or -1 when the converter refuses.
    long Convert(std::string_view in, char* out, std::size_t capacity) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char* inPointer = const_cast<char*>(in.data()); // iconv's signature; it does not write
        std::size_t inLeft = in.size();
        char* outPointer = out;
        std::size_t outLeft = capacity;
        if (iconv(handle_, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) ||
            inLeft != 0 ||
            iconv(handle_, nullptr, nullptr, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
            return -1;
        }
        return static_cast<long>(capacity - outLeft);
    }

private:
    iconv_t handle_;
};

// Transliteration follows the thread's locale: a fixed one (never the process's, which
// another thread may be changing) makes the best-fit letters the same everywhere. It is loaded
// once and kept for the process's life, since loading and freeing locales on several threads
// at once races inside the C library.
locale_t TransliterationLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C.UTF-8", locale_t{});
    return locale;
}

// Puts a locale in force on this thread for a scope.
class ThreadLocale {
public:
    explicit ThreadLocale(locale_t locale) : locale_(locale) {
        if (locale_ != locale_t{}) {
            previous_ = uselocale(locale_);
        }
    }
    ~ThreadLocale() {
        if (locale_ != locale_t{}) {
            uselocale(previous_);
        }
    }
    ThreadLocale(const ThreadLocale&) = delete;
    ThreadLocale& operator=(const ThreadLocale&) = delete;

    bool ok() const { return locale_ != locale_t{}; }

private:
    locale_t locale_;
    locale_t previous_ = locale_t{};
};

// A byte buffer for secrets: wiped when it goes out of scope.
struct WipedBuffer {
    char data[32] = {};
    ~WipedBuffer() { explicit_bzero(data, sizeof data); }
};

void Wipe(std::string* text) {
    explicit_bzero(text->data(), text->size());
    text->clear();
}

TextFault ConvertCharacters(UINT codePage, DWORD flags, std::string_view utf8, std::string* bytes,
                            char32_t* unrepresentable) {
    // Every ANSI code page keeps ASCII as it is: such text needs no converter, which a system
    // without the code page's may lack.
    if (IsAscii(utf8)) {
        bytes->assign(utf8);
        return TextFault::None;
    }
    const std::string name = ConverterName(codePage);
    Converter exact(name, "UTF-8");
    if (!exact.ok()) {
        return TextFault::ConverterMissing;
    }
    const bool strict = (flags & WC_NO_BEST_FIT_CHARS) != 0;
    // Strict: a character counts as representable only if it comes back unchanged, which
    // refuses the system converter's own best-fit mappings (such as ¥ to 0x5C in 932).
    Converter back("UTF-8", name);
    if (!back.ok()) {
        return TextFault::ConverterMissing;
    }
    std::optional<ThreadLocale> cLocale;
    std::optional<Converter> bestFit;
    if (!strict) {
        cLocale.emplace(TransliterationLocale());
        bestFit.emplace(name + "//TRANSLIT", "UTF-8");
        if (!cLocale->ok() || !bestFit->ok()) {
            return TextFault::ConverterMissing;
        }
    }

    // A character becomes at most two bytes, so nothing reallocates and leaves a copy behind.
    bytes->reserve(utf8.size() * 2);
    WipedBuffer converted;
    WipedBuffer roundTrip;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t codePoint = 0;
        const std::size_t length = DecodeUtf8(utf8, pos, &codePoint);
        const std::string_view character = utf8.substr(pos, length);
        pos += length;

        long count = exact.Convert(character, converted.data, sizeof converted.data);
        // Windows' tables give one byte per character in a single-byte code page; the system
        // converter decomposes some Vietnamese and Hebrew letters into two instead.
        bool representable = count > 0 && (count == 1 || IsDoubleByte(codePage));
        if (representable && strict) {
            const long backCount =
                back.Convert(std::string_view(converted.data, static_cast<std::size_t>(count)),
                             roundTrip.data, sizeof roundTrip.data);
            representable =
                backCount >= 0 &&
                character == std::string_view(roundTrip.data, static_cast<std::size_t>(backCount));
        }
        if (representable) {
            bytes->append(converted.data, static_cast<std::size_t>(count));
            continue;
        }
        if (strict) {
            if (unrepresentable != nullptr) {
                *unrepresentable = codePoint;
            }
            return TextFault::Unrepresentable;
        }
        // A best fit is one letter; a longer transliteration ("OE", "EUR") is not what
        // Windows writes, so those characters become "?" like any other without one.
        count = bestFit->Convert(character, converted.data, sizeof converted.data);
        bytes->push_back(count == 1 ? converted.data[0] : '?');
    }
    return TextFault::None;
}

} // namespace

const char* TextFaultText(TextFault fault) {
    switch (fault) {
    case TextFault::None:
        return "The text was converted.";
    case TextFault::InvalidCodePage:
        return "The code page is not one that can be used.";
    case TextFault::InvalidFlags:
        return "The conversion flags are not valid.";
    case TextFault::InvalidUtf8:
        return "The text is not valid UTF-8.";
    case TextFault::InvalidBytes:
        return "The bytes are not valid text in the code page.";
    case TextFault::Unrepresentable:
        return "The text contains characters that the code page cannot represent.";
    case TextFault::ConverterMissing:
        return "The system has no converter for the code page.";
    case TextFault::OutOfMemory:
        return "There is not enough memory to convert the text.";
    }
    return "The text could not be converted.";
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

bool IsValidUtf8(std::string_view text) {
    char32_t ignored = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = DecodeUtf8(text, pos, &ignored);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

TextFault Utf8ToMultiByte(UINT codePage, DWORD flags, std::string_view utf8, std::string* bytes,
                          char32_t* unrepresentable) try {
    Wipe(bytes);
    if (!IsValidCodePage(codePage)) {
        return TextFault::InvalidCodePage;
    }
    if ((flags & ~WC_NO_BEST_FIT_CHARS) != 0) {
        return TextFault::InvalidFlags;
    }
    if (!IsValidUtf8(utf8)) {
        return TextFault::InvalidUtf8;
    }
    if (codePage == CP_UTF8) {
        bytes->assign(utf8);
        return TextFault::None;
    }
    const TextFault fault = ConvertCharacters(codePage, flags, utf8, bytes, unrepresentable);
    if (fault != TextFault::None) {
        Wipe(bytes);
    }
    return fault;
} catch (const std::bad_alloc&) {
    Wipe(bytes);
    return TextFault::OutOfMemory;
}

namespace {

// Converts `bytes` from the converter's encoding `from` into *utf8, which has room for
// `capacity` bytes at most.
TextFault ConvertToUtf8(const std::string& from, std::string_view bytes, std::size_t capacity,
                        std::string* utf8) try {
    Converter converter("UTF-8", from);
    if (!converter.ok()) {
        return TextFault::ConverterMissing;
    }
    utf8->resize(capacity);
    const long count = converter.Convert(bytes, utf8->data(), utf8->size());
    if (count < 0) {
        Wipe(utf8);
        return TextFault::InvalidBytes;
    }
    utf8->resize(static_cast<std::size_t>(count));
    return TextFault::None;
} catch (const std::bad_alloc&) {
    Wipe(utf8);
    return TextFault::OutOfMemory;
}

} // namespace

TextFault MultiByteToUtf8(UINT codePage, std::string_view bytes, std::string* utf8) try {
    Wipe(utf8);
    if (!IsValidCodePage(codePage)) {
        return TextFault::InvalidCodePage;
    }
    if (codePage == CP_UTF8) {
        if (!IsValidUtf8(bytes)) {
            return TextFault::InvalidBytes;
        }
        utf8->assign(bytes);
        return TextFault::None;
    }
    // One byte becomes at most one character of three UTF-8 bytes, two bytes at most four.
    return ConvertToUtf8(ConverterName(codePage), bytes, bytes.size() * 3 + 8, utf8);
} catch (const std::bad_alloc&) {
    Wipe(utf8);
    return TextFault::OutOfMemory;
}

std::string LocaleCharset() {
    const locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t{});
    if (locale == locale_t{}) {
        return {};
    }
    std::string charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return charset;
}

TextFault LocaleTextToUtf8(const std::string& charset, std::string_view bytes, std::string* utf8) {
    Wipe(utf8);
    // A character of one to four bytes becomes at most four UTF-8 bytes, one byte at most three.
    return ConvertToUtf8(charset, bytes, bytes.size() * 3 + 8, utf8);
}

TextFault Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* utf8) {
    Wipe(utf8);
    // A unit of two bytes becomes at most three UTF-8 bytes, a pair of four at most four.
    return ConvertToUtf8(bigEndian ? "UTF-16BE" : "UTF-16LE", bytes, bytes.size() / 2 * 3 + 8,
                         utf8);
}

} // namespace platform
