#pragma once

// A thread's inbox of messages sent to its windows from other threads. Internal to the layer.
// Everything here is guarded by the window registry's mutex; a thread that waits, for a
// message or for its own message's answer, sleeps on its inbox's condition variable.

#include "platform/window/window_types.h"

#include <atomic>
#include <condition_variable>
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
    bool done = false;
    std::shared_ptr<ThreadInbox> senderInbox; // kept alive until the completer has woken it
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
    // The hook is called, under the registry mutex, when a message arrives and no wake-up is
    // outstanding; it must only arrange for Drain to run soon on the owner thread.
    void SetWakeHook(std::function<void()> hook);
    void RequestWake();

    // Queues a slot; false when the inbox is closed. The caller holds the registry mutex, so
    // the window's alive check and the enqueue are one step.
    bool EnqueueLocked(const std::shared_ptr<SentMessage>& slot);
    // Removes and returns the queued slots of one window. Caller holds the registry mutex.
    std::vector<std::shared_ptr<SentMessage>> TakeForWindowLocked(HWND window);

    // Handles the messages queued when it was called, so a steady stream of them cannot keep
    // the thread from its other work; returns whether more have arrived since.
    bool Drain(std::size_t* handled);
    // Blocks until a message is queued, Wake() is called or *stop is set; spurious returns
    // are possible. Whoever sets *stop must call Wake() afterwards.
    void WaitForMessages(const std::atomic<bool>* stop = nullptr);
    void Wake();

    bool HasQueued() const;
    bool IsOwnedByCallingThread() const { return owner_ == std::this_thread::get_id(); }

    // Waits for a slot queued elsewhere, handling this thread's own inbox meanwhile.
    void AwaitCompletion(const SentMessage& slot);

    // A handler is about to run a loop of its own: what is queued already is handled there.
    void EnterNestedLoop();

    static void Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result);
    static void Execute(const std::shared_ptr<SentMessage>& slot, WNDPROC proc);

    void Shutdown();

private:
    std::shared_ptr<SentMessage> PopFront(WNDPROC* proc);
    static void CompleteAll(std::deque<std::shared_ptr<SentMessage>>& slots);

    const std::thread::id owner_;
    std::deque<std::shared_ptr<SentMessage>> queue_;
    int openDepth_ = 0;
    bool exited_ = false;
    bool wakePending_ = false;
    std::function<void()> wakeHook_;
    std::uint64_t wakeCount_ = 0;
    std::condition_variable wakeup_;
};

// Hands a message (or, with task set, a task) to window's thread: called directly on that
// thread, otherwise queued and awaited. False when the window does not exist, or when its
// thread runs no loop or lets the window go before handling it; the result is then 0.
bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result);

} // namespace platform::detail
