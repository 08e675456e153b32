#include "platform/window/control_procedures.h"

#include "platform/window/dialog_navigation.h"
#include "platform/window/dialog_window.h"
#include "platform/window/drops.h"
#include "platform/window/icon_store.h"
#include "platform/window/messaging.h"
#include "platform/window/text_copy.h"
#include "platform/window/window_registry.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVariant>

namespace platform::detail {

namespace {

DWORD ExStyleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLong(window, GWL_EXSTYLE));
}

template <typename Widget>
Widget* WidgetAs(HWND window) {
    return qobject_cast<Widget*>(WidgetFor(window));
}

void NotifyParent(HWND window, WORD code) {
    const int id = GetDlgCtrlID(window);
    SendMessage(GetParent(window), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code),
                reinterpret_cast<LPARAM>(window));
}

// A file name need not be UTF-8, and the toolkit shows bytes that are not as U+FFFD, which
// names another file; a one-line edit shows nothing after a line break, so a name's line breaks
// show as U+FFFD too. So an edit given such bytes keeps them, and gives them back for as long
// as its text is what they showed. Only such bytes are kept: no second copy of a password.
constexpr char kGivenBytes[] = "vantheGivenBytes";

QString Shown(const QByteArray& bytes) {
    return QString::fromUtf8(bytes)
        .replace(u'\n', QChar::ReplacementCharacter)
        .replace(u'\r', QChar::ReplacementCharacter);
}

QByteArray EditBytes(const QLineEdit* edit) {
    const QVariant given = edit->property(kGivenBytes);
    if (given.isValid() && Shown(given.toByteArray()) == edit->text()) {
        return given.toByteArray();
    }
    return edit->text().toUtf8();
}

QByteArray TextOf(const QWidget* widget) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return EditBytes(edit);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text().toUtf8();
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(widget)) {
        return box->title().toUtf8();
    }
    const auto* label = qobject_cast<const QLabel*>(widget);
    return label != nullptr ? label->text().toUtf8() : QByteArray();
}

void SetTextOf(QWidget* widget, const QByteArray& bytes, DWORD style) {
    const QString text = QString::fromUtf8(bytes);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        const QString shown = Shown(bytes);
        edit->setProperty(kGivenBytes, shown.toUtf8() == bytes ? QVariant() : QVariant(bytes));
        edit->setText(shown);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        box->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget);
               label && (style & SS_TYPEMASK) != SS_ICON) {
        label->setText(text);
    }
}

// What every control does with the messages its own procedure leaves alone: its text is set and
// read, a drop nobody took is released, and everything else is answered with 0.
LRESULT DefControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    QWidget* widget = WidgetFor(window);
    switch (message) {
    case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lParam);
        SetTextOf(widget, QByteArray(text != nullptr ? text : ""), StyleOf(window));
        return widget != nullptr ? TRUE : FALSE;
    }
    case WM_GETTEXT: {
        const QByteArray bytes = TextOf(widget);
        return static_cast<LRESULT>(CopyToBuffer(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            reinterpret_cast<char*>(lParam), wParam));
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(TextOf(widget).size());
    case WM_DROPFILES:
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        return 0;
    }
}

Qt::Alignment StaticAlignment(DWORD style) {
    return (style & SS_TYPEMASK) == SS_CENTER ? Qt::AlignHCenter | Qt::AlignTop
                                              : Qt::AlignLeft | Qt::AlignTop;
}

} // namespace

