#include "platform/window/dialogs.h"

#include "platform/window/control_procedures.h"
#include "platform/window/cross_thread_send.h"
#include "platform/window/dialog_builder.h"
#include "platform/window/dialog_navigation.h"
#include "platform/window/dialog_window.h"
#include "platform/window/drops.h"
#include "platform/window/icon_store.h"
#include "platform/window/messaging.h"
#include "platform/window/modal_owner.h"
#include "platform/window/startup.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QtGlobal>

namespace platform {

using detail::DialogWindow;

namespace {

// A dialog procedure that reports a message as handled returns its result this way, except
// for the few messages whose result is the procedure's own return value.
bool ReturnsItsOwnResult(UINT message) {
    return message == WM_INITDIALOG;
}

void ReenableOwner(HWND owner, detail::DialogOutcome& outcome) {
    if (outcome.ownerDisabled) {
        outcome.ownerDisabled = false;
        EnableWindow(owner, TRUE);
    }
}

void SetWindowIcons(DialogWindow& dialog) {
    QIcon icon;
    for (HICON handle : dialog.State().icons) {
        const QImage image = detail::IconImageOf(handle);
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    dialog.setWindowIcon(icon);
}

// What the dialog manager does with a message the dialog procedure left alone.
LRESULT DefaultDialogProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogWindow* dialog = DialogWindow::For(window);
    switch (message) {
    case WM_CLOSE:
        // A dialog closes by its Cancel command, which its procedure turns into EndDialog.
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
            detail::ShowWindow(window, SW_MINIMIZE);
            return 0;
        case SC_CLOSE:
            SendMessage(window, WM_CLOSE, 0, 0);
            return 0;
        default:
            return 0;
        }
    case WM_SETICON: {
        if (dialog == nullptr || wParam > ICON_BIG) {
            return 0;
        }
        HICON& slot = dialog->State().icons[wParam];
        const HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        SetWindowIcons(*dialog);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_STYLECHANGED:
        detail::ApplyStyle(window);
        return 0;
    case DM_GETDEFID:
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if ((SendMessage(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0) {
                return static_cast<LRESULT>(
                    MAKELPARAM(static_cast<WORD>(GetDlgCtrlID(child)), DC_HASDEFID));
            }
        }
        return 0;
    case WM_DROPFILES:
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        return 0;
    }
}

} // namespace

LRESULT detail::DefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto dialogProc = reinterpret_cast<DLGPROC>(GetWindowLongPtr(dialog, DWLP_DLGPROC));
    if (dialogProc != nullptr) {
        SetWindowLongPtr(dialog, DWLP_MSGRESULT, 0);
        INT_PTR handled = 0;
        try {
            handled = dialogProc(dialog, message, wParam, lParam);
        } catch (...) {
            qWarning("vanthe: DefDlgProc: the toolkit threw; the call fails instead");
            handled = 0;
        }
        if (handled != 0) {
            return ReturnsItsOwnResult(message) ? handled
                                                : GetWindowLongPtr(dialog, DWLP_MSGRESULT);
        }
        if (detail::IsWindow(dialog) == FALSE) {
            return 0;
        }
    }
    if (message == WM_INITDIALOG) {
        return 0;
    }
    try {
        return DefaultDialogProcessing(dialog, message, wParam, lParam);
    } catch (...) {
        qWarning("vanthe: DefDlgProc: the toolkit threw; the call fails instead");
        return 0;
    }
}

INT_PTR DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC dialogProc,
                       LPARAM param) {
    try {
        if (!detail::EnsureApplication() || !detail::IsGuiThread()) {
            return -1;
        }
        const DialogTemplate* dialogTemplate = detail::FindDialogTemplate(instance, templateId);
        if (dialogTemplate == nullptr) {
            return -1;
        }
        if (owner != nullptr && detail::WidgetFor(owner) == nullptr) {
            owner = nullptr;
        }
        // The owner is disabled before the dialog exists, as the platform does.
        detail::DialogOutcome outcome;
        outcome.ownerDisabled = owner != nullptr && detail::IsWindowEnabled(owner) != FALSE;
        if (outcome.ownerDisabled) {
            EnableWindow(owner, FALSE);
        }
        const QPointer<DialogWindow> dialog =
            detail::BuildDialog(*dialogTemplate, instance, owner, dialogProc);
        if (dialog == nullptr) {
            ReenableOwner(owner, outcome);
            return -1;
        }
        const HWND window = dialog->Handle();
        dialog->State().outcome = &outcome;

        const HWND firstTabStop = detail::GetNextDlgTabItem(window, nullptr, false);
        const LRESULT focusDefault =
            SendMessage(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), param);
        if (detail::IsWindow(window) != FALSE && focusDefault != 0) {
            // The procedure may have changed the tab order, so the first stop is found again.
            if (const HWND focus = detail::GetNextDlgTabItem(window, nullptr, false)) {
                SetFocus(focus);
            }
        }
        if (detail::IsWindow(window) == FALSE) {
            // Destroyed by its own initialisation: it could not be created after all.
            ReenableOwner(owner, outcome);
            return outcome.ended ? outcome.result : -1;
        }
        if (!outcome.ended) {
            detail::ModalLoopScope loopScope;
            DialogWindow::PushRunning(dialog);
            detail::ShowWindow(window, SW_SHOWNORMAL);
            dialog->activateWindow();
            QEventLoop loop;
            dialog->State().loop = &loop;
            loop.exec(QEventLoop::DialogExec);
            if (dialog != nullptr) {
                dialog->State().loop = nullptr;
            }
            DialogWindow::PopRunning(dialog);
        }
        ReenableOwner(owner, outcome);
        if (dialog != nullptr) {
            dialog->State().outcome = nullptr;
        }
        detail::DestroyWindow(window);
        // A dialog destroyed without EndDialog ends its run with 0.
        return outcome.ended ? outcome.result : 0;
    } catch (...) {
        qWarning("vanthe: DialogBoxParam: the toolkit threw; the call fails instead");
        return -1;
    }
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    return detail::OnWindowThread(dialog, FALSE, [dialog, result] {
        DialogWindow* window = DialogWindow::For(dialog);
        if (window == nullptr) {
            return FALSE;
        }
        detail::DialogState& state = window->State();
        if (state.outcome != nullptr) {
            state.outcome->ended = true;
            state.outcome->result = result;
            // The owner comes back before this dialog goes, so the focus returns to it.
            ReenableOwner(state.owner, *state.outcome);
        }
        detail::ShowWindow(dialog, SW_HIDE);
        if (state.loop != nullptr) {
            state.loop->exit();
        }
        return TRUE;
    });
}

BOOL SetDlgItemText(HWND dialog, int id, const char* text) {
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    return SendMessage(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

} // namespace platform
