#include "platform/window/keyboard.h"

#include "platform/window/dialog_window.h"
#include "platform/window/startup.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>

namespace platform {

namespace {

void DeliverKey(BYTE virtualKey, DWORD flags) {
    // The program only presses Tab, which Shift turns into Backtab.
    if (virtualKey != VK_TAB) {
        return;
    }
    const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
    const Qt::Key key = (modifiers & Qt::ShiftModifier) != 0 ? Qt::Key_Backtab : Qt::Key_Tab;
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr) {
        target = QApplication::activeWindow();
    }
    if (target == nullptr) {
        if (QWidget* dialog = detail::DialogWindow::Innermost()) {
            target = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
        }
    }
    if (target == nullptr) {
        return;
    }
    const QEvent::Type type =
        (flags & KEYEVENTF_KEYUP) != 0 ? QEvent::KeyRelease : QEvent::KeyPress;
    QKeyEvent event(type, key, modifiers, QStringLiteral("\t"));
    QApplication::sendEvent(target, &event);
}

} // namespace

void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, UINT_PTR extraInfo) {
    (void)scanCode;
    (void)extraInfo;
    QCoreApplication* application = QCoreApplication::instance();
    if (!detail::HaveApplication() || application == nullptr) {
        return;
    }
    // Queued on the toolkit's thread: it acts after the handler that asked for it returns.
    QMetaObject::invokeMethod(
        application, [virtualKey, flags] { DeliverKey(virtualKey, flags); }, Qt::QueuedConnection);
}

} // namespace platform
