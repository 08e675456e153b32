#pragma once

// The classic contract of a text buffer: at most capacity - 1 bytes and a terminating zero.
// Internal to the layer.

#include "platform/window/window_types.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace platform::detail {

// Returns the bytes copied, the terminator not counted; nothing is written for capacity 0.
inline std::size_t CopyToBuffer(std::string_view text, char* buffer, std::size_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    const std::size_t count = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return count;
}

} // namespace platform::detail
