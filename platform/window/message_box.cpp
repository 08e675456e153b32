#include "platform/window/message_box.h"

#include "platform/window/cross_thread_send.h"
#include "platform/window/messaging.h"
#include "platform/window/modal_owner.h"
#include "platform/window/startup.h"
#include "platform/window/window_registry.h"

#include <QApplication>
#include <QMessageBox>
#include <QWindow>
#include <QtGlobal>
#include <cstdio>
#include <string>

namespace platform {

namespace {

// The program asks with MB_OK or MB_YESNO boxes, plain or with the error or warning icon.
QMessageBox::StandardButtons ButtonsFor(UINT type) {
    return (type & MB_TYPEMASK) == MB_YESNO ? QMessageBox::Yes | QMessageBox::No
                                            : QMessageBox::StandardButtons(QMessageBox::Ok);
}

QMessageBox::Icon IconFor(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    default:
        return QMessageBox::NoIcon;
    }
}

int CommandFor(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    QMessageBox box(IconFor(type), QString::fromStdString(caption), QString::fromStdString(text),
                    ButtonsFor(type));
    // The text is shown exactly as it stands: a file name is never read as markup.
    box.setTextFormat(Qt::PlainText);
    if (caption.empty()) {
        // The toolkit shows the program's name for an empty title; a zero-width space keeps
        // the title bar empty, as the caller asked.
        box.winId();
        if (QWindow* window = box.windowHandle()) {
            window->setTitle(QString(QChar(0x200B)));
        }
    }
    // An OK box answers Escape with OK; a Yes/No box has no Cancel, so Escape answers No.
    const bool yesNo = (type & MB_TYPEMASK) == MB_YESNO;
    box.setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Ok);
    if (yesNo && (type & MB_DEFMASK) == MB_DEFBUTTON2) {
        box.setDefaultButton(QMessageBox::No);
    }
    int answer = QMessageBox::Cancel;
    {
        detail::ModalLoopScope loopScope;
        detail::ModalOwnerScope ownerScope(owner, &box);
        answer = box.exec();
    }
    return CommandFor(answer);
}

} // namespace

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    try {
        const std::string body = text != nullptr ? text : "";
        const std::string title = caption != nullptr ? caption : "Error";
        if (owner != nullptr && detail::IsWindow(owner) == FALSE) {
            return 0;
        }
        if (!detail::HaveApplication()) {
            // Nobody can show it: with no display the text goes where a user may still read it.
            std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ",
                         body.c_str());
            return IDOK;
        }
        if (detail::IsGuiThread()) {
            return ShowBox(owner, body, title, type);
        }
        // Another thread's box is shown by its owner's thread while this one waits.
        int answer = 0;
        if (owner == nullptr || !detail::CallOnWindowThread(
                                    owner, [&] { answer = ShowBox(owner, body, title, type); })) {
            return 0;
        }
        return answer;
    } catch (...) {
        qWarning("vanthe: MessageBox: the toolkit threw; the call fails instead");
        return 0;
    }
}

BOOL MessageBeep(UINT type) {
    (void)type;
    if (detail::IsGuiThread()) {
        QApplication::beep();
    }
    return TRUE;
}

} // namespace platform
