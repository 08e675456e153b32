#include "platform/window/dialog_event_filter.h"

#include "platform/window/compose.h"
#include "platform/window/dialog_navigation.h"
#include "platform/window/dialog_window.h"
#include "platform/window/drops.h"
#include "platform/window/messaging.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

namespace platform::detail {

namespace {

bool IsInputEvent(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            // The path's own bytes, taken from its escapes: toLocalFile() would turn a name that
            // is no UTF-8 into the name of another file.
            const QByteArray bytes =
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        }
    }
    return paths;
}

// A password field tells when Caps Lock is on, as the platform's does: behind the mask a
// password would silently be another, and a file encrypted under it lost. Lock is the second
// core modifier in X11's key state and in the xkb state a Wayland compositor sends alike, both
// as they were before the key, so the Caps Lock key itself turns it round. No key: hide it.
// The notice lies on the dialog under the field, not in a window of its own, which not every
// Wayland compositor shows.
void NoteCapsLock(QWidget* widget, const QKeyEvent* key) {
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (edit == nullptr) {
        return;
    }
    QWidget* dialog = edit->window();
    const char* const kName = "vantheCapsLockNotice";
    auto* notice = dialog->findChild<QLabel*>(kName, Qt::FindDirectChildrenOnly);
    constexpr quint32 kLockMask = 0x2;
    const bool locked =
        key != nullptr && edit->echoMode() == QLineEdit::Password &&
        ((key->nativeModifiers() & kLockMask) != 0) != (key->key() == Qt::Key_CapsLock);
    // A screen reader says a change of the focused field's description.
    const QString said = locked ? QStringLiteral("Caps Lock is On") : QString();
    if (edit->accessibleDescription() != said) {
        edit->setAccessibleDescription(said);
    }
    if (!locked) {
        if (notice != nullptr) {
            notice->hide();
        }
        return;
    }
    if (notice == nullptr) {
        // One line, so the controls below stay in sight.
        notice = new QLabel(QStringLiteral("<b>Caps Lock is On</b>"), dialog);
        notice->setObjectName(kName);
        notice->setForegroundRole(QPalette::ToolTipText);
        notice->setBackgroundRole(QPalette::ToolTipBase);
        notice->setAutoFillBackground(true);
        notice->setFrameShape(QFrame::Box);
        notice->setMargin(2);
        notice->setAttribute(Qt::WA_TransparentForMouseEvents);
        notice->adjustSize();
    }
    notice->move(edit->mapTo(dialog, QPoint(0, edit->height())));
    notice->raise();
    notice->show();
}

// A field whose text is masked: the platform's password edit.
bool IsPasswordField(const QWidget* widget) {
    const auto* edit = qobject_cast<const QLineEdit*>(widget);
    return edit != nullptr && edit->echoMode() != QLineEdit::Normal;
}

LRESULT DialogCode(HWND window) {
    return window != nullptr ? SendMessage(window, WM_GETDLGCODE, 0, 0) : 0;
}

} // namespace

DialogEventFilter::DialogEventFilter(DialogWindow* dialog) : QObject(dialog), dialog_(dialog) {}

bool DialogEventFilter::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) {
        return false;
    }
    const QEvent::Type type = event->type();
    if (IsInputEvent(type) && !dialog_->isEnabled()) {
        event->ignore();
        return true;
    }
    const HWND target = widget == dialog_ ? nullptr : HandleFor(widget);
    switch (type) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        NoteCapsLock(widget, key);
        // The platform's password edit cuts nothing, as it copies nothing: the toolkit's would
        // take the password away and put nothing on the clipboard.
        if (IsPasswordField(widget) && key->matches(QKeySequence::Cut)) {
            return true;
        }
        return HandleKey(target, *key);
    }
    case QEvent::ShortcutOverride: {
        // Keys the dialog manager owns must reach it as key presses.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter ||
            key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            event->accept();
        }
        return false;
    }
    case QEvent::InputMethod: {
        // A password field takes keys, as on the platform, not an input method's text: one
        // may commit what was pending in another field only once the focus has come here (a
        // Korean syllable under IBus), which would go into the password unseen. Dead keys
        // composed from its own keys still go in.
        return IsPasswordField(widget) && !TextFromTheFieldsOwnKeys();
    }
    case QEvent::ContextMenu:
        // The menu keys were taken as keys already.
        return static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse;
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
        const auto* focus = static_cast<QFocusEvent*>(event);
        // A popup menu does not take the focus on the platform; neither does it here.
        if (target == nullptr || focus->reason() == Qt::PopupFocusReason) {
            return false;
        }
        if (type == QEvent::FocusIn) {
            SendMessage(target, WM_SETFOCUS, 0, 0);
        } else {
            NoteCapsLock(widget, nullptr);
            const HWND next = HandleFor(QApplication::focusWidget());
            SendMessage(target, WM_KILLFOCUS, reinterpret_cast<WPARAM>(next), 0);
        }
        return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return target != nullptr && HandleDrop(target, event);
    default:
        return false;
    }
}

