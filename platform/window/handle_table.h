#pragma once

// Handles of the layer's objects (brushes, menus, icons, drops, paint contexts) are serial
// numbers into a table, never pointers: a stale or forged handle finds nothing. Internal to
// the layer.

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace platform::detail {

template <typename Handle, typename Value>
class HandleTable {
public:
    Handle Add(Value value) {
        std::lock_guard lock(mutex_);
        const std::uintptr_t id = next_;
        next_ += 4;
        entries_.emplace(id, std::move(value));
        return reinterpret_cast<Handle>(id);
    }

    bool Remove(Handle handle) {
        std::lock_guard lock(mutex_);
        return entries_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
    }

    std::optional<Value> Get(Handle handle) const {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == entries_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    // Runs f on the stored value under the table's lock; false when the handle is unknown.
    template <typename F>
    bool With(Handle handle, F&& f) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == entries_.end()) {
            return false;
        }
        std::forward<F>(f)(it->second);
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::uintptr_t, Value> entries_;
    std::uintptr_t next_ = 0x1000;
};

} // namespace platform::detail
