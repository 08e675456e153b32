#pragma once

// Judges whether decrypted data looks like something a person would have encrypted. The
// format has no check value, so a wrong password yields bytes indistinguishable from random
// ones; the right one nearly always yields a known kind of file, text, or data that
// compresses. Safe to call from any number of threads at once.

#include <cstddef>
#include <string>

namespace platform {

// The judge looks at the first min(size, kPlausibilitySample) bytes of the plaintext.
inline constexpr std::size_t kPlausibilitySample = 64 * 1024;
// Fewer bytes than this are too few to tell anything from random bytes: they always pass, as
// Text when they are UTF-8 without control characters (which a handful of random bytes seldom
// are), else as TooSmall. From here on random bytes pass as text less than once in a million
// tries (about one random byte in ten never occurs in text), and a short note under a wrong
// password is still caught.
inline constexpr std::size_t kSmallestJudgedSample = 128;

enum class PlausibleBecause {
    Nothing,    // implausible: no test passed
    TooSmall,   // under kSmallestJudgedSample bytes, and no UTF-8 text
    KnownType,  // a strong signature names a kind of file: the type database's, or one for
                // encrypted data and framed sound and video
    Text,       // text in UTF-8, UTF-16, or a legacy single- or double-byte code page
    Compresses, // zlib shrinks it by at least kCompressionSavingPercent
};

// What kept a test from judging. Data that passes no test is then not proof of a wrong
// password: a caller says the password cannot be checked.
enum class JudgeShortfall {
    None,
    // The file type database could not be loaded (or failed): the text and compression tests
    // still judge, but data only the database recognises (PNG, JPEG, zip and other compressed
    // formats) is then implausible.
    NoTypeDatabase,
    OutOfMemory, // memory ran out before every test had run
};

// Random bytes cannot be compressed: of all n-byte inputs, fewer than one in 2^(8k-1) can be
// shrunk by k bytes by any compressor, so a 3% saving on at least 128 bytes (4 bytes) happens
// to random data less than once in 2^31 tries.
inline constexpr std::size_t kCompressionSavingPercent = 3;

struct Plausibility {
    bool plausible = false;
    PlausibleBecause because = PlausibleBecause::Nothing;
    // The file type ("image/png"), the text's encoding ("UTF-16LE"), or the compressed
    // size ("61% of 65536 bytes"); empty when nothing passed.
    std::string detail;
    JudgeShortfall shortfall = JudgeShortfall::None;
};

// Judges the first min(size, kPlausibilitySample) bytes at data.
Plausibility JudgePlausibility(const unsigned char* data, std::size_t size);

} // namespace platform
