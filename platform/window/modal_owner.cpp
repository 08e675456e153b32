#include "platform/window/modal_owner.h"

#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QWidget>
#include <QWindow>

namespace platform::detail {

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
