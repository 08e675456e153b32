#include "ui/modal_dialog.h"

#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "ui/app_module.h"

namespace vanthe {

using namespace platform;

namespace {
// The object whose window is being built on this thread.
thread_local ModalDialog* pendingDialog = nullptr;
} // namespace

INT_PTR ModalDialog::RunModal(HWND owner, LPARAM initParam) {
    pendingDialog = this;
    INT_PTR result = DialogBoxParam(appModule.resourceInstance(), templateId_, owner,
                                    &StartDialogProc, initParam);
    pendingDialog = nullptr;
    window_ = nullptr;
    return result;
}

INT_PTR ModalDialog::StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtr(window, DWLP_USER));
    if (self == nullptr) {
        if (pendingDialog == nullptr) {
            return FALSE;
        }
        self = pendingDialog;
        pendingDialog = nullptr;
        self->window_ = window;
        SetWindowLongPtr(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    LRESULT result = 0;
    Claim claim = self->ProcessMessage(message, wParam, lParam, result);
    if (message == WM_INITDIALOG) {
        return claim == Claim::Claimed ? result : FALSE;
    }
    if (claim == Claim::Unclaimed) {
        return FALSE;
    }
    SetWindowLongPtr(window, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace vanthe
