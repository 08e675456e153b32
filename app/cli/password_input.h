#pragma once

// Where vanthe-cli gets its password: the first line of a file or of standard input, or the
// terminal without echo.

#include <cstddef>
#include <string>

namespace vanthe::cli {

// The longest password line taken: what the dialog's password field holds (32,767 characters,
// at most three bytes each in UTF-8), so any file it made opens here too. A longer one (or an
// endless file such as /dev/zero) is refused at once rather than read without end.
inline constexpr std::size_t kPasswordLimit = 96 * 1024;

// The first line of the file ("-": standard input), its bytes exactly, without the line
// ending; after a UTF-8 byte-order mark the bytes that follow it, and after a UTF-16 one the
// line as UTF-8. False with a reason when it cannot be read or is longer than kPasswordLimit.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& reason);

// True when the password file `path` ("-": standard input) is a terminal, which would show the
// password as it is typed: it is asked there as without a password file.
bool NamesATerminal(const std::string& path);

// Asks at the controlling terminal without echo; `confirm` asks a second time and requires
// the same answer.
bool AskPassword(bool confirm, std::string& password, std::string& reason);

// Puts the terminal's echo back if a prompt left it off. Safe in a signal handler.
void RestoreTerminal();

} // namespace vanthe::cli
