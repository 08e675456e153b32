#pragma once

// The program's message texts are printf-style: %d signed decimal, %X upper-case hexadecimal
// without prefix, %s text.

#include <string>

namespace vanthe {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace vanthe
