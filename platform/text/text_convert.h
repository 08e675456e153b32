#pragma once

// Text between UTF-8 (what the terminal and the toolkit hand over) and the bytes of a Windows
// code page, through the system's converter. Only this layer calls it. Passwords pass through
// here, so every buffer a call fills on its own is wiped before it is released; the caller
// wipes what it gets back.

#include "platform/base_types.h"

#include <string>
#include <string_view>

namespace platform {

// Like WideCharToMultiByte's flag: a character the code page lacks makes the call fail
// instead of becoming a best-fit letter or "?".
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;

enum class TextFault {
    None,
    InvalidCodePage,  // not one IsValidCodePage accepts
    InvalidFlags,     // a flag other than WC_NO_BEST_FIT_CHARS
    InvalidUtf8,      // the input is not well-formed UTF-8
    InvalidBytes,     // the input is not valid in the code page (MultiByteToUtf8)
    Unrepresentable,  // WC_NO_BEST_FIT_CHARS, and a character the code page lacks
    ConverterMissing, // the system has no converter (or no C.UTF-8 locale) for it
    OutOfMemory
};

// One line of English for a fault, for a caller's errorText.
const char* TextFaultText(TextFault fault);

// Converts UTF-8 text into the code page's bytes, as WideCharToMultiByte does:
// - flags 0 (Windows' default, for decrypting): a character the code page lacks becomes its
//   best-fit letter where there is one (Ĉ -> C, ł -> l, ő -> o) and otherwise one "?";
// - WC_NO_BEST_FIT_CHARS (for encrypting): such a character fails the call with
//   Unrepresentable, and *unrepresentable (when not null) receives it, so that nobody's file
//   is protected by question marks.
// CP_UTF8 gives the UTF-8 bytes as they stand. On any failure *bytes is left empty.
TextFault Utf8ToMultiByte(UINT codePage, DWORD flags, std::string_view utf8, std::string* bytes,
                          char32_t* unrepresentable = nullptr);

// The way back: the code page's bytes as UTF-8 text. On failure *utf8 is left empty.
TextFault MultiByteToUtf8(UINT codePage, std::string_view bytes, std::string* utf8);

// UTF-16 text, as Windows saves "Unicode" text files (little-endian unless bigEndian), as
// UTF-8; no byte-order mark is expected. InvalidBytes for an odd length or a lone surrogate;
// on failure *utf8 is left empty.
TextFault Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* utf8);

// The character set of the locale the environment names for text (LC_ALL, LC_CTYPE, LANG), as
// the C library names it ("UTF-8", "ISO-8859-1", "KOI8-R", "ANSI_X3.4-1968" for plain ASCII);
// empty where that locale is not installed.
std::string LocaleCharset();

// Text in that character set as UTF-8. On failure *utf8 is left empty.
TextFault LocaleTextToUtf8(const std::string& charset, std::string_view bytes, std::string* utf8);

// Only ASCII bytes: text that every code page, UTF-8 included, holds as the same bytes.
bool IsAscii(std::string_view text);

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

} // namespace platform
