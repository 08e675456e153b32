#pragma once

// Where vanthe-cli gets its password: the first line of a file or of standard input, or the
// terminal without echo.

#include <string>

namespace vanthe::cli {

// The first line of the file ("-": standard input), its bytes exactly, without the line ending.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& reason);

// Asks at the controlling terminal without echo; `confirm` asks a second time and requires
// the same answer.
bool AskPassword(bool confirm, std::string& password, std::string& reason);

// Puts the terminal's echo back if a prompt left it off. Safe in a signal handler.
void RestoreTerminal();

} // namespace vanthe::cli
