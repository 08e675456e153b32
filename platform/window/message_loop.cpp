#include "platform/window/message_loop.h"

#include "platform/window/thread_inbox.h"

namespace platform {

MessageLoop::MessageLoop() : inbox_(detail::ThreadInbox::CurrentShared()) {}

namespace {

// Senders usually come back within microseconds; polling that long saves them a futex
// round trip each, and costs nothing once they stop.
constexpr detail::DrainPolicy kLoopPolicy{std::chrono::microseconds(100),
                                          std::chrono::microseconds(0)};

} // namespace

int MessageLoop::Run() {
    inbox_->Open();
    while (!quit_.load()) {
        if (inbox_->Drain(kLoopPolicy, nullptr)) {
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
