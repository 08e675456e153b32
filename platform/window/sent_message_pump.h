#pragma once

// Handles the toolkit thread's sent messages from inside the toolkit's event loop: a sender
// posts it an event, and it drains the inbox. Internal to the layer.

#include <QObject>

namespace platform::detail {

class SentMessagePump : public QObject {
public:
    // The pump of the toolkit's thread, created there on first use.
    static SentMessagePump* Instance();

    // Callable from any thread.
    void Post();

protected:
    void customEvent(QEvent* event) override;

private:
    SentMessagePump();
};

} // namespace platform::detail
