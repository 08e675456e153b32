#pragma once

// A password typed as text (UTF-8) becomes the bytes the program on Windows hashes: the same
// characters in the process's ANSI code page, one byte per character there.

#include "platform/base_types.h"

#include <string>

namespace vanthe {

struct PasswordBytes {
    bool ok = false;
    std::string bytes;            // what the key is made from; wipe it after use
    std::string errorText;        // when !ok: the text the dialog shows
    bool unrepresentable = false; // encrypting with a character the code page lacks
};

// Encrypting refuses a character the code page cannot represent, since Windows would have
// turned it into "?" and the file would be protected by question marks. Decrypting converts
// as Windows does (a best-fit letter, else "?"), so files made there still open.
PasswordBytes PasswordForCodePage(const std::string& utf8, platform::UINT codePage,
                                  bool encrypting);

// "The password contains characters that code page %d cannot represent."
std::string UnrepresentablePasswordText(platform::UINT codePage);

} // namespace vanthe
