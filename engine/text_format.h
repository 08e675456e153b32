#pragma once

// The program's message texts are printf-style: %d signed decimal, %X upper-case hexadecimal
// without prefix, %s text.

#include <string>

namespace vanthe {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "File '%s' does not exist.", shown wherever a source is missing.
std::string FileMissingText(const std::string& path);

} // namespace vanthe
