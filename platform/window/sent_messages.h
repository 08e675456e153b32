#pragma once

// Messages sent to the calling thread's windows from other threads wait in the thread's inbox
// until the thread handles them. The dialog's modal loops do all of this by themselves; these
// calls are for threads that run a loop of their own (the command-line front end, tests).

#include "platform/window/window_types.h"

#include <cstddef>
#include <functional>

namespace platform {

// The inbox accepts messages only while it is open. Opening nests; when the last opener
// closes it, messages still queued complete with 0 and later sends return 0 at once.
void OpenSentMessageInbox();
void CloseSentMessageInbox();

// Handles the messages queued for the calling thread's windows and returns how many.
std::size_t PumpSentMessages();

// Whether messages are queued for the calling thread's windows.
bool SentMessagesWaiting();

// Blocks until a message is queued for the calling thread (or it is woken otherwise).
void WaitForSentMessages();

// Called by a sender, under the layer's lock, when the calling thread is not draining its
// inbox already. It must only arrange for PumpSentMessages to run soon on this thread.
void SetSentMessageWakeHook(std::function<void()> hook);

// Runs task on the thread that owns window and waits for it, as a sent message would. False,
// without running it, when the window is gone or its thread runs no loop.
bool CallOnWindowThread(HWND window, const std::function<void()>& task);

} // namespace platform
