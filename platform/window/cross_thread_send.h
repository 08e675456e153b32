#pragma once

// Sending a message to a window from another thread: the message waits in the toolkit
// thread's inbox until a modal loop of the layer handles it, while the sender sleeps until it
// is answered. Only the toolkit's thread owns windows; workers only send. Internal to the layer.
// Everything here is guarded by the window registry's mutex.

#include "platform/window/window_types.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace platform::detail {

// One message (or task) in flight, shared by the queue and the waiting sender.
struct SentMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<void()> task; // set instead of a message for "run this on that thread"
    LRESULT result = 0;
    bool done = false;
    std::condition_variable answered;
};

class ThreadInbox {
public:
    // The toolkit thread's inbox; never destroyed, since a worker may send while the process
    // ends.
    static ThreadInbox& Instance();

    ThreadInbox(const ThreadInbox&) = delete;
    ThreadInbox& operator=(const ThreadInbox&) = delete;

    // Messages are accepted only while the inbox is open. Opening nests; when the last opener
    // closes it, what is still queued is answered with 0.
    void Open();
    void Close();
    // The hook is called, under the registry mutex, when a message arrives and no wake-up is
    // outstanding; it must only arrange for Drain to run soon on the toolkit's thread.
    void SetWakeHook(std::function<void()> hook);
    void RequestWake();

    // Queues a slot; false when the inbox is closed. The caller holds the registry mutex, so
    // the window's alive check and the enqueue are one step.
    bool EnqueueLocked(const std::shared_ptr<SentMessage>& slot);
    // Removes and returns the queued slots of one window. Caller holds the registry mutex.
    std::vector<std::shared_ptr<SentMessage>> TakeForWindowLocked(HWND window);

    // Handles the messages queued when it was called, so a steady stream of them cannot keep
    // the thread from its other work; returns whether more have arrived since.
    bool Drain();

    // A handler is about to run a loop of its own: what is queued already is handled there.
    void EnterNestedLoop();

    static void Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result);

private:
    ThreadInbox() = default;
    bool HasQueued() const;
    static void CompleteAll(std::deque<std::shared_ptr<SentMessage>>& pending);

    std::deque<std::shared_ptr<SentMessage>> queue_;
    int openDepth_ = 0;
    bool wakePending_ = false;
    std::function<void()> wakeHook_;
};

// Hands a message (or, with task set, a task) to window's thread: called directly on that
// thread, otherwise queued and awaited. False when the window does not exist, or when its
// thread runs no loop or lets the window go before handling it; the result is then 0.
bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result);

// Runs task on the thread that owns window and waits for it, as a sent message would. False,
// without running it, when the window is gone or its thread runs no loop.
bool CallOnWindowThread(HWND window, const std::function<void()>& task);

} // namespace platform::detail
