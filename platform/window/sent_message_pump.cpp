#include "platform/window/sent_message_pump.h"

#include "platform/window/thread_inbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

namespace platform::detail {

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

SentMessagePump::SentMessagePump() : QObject(QCoreApplication::instance()) {}

SentMessagePump* SentMessagePump::Instance() {
    static QPointer<SentMessagePump> pump;
    if (pump == nullptr) {
        pump = new SentMessagePump();
    }
    return pump.data();
}

void SentMessagePump::Post() {
    // Low priority: queued behind the repaints its own handlers requested, so a stream of
    // messages cannot starve painting.
    QCoreApplication::postEvent(this, new QEvent(kWakeEvent), Qt::LowEventPriority);
}

// The wake event is the only user-type event this object receives, so the handler never
// looks inside it: the event was made on the sending thread and handed over inside the
// toolkit, where a race detector cannot see the hand-over.
void SentMessagePump::customEvent(QEvent* /*event*/) {
    ThreadInbox& inbox = ThreadInbox::Current();
    // What arrived during the drain waits behind the repaints its handlers asked for.
    if (inbox.Drain(nullptr)) {
        inbox.RequestWake();
    }
}

} // namespace platform::detail
