#pragma once

// A thread's inbox of messages sent to its windows from other threads. Internal to the layer.

#include "platform/window/window_types.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace platform::detail {

class ThreadInbox;

// One message (or task) in flight. A sending thread reuses its slots, so a send allocates
// nothing; the queue and the sender share each slot while it is in flight.
struct SentMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<void()> task; // set instead of a message for "run this on that thread"
    LRESULT result = 0;
    std::atomic<std::uint32_t> done{0};
    std::shared_ptr<ThreadInbox> senderInbox; // kept alive until the completer has woken it
};

// How a draining thread treats the stream of messages it is handling.
struct DrainPolicy {
    std::chrono::microseconds idleSpin{0};  // keep polling this long after the last message
    std::chrono::microseconds timeSlice{0}; // return after this long even if more are queued
};

class ThreadInbox {
public:
    // The calling thread's inbox, created on first use and closed when the thread ends.
    static ThreadInbox& Current();
    static std::shared_ptr<ThreadInbox> CurrentShared();

    ThreadInbox();
    ThreadInbox(const ThreadInbox&) = delete;
    ThreadInbox& operator=(const ThreadInbox&) = delete;

    void Open();
    void Close();
    void SetWakeHook(std::function<void()> hook);
    void RequestWake();

    // Queues a slot; false when the inbox is closed. The caller holds the registry mutex, so
    // the window's alive check and the enqueue are one step.
    bool EnqueueLocked(const std::shared_ptr<SentMessage>& slot);
    // Removes and returns the queued slots of one window. Caller holds the registry mutex.
    std::vector<std::shared_ptr<SentMessage>> TakeForWindowLocked(HWND window);

    // Handles queued messages; returns whether more are queued when it returned early.
    bool Drain(const DrainPolicy& policy, std::size_t* handled);
    // Blocks until a message is queued, Wake() is called or *stop is set; spurious returns
    // are possible. Whoever sets *stop must call Wake() afterwards.
    void WaitForMessages(const std::atomic<bool>* stop = nullptr);
    void Wake();

    bool HasQueued() const { return queued_.load() != 0; }
    std::thread::id OwnerThread() const { return owner_; }
    bool IsOwnedByCallingThread() const { return owner_ == std::this_thread::get_id(); }

    // Waits for a slot queued elsewhere, handling this thread's own inbox meanwhile.
    void AwaitCompletion(SentMessage& slot);

    // A handler is about to run a loop of its own: senders must wake it the ordinary way.
    void EnterNestedLoop();

    static void Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result);
    static void Execute(const std::shared_ptr<SentMessage>& slot, WNDPROC proc);

    void Shutdown();

private:
    std::shared_ptr<SentMessage> PopFront(WNDPROC* proc);
    void CompleteAll(std::deque<std::shared_ptr<SentMessage>>& slots);

    const std::thread::id owner_;
    // Guarded by the registry mutex.
    std::deque<std::shared_ptr<SentMessage>> queue_;
    int openDepth_ = 0;
    bool exited_ = false;
    bool wakePending_ = false;
    std::function<void()> wakeHook_;
    // Lock-free mirrors and wake-up words.
    std::atomic<std::size_t> queued_{0};
    std::atomic<bool> draining_{false};
    std::atomic<bool> sleeping_{false};
    std::atomic<std::uint32_t> signal_{0};
};

// Hands a message (or, with task set, a task) to window's thread: called directly on that
// thread, otherwise queued and awaited. False when the window does not exist, or when its
// thread runs no loop or lets the window go before handling it; the result is then 0.
bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result);

} // namespace platform::detail
