#include "platform/content/plausibility.h"

#include <algorithm>
#include <bzlib.h>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <magic.h>
#include <memory>
#include <new>
#include <optional>
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
    "application/pdf", "application/rtf", "application/msword", "application/vnd.ms-excel",
    "application/vnd.ms-powerpoint", "application/vnd.ms-outlook", "application/x-ole-storage",
    "application/CDFV2", "application/epub+zip", "application/vnd.sqlite3", "application/x-sqlite3",
    "application/x-hdf5", "application/x-iso9660-image",
    // archives and compressed data
    "application/zip", "application/gzip", "application/x-xz", "application/x-bzip2",
    "application/zstd", "application/x-7z-compressed", "application/x-rar", "application/vnd.rar",
    "application/x-tar", "application/x-lzip", "application/x-lz4", "application/x-archive",
    "application/vnd.debian.binary-package", "application/x-rpm",
    "application/vnd.ms-cab-compressed", "application/java-archive",
    "application/vnd.android.package-archive",
    "application/x-git",           // "PACK" and a version
    "application/x-xar",           // "xar!" and its header's size
    "application/x-ms-wim",        // "MSWIM" and three zero bytes
    "application/x-bittorrent",    // "d8:announce" and the like
    "application/x-java-keystore", // FEEDFEED and a version
    "application/x-lzma", "application/x-compress",
    // programs
    "application/x-executable", "application/x-pie-executable", "application/x-sharedlib",
    "application/x-object", "application/x-coredump",
    "application/vnd.microsoft.portable-executable", "application/x-mach-binary",
    "application/x-java-applet", "application/wasm",
    // images
    "image/png", "image/jpeg", "image/gif", "image/webp", "image/bmp", "image/x-ms-bmp",
    "image/tiff", "image/vnd.microsoft.icon", "image/x-icon", "image/heic", "image/heif",
    "image/avif", "image/jxl", "image/jp2", "image/x-xcf", "image/vnd.adobe.photoshop",
    "image/x-portable-bitmap", "image/x-portable-greymap", "image/x-portable-pixmap",
    // sound and video
    "audio/ogg", "audio/x-wav", "audio/flac", "audio/x-flac", "audio/x-aiff",
    "audio/x-w64", // a 16-byte identifier
    "audio/midi", "audio/x-m4a", "audio/mp4", "video/mp4", "video/webm", "video/x-matroska",
    "video/quicktime", "video/x-msvideo", "video/ogg", "video/x-flv", "video/x-ms-asf",
    "video/3gpp", "video/3gpp2",
    // fonts
    "font/sfnt", "font/ttf", "font/otf", "font/woff", "font/woff2",
    "font/x-postscript-pfb", // a segment header, then the font program's own first line
};

constexpr std::string_view kStrongTypePrefixes[] = {
    "application/vnd.openxmlformats-officedocument.",
    "application/vnd.oasis.opendocument.",
};

bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A netpbm header after its two-byte magic: width, height and (but for bitmaps) the largest
// value, in decimal, separated by white space and comments.
bool HasPortableMapHeader(const unsigned char* data, std::size_t size, int numbers) {
    std::size_t at = 2;
    for (int n = 0; n < numbers; ++n) {
        if (at >= size || !IsSpace(data[at])) {
            return false;
        }
        while (at < size && (IsSpace(data[at]) || data[at] == '#')) {
            if (data[at] == '#') {
                while (at < size && data[at] != '\n') {
                    ++at;
                }
            } else {
                ++at;
            }
        }
        const std::size_t digits = at;
        while (at < size && data[at] >= '0' && data[at] <= '9') {
            ++at;
        }
        if (at == digits) {
            return false;
        }
    }
    return at < size && IsSpace(data[at]);
}

