#pragma once

// While a modal loop of the layer runs on the toolkit's thread (a dialog, a message box, the
// file dialog), other threads' messages to its windows are handled. Nested loops count.
// Internal to the layer.

namespace platform::detail {

class ModalLoopScope {
public:
    ModalLoopScope();
    ModalLoopScope(const ModalLoopScope&) = delete;
    ModalLoopScope& operator=(const ModalLoopScope&) = delete;
    ~ModalLoopScope();

private:
    static int depth_;
};

} // namespace platform::detail
