#pragma once

// For tests only: the widgets behind the layer's handles. The program itself never includes
// this header, so toolkit types stay inside the layer.

#include "platform/window/window_types.h"

class QWidget;

namespace platform {

// Null unless the window is one of the layer's widgets and the caller is its thread.
QWidget* WidgetFromHandle(HWND window);
HWND HandleFromWidget(const QWidget* widget);
// The dialog whose modal loop runs innermost on this thread, or null.
HWND RunningDialog();

} // namespace platform
