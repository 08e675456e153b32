#include "engine/text_format.h"

#include <cstdarg>
#include <cstdio>

namespace vanthe {

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

std::string FileMissingText(const std::string& path) {
    return FormatText("File '%s' does not exist.", path.c_str());
}

} // namespace vanthe
