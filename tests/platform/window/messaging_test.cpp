#include "platform/window/message_loop.h"
#include "platform/window/messaging.h"
#include "platform/window/sent_messages.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr UINT WM_TEST = WM_USER + 100;
constexpr UINT WM_TEST_FORWARD = WM_USER + 101;

// What a test window saw; reached through GWLP_USERDATA.
struct Trace {
    std::atomic<int> calls{0};
    std::atomic<std::thread::id> lastThread{};
    HWND forwardTo = nullptr;
};

Trace* TraceOf(HWND window) {
    return reinterpret_cast<Trace*>(GetWindowLongPtr(window, GWLP_USERDATA));
}

LRESULT TracingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TEST || message == WM_TEST_FORWARD) {
        Trace* trace = TraceOf(window);
        trace->calls.fetch_add(1);
        trace->lastThread.store(std::this_thread::get_id());
        if (message == WM_TEST_FORWARD) {
            return SendMessage(trace->forwardTo, WM_TEST, wParam, lParam) + 1;
        }
        return static_cast<LRESULT>(wParam) * 2 + lParam;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

WNDPROC previousProc = nullptr;

LRESULT SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TEST) {
        return CallWindowProc(previousProc, window, message, wParam + 1, lParam) + 1000;
    }
    return CallWindowProc(previousProc, window, message, wParam, lParam);
}

HWND CreateTracedWindow(Trace& trace) {
    HWND window = CreateMessageWindow(&TracingProc);
    SetWindowLongPtr(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&trace));
    return window;
}

// A thread that owns one traced window. With a loop it handles sent messages until stopped;
// without one it only opens its inbox, so messages stay queued until the test acts.
class OwnerThread {
public:
    enum class Mode { RunLoop, HoldInbox, NoLoop };

    explicit OwnerThread(Mode mode) {
        std::promise<HWND> created;
        auto future = created.get_future();
        thread_ = std::thread([this, mode, &created] {
            window_ = CreateTracedWindow(trace);
            if (mode == Mode::RunLoop) {
                // Opened before the window is announced, so no early send finds it closed.
                OpenSentMessageInbox();
                MessageLoop loop;
                loop_ = &loop;
                created.set_value(window_);
                loop.Run();
                loop_ = nullptr;
                CloseSentMessageInbox();
            } else if (mode == Mode::HoldInbox) {
                OpenSentMessageInbox();
                created.set_value(window_);
                RunActions();
                CloseSentMessageInbox();
            } else {
                created.set_value(window_);
                RunActions();
            }
        });
        window_ = future.get();
    }
    OwnerThread(const OwnerThread&) = delete;
    OwnerThread& operator=(const OwnerThread&) = delete;
    ~OwnerThread() { Stop(); }

    HWND Window() const { return window_; }

    // Runs action on the owner thread (only for HoldInbox and NoLoop).
    void Post(std::function<void()> action) {
        std::lock_guard lock(mutex_);
        actions_.push_back(std::move(action));
        cv_.notify_all();
    }

    void Stop() {
        if (!thread_.joinable()) {
            return;
        }
        if (MessageLoop* loop = loop_.load()) {
            loop->Quit();
        }
        Post(nullptr);
        thread_.join();
    }

    Trace trace;

private:
    void RunActions() {
        for (;;) {
            std::function<void()> action;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !actions_.empty(); });
                action = std::move(actions_.front());
                actions_.erase(actions_.begin());
            }
            if (!action) {
                return;
            }
            action();
        }
    }

    std::thread thread_;
    HWND window_ = nullptr;
    std::atomic<MessageLoop*> loop_{nullptr};
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::function<void()>> actions_;
};

} // namespace

TEST(Messaging, SameThreadSendCallsTheProcedureDirectly) {
    Trace trace;
    HWND window = CreateTracedWindow(trace);
    EXPECT_EQ(SendMessage(window, WM_TEST, 20, 2), 42);
    EXPECT_EQ(trace.calls.load(), 1);
    EXPECT_EQ(trace.lastThread.load(), std::this_thread::get_id());
    EXPECT_EQ(DestroyWindow(window), TRUE);
}

