#include "platform/window/thread_inbox.h"

#include "platform/window/window_registry.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform::detail {

namespace {

struct InboxHolder {
    std::shared_ptr<ThreadInbox> inbox;
    InboxHolder() = default;
    InboxHolder(const InboxHolder&) = delete;
    InboxHolder& operator=(const InboxHolder&) = delete;
    ~InboxHolder() {
        if (inbox) {
            inbox->Shutdown();
        }
    }
};

thread_local InboxHolder t_inbox;

std::mutex& RegistryMutex() {
    return WindowRegistry::Instance().Mutex();
}

LRESULT CallProcedureNoThrow(WNDPROC proc, const SentMessage& slot) noexcept {
    try {
        return proc(slot.window, slot.message, slot.wParam, slot.lParam);
    } catch (...) {
        std::fputs("vanthe: CallProcedureNoThrow: the toolkit threw; the call fails instead\n",
                   stderr);
        return 0;
    }
}

} // namespace

ThreadInbox& ThreadInbox::Current() {
    if (!t_inbox.inbox) {
        t_inbox.inbox = std::make_shared<ThreadInbox>();
    }
    return *t_inbox.inbox;
}

std::shared_ptr<ThreadInbox> ThreadInbox::CurrentShared() {
    Current();
    return t_inbox.inbox;
}

ThreadInbox::ThreadInbox() : owner_(std::this_thread::get_id()) {}

