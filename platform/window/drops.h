#pragma once

// Files dropped on a control with WS_EX_ACCEPTFILES arrive as WM_DROPFILES, wParam an HDROP.

#include "platform/window/window_types.h"

#include <string>
#include <vector>

namespace platform {

// index 0xFFFFFFFF: the number of files. buffer null: the length of path index. Otherwise
// copies at most count - 1 bytes of it and a zero, and returns the bytes copied.
UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT count);
// Releases the drop; the default procedure of WM_DROPFILES does this too.
void DragFinish(HDROP drop);

namespace detail {

// A drop of these paths, made by the layer when files are dropped on a control.
HDROP CreateDrop(std::vector<std::string> paths);

} // namespace detail

} // namespace platform