// The database names some types by their first two or three bytes, which random data begins
// with once in 65,536 or in 16 million tries; those types count only with more of their
// header in place. (A bare JPEG XL codestream has nothing more to check after its two bytes,
// and counts as it is: refusing every such picture would be worse than missing one wrong
// password in 65,536.)
bool PassesCloserLook(std::string_view type, const unsigned char* data, std::size_t size) {
    if (size < 16) {
        return false;
    }
    if (type == "application/gzip") {
        // Deflate, no reserved flag, and a known system (19 is what zlib writes on macOS).
        return data[2] == 8 && (data[3] & 0xE0) == 0 && (data[9] <= 19 || data[9] == 255);
    }
    if (type == "application/x-object" || type == "application/x-executable" ||
        type == "application/x-pie-executable" || type == "application/x-sharedlib" ||
        type == "application/x-coredump") {
        // ELF; the database also names old DOS objects by a byte and a length.
        return data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F';
    }
    if (type == "application/x-bzip2") {
        // A block size, then the magic of a first block or of the end of an empty stream.
        const std::string_view magic(reinterpret_cast<const char*>(data) + 4, 6);
        return data[3] >= '1' && data[3] <= '9' &&
               (magic == "\x31\x41\x59\x26\x53\x59" || magic == "\x17\x72\x45\x38\x50\x90");
    }
    if (type == "image/jpeg") {
        // A marker after the start of image: not a restart, start or end of image, or filler.
        return data[3] >= 0xC0 && data[3] != 0xFF && (data[3] < 0xD0 || data[3] > 0xD9);
    }
    if (type == "application/x-lzma") {
        // The properties byte of every encoder, then a dictionary size, then an unknown size:
        // all ones, as a stream is written.
        return data[0] == 0x5D &&
               std::all_of(data + 5, data + 13, [](unsigned char b) { return b == 0xFF; });
    }
    if (type == "application/x-compress") {
        // The code width, 9 to 16 bits, and no reserved flag.
        return (data[2] & 0x60) == 0 && (data[2] & 0x1F) >= 9 && (data[2] & 0x1F) <= 16;
    }
    if (type == "image/x-portable-bitmap") {
        return HasPortableMapHeader(data, size, 2);
    }
    if (type == "image/x-portable-greymap" || type == "image/x-portable-pixmap") {
        return HasPortableMapHeader(data, size, 3);
    }
    return true;
}

