#pragma once

// Whether the toolkit will be able to open its display. The toolkit itself ends the process
// when it cannot, so the layer asks first. Internal to the layer.

#include <string>

namespace platform::detail {

// argvPlatform: the value of a "-platform" argument, if any. On failure, reason says why in
// a few words.
bool CanOpenDisplay(const std::string& argvPlatform, std::string& reason);

} // namespace platform::detail
