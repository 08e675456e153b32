#include "platform/window/dialog_navigation.h"

#include "platform/window/messaging.h"
#include "platform/window/startup.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

namespace platform::detail {

namespace {

// Visible and enabled by its own style bits, as the dialog manager judges tab stops.
bool IsUsable(HWND control) {
    const DWORD style = StyleOf(control);
    return IsWindow(control) && (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0;
}

// The first usable control with the style bits after (or before) from in order, going round;
// from anything not in order starts the search at the end it moves away from.
HWND NextUsable(const std::vector<HWND>& order, HWND from, bool previous, DWORD bits) {
    const std::size_t count = order.size();
    const auto found = std::find(order.begin(), order.end(), from);
    std::size_t index = found != order.end() ? static_cast<std::size_t>(found - order.begin())
                        : previous           ? 0
                                             : count - 1;
    for (std::size_t step = 1; step <= count; ++step) {
        const std::size_t at = previous ? (index + count - step) % count : (index + step) % count;
        if ((StyleOf(order[at]) & bits) == bits && IsUsable(order[at])) {
            return order[at];
        }
    }
    return nullptr;
}

} // namespace

std::vector<HWND> GroupOf(HWND control) {
    std::vector<HWND> group;
    if (control == nullptr) {
        return group;
    }
    HWND start = control;
    while ((StyleOf(start) & WS_GROUP) == 0) {
        HWND previous = GetWindow(start, GW_HWNDPREV);
        if (previous == nullptr) {
            break;
        }
        start = previous;
    }
    for (HWND window = start; window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        if (window != start && (StyleOf(window) & WS_GROUP) != 0) {
            break;
        }
        group.push_back(window);
    }
    return group;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
    return NextUsable(WindowRegistry::Instance().Children(dialog), control, previous, WS_TABSTOP);
}

HWND GetNextDlgGroupItem(HWND control, bool previous) {
    const HWND next = NextUsable(GroupOf(control), control, previous, 0);
    return next != nullptr ? next : control;
}

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
    // A control in a disabled dialog is disabled as well.
    if (widget == nullptr || !ChainHas(window, WS_DISABLED, 0)) {
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
