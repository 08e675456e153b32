#include "platform/window/thread_inbox.h"

#include "platform/window/window_registry.h"

#include <mutex>
#include <utility>

namespace platform::detail {

namespace {

using Clock = std::chrono::steady_clock;

// How long a sender polls for its answer before it sleeps. A receiver that is already
// draining answers within a microsecond or two; a futex round trip costs several.
constexpr std::chrono::microseconds kSenderSpin{40};

// One round of a polling loop. The first rounds only pause the core; later ones give the
// processor away, so on a busy machine a poller does not keep the thread it waits for (often
// on the same core) from running.
class Backoff {
public:
    void Pause() {
        if (++rounds_ < kSpinRounds) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#elif defined(__aarch64__)
            __asm__ __volatile__("yield");
#endif
        } else {
            std::this_thread::yield();
        }
    }

private:
    static constexpr unsigned kSpinRounds = 64;
    unsigned rounds_ = 0;
};

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
        queued_.store(0);
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
        queued_.store(0);
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
    queued_.fetch_add(1);
    // Paired with Drain's store of false followed by its re-check of queued_: either this
    // load sees false, or Drain sees the message.
    if (!draining_.load() && !wakePending_ && wakeHook_) {
        wakePending_ = true;
        wakeHook_();
    }
    if (sleeping_.load()) {
        signal_.fetch_add(1);
        signal_.notify_all();
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
    queued_.fetch_sub(taken.size());
    return taken;
}

std::shared_ptr<SentMessage> ThreadInbox::PopFront(WNDPROC* proc) {
    if (queued_.load() == 0) {
        return nullptr;
    }
    WindowRegistry& registry = WindowRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    if (queue_.empty()) {
        return nullptr;
    }
    std::shared_ptr<SentMessage> slot = std::move(queue_.front());
    queue_.pop_front();
    queued_.fetch_sub(1);
    const WindowRecord* record = registry.FindLocked(slot->window);
    *proc = record != nullptr ? record->proc : nullptr;
    return slot;
}

bool ThreadInbox::Drain(const DrainPolicy& policy, std::size_t* handled) {
    {
        std::lock_guard lock(RegistryMutex());
        wakePending_ = false;
    }
    const Clock::time_point start = Clock::now();
    std::size_t count = 0;
    bool more = false;
    for (;;) {
        // A nested loop inside a handler clears the flag (EnterNestedLoop); it is set again
        // only then, so senders mostly read a line nobody writes.
        if (!draining_.load(std::memory_order_relaxed)) {
            draining_.store(true);
        }
        WNDPROC proc = nullptr;
        if (std::shared_ptr<SentMessage> slot = PopFront(&proc)) {
            Execute(slot, proc);
            ++count;
        } else if (policy.idleSpin.count() > 0) {
            const Clock::time_point idleEnd = Clock::now() + policy.idleSpin;
            bool arrived = false;
            Backoff backoff;
            for (unsigned spins = 0;; ++spins) {
                if (queued_.load() != 0) {
                    arrived = true;
                    break;
                }
                backoff.Pause();
                if ((spins & 7) == 7 && Clock::now() >= idleEnd) {
                    break;
                }
            }
            if (!arrived) {
                break;
            }
        } else {
            break;
        }
        if (policy.timeSlice.count() > 0 && Clock::now() - start >= policy.timeSlice) {
            more = queued_.load() != 0;
            break;
        }
    }
    draining_.store(false);
    if (queued_.load() != 0) {
        more = true;
    }
    if (handled != nullptr) {
        *handled = count;
    }
    return more;
}

void ThreadInbox::WaitForMessages(const std::atomic<bool>* stop) {
    const std::uint32_t seen = signal_.load();
    sleeping_.store(true);
    if (queued_.load() == 0 && (stop == nullptr || !stop->load())) {
        signal_.wait(seen);
    }
    sleeping_.store(false);
}

void ThreadInbox::Wake() {
    signal_.fetch_add(1);
    signal_.notify_all();
}

void ThreadInbox::AwaitCompletion(SentMessage& slot) {
    const Clock::time_point spinEnd = Clock::now() + kSenderSpin;
    Backoff backoff;
    for (unsigned spins = 0;; ++spins) {
        if (slot.done.load(std::memory_order_acquire) != 0) {
            return;
        }
        backoff.Pause();
        if ((spins & 7) == 7 && Clock::now() >= spinEnd) {
            break;
        }
    }
    for (;;) {
        if (slot.done.load() != 0) {
            return;
        }
        // A thread waiting for an answer still handles what is sent to it, as a thread
        // blocked in a send does on the platform this layer imitates.
        if (queued_.load() != 0) {
            Drain(DrainPolicy{}, nullptr);
            continue;
        }
        const std::uint32_t seen = signal_.load();
        sleeping_.store(true);
        if (slot.done.load() == 0 && queued_.load() == 0) {
            signal_.wait(seen);
        }
        sleeping_.store(false);
    }
}

void ThreadInbox::Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result) {
    slot->result = result;
    ThreadInbox* sender = slot->senderInbox.get();
    // After this store the sender may reuse the slot; only its inbox is touched from here on,
    // and the slot, which we still share, keeps that inbox alive.
    slot->done.store(1);
    if (sender != nullptr && sender->sleeping_.load()) {
        sender->signal_.fetch_add(1);
        sender->signal_.notify_all();
    }
}

void ThreadInbox::Execute(const std::shared_ptr<SentMessage>& slot, WNDPROC proc) {
    if (slot->task) {
        try {
            slot->task();
        } catch (...) {
        }
        Complete(slot, 1);
        return;
    }
    Complete(slot, proc != nullptr ? CallProcedureNoThrow(proc, *slot) : 0);
}

void ThreadInbox::EnterNestedLoop() {
    // Paired with EnqueueLocked's load of draining_: either a sender sees false and wakes the
    // nested loop, or this sees its message and asks for the wake itself.
    draining_.store(false);
    if (queued_.load() != 0) {
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
        slot_->done.store(0, std::memory_order_relaxed);
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
            }
            *result = 1;
            return true;
        }
        if (proc != nullptr) {
            try {
                *result = proc(window, message, wParam, lParam);
            } catch (...) {
                *result = 0;
            }
        }
        return true;
    }
    slot.window = window;
    slot.message = message;
    slot.wParam = wParam;
    slot.lParam = lParam;
    if (task != nullptr) {
        slot.task = *task;
    }
    if (!record->inbox->EnqueueLocked(lease.Slot())) {
        return false;
    }
    lock.unlock();
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