bool DialogEventFilter::HandleKey(HWND target, const QKeyEvent& key) {
    const HWND dialog = dialog_->Handle();
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if ((modifiers & (Qt::ControlModifier | Qt::AltModifier)) != 0) {
            return false;
        }
        const bool previous = key.key() == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier) != 0;
        const HWND next = GetNextDlgTabItem(dialog, target, previous);
        if (next != nullptr) {
            FocusWindow(next, previous ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        }
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if ((modifiers & Qt::AltModifier) != 0) {
            return false;
        }
        HandleEnter(target);
        return true;
    case Qt::Key_Escape:
        SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        return true;
    case Qt::Key_F10:
    case Qt::Key_Space:
    case Qt::Key_Menu:
        // Shift+F10, Alt+Space, or the Menu key with anything.
        if ((key.key() == Qt::Key_F10 && modifiers != Qt::ShiftModifier) ||
            (key.key() == Qt::Key_Space && modifiers != Qt::AltModifier)) {
            return false;
        }
        dialog_->ShowSystemMenu(dialog_->mapToGlobal(QPoint(0, 0)), 0, true);
        return true;
    case Qt::Key_F4:
        if (modifiers != Qt::AltModifier) {
            return false;
        }
        SendMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Left:
    case Qt::Key_Down:
    case Qt::Key_Right:
        if (modifiers != Qt::NoModifier || (DialogCode(target) & DLGC_RADIOBUTTON) == 0) {
            return false;
        }
        MoveInGroup(target, key.key() == Qt::Key_Up || key.key() == Qt::Key_Left);
        return true;
    default:
        return false;
    }
}

void DialogEventFilter::HandleEnter(HWND target) {
    const HWND dialog = dialog_->Handle();
    // A focused push button is the default button while it has the focus.
    if ((DialogCode(target) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
        SendMessage(dialog, WM_COMMAND,
                    MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(target)), BN_CLICKED),
                    reinterpret_cast<LPARAM>(target));
        return;
    }
    const LRESULT defaultId = SendMessage(dialog, DM_GETDEFID, 0, 0);
    const WORD id = HIWORD(static_cast<std::uintptr_t>(defaultId)) == DC_HASDEFID
                        ? LOWORD(static_cast<std::uintptr_t>(defaultId))
                        : static_cast<WORD>(IDOK);
    const HWND button = GetDlgItem(dialog, id);
    if (button != nullptr && detail::IsWindowEnabled(button) == FALSE) {
        QApplication::beep();
        return;
    }
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void DialogEventFilter::MoveInGroup(HWND target, bool previous) {
    const HWND next = GetNextDlgGroupItem(target, previous);
    if (next == nullptr || next == target) {
        return;
    }
    FocusWindow(next, Qt::OtherFocusReason);
    // An automatic radio button that gets the focus from the arrows is chosen as well.
    const DWORD style = StyleOf(next);
    if ((style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && (DialogCode(next) & DLGC_RADIOBUTTON) != 0) {
        SendMessage(next, BM_CLICK, 0, 0);
    }
}

bool DialogEventFilter::HandleDrop(HWND target, QEvent* event) {
    const DWORD exStyle = static_cast<DWORD>(GetWindowLong(target, GWL_EXSTYLE));
    auto* drop = static_cast<QDropEvent*>(event);
    const std::vector<std::string> files = LocalFiles(drop->mimeData());
    // Only registered controls take drops, and only of files: a toolkit edit would take text.
    if ((exStyle & WS_EX_ACCEPTFILES) == 0 || files.empty()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        SendMessage(target, WM_DROPFILES, reinterpret_cast<WPARAM>(CreateDrop(files)), 0);
    }
    return true;
}

} // namespace platform::detail
