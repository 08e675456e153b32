#include "platform/window/modal_scopes.h"

#include "platform/window/cross_thread_send.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace platform::detail {

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Handles the toolkit thread's sent messages from inside the toolkit's event loop: a sender
// posts it an event, and it drains the inbox.
class SentMessagePump : public QObject {
public:
    // The pump of the toolkit's thread, created there on first use.
    static SentMessagePump* Instance() {
        static QPointer<SentMessagePump> pump;
        if (pump == nullptr) {
            pump = new SentMessagePump();
        }
        return pump.data();
    }

    // Callable from any thread. Low priority: queued behind the repaints its own handlers
    // requested, so a stream of messages cannot starve painting.
    void Post() { QCoreApplication::postEvent(this, new QEvent(kWakeEvent), Qt::LowEventPriority); }

protected:
    // The wake event is the only user-type event this object receives, so the handler never
    // looks inside it: the event was made on the sending thread and handed over inside the
    // toolkit, where a race detector cannot see the hand-over.
    void customEvent(QEvent* /*event*/) override {
        ThreadInbox& inbox = ThreadInbox::Instance();
        // What arrived during the drain waits behind the repaints its handlers asked for.
        if (inbox.Drain()) {
            inbox.RequestWake();
        }
    }

private:
    SentMessagePump() : QObject(QCoreApplication::instance()) {}
};

} // namespace

int ModalLoopScope::depth_ = 0;

ModalLoopScope::ModalLoopScope() {
    ThreadInbox& inbox = ThreadInbox::Instance();
    if (depth_++ == 0) {
        SentMessagePump* pump = SentMessagePump::Instance();
        inbox.SetWakeHook([pump] { pump->Post(); });
    }
    inbox.Open();
    // This loop may run inside a handler of a draining pump; what was sent meanwhile, or
    // before the loop opened, is answered from inside it.
    inbox.EnterNestedLoop();
}

ModalLoopScope::~ModalLoopScope() {
    ThreadInbox& inbox = ThreadInbox::Instance();
    inbox.Close();
    if (--depth_ == 0) {
        inbox.SetWakeHook({});
    }
}

ModalOwnerScope::ModalOwnerScope(HWND owner, QWidget* modal) {
    SetTransientOwner(modal, owner);
    if (owner != nullptr && detail::IsWindowEnabled(owner) != FALSE) {
        disabledOwner_ = owner;
        EnableWindow(owner, FALSE);
    }
}

ModalOwnerScope::~ModalOwnerScope() {
    if (disabledOwner_ != nullptr) {
        EnableWindow(disabledOwner_, TRUE);
    }
}

void SetTransientOwner(QWidget* modal, HWND owner) {
    QWidget* ownerWidget = WidgetFor(owner);
    if (modal == nullptr || ownerWidget == nullptr) {
        return;
    }
    QWidget* ownerWindow = ownerWidget->window();
    modal->winId();
    if (QWindow* window = modal->windowHandle(); window != nullptr && ownerWindow->windowHandle()) {
        window->setTransientParent(ownerWindow->windowHandle());
    }
}

} // namespace platform::detail
