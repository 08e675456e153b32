#include "platform/content/plausibility.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <magic.h>
#include <memory>
#include <new>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace platform {

namespace {

// Types the database recognises by a signature of several fixed bytes, which random bytes
// match less than once in millions. Many other types are found by one or two bytes (a DOS
// program by a jump opcode, MPEG audio by 11 set bits, a zlib stream by two bytes): libmagic
// names about one random sample in a hundred that way, so those types do not count. Text
// types do not count either, since libmagic calls random bytes after a UTF-16 byte-order
// mark text; the text test below judges text on its own.
constexpr std::string_view kStrongTypes[] = {
    // documents
    "application/pdf",
    "application/rtf",
    "application/msword",
    "application/vnd.ms-excel",
    "application/vnd.ms-powerpoint",
    "application/vnd.ms-outlook",
    "application/x-ole-storage",
    "application/CDFV2",
    "application/epub+zip",
    "application/vnd.sqlite3",
    "application/x-sqlite3",
    "application/x-hdf5",
    "application/x-iso9660-image",
    // archives and compressed data
    "application/zip",
    "application/gzip",
    "application/x-xz",
    "application/x-bzip2",
    "application/zstd",
    "application/x-7z-compressed",
    "application/x-rar",
    "application/vnd.rar",
    "application/x-tar",
    "application/x-lzip",
    "application/x-lz4",
    "application/x-archive",
    "application/vnd.debian.binary-package",
    "application/x-rpm",
    "application/vnd.ms-cab-compressed",
    "application/java-archive",
    "application/vnd.android.package-archive",
    // programs
    "application/x-executable",
    "application/x-pie-executable",
    "application/x-sharedlib",
    "application/x-object",
    "application/x-coredump",
    "application/vnd.microsoft.portable-executable",
    "application/x-mach-binary",
    "application/x-java-applet",
    "application/wasm",
    // images
    "image/png",
    "image/jpeg",
    "image/gif",
    "image/webp",
    "image/bmp",
    "image/x-ms-bmp",
    "image/tiff",
    "image/vnd.microsoft.icon",
    "image/x-icon",
    "image/heic",
    "image/heif",
    "image/avif",
    "image/jxl",
    "image/jp2",
    "image/x-xcf",
    "image/vnd.adobe.photoshop",
    "image/x-portable-bitmap",
    "image/x-portable-greymap",
    "image/x-portable-pixmap",
    // sound and video
    "audio/ogg",
    "audio/x-wav",
    "audio/flac",
    "audio/x-flac",
    "audio/x-aiff",
    "audio/midi",
    "audio/x-m4a",
    "audio/mp4",
    "video/mp4",
    "video/webm",
    "video/x-matroska",
    "video/quicktime",
    "video/x-msvideo",
    "video/ogg",
    "video/x-flv",
    // fonts
    "font/sfnt",
    "font/ttf",
    "font/otf",
    "font/woff",
    "font/woff2",
};

constexpr std::string_view kStrongTypePrefixes[] = {
    "application/vnd.openxmlformats-officedocument.",
    "application/vnd.oasis.opendocument.",
};

bool IsStrongType(std::string_view type, const unsigned char* data, std::size_t size) {
    if (std::find(std::begin(kStrongTypes), std::end(kStrongTypes), type) !=
        std::end(kStrongTypes)) {
        return true;
    }
    for (std::string_view prefix : kStrongTypePrefixes) {
        if (type.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    // MPEG audio counts when it starts with its tag; bare frames are found by 11 bits.
    return type == "audio/mpeg" && size >= 3 && data[0] == 'I' && data[1] == 'D' && data[2] == '3';
}

struct MagicCloser {
    void operator()(magic_set* cookie) const { magic_close(cookie); }
};

// One database per call: a libmagic handle must not be shared between threads.
bool JudgeType(const unsigned char* data, std::size_t size, Plausibility* verdict) {
    std::unique_ptr<magic_set, MagicCloser> cookie(
        magic_open(MAGIC_MIME_TYPE | MAGIC_NO_CHECK_COMPRESS | MAGIC_ERROR));
    if (!cookie || magic_load(cookie.get(), nullptr) != 0) {
        return false;
    }
    verdict->typeDatabaseLoaded = true;
    const char* type = magic_buffer(cookie.get(), data, size);
    if (type == nullptr || !IsStrongType(type, data, size)) {
        return false;
    }
    verdict->detail = type;
    return true;
}

// C0 control characters that text uses: BEL, BS, TAB, LF, VT, FF, CR, SUB (an old end of
// file mark) and ESC (terminal colours). NUL, the others and DEL mark binary data.
bool IsTextControl(std::uint32_t c) {
    return (c >= 0x07 && c <= 0x0D) || c == 0x1A || c == 0x1B;
}

bool IsBinaryByte(unsigned char c) {
    return (c < 0x20 && !IsTextControl(c)) || c == 0x7F;
}

// Well-formed UTF-8, except that the sample may end inside a character.
bool IsUtf8(const unsigned char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = data[i];
        std::size_t length = 1;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k == size) {
                return true;
            }
            const unsigned char next = data[i + k];
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

enum class Endian { Little, Big };

// UTF-16 text: well-formed surrogate pairs, no control characters but the text ones, no
// private-use or non-characters, and at least one space, line break or CJK punctuation
// mark. Random bytes fail one of these about once every eight units.
bool IsUtf16(const unsigned char* data, std::size_t size, Endian endian) {
    const std::size_t units = size / 2;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const unsigned first = data[2 * i];
        const unsigned second = data[2 * i + 1];
        return endian == Endian::Little ? (second << 8 | first) : (first << 8 | second);
    };
    bool separator = false;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == units) {
                break; // the sample ends inside a pair
            }
            const std::uint32_t low = unit(++i);
            if (low < 0xDC00 || low > 0xDFFF) {
                return false;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        const bool control = (c < 0x20 && !IsTextControl(c)) || (c >= 0x7F && c <= 0x9F);
        const bool privateUse = (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000;
        const bool nonCharacter = (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
        if (control || privateUse || nonCharacter) {
            return false;
        }
        separator = separator || c == 0x20 || c == 0x0A || c == 0x0D || c == 0x09 || c == 0x3000 ||
                    c == 0x3001 || c == 0x3002 || c == 0xFF0C;
    }
    return separator;
}

bool JudgeText(const unsigned char* data, std::size_t size, Plausibility* verdict) {
    // UTF-16 first: its ASCII letters carry zero bytes, which the byte test refuses.
    const bool littleMark = data[0] == 0xFF && data[1] == 0xFE;
    const bool bigMark = data[0] == 0xFE && data[1] == 0xFF;
    if (!bigMark && IsUtf16(data, size, Endian::Little)) {
        verdict->detail = "UTF-16LE";
        return true;
    }
    if (!littleMark && IsUtf16(data, size, Endian::Big)) {
        verdict->detail = "UTF-16BE";
        return true;
    }
    // Every single- and double-byte code page keeps the C0 controls for themselves, so text in
    // any of them (and UTF-8) has none but the text ones; about one random byte in ten is one.
    if (std::any_of(data, data + size, IsBinaryByte)) {
        return false;
    }
    verdict->detail = IsUtf8(data, size) ? "UTF-8" : "legacy code page";
    return true;
}

bool JudgeCompression(const unsigned char* data, std::size_t size, Plausibility* verdict) {
    uLongf compressedSize = compressBound(static_cast<uLong>(size));
    std::vector<Bytef> compressed(compressedSize);
    if (compress2(compressed.data(), &compressedSize, data, static_cast<uLong>(size),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        return false;
    }
    if (compressedSize * 100 > size * (100 - kCompressionSavingPercent)) {
        return false;
    }
    verdict->detail =
        std::to_string(compressedSize * 100 / size) + "% of " + std::to_string(size) + " bytes";
    return true;
}

} // namespace

Plausibility JudgePlausibility(const unsigned char* data, std::size_t size) try {
    size = std::min(size, kPlausibilitySample);
    Plausibility verdict;
    if (size < kSmallestJudgedSample) {
        verdict.plausible = true;
        verdict.because = PlausibleBecause::TooSmall;
        return verdict;
    }
    if (JudgeType(data, size, &verdict)) {
        verdict.because = PlausibleBecause::KnownType;
    } else if (JudgeText(data, size, &verdict)) {
        verdict.because = PlausibleBecause::Text;
    } else if (JudgeCompression(data, size, &verdict)) {
        verdict.because = PlausibleBecause::Compresses;
    }
    verdict.plausible = verdict.because != PlausibleBecause::Nothing;
    return verdict;
} catch (const std::bad_alloc&) {
    Plausibility verdict;
    verdict.plausible = true;
    verdict.because = PlausibleBecause::NotJudged;
    return verdict;
}

} // namespace platform