TEST(Messaging, ReplacedProcedureSeesMessagesAndChainsToThePreviousOne) {
    Trace trace;
    HWND window = CreateTracedWindow(trace);
    previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
    EXPECT_EQ(previousProc, &TracingProc);
    EXPECT_EQ(GetWindowLongPtr(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SubclassProc));
    EXPECT_EQ(SendMessage(window, WM_TEST, 1, 0), 1004);
    EXPECT_EQ(trace.calls.load(), 1);
    DestroyWindow(window);
}

TEST(Messaging, StaleAndNullHandlesAreHarmless) {
    Trace trace;
    HWND window = CreateTracedWindow(trace);
    ASSERT_EQ(DestroyWindow(window), TRUE);
    EXPECT_EQ(IsWindow(window), FALSE);
    EXPECT_EQ(SendMessage(window, WM_TEST, 1, 1), 0);
    EXPECT_EQ(SendMessage(nullptr, WM_TEST, 1, 1), 0);
    EXPECT_EQ(DestroyWindow(window), FALSE);
    EXPECT_EQ(GetWindowLongPtr(window, GWLP_USERDATA), 0);
    EXPECT_EQ(SetWindowLongPtr(window, GWLP_USERDATA, 5), 0);
    EXPECT_EQ(trace.calls.load(), 0);

    HWND next = CreateTracedWindow(trace);
    EXPECT_NE(next, window) << "handles must never be reused";
    DestroyWindow(next);
}

TEST(Messaging, DefaultProcedureKeepsTextAndAnswersZeroOtherwise) {
    HWND window = CreateMessageWindow(&DefWindowProc);
    EXPECT_EQ(DefWindowProc(nullptr, 0, 0, 0), 0);
    EXPECT_EQ(SendMessage(window, WM_TEST, 1, 1), 0);
    EXPECT_EQ(SendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("hello")), TRUE);
    EXPECT_EQ(SendMessage(window, WM_GETTEXTLENGTH, 0, 0), 5);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(SendMessage(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 3);
    EXPECT_STREQ(buffer, "hel");
    // Closing a plain window destroys it.
    SendMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(IsWindow(window), FALSE);
}

TEST(CrossThreadSend, IsHandledOnTheOwnerThreadWhileTheSenderWaits) {
    OwnerThread owner(OwnerThread::Mode::RunLoop);
    EXPECT_EQ(SendMessage(owner.Window(), WM_TEST, 20, 2), 42);
    EXPECT_EQ(owner.trace.calls.load(), 1);
    EXPECT_NE(owner.trace.lastThread.load(), std::this_thread::get_id());
}

