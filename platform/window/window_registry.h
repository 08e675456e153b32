#pragma once

// The table of live windows and the widgets behind them. Handles are serial numbers that are
// never reused, so a stale handle simply finds nothing. Internal to the layer.

#include "platform/window/cross_thread_send.h"
#include "platform/window/window_types.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform::detail {

struct WindowRecord {
    WNDPROC proc = nullptr;
    LONG_PTR dialogWords[3] = {}; // DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER
    LONG style = 0;
    LONG exStyle = 0;
    LONG_PTR id = 0;
    HWND parent = nullptr;      // the parent of a child window, the owner of any other
    std::vector<HWND> children; // z-order, topmost first
    bool destroying = false;
    // The toolkit side, for the window's own thread alone.
    QPointer<QWidget> widget;
    HICON icon = nullptr; // an SS_ICON static's image
};

struct WindowCreation {
    WNDPROC proc = nullptr;
    LONG style = 0;
    LONG exStyle = 0;
    LONG_PTR id = 0;
    HWND parent = nullptr;
};

class WindowRegistry {
public:
    static WindowRegistry& Instance();

    // One mutex guards the records and the queue of sent messages, so that checking that a window
    // is alive and queueing a message for it cannot be split by its destruction.
    std::mutex& Mutex() { return mutex_; }

    // Registers widget as a window of the toolkit's thread, which must be the caller, placed
    // last among its siblings; the widget is deleted when the window is destroyed.
    HWND Register(QWidget* widget, const WindowCreation& creation);

    WindowRecord* FindLocked(HWND window);
    void UnregisterLocked(HWND window);

    // The window's record for the toolkit's thread, the only one allowed to touch its widget;
    // null on any other thread. It stays valid until that thread destroys the window.
    WindowRecord* FindOwned(HWND window);
    bool IsOwnedByCallingThread(HWND window) { return FindOwned(window) != nullptr; }
    std::vector<HWND> Children(HWND window);

private:
    WindowRegistry() = default;

    std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::unique_ptr<WindowRecord>> records_;
    std::uintptr_t nextHandle_ = 0x10;
};

// Runs f on the window's record under the registry's mutex and returns its result, or
// fallback when there is no such window.
template <typename R, typename F>
R WithRecord(HWND window, R fallback, F&& f) {
    WindowRegistry& registry = WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    WindowRecord* record = registry.FindLocked(window);
    return record != nullptr ? f(*record) : fallback;
}

BOOL IsWindow(HWND window);
DWORD StyleOf(HWND window); // GWL_STYLE
// Style bits the layer keeps in step with the widget without announcing them, as the platform
// does for visibility, the enabled state and a radio group's tab stop.
void SetStyleBits(HWND window, DWORD bits, bool on);
// Whether window and each parent up to its top-level window have exactly want of the bits.
bool ChainHas(HWND window, DWORD bits, DWORD want);
// Only the toolkit's thread can destroy a window. Its procedure gets WM_DESTROY, its children are
// destroyed, then WM_NCDESTROY; messages other threads had queued for it complete with 0.
BOOL DestroyWindow(HWND window);

QWidget* WidgetFor(HWND window); // for the window's own thread; null for any other
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

// The same with the window's widget: f(widget), or fallback when there is none.
template <typename F, typename R>
R WithWidget(HWND window, R fallback, F&& f) {
    return OnWindowThread(window, fallback, [&]() -> R {
        QWidget* widget = WidgetFor(window);
        return widget != nullptr ? f(*widget) : fallback;
    });
}

RECT ToRect(const QRect& rect);

} // namespace platform::detail
