#pragma once

// The table of live windows. Handles are serial numbers that are never reused, so a stale
// handle simply finds nothing. Internal to the layer.

#include "platform/window/cross_thread_send.h"
#include "platform/window/window_types.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::detail {

// Called on the owner thread once a window is gone, so the toolkit side can drop its widget.
using WindowDestroyHook = void (*)(HWND window, void* peer);

struct WindowRecord {
    WNDPROC proc = nullptr;
    LONG_PTR dialogWords[3] = {}; // DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER
    LONG style = 0;
    LONG exStyle = 0;
    LONG_PTR id = 0;
    HWND parent = nullptr;      // the parent of a child window, the owner of any other
    std::vector<HWND> children; // z-order, topmost first
    std::shared_ptr<ThreadInbox> inbox;
    void* peer = nullptr;
    WindowDestroyHook onDestroyed = nullptr;
    bool destroying = false;
};

struct WindowCreation {
    WNDPROC proc = nullptr;
    LONG style = 0;
    LONG exStyle = 0;
    LONG_PTR id = 0;
    HWND parent = nullptr;
    void* peer = nullptr;
    WindowDestroyHook onDestroyed = nullptr;
};

class WindowRegistry {
public:
    static WindowRegistry& Instance();

    // One mutex guards the records and every inbox's queue, so that checking that a window is
    // alive and queueing a message for it cannot be split by its destruction.
    std::mutex& Mutex() { return mutex_; }

    // Registers a window owned by the calling thread; it is placed last among its siblings.
    HWND Register(const WindowCreation& creation);

    WindowRecord* FindLocked(HWND window);
    void UnregisterLocked(HWND window);

    // Accessors that take the lock themselves. The peer is only for the window's own thread,
    // the one allowed to touch it.
    void* PeerIfOwned(HWND window);
    bool IsOwnedByCallingThread(HWND window);
    std::vector<HWND> Children(HWND window);

private:
    WindowRegistry() = default;

    std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::unique_ptr<WindowRecord>> records_;
    std::uintptr_t nextHandle_ = 0x10;
};

BOOL IsWindow(HWND window);
DWORD StyleOf(HWND window); // GWL_STYLE
// Only the owner thread can destroy a window. Its procedure gets WM_DESTROY, its children are
// destroyed, then WM_NCDESTROY; messages other threads had queued for it complete with 0.
BOOL DestroyWindow(HWND window);

inline HWND ToHandle(std::uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}
inline std::uintptr_t FromHandle(HWND window) {
    return reinterpret_cast<std::uintptr_t>(window);
}

} // namespace platform::detail
