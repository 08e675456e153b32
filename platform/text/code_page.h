#pragma once

// The process's ANSI code page, chosen as Windows chooses it from the system locale, so that a
// password typed here hashes to the same bytes as the same password typed there. The locale is
// read from its name alone (LC_ALL, else LC_CTYPE, else LANG); it need not be installed.

#include "platform/base_types.h"

#include <string>
#include <string_view>

namespace platform {

inline constexpr UINT CP_UTF8 = 65001;

// The code page Windows gives a system locale of that language (and territory or script where
// it matters): `de_DE.UTF-8` 1252, `ru_RU` 1251, `zh_TW.Big5` 950, `sr_RS@latin` 1250. 1252
// when nothing matches, `C`, `POSIX` and the empty name included.
UINT CodePageForLocaleName(std::string_view localeName);

// The locale name that decides the character type: the first non-empty of LC_ALL, LC_CTYPE
// and LANG, or "" when none is set.
std::string LocaleNameFromEnvironment();

// The ANSI code page of this process's locale, from the environment's locale name. It ignores
// VANTHE_CODEPAGE; CodePageFromEnvironment applies that.
UINT GetACP();

// The ANSI code pages of Windows' locale table, and CP_UTF8 (the text's UTF-8 bytes as they
// stand).
bool IsValidCodePage(UINT codePage);

// Reads a code page number as the user wrote it ("1252", " 932 "). False, with a one-line
// text naming the value and the valid ones, when it is not a number or not a valid code page.
bool ParseCodePage(std::string_view text, UINT* codePage, std::string* errorText);

// The code page passwords are converted into: VANTHE_CODEPAGE when it is set and not empty,
// else GetACP(). False, with a one-line text, when VANTHE_CODEPAGE holds an unknown value:
// it never falls back silently.
bool CodePageFromEnvironment(UINT* codePage, std::string* errorText);

} // namespace platform
