#include "platform/window/window_registry.h"

#include "platform/window/messaging.h"

#include <algorithm>

namespace platform::detail {

WindowRegistry& WindowRegistry::Instance() {
    // Never destroyed: a detached worker may still send while the process exits.
    static WindowRegistry* const instance = new WindowRegistry();
    return *instance;
}

HWND WindowRegistry::Register(const WindowCreation& creation) {
    auto record = std::make_unique<WindowRecord>();
    record->proc = creation.proc;
    record->style = creation.style;
    record->exStyle = creation.exStyle;
    record->id = creation.id;
    record->parent = creation.parent;
    record->peer = creation.peer;
    record->onDestroyed = creation.onDestroyed;
    record->inbox = ThreadInbox::CurrentShared();

    std::lock_guard lock(mutex_);
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

void* WindowRegistry::PeerIfOwned(HWND window) {
    std::lock_guard lock(mutex_);
    const WindowRecord* record = FindLocked(window);
    return record != nullptr && record->inbox->IsOwnedByCallingThread() ? record->peer : nullptr;
}

bool WindowRegistry::IsOwnedByCallingThread(HWND window) {
    std::lock_guard lock(mutex_);
    const WindowRecord* record = FindLocked(window);
    return record != nullptr && record->inbox->IsOwnedByCallingThread();
}

std::vector<HWND> WindowRegistry::Children(HWND window) {
    std::lock_guard lock(mutex_);
    const WindowRecord* record = FindLocked(window);
    return record != nullptr ? record->children : std::vector<HWND>{};
}

BOOL IsWindow(HWND window) {
    WindowRegistry& registry = WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    return registry.FindLocked(window) != nullptr ? TRUE : FALSE;
}

DWORD StyleOf(HWND window) {
    WindowRegistry& registry = WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    const WindowRecord* record = registry.FindLocked(window);
    return record != nullptr ? static_cast<DWORD>(record->style) : 0;
}

BOOL DestroyWindow(HWND window) {
    WindowRegistry& registry = WindowRegistry::Instance();
    {
        std::lock_guard lock(registry.Mutex());
        WindowRecord* record = registry.FindLocked(window);
        if (record == nullptr || record->destroying || !record->inbox->IsOwnedByCallingThread()) {
            return FALSE;
        }
        record->destroying = true;
    }
    SendMessage(window, WM_DESTROY, 0, 0);
    for (HWND child : registry.Children(window)) {
        DestroyWindow(child);
    }
    SendMessage(window, WM_NCDESTROY, 0, 0);

    std::vector<std::shared_ptr<SentMessage>> abandoned;
    void* peer = nullptr;
    WindowDestroyHook hook = nullptr;
    {
        std::lock_guard lock(registry.Mutex());
        WindowRecord* record = registry.FindLocked(window);
        if (record == nullptr) {
            return FALSE;
        }
        peer = record->peer;
        hook = record->onDestroyed;
        abandoned = record->inbox->TakeForWindowLocked(window);
        registry.UnregisterLocked(window);
    }
    for (const auto& slot : abandoned) {
        ThreadInbox::Complete(slot, 0);
    }
    if (hook != nullptr) {
        hook(window, peer);
    }
    return TRUE;
}

} // namespace platform::detail