LRESULT EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* edit = WidgetAs<QLineEdit>(window);
    if (edit == nullptr) {
        return DefControlProc(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETFOCUS:
        NotifyParent(window, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        NotifyParent(window, EN_KILLFOCUS);
        return 0;
    case EM_SETSEL:
        // The program only selects everything (0, -1), so what is typed next replaces it.
        edit->selectAll();
        return 0;
    default:
        return DefControlProc(window, message, wParam, lParam);
    }
}

LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    QWidget* widget = WidgetFor(window);
    auto* button = qobject_cast<QAbstractButton*>(widget);
    const DWORD type = StyleOf(window) & BS_TYPEMASK;
    switch (message) {
    case WM_GETDLGCODE:
        switch (type) {
        case BS_PUSHBUTTON:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
        }
    case BM_GETCHECK:
        return button != nullptr && button->isCheckable() && button->isChecked()
                   ? static_cast<LRESULT>(BST_CHECKED)
                   : static_cast<LRESULT>(BST_UNCHECKED);
    case BM_SETCHECK:
        // Sets this button only, and reports nothing. A radio button checked becomes its group's
        // tab stop, so Tab and Shift+Tab both enter and leave the group at the chosen one.
        if (button != nullptr && button->isCheckable()) {
            button->setChecked(wParam == BST_CHECKED);
            if (type == BS_AUTORADIOBUTTON) {
                SetStyleBits(window, WS_TABSTOP, wParam == BST_CHECKED);
            }
        }
        return 0;
    case BM_CLICK:
        if (button != nullptr && button->isEnabled()) {
            button->click();
        }
        return 0;
    default:
        return DefControlProc(window, message, wParam, lParam);
    }
}

LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* label = WidgetAs<QLabel>(window);
    WindowRecord* record = WindowRegistry::Instance().FindOwned(window);
    if (label == nullptr || record == nullptr) {
        return DefControlProc(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case STM_SETICON: {
        const HICON previous = record->icon;
        record->icon = reinterpret_cast<HICON>(wParam);
        const QImage image = IconImageOf(record->icon);
        label->setPixmap(QPixmap::fromImage(image));
        if (!image.isNull()) {
            label->resize(image.size());
        }
        return reinterpret_cast<LRESULT>(previous);
    }
    default:
        return DefControlProc(window, message, wParam, lParam);
    }
}

void OnButtonClicked(HWND button) {
    auto* widget = WidgetAs<QAbstractButton>(button);
    if (widget == nullptr) {
        return;
    }
    const DWORD type = StyleOf(button) & BS_TYPEMASK;
    if (type == BS_AUTORADIOBUTTON) {
        // The toolkit's own exclusivity cannot clear every radio of a group, which
        // BM_SETCHECK must be able to do; so the group is the layer's, bounded by WS_GROUP.
        for (HWND other : GroupOf(button)) {
            if (other != button && (StyleOf(other) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
                SendMessage(other, BM_SETCHECK, BST_UNCHECKED, 0);
            }
        }
        SendMessage(button, BM_SETCHECK, BST_CHECKED, 0);
    }
    NotifyParent(button, BN_CLICKED);
}

void ApplyStyle(HWND window) {
    QWidget* widget = WidgetFor(window);
    if (widget == nullptr) {
        return;
    }
    const DWORD style = StyleOf(window);
    const DWORD exStyle = ExStyleOf(window);
    widget->setAcceptDrops((exStyle & WS_EX_ACCEPTFILES) != 0);
    if (auto* dialog = dynamic_cast<DialogWindow*>(widget)) {
        dialog->ScheduleMaskUpdate();
        return;
    }
    widget->setEnabled((style & WS_DISABLED) == 0);
    widget->setVisible((style & WS_VISIBLE) != 0);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setEchoMode((style & ES_PASSWORD) != 0 ? QLineEdit::Password : QLineEdit::Normal);
        // Only the frame's presence follows the edge style; its look is the toolkit's.
        edit->setFrame((exStyle & WS_EX_STATICEDGE) != 0);
    } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
        // Themed push buttons draw BS_FLAT like any other, as the program's manifest asks.
        push->setDefault((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if ((style & SS_TYPEMASK) != SS_ICON) {
            label->setAlignment(StaticAlignment(style));
            label->setWordWrap(true);
        }
    }
}

} // namespace platform::detail
