#pragma once

// Sending a message to a window from another thread: the message waits in the toolkit
// thread's queue until a modal loop of the layer handles it, while the sender sleeps until it
// is answered. Only the toolkit's thread owns windows; workers only send. Internal to the layer.

#include "platform/window/window_types.h"

#include <functional>

namespace platform::detail {

// While a modal loop of the layer runs on the toolkit's thread, other threads' messages to its
// windows are handled, also from loops nested inside their handlers. When the outermost loop
// ends, what is still queued is answered with 0.
class ModalLoopScope {
public:
    ModalLoopScope();
    ModalLoopScope(const ModalLoopScope&) = delete;
    ModalLoopScope& operator=(const ModalLoopScope&) = delete;
    ~ModalLoopScope();
};

// Hands a message (or, with task set, a task) to window's thread: called directly on that
// thread, otherwise queued and awaited. False when the window does not exist, or when its
// thread runs no loop or lets the window go before handling it; the result is then 0.
bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result);

// Runs task on the thread that owns window and waits for it, as a sent message would. False,
// without running it, when the window is gone or its thread runs no loop.
bool CallOnWindowThread(HWND window, const std::function<void()>& task);

// Answers with 0 what other threads still have queued for a window that is gone.
void AnswerQueuedFor(HWND window);

} // namespace platform::detail
