#include "platform/window/focus_change.h"

#include "platform/window/messaging.h"
#include "platform/window/startup.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QApplication>
#include <QWidget>

namespace platform::detail {

namespace {

// A control in a disabled dialog is disabled as well.
bool EnabledChain(HWND window) {
    for (HWND at = window; at != nullptr; at = GetParent(at)) {
        const DWORD style = StyleOf(at);
        if ((style & WS_DISABLED) != 0) {
            return false;
        }
        if ((style & WS_CHILD) == 0) {
            break;
        }
    }
    return true;
}

} // namespace

HWND FocusWindow(HWND window, Qt::FocusReason reason) {
    if (!IsGuiThread()) {
        return nullptr;
    }
    const HWND previous = GetFocus();
    if (window == nullptr) {
        if (QWidget* focused = QApplication::focusWidget()) {
            focused->clearFocus();
        }
        return previous;
    }
    QWidget* widget = WidgetFor(window);
    if (widget == nullptr || !EnabledChain(window)) {
        return nullptr;
    }
    QWidget* top = widget->window();
    if (top->isVisible() && !top->isActiveWindow()) {
        top->activateWindow();
    }
    widget->setFocus(reason);
    return previous;
}

} // namespace platform::detail
