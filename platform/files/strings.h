#pragma once

// Byte-string helpers of the platform, and clearing secrets.

#include <cstddef>

namespace platform {

// Compares ignoring the case of ASCII letters; every other byte, UTF-8 included, must match
// exactly and is ordered by its unsigned value.
int lstrcmpi(const char* a, const char* b);
int lstrlen(const char* text);

// Clears memory in a way the compiler may not drop, for secrets.
void SecureZeroMemory(void* memory, std::size_t size);

} // namespace platform
