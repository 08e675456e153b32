#pragma once

// The images behind icon handles. Internal to the layer.

#include "platform/window/window_types.h"

#include <QImage>

namespace platform::detail {

HICON AddIcon(const QImage& image);
QImage IconImageOf(HICON icon); // a null image for an unknown handle

} // namespace platform::detail
