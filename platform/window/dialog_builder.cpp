#include "platform/window/dialog_builder.h"

#include "platform/window/accessibility.h"
#include "platform/window/compose.h"
#include "platform/window/control_procedures.h"
#include "platform/window/dialog_event_filter.h"
#include "platform/window/dialog_window.h"
#include "platform/window/dialogs.h"
#include "platform/window/icon_store.h"
#include "platform/window/menus_icons.h"
#include "platform/window/messaging.h"
#include "platform/window/modal_owner.h"
#include "platform/window/window_registry.h"
#include "platform/window/window_state.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QValidator>
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace platform::detail {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero, as MulDiv does.
int MulDiv(int a, int b, int c) {
    return c == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

bool IsWindowsUiFace(std::string_view face) {
    constexpr std::array<std::string_view, 7> faces = {
        "",       "MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif", "Microsoft Sans Serif",
        "Tahoma", "Segoe UI"};
    for (std::string_view known : faces) {
        if (face == known) {
            return true;
        }
    }
    return false;
}

// The desktop's own sans font stands in for the platform's dialog faces. The platform's
// 8-point bitmap face reads larger than an 8-point outline font does here, hence one point
// more; a desktop set to larger text than that keeps its size, as a user who needs it set it.
// Dialog units follow the font, so the layout scales with it.
QFont DialogFont(const DialogTemplate& dialogTemplate) {
    QFont font = QGuiApplication::font();
    if ((dialogTemplate.style & DS_SETFONT) == 0 || dialogTemplate.pointSize == 0) {
        return font;
    }
    const std::string_view face = dialogTemplate.fontFace != nullptr ? dialogTemplate.fontFace : "";
    if (!IsWindowsUiFace(face)) {
        font.setFamily(QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size())));
    }
    font.setPointSizeF(std::max(dialogTemplate.pointSize * 9.0 / 8.0, font.pointSizeF()));
    if (dialogTemplate.weight >= 100 && dialogTemplate.weight <= 900) {
        font.setWeight(static_cast<QFont::Weight>(dialogTemplate.weight));
    }
    return font;
}

DialogUnits MeasureUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits units;
    units.baseX = (width / 26 + 1) / 2;
    units.baseY = metrics.height();
    return units;
}

Qt::WindowFlags WindowFlagsFor(DWORD style, bool owned) {
    Qt::WindowFlags flags = owned ? Qt::Dialog : Qt::Window;
    flags |= Qt::CustomizeWindowHint;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        flags |= Qt::WindowTitleHint;
    }
    if ((style & WS_SYSMENU) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if ((style & WS_MINIMIZEBOX) != 0 && (style & WS_SYSMENU) != 0) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    return flags;
}

// The platform's single-line edit takes pasted or dropped text up to its first line break, so
// a password or a path copied with the end of its line does not carry it along. The text before
// an edit has none, so a line break lies in what was just put in, which ends at the cursor.
class SingleLine final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override {
        const auto found = std::find_if(input.cbegin(), input.cend(),
                                        [](QChar c) { return c == u'\r' || c == u'\n'; });
        const qsizetype lineBreak = found - input.cbegin();
        if (lineBreak < position) {
            input = input.left(lineBreak) + input.mid(position);
            position = static_cast<int>(lineBreak);
        }
        return Acceptable;
    }
};

struct ControlClass {
    QWidget* widget = nullptr;
    WNDPROC proc = nullptr;
};

ControlClass CreateControl(const DialogItemTemplate& item, QWidget* parent) {
    const std::string_view windowClass = item.windowClass != nullptr ? item.windowClass : "";
    const QString text = QString::fromUtf8(item.text != nullptr ? item.text : "");
    const auto equals = [windowClass](std::string_view name) {
        return windowClass.size() == name.size() &&
               std::equal(windowClass.begin(), windowClass.end(), name.begin(), [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) ==
                          std::toupper(static_cast<unsigned char>(b));
               });
    };
    ControlClass control;
    if (equals("EDIT")) {
        auto* edit = new QLineEdit(parent);
        edit->setText(text);
        edit->setValidator(new SingleLine(edit));
        edit->setFocusPolicy(Qt::StrongFocus);
        control = {edit, &EditProc};
    } else if (equals("BUTTON")) {
        QAbstractButton* button = nullptr;
        switch (item.style & BS_TYPEMASK) {
        case BS_GROUPBOX: {
            auto* box = new QGroupBox(text, parent);
            box->setFocusPolicy(Qt::NoFocus);
            // A group box frames its neighbours without covering them or their clicks.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            return {box, &ButtonProc};
        }
        case BS_AUTORADIOBUTTON:
            button = new QRadioButton(text, parent);
            button->setAutoExclusive(false);
            break;
        default: {
            auto* push = new QPushButton(text, parent);
            push->setAutoDefault(false);
            button = push;
            break;
        }
        }
        button->setFocusPolicy(Qt::StrongFocus);
        control = {button, &ButtonProc};
    } else if (equals("STATIC")) {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        label->setFocusPolicy(Qt::NoFocus);
        if ((item.style & SS_TYPEMASK) != SS_ICON) {
            label->setText(text);
        }
        control = {label, &StaticProc};
    }
    return control;
}

