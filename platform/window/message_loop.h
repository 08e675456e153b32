#pragma once

// A message loop for a thread without a toolkit: it handles what other threads send to the
// thread's windows until it is told to quit.

#include <atomic>
#include <memory>

namespace platform {

namespace detail {
class ThreadInbox;
}

class MessageLoop {
public:
    // Binds the loop to the calling thread, which is the one that must call Run.
    MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // Opens the thread's inbox, handles sent messages until Quit, closes the inbox.
    int Run();
    // Callable from any thread, also before Run.
    void Quit(int exitCode = 0);

private:
    std::shared_ptr<detail::ThreadInbox> inbox_;
    std::atomic<bool> quit_{false};
    std::atomic<int> exitCode_{0};
};

} // namespace platform
