#include "platform/window/keyboard.h"

#include "platform/window/dialog_window.h"
#include "platform/window/gui_application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>

namespace platform {

namespace {

struct KeyName {
    Qt::Key key;
    QString text;
};

KeyName NameOf(BYTE virtualKey, bool shift) {
    switch (virtualKey) {
    case VK_TAB:
        return {shift ? Qt::Key_Backtab : Qt::Key_Tab, QStringLiteral("\t")};
    case VK_RETURN:
        return {Qt::Key_Return, QStringLiteral("\r")};
    case VK_ESCAPE:
        return {Qt::Key_Escape, QString(QChar(0x1B))};
    case VK_SPACE:
        return {Qt::Key_Space, QStringLiteral(" ")};
    case VK_BACK:
        return {Qt::Key_Backspace, QString(QChar(0x08))};
    case VK_LEFT:
        return {Qt::Key_Left, QString()};
    case VK_UP:
        return {Qt::Key_Up, QString()};
    case VK_RIGHT:
        return {Qt::Key_Right, QString()};
    case VK_DOWN:
        return {Qt::Key_Down, QString()};
    default:
        if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z')) {
            const QChar character(virtualKey);
            return {static_cast<Qt::Key>(virtualKey), shift ? character : character.toLower()};
        }
        return {Qt::Key_unknown, QString()};
    }
}

void DeliverKey(BYTE virtualKey, DWORD flags) {
    const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
    const KeyName name = NameOf(virtualKey, (modifiers & Qt::ShiftModifier) != 0);
    if (name.key == Qt::Key_unknown) {
        return;
    }
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
    QKeyEvent event(type, name.key, modifiers, name.text);
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
