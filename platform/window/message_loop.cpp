#include "platform/window/message_loop.h"

#include "platform/window/thread_inbox.h"

namespace platform {

MessageLoop::MessageLoop() : inbox_(detail::ThreadInbox::CurrentShared()) {}

int MessageLoop::Run() {
    inbox_->Open();
    while (!quit_.load()) {
        if (inbox_->Drain(nullptr)) {
            continue;
        }
        inbox_->WaitForMessages(&quit_);
    }
    inbox_->Close();
    return exitCode_.load();
}

void MessageLoop::Quit(int exitCode) {
    exitCode_.store(exitCode);
    quit_.store(true);
    inbox_->Wake();
}

} // namespace platform
