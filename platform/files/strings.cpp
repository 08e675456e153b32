#include "platform/files/strings.h"

#include <cstring>

namespace platform {

int lstrcmpi(const char* a, const char* b) {
    auto fold = [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
    };
    const auto* x = reinterpret_cast<const unsigned char*>(a != nullptr ? a : "");
    const auto* y = reinterpret_cast<const unsigned char*>(b != nullptr ? b : "");
    while (*x != '\0' && fold(*x) == fold(*y)) {
        ++x;
        ++y;
    }
    return static_cast<int>(fold(*x)) - static_cast<int>(fold(*y));
}

int lstrlen(const char* text) {
    return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}

void SecureZeroMemory(void* memory, std::size_t size) {
    explicit_bzero(memory, size);
}

} // namespace platform