// An SS_ICON static's text names its icon as "#<id>".
void LoadStaticIcon(HWND control, const DialogItemTemplate& item, HINSTANCE instance) {
    const char* text = item.text != nullptr ? item.text : "";
    if (text[0] != '#') {
        return;
    }
    const int iconId = std::atoi(text + 1);
    const HICON icon = LoadImage(instance, iconId, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                 GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR);
    if (icon != nullptr) {
        SendMessage(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
}

// Grows rect to size, keeping the edge the alignment holds still (both edges for centred).
QRect Grown(const QRect& rect, QSize size, Qt::Alignment alignment) {
    size = size.expandedTo(rect.size());
    QRect grown(rect.topLeft(), size);
    if ((alignment & Qt::AlignHCenter) != 0) {
        grown.moveLeft(rect.left() - (size.width() - rect.width()) / 2);
    } else if ((alignment & Qt::AlignRight) != 0) {
        grown.moveRight(rect.right());
    }
    if ((alignment & Qt::AlignVCenter) != 0) {
        grown.moveTop(rect.top() - (size.height() - rect.height()) / 2);
    }
    return grown;
}

// The templates were laid out for the platform's narrower dialog font, and its controls need
// less room around their text than the desktop's styles do: a control too small for its text
// in this font and style grows to it instead of clipping it.
void FitControl(QWidget* widget, const DialogItemTemplate& item) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        // Each line of a text label stays one line, as it was on the platform.
        const DWORD type = item.style & SS_TYPEMASK;
        if ((type != SS_LEFT && type != SS_CENTER) || label->text().isEmpty()) {
            return;
        }
        const QSize text = label->fontMetrics().size(0, label->text()) + QSize(2, 0);
        if (text.width() > label->width() || text.height() > label->height()) {
            label->setWordWrap(false);
            const Qt::Alignment horizontal = type == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft;
            label->setGeometry(Grown(label->geometry(), text, horizontal));
        }
        return;
    }
    QSize needed;
    if (qobject_cast<QPushButton*>(widget) != nullptr) {
        // The style's own text room, without its minimum width for dialog buttons.
        const auto* button = static_cast<QPushButton*>(widget);
        const int margin =
            button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
            2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()) +
                 QSize(margin, margin);
    } else if (qobject_cast<QAbstractButton*>(widget) != nullptr) {
        needed = widget->sizeHint();
    } else if (qobject_cast<QLineEdit*>(widget) != nullptr) {
        needed = QSize(0, widget->minimumSizeHint().height());
    } else {
        return;
    }
    if (needed.width() > widget->width() || needed.height() > widget->height()) {
        widget->setGeometry(Grown(widget->geometry(), needed, Qt::AlignVCenter));
    }
}

} // namespace

int DialogUnits::X(int units) const {
    return MulDiv(units, baseX, 4);
}
int DialogUnits::Y(int units) const {
    return MulDiv(units, baseY, 8);
}

