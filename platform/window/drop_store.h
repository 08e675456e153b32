#pragma once

// Creating drop handles. Internal to the layer.

#include "platform/window/window_types.h"

#include <string>
#include <vector>

namespace platform::detail {

HDROP CreateDrop(std::vector<std::string> paths);

} // namespace platform::detail