void ThreadInbox::Open() {
    std::lock_guard lock(RegistryMutex());
    if (exited_) {
        return;
    }
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

void ThreadInbox::Shutdown() {
    std::deque<std::shared_ptr<SentMessage>> abandoned;
    std::function<void()> hook;
    {
        std::lock_guard lock(RegistryMutex());
        exited_ = true;
        openDepth_ = 0;
        abandoned.swap(queue_);
        hook.swap(wakeHook_);
    }
    CompleteAll(abandoned);
}

void ThreadInbox::SetWakeHook(std::function<void()> hook) {
    std::function<void()> old;
    {
        std::lock_guard lock(RegistryMutex());
        old.swap(wakeHook_);
        wakeHook_ = std::move(hook);
        wakePending_ = false;
    }
}

void ThreadInbox::RequestWake() {
    std::lock_guard lock(RegistryMutex());
    if (wakeHook_ && openDepth_ > 0 && !wakePending_) {
        wakePending_ = true;
        wakeHook_();
    }
}

bool ThreadInbox::EnqueueLocked(const std::shared_ptr<SentMessage>& slot) {
    if (openDepth_ == 0 || exited_) {
        return false;
    }
    queue_.push_back(slot);
    // One wake-up outstanding at a time: Drain clears the flag before it looks at the queue,
    // so a message queued after that look brings a wake-up of its own.
    if (!wakePending_ && wakeHook_) {
        wakePending_ = true;
        wakeHook_();
    }
    // The owner may be asleep waiting for messages or for its own send's answer.
    wakeup_.notify_all();
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

std::shared_ptr<SentMessage> ThreadInbox::PopFront(WNDPROC* proc) {
    WindowRegistry& registry = WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    if (queue_.empty()) {
        return nullptr;
    }
    std::shared_ptr<SentMessage> slot = std::move(queue_.front());
    queue_.pop_front();
    const WindowRecord* record = registry.FindLocked(slot->window);
    *proc = record != nullptr ? record->proc : nullptr;
    return slot;
}

bool ThreadInbox::Drain(std::size_t* handled) {
    std::size_t batch = 0;
    {
        std::lock_guard lock(RegistryMutex());
        wakePending_ = false;
        batch = queue_.size();
    }
    std::size_t count = 0;
    for (; count < batch; ++count) {
        WNDPROC proc = nullptr;
        std::shared_ptr<SentMessage> slot = PopFront(&proc);
        if (!slot) {
            break; // a nested loop inside a handler took the rest
        }
        Execute(slot, proc);
    }
    if (handled != nullptr) {
        *handled = count;
    }
    return HasQueued();
}

void ThreadInbox::WaitForMessages(const std::atomic<bool>* stop) {
    std::unique_lock lock(RegistryMutex());
    const std::uint64_t seen = wakeCount_;
    wakeup_.wait(lock, [&] {
        return !queue_.empty() || wakeCount_ != seen || (stop != nullptr && stop->load());
    });
}

void ThreadInbox::Wake() {
    {
        std::lock_guard lock(RegistryMutex());
        ++wakeCount_;
    }
    wakeup_.notify_all();
}

void ThreadInbox::AwaitCompletion(const SentMessage& slot) {
    std::unique_lock lock(RegistryMutex());
    for (;;) {
        if (slot.done) {
            return;
        }
        // A thread waiting for an answer still handles what is sent to it, as a thread
        // blocked in a send does on the platform this layer imitates.
        if (!queue_.empty()) {
            lock.unlock();
            Drain(nullptr);
            lock.lock();
            continue;
        }
        wakeup_.wait(lock);
    }
}

void ThreadInbox::Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result) {
    // The slot, which we still share, keeps the sender's inbox alive until it is woken.
    const std::shared_ptr<ThreadInbox> sender = slot->senderInbox;
    {
        std::lock_guard lock(RegistryMutex());
        slot->result = result;
        slot->done = true;
    }
    if (sender) {
        sender->wakeup_.notify_all();
    }
}

void ThreadInbox::Execute(const std::shared_ptr<SentMessage>& slot, WNDPROC proc) {
    if (slot->task) {
        try {
            slot->task();
        } catch (...) {
            std::fputs("vanthe: ThreadInbox::Execute: the toolkit threw; the call fails instead\n",
                       stderr);
        }
        Complete(slot, 1);
        return;
    }
    Complete(slot, proc != nullptr ? CallProcedureNoThrow(proc, *slot) : 0);
}

void ThreadInbox::EnterNestedLoop() {
    // What was queued before the loop opened, or while an outer drain runs the handler that
    // opened it, is answered from inside the loop.
    if (HasQueued()) {
        RequestWake();
    }
}

namespace {

// The slots of the calling thread, one per nesting level of sends in progress.
class SlotLease {
public:
    SlotLease() {
        if (pool_.depth == pool_.slots.size()) {
            auto slot = std::make_shared<SentMessage>();
            slot->senderInbox = ThreadInbox::CurrentShared();
            pool_.slots.push_back(std::move(slot));
        }
        slot_ = pool_.slots[pool_.depth++];
    }
    SlotLease(const SlotLease&) = delete;
    SlotLease& operator=(const SlotLease&) = delete;
    ~SlotLease() {
        slot_->task = nullptr;
        --pool_.depth;
    }
    const std::shared_ptr<SentMessage>& Slot() const { return slot_; }

private:
    struct Pool {
        std::vector<std::shared_ptr<SentMessage>> slots;
        std::size_t depth = 0;
    };
    static thread_local Pool pool_;
    std::shared_ptr<SentMessage> slot_;
};

thread_local SlotLease::Pool SlotLease::pool_;

} // namespace

bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result) {
    *result = 0;
    // Taken before the lock: the first send of a thread allocates its slot and inbox.
    SlotLease lease;
    SentMessage& slot = *lease.Slot();
    WindowRegistry& registry = WindowRegistry::Instance();
    std::unique_lock lock(registry.Mutex());
    WindowRecord* record = registry.FindLocked(window);
    if (record == nullptr) {
        return false;
    }
    if (record->inbox->IsOwnedByCallingThread()) {
        const WNDPROC proc = record->proc;
        lock.unlock();
        if (task != nullptr) {
            try {
                (*task)();
            } catch (...) {
                std::fputs("vanthe: Deliver: the toolkit threw; the call fails instead\n", stderr);
            }
            *result = 1;
            return true;
        }
        if (proc != nullptr) {
            try {
                *result = proc(window, message, wParam, lParam);
            } catch (...) {
                std::fputs("vanthe: Deliver: the toolkit threw; the call fails instead\n", stderr);
                *result = 0;
            }
        }
        return true;
    }
    slot.window = window;
    slot.message = message;
    slot.wParam = wParam;
    slot.lParam = lParam;
    slot.result = 0;
    slot.done = false;
    if (task != nullptr) {
        slot.task = *task;
    }
    if (!record->inbox->EnqueueLocked(lease.Slot())) {
        return false;
    }
    lock.unlock();
    // The answer was written under the lock that AwaitCompletion last took.
    slot.senderInbox->AwaitCompletion(slot);
    *result = slot.result;
    return task != nullptr ? slot.result != 0 : true;
}

void ThreadInbox::CompleteAll(std::deque<std::shared_ptr<SentMessage>>& slots) {
    for (const std::shared_ptr<SentMessage>& slot : slots) {
        Complete(slot, 0);
    }
    slots.clear();
}

} // namespace platform::detail
