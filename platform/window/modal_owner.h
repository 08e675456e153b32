#pragma once

// What the layer does around a box or file dialog that has an owner. Internal to the layer.

#include "platform/window/window_types.h"

class QWidget;

namespace platform::detail {

// A box or file dialog shown for an owner disables the owner for its duration, as a modal
// dialog does, and stays above it.
class ModalOwnerScope {
public:
    ModalOwnerScope(HWND owner, QWidget* modal);
    ModalOwnerScope(const ModalOwnerScope&) = delete;
    ModalOwnerScope& operator=(const ModalOwnerScope&) = delete;
    ~ModalOwnerScope();

private:
    HWND disabledOwner_ = nullptr;
};

// Keeps modal above owner's window without making it a child widget, which the owner being
// disabled would disable as well.
void SetTransientOwner(QWidget* modal, HWND owner);

} // namespace platform::detail
