#pragma once

// The toolkit side of a window: the widget behind a handle. Internal to the layer; only the
// window's own thread may use these.

#include "platform/window/cross_thread_send.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_types.h"

#include <QPointer>
#include <QWidget>

namespace platform::detail {

enum class WindowKind { Dialog, Edit, Button, Static };

struct WindowObject {
    HWND handle = nullptr;
    WindowKind kind = WindowKind::Static;
    QPointer<QWidget> widget;
    HICON icon = nullptr; // an SS_ICON static's image
};

// Registers widget under a new handle; the widget is deleted when the window is destroyed.
HWND RegisterWidget(QWidget* widget, WindowKind kind, WindowCreation creation);

WindowObject* ObjectFor(HWND window);
QWidget* WidgetFor(HWND window);
// The handle of the layer's window behind widget, or of its nearest ancestor that has one.
HWND HandleFor(const QWidget* widget);

// Runs f on the window's thread (directly when that is the caller's) and returns its result,
// or fallback when the window is gone or its thread runs no loop.
template <typename F, typename R>
R OnWindowThread(HWND window, R fallback, F&& f) {
    if (WindowRegistry::Instance().IsOwnedByCallingThread(window)) {
        return f();
    }
    R result = fallback;
    CallOnWindowThread(window, [&] { result = f(); });
    return result;
}

} // namespace platform::detail
