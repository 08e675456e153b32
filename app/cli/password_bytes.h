#pragma once

// The bytes a password is hashed as. Vanthe for Windows hashes the password in the process's
// ANSI code page, so a password typed here must become the same bytes to open the same files.

#include <cstddef>
#include <string>

namespace vanthe::cli {

// Where the password's text came from: typed text is in the terminal's character set, the
// locale's; a password file's line is UTF-8 when it is valid UTF-8, else bytes already in a
// legacy code page.
enum class PasswordOrigin { Typed, FileLine };

struct PasswordBytes {
    std::string bytes; // what the key is made from; a secret
    int codePage = 0;  // the code page they are in
    bool nonAscii = false;
    bool asTheyStand = false; // a file's bytes, taken as already in the code page
    std::string errorText;    // why the conversion failed
};

// True for a code page the password can be converted to (65001: UTF-8 as it stands).
bool IsKnownCodePage(int codePage);

// The code page passwords are converted to: `chosen` (--codepage, 0 when not given), else
// VANTHE_CODEPAGE, else the one Windows would use for the locale. False with a reason when
// VANTHE_CODEPAGE names no known code page.
bool ChooseCodePage(int chosen, int& codePage, std::string& reason);

// Converts `text` to `codePage`. Encrypting refuses (false) a character the code page lacks,
// since Windows would have hashed a "?" in its place; decrypting converts as Windows does,
// best-fit letters and "?" included, so files made there still open. On false, errorText
// says why.
bool ToPasswordBytes(const std::string& text, PasswordOrigin origin, int codePage, bool encrypting,
                     PasswordBytes& result);

// The most characters the dialog's password field holds. A longer password could be given
// here, but a file encrypted under it could never be opened in the dialog.
inline constexpr std::size_t kDialogPasswordCharacters = 32767;

// How many characters the dialog's field counts in `text`: UTF-16 units of UTF-8 text, else
// one per byte.
std::size_t DialogCharacters(const std::string& text);

// Wipes the bytes.
void Wipe(PasswordBytes& password);

} // namespace vanthe::cli
