#include "platform/window/cross_thread_send.h"

#include "platform/window/startup.h"
#include "platform/window/window_registry.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform::detail {

namespace {

std::mutex& RegistryMutex() {
    return WindowRegistry::Instance().Mutex();
}

// A toolkit exception must not cross the window procedure into the sender's wait.
LRESULT Run(HWND window, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC proc,
            const std::function<void()>* task) noexcept {
    try {
        if (task != nullptr) {
            (*task)();
            return 1;
        }
        return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
    } catch (...) {
        std::fputs("vanthe: a sent message's handler threw; the send answers 0\n", stderr);
        return 0;
    }
}

} // namespace

ThreadInbox& ThreadInbox::Instance() {
    static ThreadInbox* const inbox = new ThreadInbox();
    return *inbox;
}

void ThreadInbox::Open() {
    std::lock_guard lock(RegistryMutex());
    if (openDepth_++ == 0) {
        wakePending_ = false;
    }
}

void ThreadInbox::Close() {
    std::deque<std::shared_ptr<SentMessage>> abandoned;
    {
        std::lock_guard lock(RegistryMutex());
        if (openDepth_ == 0 || --openDepth_ > 0) {
            return;
        }
        abandoned.swap(queue_);
        wakePending_ = false;
    }
    CompleteAll(abandoned);
}

void ThreadInbox::SetWakeHook(std::function<void()> hook) {
    std::function<void()> old; // destroyed outside the lock
    std::lock_guard lock(RegistryMutex());
    old.swap(wakeHook_);
    wakeHook_ = std::move(hook);
    wakePending_ = false;
}

void ThreadInbox::RequestWake() {
    std::lock_guard lock(RegistryMutex());
    if (wakeHook_ && openDepth_ > 0 && !wakePending_) {
        wakePending_ = true;
        wakeHook_();
    }
}

bool ThreadInbox::EnqueueLocked(const std::shared_ptr<SentMessage>& slot) {
    if (openDepth_ == 0) {
        return false;
    }
    queue_.push_back(slot);
    // One wake-up outstanding at a time: Drain clears the flag before it looks at the queue,
    // so a message queued after that look brings a wake-up of its own.
    if (!wakePending_ && wakeHook_) {
        wakePending_ = true;
        wakeHook_();
    }
    return true;
}

std::vector<std::shared_ptr<SentMessage>> ThreadInbox::TakeForWindowLocked(HWND window) {
    std::vector<std::shared_ptr<SentMessage>> taken;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if ((*it)->window == window) {
            taken.push_back(std::move(*it));
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

bool ThreadInbox::HasQueued() const {
    std::lock_guard lock(RegistryMutex());
    return !queue_.empty();
}

bool ThreadInbox::Drain() {
    std::size_t batch = 0;
    {
        std::lock_guard lock(RegistryMutex());
        wakePending_ = false;
        batch = queue_.size();
    }
    for (; batch > 0; --batch) {
        std::shared_ptr<SentMessage> slot;
        WNDPROC proc = nullptr;
        {
            WindowRegistry& registry = WindowRegistry::Instance();
            std::lock_guard lock(registry.Mutex());
            if (queue_.empty()) {
                break; // a nested loop inside a handler took the rest
            }
            slot = std::move(queue_.front());
            queue_.pop_front();
            const WindowRecord* record = registry.FindLocked(slot->window);
            proc = record != nullptr ? record->proc : nullptr;
        }
        const std::function<void()>* task = slot->task ? &slot->task : nullptr;
        Complete(slot, Run(slot->window, slot->message, slot->wParam, slot->lParam, proc, task));
    }
    return HasQueued();
}

void ThreadInbox::Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result) {
    {
        std::lock_guard lock(RegistryMutex());
        slot->result = result;
        slot->done = true;
    }
    // The shared slot outlives the waiter's wake-up.
    slot->answered.notify_all();
}

void ThreadInbox::EnterNestedLoop() {
    // What was queued before the loop opened, or while an outer drain runs the handler that
    // opened it, is answered from inside the loop.
    if (HasQueued()) {
        RequestWake();
    }
}

void ThreadInbox::CompleteAll(std::deque<std::shared_ptr<SentMessage>>& pending) {
    for (const std::shared_ptr<SentMessage>& slot : pending) {
        Complete(slot, 0);
    }
    pending.clear();
}

bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result) {
    *result = 0;
    WindowRegistry& registry = WindowRegistry::Instance();
    std::unique_lock lock(registry.Mutex());
    WindowRecord* record = registry.FindLocked(window);
    if (record == nullptr) {
        return false;
    }
    if (IsGuiThread()) {
        const WNDPROC proc = record->proc;
        lock.unlock();
        *result = Run(window, message, wParam, lParam, proc, task);
        return true;
    }
    // Few messages cross threads (a job's paced notifications), so each has its own slot.
    auto slot = std::make_shared<SentMessage>();
    slot->window = window;
    slot->message = message;
    slot->wParam = wParam;
    slot->lParam = lParam;
    if (task != nullptr) {
        slot->task = *task;
    }
    if (!ThreadInbox::Instance().EnqueueLocked(slot)) {
        return false;
    }
    slot->answered.wait(lock, [&] { return slot->done; });
    *result = slot->result;
    return task != nullptr ? slot->result != 0 : true;
}

bool CallOnWindowThread(HWND window, const std::function<void()>& task) {
    if (!task) {
        return false;
    }
    LRESULT ran = 0;
    return Deliver(window, WM_NULL, 0, 0, &task, &ran) && ran != 0;
}

} // namespace platform::detail