TEST(CrossThreadSend, WaitsUntilTheOwnerHandlesTheMessage) {
    OwnerThread owner(OwnerThread::Mode::HoldInbox);
    auto reply =
        std::async(std::launch::async, [&] { return SendMessage(owner.Window(), WM_TEST, 3, 0); });
    // The owner has not pumped: the sender must still be waiting.
    EXPECT_EQ(reply.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    owner.Post([] {
        WaitForSentMessages();
        PumpSentMessages();
    });
    EXPECT_EQ(reply.get(), 6);
    EXPECT_EQ(owner.trace.calls.load(), 1);
}

TEST(CrossThreadSend, WindowDestroyedWhileTheSenderWaitsAnswersZero) {
    OwnerThread owner(OwnerThread::Mode::HoldInbox);
    const HWND window = owner.Window();
    auto reply = std::async(std::launch::async, [&] { return SendMessage(window, WM_TEST, 3, 0); });
    owner.Post([window] {
        while (!SentMessagesWaiting()) {
            WaitForSentMessages();
        }
        // Destroyed before it was handled: the queued message must be answered with 0.
        DestroyWindow(window);
    });
    EXPECT_EQ(reply.get(), 0);
    EXPECT_EQ(owner.trace.calls.load(), 0);
}

TEST(CrossThreadSend, ClosingTheLoopAnswersQueuedAndLaterMessagesWithZero) {
    OwnerThread owner(OwnerThread::Mode::HoldInbox);
    auto reply =
        std::async(std::launch::async, [&] { return SendMessage(owner.Window(), WM_TEST, 3, 0); });
    owner.Post([] {
        while (!SentMessagesWaiting()) {
            WaitForSentMessages();
        }
        CloseSentMessageInbox();
    });
    EXPECT_EQ(reply.get(), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMessage(owner.Window(), WM_TEST, 3, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(owner.trace.calls.load(), 0);
}

TEST(CrossThreadSend, ThreadWithoutALoopAnswersZeroAtOnce) {
    OwnerThread owner(OwnerThread::Mode::NoLoop);
    EXPECT_EQ(SendMessage(owner.Window(), WM_TEST, 3, 0), 0);
    EXPECT_FALSE(CallOnWindowThread(owner.Window(), [] {}));
    EXPECT_EQ(owner.trace.calls.load(), 0);
}

TEST(CrossThreadSend, AfterTheOwnerThreadEndedAnswersZero) {
    HWND window = nullptr;
    {
        OwnerThread owner(OwnerThread::Mode::RunLoop);
        window = owner.Window();
        EXPECT_EQ(SendMessage(window, WM_TEST, 1, 0), 2);
    }
    EXPECT_EQ(SendMessage(window, WM_TEST, 1, 0), 0);
}

TEST(CrossThreadSend, SenderWaitingForAnAnswerHandlesMessagesSentToIt) {
    // This thread owns a window too; the other thread's procedure sends back to it while
    // this thread is blocked in its own send.
    Trace local;
    HWND mine = CreateTracedWindow(local);
    OpenSentMessageInbox();
    {
        OwnerThread owner(OwnerThread::Mode::RunLoop);
        owner.trace.forwardTo = mine;
        EXPECT_EQ(SendMessage(owner.Window(), WM_TEST_FORWARD, 5, 1), 12);
        EXPECT_EQ(local.calls.load(), 1);
        EXPECT_EQ(local.lastThread.load(), std::this_thread::get_id());
    }
    CloseSentMessageInbox();
    DestroyWindow(mine);
}

TEST(CrossThreadSend, ManySendersAllGetTheirOwnAnswers) {
    OwnerThread owner(OwnerThread::Mode::RunLoop);
    constexpr int kSenders = 4;
    constexpr int kMessages = 5000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 0; i < kMessages; ++i) {
                const auto w = static_cast<WPARAM>(i);
                if (SendMessage(owner.Window(), WM_TEST, w, s) != static_cast<LRESULT>(w) * 2 + s) {
                    wrong.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(owner.trace.calls.load(), kSenders * kMessages);
}

TEST(CrossThreadSend, CallOnWindowThreadRunsTheTaskThere) {
    OwnerThread owner(OwnerThread::Mode::RunLoop);
    std::thread::id ranOn;
    EXPECT_TRUE(CallOnWindowThread(owner.Window(), [&] { ranOn = std::this_thread::get_id(); }));
    EXPECT_NE(ranOn, std::thread::id{});
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(CrossThreadSend, DestroyingWhileManySendersWaitReleasesThemAll) {
    OwnerThread owner(OwnerThread::Mode::HoldInbox);
    const HWND window = owner.Window();
    std::vector<std::future<LRESULT>> replies;
    for (int i = 0; i < 8; ++i) {
        replies.push_back(std::async(std::launch::async, [window] {
            LRESULT sum = 0;
            for (int j = 0; j < 50; ++j) {
                sum += SendMessage(window, WM_TEST, 1, 0);
            }
            return sum;
        }));
    }
    owner.Post([window, &owner] {
        while (owner.trace.calls.load() < 20) {
            WaitForSentMessages();
            PumpSentMessages();
        }
        DestroyWindow(window);
    });
    LRESULT total = 0;
    for (auto& reply : replies) {
        total += reply.get();
    }
    // Every handled message answered 2, every abandoned one 0, and nobody hung.
    EXPECT_EQ(total, 2 * owner.trace.calls.load());
    EXPECT_GE(owner.trace.calls.load(), 20);
}
