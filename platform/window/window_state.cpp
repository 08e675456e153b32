#include "platform/window/window_state.h"

#include "platform/window/dialog_navigation.h"
#include "platform/window/dialog_window.h"
#include "platform/window/startup.h"
#include "platform/window/window_registry.h"

#include <QApplication>
#include <QWidget>
#include <QtGlobal>
#include <algorithm>
#include <mutex>

namespace platform {

using detail::DialogWindow;
using detail::OnWindowThread;
using detail::ToRect;
using detail::WidgetFor;
using detail::WithWidget;

namespace {

// Whether window is a child, or a child's child, of parent.
bool IsChild(HWND parent, HWND window) {
    detail::WindowRegistry& registry = detail::WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    const detail::WindowRecord* record = registry.FindLocked(window);
    while (record != nullptr && (static_cast<DWORD>(record->style) & WS_CHILD) != 0) {
        if (record->parent == parent) {
            return true;
        }
        record = registry.FindLocked(record->parent);
    }
    return false;
}

} // namespace

int GetWindowText(HWND window, char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    return static_cast<int>(SendMessage(window, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                        reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND window) {
    return static_cast<int>(SendMessage(window, WM_GETTEXTLENGTH, 0, 0));
}

HWND SetFocus(HWND window) {
    try {
        return detail::FocusWindow(window, Qt::OtherFocusReason);
    } catch (...) {
        qWarning("vanthe: SetFocus: the toolkit threw; the call fails instead");
        return nullptr;
    }
}

HWND GetFocus() {
    if (!detail::IsGuiThread()) {
        return nullptr;
    }
    if (QApplication::activeWindow() != nullptr) {
        return detail::HandleFor(QApplication::focusWidget());
    }
    // No window is active (no window manager, or activation still on its way): the focus is
    // where the innermost dialog will put it.
    const DialogWindow* dialog = DialogWindow::Innermost();
    return dialog != nullptr ? detail::HandleFor(dialog->focusWidget()) : nullptr;
}

HWND GetActiveWindow() {
    if (!detail::IsGuiThread()) {
        return nullptr;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return detail::HandleFor(active);
    }
    DialogWindow* dialog = DialogWindow::Innermost();
    return dialog != nullptr && dialog->isVisible() ? dialog->Handle() : nullptr;
}

BOOL BringWindowToTop(HWND window) {
    // Only controls are moved: first in their dialog's z-order, and so in its tab order.
    detail::WindowRegistry& registry = detail::WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    detail::WindowRecord* record = registry.FindLocked(window);
    detail::WindowRecord* parent =
        record != nullptr && (static_cast<DWORD>(record->style) & WS_CHILD) != 0
            ? registry.FindLocked(record->parent)
            : nullptr;
    if (parent == nullptr) {
        return FALSE;
    }
    auto& siblings = parent->children;
    const auto it = std::find(siblings.begin(), siblings.end(), window);
    if (it != siblings.end()) {
        std::rotate(siblings.begin(), it, it + 1);
    }
    return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    return OnWindowThread(window, FALSE, [window, enable] {
        const bool wasDisabled = (detail::StyleOf(window) & WS_DISABLED) != 0;
        const bool enabling = enable != FALSE;
        QWidget* widget = WidgetFor(window);
        if (wasDisabled == !enabling || widget == nullptr) {
            if (widget == nullptr && detail::IsWindow(window)) {
                detail::SetStyleBits(window, WS_DISABLED, !enabling);
            }
            return wasDisabled ? TRUE : FALSE;
        }
        auto* dialog = dynamic_cast<DialogWindow*>(widget);
        if (dialog != nullptr && !enabling) {
            const HWND focus = GetFocus();
            dialog->State().savedFocus = IsChild(window, focus) ? focus : nullptr;
        }
        detail::SetStyleBits(window, WS_DISABLED, !enabling);
        // Disabling takes the focus away from the controls, which hear WM_KILLFOCUS.
        widget->setEnabled(enabling);
        SendMessage(window, WM_ENABLE, enabling ? TRUE : FALSE, 0);
        if (dialog != nullptr && enabling) {
            const HWND saved = dialog->State().savedFocus;
            dialog->State().savedFocus = nullptr;
            if (saved != nullptr && IsChild(window, saved)) {
                detail::FocusWindow(saved, Qt::ActiveWindowFocusReason);
            }
        }
        return wasDisabled ? TRUE : FALSE;
    });
}

BOOL detail::IsWindowEnabled(HWND window) {
    return detail::IsWindow(window) != FALSE && (detail::StyleOf(window) & WS_DISABLED) == 0
               ? TRUE
               : FALSE;
}

BOOL detail::ShowWindow(HWND window, int command) {
    return OnWindowThread(window, FALSE, [window, command] {
        const BOOL wasVisible = (detail::StyleOf(window) & WS_VISIBLE) != 0 ? TRUE : FALSE;
        QWidget* widget = WidgetFor(window);
        if (widget == nullptr) {
            return wasVisible;
        }
        switch (command) {
        case SW_HIDE:
            detail::SetStyleBits(window, WS_VISIBLE, false);
            widget->hide();
            break;
        case SW_MINIMIZE:
            detail::SetStyleBits(window, WS_VISIBLE, true);
            widget->showMinimized();
            break;
        case SW_SHOWNORMAL:
            detail::SetStyleBits(window, WS_VISIBLE, true);
            if (widget->isWindow()) {
                widget->showNormal();
            } else {
                widget->show();
            }
            break;
        default:
            detail::SetStyleBits(window, WS_VISIBLE, true);
            widget->show();
            break;
        }
        return wasVisible;
    });
}

BOOL IsWindowVisible(HWND window) {
    return detail::IsWindow(window) != FALSE && detail::ChainHas(window, WS_VISIBLE, WS_VISIBLE)
               ? TRUE
               : FALSE;
}

BOOL IsIconic(HWND window) {
    return WithWidget(window, FALSE, [](const QWidget& widget) {
        return widget.isWindow() && widget.isMinimized() ? TRUE : FALSE;
    });
}

BOOL GetClientRect(HWND window, RECT* rect) {
    if (rect == nullptr) {
        return FALSE;
    }
    return WithWidget(window, FALSE, [rect](const QWidget& widget) {
        *rect = ToRect(QRect(QPoint(0, 0), widget.size()));
        return TRUE;
    });
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    if (rect == nullptr) {
        return FALSE;
    }
    return WithWidget(window, FALSE, [rect](const QWidget& widget) {
        *rect = widget.isWindow() ? ToRect(widget.frameGeometry())
                                  : ToRect(QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size()));
        return TRUE;
    });
}

void ShowWorkingPointer(BOOL working) {
    static bool shown = false; // the toolkit's thread only
    if ((working != FALSE) == shown) {
        return;
    }
    shown = working != FALSE;
    if (shown) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    (void)insertAfter;
    (void)cx;
    (void)cy;
    return WithWidget(window, FALSE, [=](QWidget& widget) {
        if ((flags & SWP_NOMOVE) == 0) {
            widget.move(x, y); // a window's frame, a control's rectangle in its parent
        }
        if ((flags & SWP_NOACTIVATE) == 0 && widget.isWindow() && widget.isVisible()) {
            widget.activateWindow();
        }
        return TRUE;
    });
}

} // namespace platform
