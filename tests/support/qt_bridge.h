#pragma once

// For tests and benchmarks: the widgets behind the window layer's handles. The program never
// reaches past the layer's Qt-free headers.

#include "platform/window/window_types.h"

class QWidget;

namespace platform {

// Null unless the window is one of the layer's widgets and the caller is its thread.
QWidget* WidgetFromHandle(HWND window);
HWND HandleFromWidget(const QWidget* widget);
// The dialog whose modal loop runs innermost on this thread, or null.
HWND RunningDialog();

} // namespace platform
