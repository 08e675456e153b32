#include "qt_bridge.h"

#include "platform/window/dialog_window.h"
#include "platform/window/window_registry.h"

namespace platform {

QWidget* WidgetFromHandle(HWND window) {
    return detail::WidgetFor(window);
}

HWND HandleFromWidget(const QWidget* widget) {
    return widget != nullptr && detail::HandleFor(widget) != nullptr &&
                   detail::WidgetFor(detail::HandleFor(widget)) == widget
               ? detail::HandleFor(widget)
               : nullptr;
}

HWND RunningDialog() {
    const detail::DialogWindow* dialog = detail::DialogWindow::Innermost();
    return dialog != nullptr ? dialog->Handle() : nullptr;
}

} // namespace platform