bool IsStrongType(std::string_view type, const unsigned char* data, std::size_t size) {
    if (std::find(std::begin(kStrongTypes), std::end(kStrongTypes), type) !=
        std::end(kStrongTypes)) {
        return PassesCloserLook(type, data, size);
    }
    for (std::string_view prefix : kStrongTypePrefixes) {
        if (type.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    return false;
}

struct MagicCloser {
    void operator()(magic_set* cookie) const { magic_close(cookie); }
};

// A libmagic handle must not be shared between threads, and loading the database costs far
// more than judging a sample: each thread loads it once, when it first judges, and keeps it.
// A batch of small files then pays for one load, not one per file.
magic_set* ThreadTypeDatabase() {
    thread_local std::unique_ptr<magic_set, MagicCloser> kept;
    if (!kept) {
        errno = 0;
        std::unique_ptr<magic_set, MagicCloser> cookie(
            magic_open(MAGIC_MIME_TYPE | MAGIC_NO_CHECK_COMPRESS | MAGIC_ERROR));
        if (!cookie || magic_load(cookie.get(), nullptr) != 0) {
            return nullptr;
        }
        kept = std::move(cookie);
    }
    return kept.get();
}

bool JudgeType(const unsigned char* data, std::size_t size, Plausibility* verdict) {
    magic_set* cookie = ThreadTypeDatabase();
    if (cookie == nullptr) {
        verdict->shortfall =
            errno == ENOMEM ? JudgeShortfall::OutOfMemory : JudgeShortfall::NoTypeDatabase;
        return false;
    }
    // Unknown data is "application/octet-stream"; no answer at all is a failure to judge.
    const char* type = magic_buffer(cookie, data, size);
    if (type == nullptr) {
        verdict->shortfall = magic_errno(cookie) == ENOMEM ? JudgeShortfall::OutOfMemory
                                                           : JudgeShortfall::NoTypeDatabase;
        return false;
    }
    if (!IsStrongType(type, data, size)) {
        return false;
    }
    verdict->detail = type;
    return true;
}

// Kinds of data that are as random as a wrong password's output after a short header: files
// encrypted by other programs, and compressed sound and video cut into frames. The database
// names them as bytes, or by so few bytes that random data matches too, so they are named here
// by signatures of at least six bytes, or by a run of frames each found where the one before
// it ends. Each test passes random bytes less than once in 2^40 tries.
struct Signature {
    std::string_view bytes;
    std::string_view kind;
};

constexpr Signature kSignatures[] = {
    {"Salted__", "OpenSSL encrypted data"},
    {"\x03\xD9\xA2\x9A\x67\xFB\x4B\xB5", "KeePass 2 database"},
    {"\x03\xD9\xA2\x9A\x65\xFB\x4B\xB5", "KeePass 1 database"},
    {"LUKS\xBA\xBE", "LUKS encrypted volume"},
    {"age-encryption.org/v1\n", "age encrypted file"},
};

// OpenPGP encrypted data (gpg -e, gpg -c): one or more packets that carry the session key,
// each of exactly the length its fields add up to, then the packet of encrypted data.
struct Packet {
    unsigned tag = 0;
    std::size_t body = 0; // where its body starts
    std::size_t end = 0;  // where it ends
};

std::optional<Packet> PacketAt(const unsigned char* data, std::size_t size, std::size_t at) {
    const auto bigEndian = [&](std::size_t from, std::size_t count) {
        std::size_t value = 0;
        for (std::size_t k = 0; k < count; ++k) {
            value = value << 8 | data[from + k];
        }
        return value;
    };
    if (at + 2 > size || (data[at] & 0x80) == 0) {
        return std::nullopt;
    }
    Packet packet;
    std::size_t length = 0;
    if ((data[at] & 0x40) != 0) {
        packet.tag = data[at] & 0x3F;
        const unsigned first = data[at + 1];
        if (first < 192) {
            length = first;
            packet.body = at + 2;
        } else if (first < 224 && at + 3 <= size) {
            length = ((first - 192) << 8) + data[at + 2] + 192;
            packet.body = at + 3;
        } else if (first == 255 && at + 6 <= size) {
            length = bigEndian(at + 2, 4);
            packet.body = at + 6;
        } else {
            return std::nullopt; // partial lengths: only for data packets
        }
    } else {
        packet.tag = (data[at] >> 2) & 0xF;
        const unsigned lengthType = data[at] & 3;
        const std::size_t count = std::size_t{1} << lengthType;
        if (lengthType == 3 || at + 1 + count > size) {
            return std::nullopt;
        }
        length = bigEndian(at + 1, count);
        packet.body = at + 1 + count;
    }
    packet.end = packet.body + length;
    return packet;
}

// A multiprecision integer: a bit count, then the bytes, the first with its top bit the count's.
bool SkipNumber(const unsigned char* data, std::size_t end, std::size_t& at) {
    if (at + 3 > end) {
        return false;
    }
    const unsigned bits = static_cast<unsigned>(data[at]) << 8 | data[at + 1];
    if (bits == 0 || data[at + 2] >> ((bits - 1) % 8) != 1) {
        return false;
    }
    at += 2 + (bits + 7) / 8;
    return at <= end;
}

bool IsKnownCipher(unsigned cipher) {
    return (cipher >= 1 && cipher <= 4) || (cipher >= 7 && cipher <= 13);
}

bool IsKnownHash(unsigned hash) {
    return (hash >= 1 && hash <= 3) || (hash >= 8 && hash <= 11);
}

// A session key encrypted to a public key, version 3: RSA, Elgamal or ECDH.
bool IsPublicKeyPacket(const unsigned char* data, const Packet& packet) {
    std::size_t at = packet.body + 9;
    if (at >= packet.end || data[packet.body] != 3) {
        return false;
    }
    const unsigned algorithm = data[at++];
    if (algorithm == 1 || algorithm == 2) {
        return SkipNumber(data, packet.end, at) && at == packet.end;
    }
    if (algorithm == 16) {
        return SkipNumber(data, packet.end, at) && SkipNumber(data, packet.end, at) &&
               at == packet.end;
    }
    // ECDH: the ephemeral point, then the wrapped key with its length.
    return algorithm == 18 && SkipNumber(data, packet.end, at) && at < packet.end &&
           at + 1 + data[at] == packet.end;
}

// A session key derived from a passphrase, version 4: a known cipher, then a simple, salted,
// or iterated and salted derivation from a known hash, and at most one encrypted key.
bool IsPassphrasePacket(const unsigned char* data, const Packet& packet) {
    const std::size_t length = packet.end - packet.body;
    if (length < 4 || data[packet.body] != 4) {
        return false;
    }
    const unsigned cipher = data[packet.body + 1];
    const unsigned derivation = data[packet.body + 2];
    const unsigned hash = data[packet.body + 3];
    const bool knownHash = IsKnownHash(hash);
    const std::size_t used = derivation == 0 ? 4 : derivation == 1 ? 12 : derivation == 3 ? 13 : 0;
    return IsKnownCipher(cipher) && knownHash && used != 0 && length >= used && length <= used + 65;
}

// The packet of encrypted data that follows the keys, with integrity protection or AEAD: its
// body, which may come in parts, starts with version 1.
bool IsEncryptedDataPacket(const unsigned char* data, std::size_t size, std::size_t at) {
    if (at + 7 > size || (data[at] & 0xC0) != 0xC0) {
        return false;
    }
    const unsigned tag = data[at] & 0x3F;
    const unsigned first = data[at + 1];
    const std::size_t body = at + (first < 192 || (first >= 224 && first < 255) ? 2
                                   : first < 224                                ? 3
                                                                                : 6);
    return (tag == 18 || tag == 20) && data[body] == 1;
}

bool IsOpenPgpEncrypted(const unsigned char* data, std::size_t size) {
    std::size_t at = 0;
    for (int keys = 0; keys < 8; ++keys) {
        std::optional<Packet> packet = PacketAt(data, size, at);
        if (!packet || packet->end > size) {
            return false;
        }
        const bool key = (packet->tag == 1 && IsPublicKeyPacket(data, *packet)) ||
                         (packet->tag == 3 && IsPassphrasePacket(data, *packet));
        if (!key) {
            return false;
        }
        at = packet->end;
        if (IsEncryptedDataPacket(data, size, at)) {
            return true;
        }
    }
    return false;
}

// OpenPGP keys, keyrings, signatures and signed data: packets one after another, each where the
// one before it ends, up to the end of the file. Keys and signatures hold numbers as random as
// a wrong password's output, so each is named only once its fields add up to exactly its
// length, with a known algorithm and curve.

using namespace std::string_view_literals; // a curve's identifier may hold a zero byte

// The curves of keys: NIST P-256, P-384 and P-521, the Brainpool curves, secp256k1, Ed25519,
// Curve25519, Ed448 and X448, each as its object identifier's length and bytes.
constexpr std::string_view kCurves[] = {
    "\x08\x2A\x86\x48\xCE\x3D\x03\x01\x07"sv,
    "\x05\x2B\x81\x04\x00\x22"sv,
    "\x05\x2B\x81\x04\x00\x23"sv,
    "\x09\x2B\x24\x03\x03\x02\x08\x01\x01\x07"sv,
    "\x09\x2B\x24\x03\x03\x02\x08\x01\x01\x0B"sv,
    "\x09\x2B\x24\x03\x03\x02\x08\x01\x01\x0D"sv,
    "\x05\x2B\x81\x04\x00\x0A"sv,
    "\x09\x2B\x06\x01\x04\x01\xDA\x47\x0F\x01"sv,
    "\x0A\x2B\x06\x01\x04\x01\x97\x55\x01\x05\x01"sv,
    "\x03\x2B\x65\x71"sv,
    "\x03\x2B\x65\x6F"sv,
};

bool SkipCurve(const unsigned char* data, std::size_t end, std::size_t& at) {
    for (std::string_view curve : kCurves) {
        if (at + curve.size() <= end &&
            std::equal(curve.begin(), curve.end(), data + at, [](char a, unsigned char b) {
                return static_cast<unsigned char>(a) == b;
            })) {
            at += curve.size();
            return true;
        }
    }
    return false;
}

bool SkipNumbers(const unsigned char* data, std::size_t end, std::size_t& at, int count) {
    for (int n = 0; n < count; ++n) {
        if (!SkipNumber(data, end, at)) {
            return false;
        }
    }
    return true;
}

// A key's public fields, version 4: when, which algorithm, then its numbers.
bool SkipPublicKey(const unsigned char* data, std::size_t end, std::size_t& at,
                   unsigned& algorithm) {
    if (at + 6 > end || data[at] != 4) {
        return false;
    }
    algorithm = data[at + 5];
    at += 6;
    switch (algorithm) {
    case 1: // RSA
    case 2:
    case 3:
        return SkipNumbers(data, end, at, 2);
    case 16: // Elgamal
        return SkipNumbers(data, end, at, 3);
    case 17: // DSA
        return SkipNumbers(data, end, at, 4);
    case 18: // ECDH: the point, then how the key is derived from it
        if (!SkipCurve(data, end, at) || !SkipNumber(data, end, at) || at + 4 > end) {
            return false;
        }
        at += 4;
        return data[at - 4] == 3 && data[at - 3] == 1 && IsKnownHash(data[at - 2]) &&
               IsKnownCipher(data[at - 1]);
    case 19: // ECDSA
    case 22: // EdDSA
        return SkipCurve(data, end, at) && SkipNumber(data, end, at);
    default:
        return false;
    }
}

// A key or subkey, public or secret. A secret key's numbers are in the clear with a checksum
// after them, or encrypted under a passphrase derived by a known cipher and hash.
bool IsKeyPacket(const unsigned char* data, const Packet& packet) {
    std::size_t at = packet.body;
    unsigned algorithm = 0;
    if (!SkipPublicKey(data, packet.end, at, algorithm)) {
        return false;
    }
    if (packet.tag == 6 || packet.tag == 14) {
        return at == packet.end;
    }
    if (at >= packet.end) {
        return false;
    }
    const unsigned usage = data[at++];
    if (usage == 0) {
        const int numbers = algorithm <= 3 ? 4 : 1;
        return SkipNumbers(data, packet.end, at, numbers) && at + 2 == packet.end;
    }
    if ((usage != 254 && usage != 255) || at + 3 > packet.end) {
        return false;
    }
    const unsigned cipher = data[at];
    const unsigned derivation = data[at + 1];
    const unsigned hash = data[at + 2];
    if (derivation == 101) {
        // A stub that says where the secret is kept instead (a smartcard, or nowhere), as
        // gpg --export-secret-subkeys writes the primary key: "GNU", whatever the cipher.
        return at + 6 <= packet.end &&
               std::string_view(reinterpret_cast<const char*>(data) + at + 3, 3) == "GNU";
    }
    const bool knownDerivation = derivation == 0 || derivation == 1 || derivation == 3;
    return IsKnownCipher(cipher) && knownDerivation && IsKnownHash(hash);
}

// The subpackets of a signature's area, each of exactly its length, up to the area's end.
bool SkipSubpackets(const unsigned char* data, std::size_t end, std::size_t& at) {
    if (at + 2 > end) {
        return false;
    }
    const std::size_t areaEnd = at + 2 + (static_cast<std::size_t>(data[at]) << 8 | data[at + 1]);
    at += 2;
    if (areaEnd > end) {
        return false;
    }
    while (at < areaEnd) {
        const unsigned first = data[at];
        std::size_t length = first;
        std::size_t header = 1;
        if (first >= 192 && first < 255 && at + 2 <= areaEnd) {
            length = ((first - 192) << 8) + data[at + 1] + 192;
            header = 2;
        } else if (first == 255 && at + 5 <= areaEnd) {
            length = static_cast<std::size_t>(data[at + 1]) << 24 |
                     static_cast<std::size_t>(data[at + 2]) << 16 |
                     static_cast<std::size_t>(data[at + 3]) << 8 | data[at + 4];
            header = 5;
        } else if (first >= 192) {
            return false;
        }
        if (length == 0 || length > areaEnd - at - header) {
            return false;
        }
        at += header + length;
    }
    return true;
}

// A signature, version 4, of a known kind: its subpackets, the first bytes of the hash, and the
// algorithm's numbers.
bool IsSignaturePacket(const unsigned char* data, const Packet& packet) {
    static constexpr unsigned char kKinds[] = {0x00, 0x01, 0x02, 0x10, 0x11, 0x12, 0x13, 0x18,
                                               0x19, 0x1F, 0x20, 0x28, 0x30, 0x40, 0x50};
    std::size_t at = packet.body;
    if (at + 4 > packet.end || data[at] != 4 ||
        std::find(std::begin(kKinds), std::end(kKinds), data[at + 1]) == std::end(kKinds) ||
        !IsKnownHash(data[at + 3])) {
        return false;
    }
    const unsigned algorithm = data[at + 2];
    at += 4;
    if (!SkipSubpackets(data, packet.end, at) || !SkipSubpackets(data, packet.end, at)) {
        return false;
    }
    at += 2;
    const int numbers = algorithm <= 3                                          ? 1
                        : algorithm == 17 || algorithm == 19 || algorithm == 22 ? 2
                                                                                : 0;
    return numbers != 0 && SkipNumbers(data, packet.end, at, numbers) && at == packet.end;
}

// What comes before signed data: the kind of signature, its hash and algorithm, and its key.
bool IsOnePassSignaturePacket(const unsigned char* data, const Packet& packet) {
    const std::size_t at = packet.body;
    return packet.end - at == 13 && data[at] == 3 && IsKnownHash(data[at + 2]) &&
           (data[at + 1] == 0x00 || data[at + 1] == 0x01) && data[at + 12] <= 1 &&
           (data[at + 3] <= 3 || data[at + 3] == 17 || data[at + 3] == 19 || data[at + 3] == 22);
}

bool IsUtf8(const unsigned char* data, std::size_t size, bool whole);

// A user's name and mail address.
bool IsUserIdPacket(const unsigned char* data, const Packet& packet) {
    const std::size_t length = packet.end - packet.body;
    return length > 0 && IsUtf8(data + packet.body, length, true) &&
           std::none_of(data + packet.body, data + packet.end,
                        [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

bool IsOpenPgpRun(const unsigned char* data, std::size_t size, bool whole, int depth);

// Signed data is binary, text, UTF-8 text or MIME, or marked for a local system.
bool IsLiteralFormat(unsigned char format) {
    return format != 0 &&
           std::string_view("btuml1").find(static_cast<char>(format)) != std::string_view::npos;
}

// The first bytes data inflates to, and whether that was all of it; false when it is not
// deflate (raw or zlib's) from its start.
bool Inflate(const unsigned char* data, std::size_t size, bool raw, std::vector<unsigned char>& out,
             bool& ended) {
    z_stream stream{};
    if (inflateInit2(&stream, raw ? -15 : 15) != Z_OK) {
        return false;
    }
    stream.next_in = const_cast<unsigned char*>(data); // zlib's signature; it does not write
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_SYNC_FLUSH);
    out.resize(out.size() - stream.avail_out);
    inflateEnd(&stream);
    ended = status == Z_STREAM_END;
    return status == Z_OK || ended || status == Z_BUF_ERROR;
}

// The same for bzip2, which gives nothing before its first block (up to 900 KB) is whole.
bool Bunzip(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out,
            bool& ended) {
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) {
        return false;
    }
    stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
    stream.avail_in = static_cast<unsigned>(size);
    stream.next_out = reinterpret_cast<char*>(out.data());
    stream.avail_out = static_cast<unsigned>(out.size());
    const int status = BZ2_bzDecompress(&stream);
    out.resize(out.size() - stream.avail_out);
    BZ2_bzDecompressEnd(&stream);
    ended = status == BZ_STREAM_END;
    return status == BZ_OK || ended;
}

// Data compressed with deflate (1), zlib (2) or bzip2 (3), as gpg --sign writes it: the
// packets it holds, judged from as many of their first bytes as the sample gives.
bool IsCompressedRun(const unsigned char* data, std::size_t size, int depth) {
    if (depth > 0 || size < 2 || data[0] < 1 || data[0] > 3) {
        return false;
    }
    std::vector<unsigned char> unpacked(4096);
    bool ended = false;
    const bool unpackedSome = data[0] == 3
                                  ? Bunzip(data + 1, size - 1, unpacked, ended)
                                  : Inflate(data + 1, size - 1, data[0] == 1, unpacked, ended);
    if (data[0] == 3 && unpackedSome && unpacked.empty() && !ended) {
        // A first block longer than the sample (a signed picture, archive or program): its magic
        // numbers, its tables and as much of it as the sample holds read as bzip2 writes them.
        constexpr std::size_t kReadOfBlock = 1024;
        return size > kReadOfBlock;
    }
    return unpackedSome && IsOpenPgpRun(unpacked.data(), unpacked.size(), ended, depth + 1);
}

// `whole`: the run ends where the data does; else a packet may go on past its end.
bool IsOpenPgpRun(const unsigned char* data, std::size_t size, bool whole, int depth) {
    bool named = false; // a key or signature whose fields add up
    std::size_t at = 0;
    if (size > 0 && data[0] == 0xA3) {
        // Compressed data of no set length, as gpg --sign writes it: the rest of the file.
        return IsCompressedRun(data + 1, size - 1, depth);
    }
    while (at < size) {
        // Signed data whose length was not known when it was written (gpg reading a pipe):
        // in parts, or to the end.
        const bool openLiteral =
            at + 2 < size &&
            ((data[at] == 0xCB && data[at + 1] >= 224 && data[at + 1] < 255) || data[at] == 0xAF);
        if (openLiteral) {
            return named && IsLiteralFormat(data[at + (data[at] == 0xCB ? 2 : 1)]);
        }
        std::optional<Packet> packet = PacketAt(data, size, at);
        if (!packet) {
            return false;
        }
        if (packet->tag == 8) {
            return at == 0 && IsCompressedRun(data + packet->body,
                                              std::min(packet->end, size) - packet->body, depth);
        }
        if (packet->tag == 11) {
            // The signed data itself, after its one-pass signature.
            return named && packet->body < size && IsLiteralFormat(data[packet->body]);
        }
        if (packet->end > size) {
            return !whole && named;
        }
        switch (packet->tag) {
        case 2:
            named = IsSignaturePacket(data, *packet);
            break;
        case 4:
            named = IsOnePassSignaturePacket(data, *packet);
            break;
        case 5:
        case 6:
        case 7:
        case 14:
            named = IsKeyPacket(data, *packet);
            break;
        case 12: // trust, in old keyrings
        case 17: // a photo
            break;
        case 13:
            if (!IsUserIdPacket(data, *packet)) {
                return false;
            }
            break;
        default:
            return false;
        }
        if (!named) {
            return false;
        }
        at = packet->end;
    }
    return named;
}

// One frame of a stream: its length, and the header bits that stay the same through the stream.
struct Frame {
    std::size_t length = 0;
    std::uint32_t stream = 0;
};
constexpr std::size_t kFramesInARun = 4;

// MPEG audio (MP3, MP2): an 11-bit sync word, then version, layer, bit rate and sample rate.
std::optional<Frame> MpegAudioFrame(const unsigned char* at, std::size_t left) {
    static constexpr unsigned kKbps[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2 I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2 II, III
    };
    static constexpr unsigned kRates[3] = {44100, 48000, 32000};
    if (left < 4 || at[0] != 0xFF || (at[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const unsigned version = (at[1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const unsigned layer = 4 - ((at[1] >> 1) & 3);
    const unsigned bitRateIndex = at[2] >> 4;
    const unsigned rateIndex = (at[2] >> 2) & 3;
    if (version == 1 || layer == 4 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    const bool mpeg1 = version == 3;
    const unsigned table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const unsigned long bitRate = kKbps[table][bitRateIndex] * 1000UL;
    const unsigned long rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    const unsigned padding = (at[2] >> 1) & 1;
    Frame frame;
    if (layer == 1) {
        frame.length = (12 * bitRate / rate + padding) * 4;
    } else {
        frame.length = (layer == 3 && !mpeg1 ? 72 : 144) * bitRate / rate + padding;
    }
    frame.stream = (at[1] & 0xFE) << 8 | (at[2] & 0x0C);
    return frame;
}

// AAC in ADTS frames: a 12-bit sync word, layer 0, and the frame's length in its header.
std::optional<Frame> AdtsFrame(const unsigned char* at, std::size_t left) {
    if (left < 7 || at[0] != 0xFF || (at[1] & 0xF6) != 0xF0) {
        return std::nullopt;
    }
    const std::size_t headerSize = (at[1] & 1) != 0 ? 7 : 9;
    Frame frame;
    frame.length = static_cast<std::size_t>(at[3] & 3) << 11 |
                   static_cast<std::size_t>(at[4]) << 3 | at[5] >> 5;
    if (((at[2] >> 2) & 0xF) > 12 || frame.length <= headerSize) {
        return std::nullopt;
    }
    // Profile, sample rate and channels.
    frame.stream = static_cast<std::uint32_t>(at[2]) << 8 | (at[3] & 0xC0);
    return frame;
}

template <typename FrameAt>
bool IsRunOfFrames(const unsigned char* data, std::size_t size, FrameAt frameAt) {
    std::size_t at = 0;
    std::optional<Frame> first;
    for (std::size_t count = 0; count < kFramesInARun; ++count) {
        std::optional<Frame> frame = at < size ? frameAt(data + at, size - at) : std::nullopt;
        if (!frame || (first && frame->stream != first->stream)) {
            return false;
        }
        first = first ? first : frame;
        at += frame->length;
    }
    return true;
}

// An MPEG transport stream (.ts, and .m2ts with a 4-byte time before each packet): a sync
// byte at the start of every packet in the sample, at least eight of them.
bool IsTransportStream(const unsigned char* data, std::size_t size, std::size_t packet,
                       std::size_t syncAt) {
    std::size_t packets = 0;
    for (std::size_t at = syncAt; at < size; at += packet, ++packets) {
        if (data[at] != 0x47) {
            return false;
        }
    }
    return packets >= 8;
}

std::uint32_t LittleEndian16(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8;
}

// Headers that the database names only in words (as bytes of no known type) or, for a tag,
// only when sound follows it within the sample: four letters each checked with a field or two
// more, so that random bytes begin with one less than once in 2^40 tries, and DER.
const char* KnownHeader(const unsigned char* data, std::size_t size) {
    const std::string_view sample(reinterpret_cast<const char*>(data), size);
    const auto starts = [&](std::string_view letters) { return sample.starts_with(letters); };
    // An ID3v2 tag, version 2 to 4, revision 0, no undefined flag, sizes of seven bits a byte:
    // an MP3 whose tag (cover art, say) fills the sample.
    if (starts("ID3") && data[3] >= 2 && data[3] <= 4 && data[4] == 0 && (data[5] & 0x0F) == 0 &&
        ((data[6] | data[7] | data[8] | data[9]) & 0x80) == 0) {
        return "MPEG audio with an ID3v2 tag";
    }
    // Squashfs 4.0 (snap packages), with a block size of 4 KiB to 1 MiB, a power of two.
    if (starts("hsqs") && LittleEndian16(data + 28) == 4 && LittleEndian16(data + 30) == 0) {
        const std::uint32_t blockSize = LittleEndian16(data + 12) | LittleEndian16(data + 14) << 16;
        if (blockSize >= 4096 && blockSize <= (1u << 20) && (blockSize & (blockSize - 1)) == 0) {
            return "Squashfs filesystem";
        }
    }
    if (starts("wvpk") && LittleEndian16(data + 8) >= 0x402 && LittleEndian16(data + 8) <= 0x410) {
        return "WavPack audio";
    }
    if (starts("TTA1") && (LittleEndian16(data + 4) == 1 || LittleEndian16(data + 4) == 2) &&
        data[7] == 0) {
        return "True Audio";
    }
    if (starts(std::string_view("caff\0\1\0\0", 8))) {
        return "Core Audio Format";
    }
    if (starts(std::string_view("LRZI\0", 5)) && data[5] <= 20) {
        return "LRZIP compressed data";
    }
    // VP8, VP9 and AV1 video in IVF frames: version 0 and a 32-byte header.
    if (starts(std::string_view("DKIF\0\0\x20\0", 8))) {
        return "IVF video";
    }
    // A key, certificate, request or PKCS #12 store in DER: one sequence, with a length of two
    // or three bytes, that holds exactly the whole file (a sample shorter than 64 KiB is the
    // whole file), and begins with an integer, a sequence or an object identifier. Random
    // bytes are such a sequence once in 2^38 tries.
    const std::size_t lengthBytes = data[1] == 0x82 ? 2 : data[1] == 0x83 ? 3 : 0;
    if (data[0] == 0x30 && lengthBytes != 0 && size < kPlausibilitySample) {
        std::size_t length = 0;
        for (std::size_t k = 0; k < lengthBytes; ++k) {
            length = length << 8 | data[2 + k];
        }
        const unsigned char first = data[2 + lengthBytes];
        if (2 + lengthBytes + length == size && (first == 0x02 || first == 0x30 || first == 0x06)) {
            return "DER encoded data";
        }
    }
    return nullptr;
}

bool JudgeOwnSignature(const unsigned char* data, std::size_t size, Plausibility* verdict) {
    const std::string_view sample(reinterpret_cast<const char*>(data), size);
    for (const Signature& signature : kSignatures) {
        if (sample.substr(0, signature.bytes.size()) == signature.bytes) {
            verdict->detail = signature.kind;
            return true;
        }
    }
    if (const char* kind = KnownHeader(data, size)) {
        verdict->detail = kind;
    } else if (IsOpenPgpEncrypted(data, size)) {
        verdict->detail = "OpenPGP encrypted data";
    } else if (IsOpenPgpRun(data, size, size < kPlausibilitySample, 0)) {
        verdict->detail = "OpenPGP keys or signed data";
    } else if (IsRunOfFrames(data, size, MpegAudioFrame)) {
        verdict->detail = "MPEG audio frames";
    } else if (IsRunOfFrames(data, size, AdtsFrame)) {
        verdict->detail = "AAC audio frames";
    } else if (IsTransportStream(data, size, 188, 0) || IsTransportStream(data, size, 192, 4)) {
        verdict->detail = "MPEG transport stream";
    } else {
        return false;
    }
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

// Well-formed UTF-8. A sample cut from a longer file may end inside a character; a whole file
// that does is no text.
bool IsUtf8(const unsigned char* data, std::size_t size, bool whole) {
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
                return !whole;
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
    verdict->detail = IsUtf8(data, size, size < kPlausibilitySample) ? "UTF-8" : "legacy code page";
    return true;
}

bool JudgeCompression(const unsigned char* data, std::size_t size, Plausibility* verdict) {
    uLongf compressedSize = compressBound(static_cast<uLong>(size));
    std::vector<Bytef> compressed(compressedSize);
    const int status = compress2(compressed.data(), &compressedSize, data, static_cast<uLong>(size),
                                 Z_DEFAULT_COMPRESSION);
    if (status != Z_OK) {
        if (status == Z_MEM_ERROR) {
            verdict->shortfall = JudgeShortfall::OutOfMemory;
        }
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
        // So small a sample is the whole file.
        const bool text =
            size > 0 && IsUtf8(data, size, true) && std::none_of(data, data + size, IsBinaryByte);
        verdict.because = text ? PlausibleBecause::Text : PlausibleBecause::TooSmall;
        verdict.detail = text ? "UTF-8" : "";
        return verdict;
    }
    if (JudgeType(data, size, &verdict) || JudgeOwnSignature(data, size, &verdict)) {
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
    verdict.shortfall = JudgeShortfall::OutOfMemory;
    return verdict;
}

} // namespace platform
