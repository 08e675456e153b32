#include "platform/window/cross_thread_send.h"

#include "platform/window/startup.h"
#include "platform/window/window_registry.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::detail {

namespace {

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

const QEvent::Type kSentEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Each queued message posts the pump one event, and each event answers the oldest queued
// message. The events carry nothing: one made on a worker and read here would be handed over
// inside the toolkit, where a race detector cannot see the hand-over.
class Pump : public QObject {
public:
    Pump() : QObject(QCoreApplication::instance()) {}

protected:
    void customEvent(QEvent* /*event*/) override;
};

// Guarded by the registry's mutex, so that checking that a window is alive and queueing a
// message for it cannot be split by its destruction. Never destroyed, since a worker may send
// while the process ends.
struct Inbox {
    std::deque<std::shared_ptr<SentMessage>> queue;
    int openLoops = 0;
    Pump* pump = nullptr;
};

Inbox& TheInbox() {
    static Inbox* const inbox = new Inbox();
    return *inbox;
}

std::mutex& RegistryMutex() {
    return WindowRegistry::Instance().Mutex();
}

// A toolkit exception must not cross the window procedure into the sender's wait.
LRESULT Run(HWND window, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC proc,
            const std::function<void()>* task) noexcept {
    try {
        if (task != nullptr) {
            (*task)();
            return 1;
        }
        return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
    } catch (...) {
        std::fputs("vanthe: a sent message's handler threw; the send answers 0\n", stderr);
        return 0;
    }
}

void Complete(const std::shared_ptr<SentMessage>& slot, LRESULT result) {
    {
        std::lock_guard lock(RegistryMutex());
        slot->result = result;
        slot->done = true;
    }
    // The shared slot outlives the waiter's wake-up.
    slot->answered.notify_all();
}

void Pump::customEvent(QEvent* /*event*/) {
    std::shared_ptr<SentMessage> slot;
    WNDPROC proc = nullptr;
    {
        WindowRegistry& registry = WindowRegistry::Instance();
        std::lock_guard lock(registry.Mutex());
        std::deque<std::shared_ptr<SentMessage>>& queue = TheInbox().queue;
        if (queue.empty()) {
            return; // answered already, at a loop's end or its window's
        }
        slot = std::move(queue.front());
        queue.pop_front();
        const WindowRecord* record = registry.FindLocked(slot->window);
        proc = record != nullptr ? record->proc : nullptr;
    }
    const std::function<void()>* task = slot->task ? &slot->task : nullptr;
    Complete(slot, Run(slot->window, slot->message, slot->wParam, slot->lParam, proc, task));
}

} // namespace

ModalLoopScope::ModalLoopScope() {
    static QPointer<Pump> pump;
    if (pump == nullptr) {
        pump = new Pump();
    }
    std::lock_guard lock(RegistryMutex());
    ++TheInbox().openLoops;
    TheInbox().pump = pump.data();
}

ModalLoopScope::~ModalLoopScope() {
    std::deque<std::shared_ptr<SentMessage>> abandoned;
    {
        std::lock_guard lock(RegistryMutex());
        if (--TheInbox().openLoops == 0) {
            abandoned.swap(TheInbox().queue);
        }
    }
    for (const std::shared_ptr<SentMessage>& slot : abandoned) {
        Complete(slot, 0);
    }
}

bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             const std::function<void()>* task, LRESULT* result) {
    *result = 0;
    WindowRegistry& registry = WindowRegistry::Instance();
    std::unique_lock lock(registry.Mutex());
    WindowRecord* record = registry.FindLocked(window);
    if (record == nullptr) {
        return false;
    }
    if (IsGuiThread()) {
        const WNDPROC proc = record->proc;
        lock.unlock();
        *result = Run(window, message, wParam, lParam, proc, task);
        return true;
    }
    Inbox& inbox = TheInbox();
    if (inbox.openLoops == 0) {
        return false;
    }
    // Few messages cross threads (a job's paced notifications), so each has its own slot.
    auto slot = std::make_shared<SentMessage>();
    slot->window = window;
    slot->message = message;
    slot->wParam = wParam;
    slot->lParam = lParam;
    if (task != nullptr) {
        slot->task = *task;
    }
    inbox.queue.push_back(slot);
    // Low priority: behind the repaints its handlers asked for, so a stream of messages cannot
    // starve painting.
    QCoreApplication::postEvent(inbox.pump, new QEvent(kSentEvent), Qt::LowEventPriority);
    slot->answered.wait(lock, [&] { return slot->done; });
    *result = slot->result;
    return task != nullptr ? slot->result != 0 : true;
}

bool CallOnWindowThread(HWND window, const std::function<void()>& task) {
    if (!task) {
        return false;
    }
    LRESULT ran = 0;
    return Deliver(window, WM_NULL, 0, 0, &task, &ran) && ran != 0;
}

void AnswerQueuedFor(HWND window) {
    std::vector<std::shared_ptr<SentMessage>> taken;
    {
        std::lock_guard lock(RegistryMutex());
        std::deque<std::shared_ptr<SentMessage>>& queue = TheInbox().queue;
        for (auto it = queue.begin(); it != queue.end();) {
            if ((*it)->window == window) {
                taken.push_back(std::move(*it));
                it = queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const std::shared_ptr<SentMessage>& slot : taken) {
        Complete(slot, 0);
    }
}

} // namespace platform::detail
