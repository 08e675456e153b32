#include "platform/window/drops.h"

#include "platform/window/handle_table.h"
#include "platform/window/text_copy.h"

#include <string>
#include <vector>

namespace platform {

namespace {

detail::HandleTable<HDROP, std::vector<std::string>>& Drops() {
    static detail::HandleTable<HDROP, std::vector<std::string>> drops;
    return drops;
}

constexpr UINT kCount = 0xFFFFFFFF;

} // namespace

namespace detail {

HDROP CreateDrop(std::vector<std::string> paths) {
    return Drops().Add(std::move(paths));
}

} // namespace detail

UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT count) {
    UINT result = 0;
    Drops().With(drop, [&](const std::vector<std::string>& paths) {
        if (index == kCount) {
            result = static_cast<UINT>(paths.size());
        } else if (index < paths.size()) {
            const std::string& path = paths[index];
            result = buffer == nullptr
                         ? static_cast<UINT>(path.size())
                         : static_cast<UINT>(detail::CopyToBuffer(path, buffer, count));
        }
    });
    return result;
}

void DragFinish(HDROP drop) {
    Drops().Remove(drop);
}

} // namespace platform
