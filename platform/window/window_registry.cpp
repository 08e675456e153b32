#include "platform/window/window_registry.h"

#include "platform/window/messaging.h"
#include "platform/window/startup.h"

#include <QVariant>
#include <algorithm>

namespace platform::detail {

namespace {

const char* const kHandleProperty = "vantheWindowHandle";

HWND ToHandle(std::uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

std::uintptr_t FromHandle(HWND window) {
    return reinterpret_cast<std::uintptr_t>(window);
}

} // namespace

WindowRegistry& WindowRegistry::Instance() {
    // Never destroyed: a detached worker may still send while the process exits.
    static WindowRegistry* const instance = new WindowRegistry();
    return *instance;
}

HWND WindowRegistry::Register(QWidget* widget, const WindowCreation& creation) {
    auto record = std::make_unique<WindowRecord>();
    record->proc = creation.proc;
    record->style = creation.style;
    record->exStyle = creation.exStyle;
    record->id = creation.id;
    record->parent = creation.parent;
    record->widget = widget;

    std::unique_lock lock(mutex_);
    const std::uintptr_t value = nextHandle_;
    nextHandle_ += 2;
    const HWND window = ToHandle(value);
    if (creation.parent != nullptr && (static_cast<DWORD>(creation.style) & WS_CHILD) != 0) {
        if (WindowRecord* parent = FindLocked(creation.parent)) {
            parent->children.push_back(window);
        } else {
            record->parent = nullptr;
        }
    }
    records_.emplace(value, std::move(record));
    lock.unlock();
    widget->setProperty(kHandleProperty, QVariant::fromValue(value));
    return window;
}

WindowRecord* WindowRegistry::FindLocked(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    auto it = records_.find(FromHandle(window));
    return it == records_.end() ? nullptr : it->second.get();
}

void WindowRegistry::UnregisterLocked(HWND window) {
    auto it = records_.find(FromHandle(window));
    if (it == records_.end()) {
        return;
    }
    if (WindowRecord* parent = FindLocked(it->second->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    for (HWND child : it->second->children) {
        if (WindowRecord* record = FindLocked(child)) {
            record->parent = nullptr;
        }
    }
    records_.erase(it);
}

WindowRecord* WindowRegistry::FindOwned(HWND window) {
    if (!IsGuiThread()) {
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    return FindLocked(window);
}

std::vector<HWND> WindowRegistry::Children(HWND window) {
    std::lock_guard lock(mutex_);
    const WindowRecord* record = FindLocked(window);
    return record != nullptr ? record->children : std::vector<HWND>{};
}

BOOL IsWindow(HWND window) {
    return WithRecord(window, FALSE, [](const WindowRecord& /*record*/) { return TRUE; });
}

DWORD StyleOf(HWND window) {
    return WithRecord(window, DWORD{0},
                      [](const WindowRecord& record) { return static_cast<DWORD>(record.style); });
}

void SetStyleBits(HWND window, DWORD bits, bool on) {
    WithRecord(window, 0, [&](WindowRecord& record) {
        const DWORD style = static_cast<DWORD>(record.style);
        record.style = static_cast<LONG>(on ? style | bits : style & ~bits);
        return 0;
    });
}

bool ChainHas(HWND window, DWORD bits, DWORD want) {
    WindowRegistry& registry = WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    for (const WindowRecord* record = registry.FindLocked(window); record != nullptr;
         record = registry.FindLocked(record->parent)) {
        const DWORD style = static_cast<DWORD>(record->style);
        if ((style & bits) != want) {
            return false;
        }
        if ((style & WS_CHILD) == 0) {
            break;
        }
    }
    return true;
}

BOOL DestroyWindow(HWND window) {
    WindowRegistry& registry = WindowRegistry::Instance();
    {
        std::lock_guard lock(registry.Mutex());
        WindowRecord* record = registry.FindLocked(window);
        if (record == nullptr || record->destroying || !IsGuiThread()) {
            return FALSE;
        }
        record->destroying = true;
    }
    SendMessage(window, WM_DESTROY, 0, 0);
    for (HWND child : registry.Children(window)) {
        DestroyWindow(child);
    }
    SendMessage(window, WM_NCDESTROY, 0, 0);

    QPointer<QWidget> widget;
    {
        std::lock_guard lock(registry.Mutex());
        WindowRecord* record = registry.FindLocked(window);
        if (record == nullptr) {
            return FALSE;
        }
        widget = record->widget;
        registry.UnregisterLocked(window);
    }
    AnswerQueuedFor(window);
    // The widget goes once the event being handled is done with it, since a window may well
    // be destroyed from one of its own handlers.
    if (widget != nullptr) {
        widget->hide();
        widget->deleteLater();
    }
    return TRUE;
}

QWidget* WidgetFor(HWND window) {
    const WindowRecord* record = WindowRegistry::Instance().FindOwned(window);
    return record != nullptr ? record->widget.data() : nullptr;
}

HWND HandleFor(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        const QVariant value = widget->property(kHandleProperty);
        if (value.isValid()) {
            return ToHandle(value.value<std::uintptr_t>());
        }
        if (widget->isWindow()) {
            break;
        }
    }
    return nullptr;
}

RECT ToRect(const QRect& rect) {
    RECT result;
    result.left = rect.left();
    result.top = rect.top();
    result.right = rect.left() + rect.width();
    result.bottom = rect.top() + rect.height();
    return result;
}

} // namespace platform::detail
