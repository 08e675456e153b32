// What a screen reader, or any other program of the session that listens on the desktop's
// accessibility bus, hears of the dialog. Run at a real display, whose platform has the
// accessibility the offscreen one lacks, with it turned on as a screen reader turns it on.

#include "dialog_fixture.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"

#include <QAccessible>
#include <QTest>
#include <QWidget>
#include <vector>

using namespace vanthe;
using namespace vanthe::test;

namespace {

using ScreenReader = MainDialogTest;

// Stands where the desktop's accessibility bus would: it hears the text of each change of a
// text field, as a screen reader or any other listener of the session's bus would. Put in place
// before any dialog exists, as the bus is.
std::vector<QString> heard;
void Listen(QAccessibleEvent* event) {
    switch (event->type()) {
    case QAccessible::TextInserted:
        heard.push_back(static_cast<QAccessibleTextInsertEvent*>(event)->textInserted());
        break;
    case QAccessible::TextRemoved:
        heard.push_back(static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved());
        break;
    case QAccessible::TextUpdated:
        heard.push_back(static_cast<QAccessibleTextUpdateEvent*>(event)->textRemoved());
        heard.push_back(static_cast<QAccessibleTextUpdateEvent*>(event)->textInserted());
        break;
    default:
        break;
    }
}
[[maybe_unused]] const QAccessible::UpdateHandler listening =
    QAccessible::installUpdateHandler(&Listen);

TEST_F(ScreenReader, HearsAPasswordAsItsMaskNeverAsItsCharacters) {
    MainDialog dialog;
    ModalScript script;
    std::vector<QString> source;
    bool active = false;
    script.When("the dialog is shown", DialogReady, [&] {
        // The toolkit connects to the accessibility bus once its loop runs.
        for (int wait = 0; wait < 100 && !QAccessible::isActive(); ++wait) {
            QTest::qWait(50);
        }
        active = QAccessible::isActive();
        heard.clear();
        Type(QStringLiteral("a.txt"));
        source = heard;
        heard.clear();
        ControlWidget(dialog, IDC_PASSWORD)->setFocus(Qt::TabFocusReason);
        Type(QStringLiteral("Hunter2!"));
        Key(Qt::Key_Backspace);
        Key(Qt::Key_A, Qt::ControlModifier);
        Type(QStringLiteral("z"));
        Key(Qt::Key_A, Qt::ControlModifier);
        Key(Qt::Key_Backspace);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    ASSERT_TRUE(active) << "accessibility is off (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 turns it on)";
    // The source field is told as it is typed: a screen reader reads back a path.
    EXPECT_EQ(source.size(), 5U);
    EXPECT_TRUE(!source.empty() && source.front() == QStringLiteral("a"));
    ASSERT_GE(heard.size(), 9U);
    for (const QString& text : heard) {
        for (QChar c : text) {
            EXPECT_FALSE(c.isLetterOrNumber() || c == u'!') << text.toStdString();
        }
    }
}

TEST_F(ScreenReader, HearsTheDialogAsADialogWithItsTitle) {
    MainDialog dialog;
    QAccessible::Role role = QAccessible::NoRole;
    std::string name;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        QAccessibleInterface* window =
            QAccessible::queryAccessibleInterface(WidgetFromHandle(dialog.window()));
        ASSERT_NE(window, nullptr);
        role = window->role();
        name = window->text(QAccessible::Name).toStdString();
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(role, QAccessible::Dialog);
    EXPECT_EQ(name, "Vanthe");
}

} // namespace
