#include "platform/window/modal_loop_scope.h"

#include "platform/window/sent_message_pump.h"
#include "platform/window/thread_inbox.h"

namespace platform::detail {

int ModalLoopScope::depth_ = 0;

ModalLoopScope::ModalLoopScope() {
    ThreadInbox& inbox = ThreadInbox::Current();
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
    ThreadInbox& inbox = ThreadInbox::Current();
    inbox.Close();
    if (--depth_ == 0) {
        inbox.SetWakeHook({});
    }
}

} // namespace platform::detail
