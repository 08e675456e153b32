// Typing with dead keys at real displays, the keys sent through the display server as a
// keyboard sends them: at an X server (run-under-xvfb.sh) and at a Wayland compositor
// (run-under-sway.sh), each under a locale whose character set is not UTF-8
// (LC_ALL=de_DE.ISO-8859-1), as an old installation may still have.

#include "dialog_fixture.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vanthe;
using namespace vanthe::test;

namespace {

using DeadKeys = MainDialogTest;
using KeysAtWayland = MainDialogTest;
using testing_support::PathExists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

bool DisplayIs(const char* wanted) {
    const char* kind = std::getenv("VANTHE_TEST_DISPLAY");
    return kind != nullptr && std::string(kind) == wanted;
}

int Execute(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments);
}

TEST_F(DeadKeys, ComposeAccentedLettersWhateverTheLocalesCharacterSet) {
    if (!DisplayIs("x11")) {
        GTEST_SKIP() << "needs run-under-xvfb.sh";
    }
    // A German keyboard: the key right of ß is a dead acute, and Shift+^ a dead circumflex.
    ASSERT_EQ(Execute(QStringLiteral("setxkbmap"), {QStringLiteral("de")}), 0) << "setxkbmap";
    // Each burst goes at once, as a fast typist's keys are read when the window was busy.
    struct Burst {
        const char* keys;
        const char* expected;
    } bursts[] = {
        // The letters keep their order; a dead key before a letter it does not combine with
        // goes in as its accent, as on Windows.
        {"w dead_acute e dead_circumflex a x dead_acute q", "w\xc3\xa9\xc3\xa2x\xc2\xb4q"},
        // A shortcut ends the sequence and acts; Backspace takes back the accent alone.
        {"a b dead_acute ctrl+a x y", "xy"},
        {"a dead_acute BackSpace b", "ab"},
        {"dead_acute dead_grave e", "\xc2\xb4\xc3\xa8"},
    };
    MainDialog dialog;
    ModalScript script;
    std::vector<std::string> typed;
    script.When("the dialog is shown", DialogReady, [&] {
        auto* source = static_cast<QLineEdit*>(ControlWidget(dialog, IDC_SOURCE));
        source->activateWindow();
        source->setFocus(Qt::OtherFocusReason);
        QTest::qWait(200);
        for (const Burst& burst : bursts) {
            source->clear();
            QStringList arguments{QStringLiteral("key"), QStringLiteral("--delay"),
                                  QStringLiteral("0")};
            arguments += QString::fromLatin1(burst.keys).split(u' ');
            Execute(QStringLiteral("xdotool"), arguments);
            for (int wait = 0; wait < 40 && source->text() != QString::fromUtf8(burst.expected);
                 ++wait) {
                QTest::qWait(50);
            }
            typed.push_back(source->text().toStdString());
        }
        Execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
        source->clear();
        QTest::keyClick(source, Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    ASSERT_EQ(typed.size(), std::size(bursts));
    for (std::size_t i = 0; i < typed.size(); ++i) {
        EXPECT_EQ(typed[i], bursts[i].expected) << bursts[i].keys;
    }
}

// Keys through the compositor from wtype's virtual keyboard. Its keymap reaches the window
// just before its first key, so that key waits a moment, or the window may drop it. The
// window goes on handling events meanwhile, as the compositor expects of it.
void SendKeys(QStringList arguments) {
    arguments.prepend(QStringLiteral("200"));
    arguments.prepend(QStringLiteral("-s"));
    QProcess wtype;
    wtype.start(QStringLiteral("wtype"), arguments);
    for (int wait = 0; wait < 500 && !wtype.waitForFinished(10); ++wait) {
        QTest::qWait(10);
    }
    if (wtype.state() != QProcess::NotRunning) {
        wtype.kill();
        wtype.waitForFinished();
        FAIL() << "wtype did not end";
    }
    ASSERT_EQ(wtype.exitCode(), 0) << "wtype";
}

// The whole flow by keyboard at a Wayland desktop: a file made on Windows under a German
// password, its umlauts typed with a dead diaeresis, decrypted to what was encrypted there.
TEST_F(KeysAtWayland, AFileMadeOnWindowsOpensWithAPasswordTypedWithDeadKeys) {
    if (!DisplayIs("wayland-keys")) {
        GTEST_SKIP() << "needs run-under-sway.sh";
    }
    const std::string vectors = VANTHE_TEST_DATA_DIR "/vectors/codepage";
    TempDir dir;
    WriteBytes(dir / "file.enx", ReadBytes(vectors + "/outputs/cp1252-00.enx"));
    MainDialog dialog;
    ModalScript script(std::chrono::seconds(30));
    std::string question;
    script.When("the dialog is shown", DialogReady, [&] {
        SendKeys({QString::fromStdString(dir / "file.enx"), QStringLiteral("-k"),
                  QStringLiteral("Return")});
    });
    script.When(
        "the password field", [] { return FocusedId() == IDC_PASSWORD; },
        [] {
            SendKeys({QStringLiteral("P"), QStringLiteral("-k"), QStringLiteral("dead_diaeresis"),
                      QStringLiteral("assw"), QStringLiteral("-k"),
                      QStringLiteral("dead_diaeresis"), QStringLiteral("ord"), QStringLiteral("-k"),
                      QStringLiteral("Return")});
        });
    QString typed;
    script.When(
        "the action button", [] { return FocusedId() == IDC_RUN; },
        [&] {
            typed = static_cast<QLineEdit*>(ControlWidget(dialog, IDC_PASSWORD))->text();
            SendKeys({QStringLiteral("-k"), QStringLiteral("Return")});
        });
    script.When(
        "the decrypted file, or a question",
        [&] {
            return ActiveModal<QMessageBox>() != nullptr ||
                   (JobsDone() && PathExists(dir / "file"));
        },
        [&] {
            if (auto* box = ActiveModal<QMessageBox>()) {
                question = box->text().toStdString();
                box->reject();
            }
            // To the dialog itself: where the compositor moved the keyboard away, nothing has
            // the focus.
            QTest::keyClick(ControlWidget(dialog, IDC_PASSWORD)->window(), Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(typed.toStdString(), "P\xc3\xa4ssw\xc3\xb6rd");
    EXPECT_EQ(question, "");
    EXPECT_EQ(ReadBytes(dir / "file"), ReadBytes(vectors + "/inputs/pattern-001025.bin"));
}

} // namespace
