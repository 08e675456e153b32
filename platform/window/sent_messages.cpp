#include "platform/window/sent_messages.h"

#include "platform/window/thread_inbox.h"

namespace platform {

using detail::ThreadInbox;

void OpenSentMessageInbox() {
    ThreadInbox::Current().Open();
}

void CloseSentMessageInbox() {
    ThreadInbox::Current().Close();
}

std::size_t PumpSentMessages() {
    std::size_t handled = 0;
    // Everything queued, also what arrives meanwhile.
    for (bool more = true; more;) {
        std::size_t batch = 0;
        more = ThreadInbox::Current().Drain(&batch);
        handled += batch;
    }
    return handled;
}

bool SentMessagesWaiting() {
    return ThreadInbox::Current().HasQueued();
}

void WaitForSentMessages() {
    ThreadInbox::Current().WaitForMessages();
}

void SetSentMessageWakeHook(std::function<void()> hook) {
    ThreadInbox::Current().SetWakeHook(std::move(hook));
}

bool CallOnWindowThread(HWND window, const std::function<void()>& task) {
    if (!task) {
        return false;
    }
    LRESULT ran = 0;
    return detail::Deliver(window, WM_NULL, 0, 0, &task, &ran) && ran != 0;
}

} // namespace platform
