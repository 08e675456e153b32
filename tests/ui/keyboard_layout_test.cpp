// Typing with a keyboard layout's dead keys at a real X server, the keys sent through the
// server as a keyboard sends them. Run under run-under-xvfb.sh with a locale whose character
// set is not UTF-8 (LC_ALL=de_DE.ISO-8859-1), as an old installation may still have.

#include "dialog_fixture.h"
#include "res/resource_ids.h"

#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <string>

using namespace vanthe;
using namespace vanthe::test;

namespace {

using DeadKeys = MainDialogTest;

int Execute(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments);
}

TEST_F(DeadKeys, ComposeAccentedLettersWhateverTheLocalesCharacterSet) {
    const char* kind = std::getenv("VANTHE_TEST_DISPLAY");
    if (kind == nullptr || std::string(kind) != "x11") {
        GTEST_SKIP() << "needs run-under-xvfb.sh";
    }
    // A German keyboard: the key right of ß is a dead acute, and Shift+^ a dead circumflex.
    ASSERT_EQ(Execute(QStringLiteral("setxkbmap"), {QStringLiteral("de")}), 0) << "setxkbmap";
    MainDialog dialog;
    ModalScript script;
    QString typed;
    script.When("the dialog is shown", DialogReady, [&] {
        QWidget* source = ControlWidget(dialog, IDC_SOURCE);
        source->activateWindow();
        source->setFocus(Qt::OtherFocusReason);
        QTest::qWait(200);
        Execute(QStringLiteral("xdotool"),
                {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("20"),
                 QStringLiteral("dead_acute"), QStringLiteral("e"),
                 QStringLiteral("dead_circumflex"), QStringLiteral("a"), QStringLiteral("x")});
        for (int wait = 0; wait < 40 && static_cast<QLineEdit*>(source)->text().size() < 3;
             ++wait) {
            QTest::qWait(50);
        }
        typed = static_cast<QLineEdit*>(source)->text();
        Execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
        static_cast<QLineEdit*>(source)->clear();
        QTest::keyClick(source, Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(typed.toStdString(), "\xc3\xa9\xc3\xa2x");
}

} // namespace