DialogWindow* BuildDialog(const DialogTemplate& dialogTemplate, HINSTANCE instance, HWND owner,
                          DLGPROC dialogProc) {
    InstallAccessibilityRules();
    const DWORD style = dialogTemplate.style & ~(WS_VISIBLE | WS_DISABLED);
    const bool owned = owner != nullptr && (style & WS_CHILD) == 0;
    auto* dialog = new DialogWindow(WindowFlagsFor(style, owned));
    const QFont font = DialogFont(dialogTemplate);
    dialog->setFont(font);
    const DialogUnits units = MeasureUnits(font);

    WindowCreation creation;
    creation.proc = &DefDlgProc;
    creation.style = static_cast<LONG>(style);
    creation.exStyle = static_cast<LONG>(dialogTemplate.exStyle);
    creation.parent = owned ? owner : nullptr;
    const HWND handle = WindowRegistry::Instance().Register(dialog, creation);
    dialog->SetHandle(handle);
    dialog->State().owner = owned ? owner : nullptr;
    dialog->State().keyedSurface = KeyedSurfaceSupport();
    SetWindowLongPtr(handle, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(dialogProc));

    dialog->setWindowTitle(
        QString::fromUtf8(dialogTemplate.caption != nullptr ? dialogTemplate.caption : ""));
    const QSize client(units.X(dialogTemplate.cx), units.Y(dialogTemplate.cy));
    dialog->setFixedSize(client);
    QPoint position(units.X(dialogTemplate.x), units.Y(dialogTemplate.y));
    if (owned && (style & DS_ABSALIGN) == 0) {
        // Relative to the owner's client area, as the platform places an owned dialog.
        if (const QWidget* ownerWidget = WidgetFor(owner)) {
            position += ownerWidget->mapToGlobal(QPoint(0, 0));
            // But on the owner's screen, whole, so no button lies beyond an edge; its frame
            // will be as wide as the owner's.
            const QWidget* ownerWindow = ownerWidget->window();
            const QSize frame = client + ownerWindow->frameGeometry().size() - ownerWindow->size();
            const QRect area = ownerWidget->screen()->availableGeometry();
            position.setX(std::max(
                area.x(), std::min(position.x(), area.x() + area.width() - frame.width())));
            position.setY(std::max(
                area.y(), std::min(position.y(), area.y() + area.height() - frame.height())));
        }
    }
    dialog->move(position);
    SetTransientOwner(dialog, owned ? owner : nullptr);

    auto* filter = new DialogEventFilter(dialog);
    dialog->installEventFilter(filter);
    for (const DialogItemTemplate& item : dialogTemplate.items) {
        const ControlClass control = CreateControl(item, dialog);
        if (control.widget == nullptr) {
            DestroyWindow(handle);
            return nullptr;
        }
        WindowCreation child;
        child.proc = control.proc;
        child.style = static_cast<LONG>(item.style | WS_CHILD);
        child.exStyle = static_cast<LONG>(item.exStyle);
        child.id = item.id;
        child.parent = handle;
        const HWND controlHandle = WindowRegistry::Instance().Register(control.widget, child);
        control.widget->setGeometry(units.X(item.x), units.Y(item.y), units.X(item.cx),
                                    units.Y(item.cy));
        control.widget->installEventFilter(filter);
        if (auto* button = qobject_cast<QAbstractButton*>(control.widget)) {
            QObject::connect(button, &QAbstractButton::clicked, button,
                             [controlHandle] { OnButtonClicked(controlHandle); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) {
            ComposeInto(edit);
            QObject::connect(edit, &QLineEdit::textChanged, edit, [controlHandle] {
                SendMessage(GetParent(controlHandle), WM_COMMAND,
                            MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(controlHandle)), EN_CHANGE),
                            reinterpret_cast<LPARAM>(controlHandle));
            });
        } else if (qobject_cast<QGroupBox*>(control.widget) != nullptr) {
            control.widget->lower();
        }
        // Controls paint their own background in the dialog's colour, so a see-through
        // surface never shows through them.
        if (qobject_cast<QGroupBox*>(control.widget) == nullptr) {
            control.widget->setAutoFillBackground(true);
            // A button's own role is the button colour, which a dark scheme makes lighter than
            // the dialog: a patch around each radio button.
            if (qobject_cast<QAbstractButton*>(control.widget) != nullptr) {
                control.widget->setBackgroundRole(QPalette::Window);
            }
        }
        ApplyStyle(controlHandle);
        FitControl(control.widget, item);
        if ((item.style & SS_TYPEMASK) == SS_ICON &&
            qobject_cast<QLabel*>(control.widget) != nullptr) {
            LoadStaticIcon(controlHandle, item, instance);
        }
    }
    ApplyStyle(handle);
    NameControlsForScreenReaders(dialog);
    return dialog;
}

} // namespace platform::detail
