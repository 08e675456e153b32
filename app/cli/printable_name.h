#pragma once

// File names as vanthe-cli prints them. A name may hold any byte but "/" and NUL; printed raw,
// an escape sequence in a name would reach the terminal as a command.

#include <string>

namespace vanthe::cli {

// The name with control characters (C0, DEL and C1), characters that show as nothing or turn
// the text's direction, and bytes that are not UTF-8 written as escapes: "\n", "\t", "\r", "\\" and
// "\xHH". Valid UTF-8 letters stay as they are.
std::string Printable(const std::string& name);

} // namespace vanthe::cli
