#include "platform/window/accessibility.h"

#include "platform/window/dialog_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>

namespace platform::detail {

namespace {

QString WithoutMnemonic(QString text) {
    text.remove(QLatin1Char('&'));
    return text;
}

// The toolkit tells each change of a text field with the text that changed, a password's
// characters as they are typed, to every listener of the session's accessibility bus. A
// screen reader needs to hear that a character went in, not which one.
QAccessible::UpdateHandler replacedHandler = nullptr;

void PassOn(QAccessibleEvent* event) {
    // With the handler it replaced back in place, the event takes the way it would have taken.
    const QAccessible::UpdateHandler layer = QAccessible::installUpdateHandler(replacedHandler);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(layer);
}

QString Masked(const QLineEdit* edit, const QString& text) {
    const int mask = edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit);
    return QString(text.size(), mask > 0 && mask <= 0xFFFF ? QChar(mask) : QChar(u'*'));
}

void MaskPasswordChanges(QAccessibleEvent* event) {
    const auto* edit = qobject_cast<const QLineEdit*>(event->object());
    if (edit == nullptr || edit->echoMode() == QLineEdit::Normal) {
        PassOn(event);
        return;
    }
    switch (event->type()) {
    case QAccessible::TextInserted: {
        const auto* change = static_cast<const QAccessibleTextInsertEvent*>(event);
        QAccessibleTextInsertEvent masked(event->object(), change->changePosition(),
                                          Masked(edit, change->textInserted()));
        PassOn(&masked);
        return;
    }
    case QAccessible::TextRemoved: {
        const auto* change = static_cast<const QAccessibleTextRemoveEvent*>(event);
        QAccessibleTextRemoveEvent masked(event->object(), change->changePosition(),
                                          Masked(edit, change->textRemoved()));
        PassOn(&masked);
        return;
    }
    case QAccessible::TextUpdated: {
        const auto* change = static_cast<const QAccessibleTextUpdateEvent*>(event);
        QAccessibleTextUpdateEvent masked(event->object(), change->changePosition(),
                                          Masked(edit, change->textRemoved()),
                                          Masked(edit, change->textInserted()));
        PassOn(&masked);
        return;
    }
    default:
        PassOn(event);
        return;
    }
}

// The layer keeps a radio group itself (WS_GROUP bounds it, and BM_SETCHECK must be able to
// clear every radio of it), so its radio buttons are not the toolkit's auto-exclusive ones,
// which the toolkit would tell as check boxes: a screen reader would not say that choosing
// one clears the other.
class RadioButtonInterface final : public QAccessibleWidget {
public:
    explicit RadioButtonInterface(QRadioButton* radio)
        : QAccessibleWidget(radio, QAccessible::RadioButton) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return WithoutMnemonic(Radio()->text());
        }
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Radio()->isChecked();
        return state;
    }
    QStringList actionNames() const override {
        QStringList names;
        if (Radio()->isEnabled()) {
            names << toggleAction();
        }
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == toggleAction() || action == pressAction()) {
            if (Radio()->isEnabled()) {
                Radio()->click();
            }
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QRadioButton* Radio() const { return static_cast<QRadioButton*>(widget()); }
};

QAccessibleInterface* LayerInterfaces(const QString& className, QObject* object) {
    // A dialog of the layer is a bare widget to the toolkit, which a screen reader would take
    // for a filler: told as a dialog, its title is said when it opens, and its texts with it.
    if (auto* dialog = dynamic_cast<DialogWindow*>(object)) {
        return new QAccessibleWidget(dialog, QAccessible::Dialog);
    }
    if (className == QLatin1String("QRadioButton")) {
        // Asked while the button is made, before the layer turns its exclusivity off.
        if (auto* radio = qobject_cast<QRadioButton*>(object)) {
            return new RadioButtonInterface(radio);
        }
    }
    return nullptr;
}

// The nearest text label above the rectangle or to its left; null when there is none.
const QLabel* LabelFor(const QRect& at, const QList<QLabel*>& labels) {
    const QLabel* nearest = nullptr;
    int nearestDistance = 0;
    for (const QLabel* label : labels) {
        const QRect from = label->geometry();
        if (label->text().isEmpty()) {
            continue;
        }
        int distance = -1;
        const bool overlapsAcross = from.left() <= at.right() && from.right() >= at.left();
        const bool overlapsDown = from.top() <= at.bottom() && from.bottom() >= at.top();
        if (overlapsAcross && from.top() < at.top()) {
            distance = std::max(0, at.top() - from.bottom());
        } else if (overlapsDown && from.right() < at.left() + at.width() / 2) {
            distance = std::max(0, at.left() - from.right());
        }
        if (distance >= 0 && (nearest == nullptr || distance < nearestDistance)) {
            nearest = label;
            nearestDistance = distance;
        }
    }
    return nearest;
}

// The edit on the button's row nearest to its left.
const QLineEdit* EditBeside(const QRect& at, const QList<QLineEdit*>& edits) {
    const QLineEdit* nearest = nullptr;
    for (const QLineEdit* edit : edits) {
        const QRect from = edit->geometry();
        const bool sameRow = from.top() <= at.bottom() && from.bottom() >= at.top();
        if (sameRow && from.right() < at.left() &&
            (nearest == nullptr || from.right() > nearest->geometry().right())) {
            nearest = edit;
        }
    }
    return nearest;
}

} // namespace

void InstallAccessibilityRules() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    QAccessible::installFactory(&LayerInterfaces);
    replacedHandler = QAccessible::installUpdateHandler(&MaskPasswordChanges);
}

void NameControlsForScreenReaders(QWidget* dialog) {
    const QList<QLabel*> labels = dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    const QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
    for (QLineEdit* edit : edits) {
        if (const QLabel* label = LabelFor(edit->geometry(), labels)) {
            edit->setAccessibleName(WithoutMnemonic(label->text()));
        }
    }
    // Two buttons both read as "dot dot dot" do not say which field each one fills.
    for (QPushButton* button : dialog->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        const QString text = button->text();
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); })) {
            continue;
        }
        const QLineEdit* edit = EditBeside(button->geometry(), edits);
        if (edit != nullptr && !edit->accessibleName().isEmpty()) {
            button->setAccessibleName(edit->accessibleName() + QLatin1Char(' ') + text);
        }
    }
}

} // namespace platform::detail
