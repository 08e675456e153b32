#pragma once

// The items behind menu handles. Internal to the layer.

#include "platform/window/window_types.h"

#include <string>
#include <vector>

namespace platform::detail {

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::string text;
};

HMENU CreateMenuHandle(std::vector<MenuItem> items);
std::vector<MenuItem> MenuItems(HMENU menu); // empty for an unknown handle
bool DestroyMenuHandle(HMENU menu);

} // namespace platform::detail
