// Choosing files: the Open dialog behind both browse buttons, a drop on the source field, and
// the Enter key that leads from the source to the password to the action button.

#include "dialog_fixture.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <fcntl.h>
#include <utility>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Answers the next Open dialog by typing a name, or cancels it when name is empty.
void AnswerOpenDialog(ModalScript& script, const std::string& name) {
    script.When(
        "the Open dialog", [] { return ActiveModal<QFileDialog>() != nullptr; },
        [name] {
            QFileDialog* open = ActiveModal<QFileDialog>();
            if (name.empty()) {
                QTest::keyClick(open, Qt::Key_Escape);
                return;
            }
            auto* edit = open->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(edit, nullptr);
            edit->setFocus();
            // Set whole rather than typed, so no completion popup takes the Enter key.
            edit->setText(QString::fromStdString(name));
            QTest::keyClick(edit, Qt::Key_Return);
        });
}

bool BackInDialog(const MainDialog& dialog) {
    return RunningDialog() == dialog.window() && ActiveModal<QFileDialog>() == nullptr &&
           ActiveModal<QMessageBox>() == nullptr && DialogReady();
}

using Browse = MainDialogTest;

TEST_F(Browse, ASourceFillsBothFieldsAndMovesToThePassword) {
    TempDir dir;
    WriteBytes(dir / "notes.txt", Pattern(10));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady,
                [&] { Click(ControlWidget(dialog, IDC_BROWSE_SOURCE)); });
    AnswerOpenDialog(script, dir / "notes.txt");
    script.When(
        "back in the dialog", [&] { return BackInDialog(dialog); },
        [&] {
            EXPECT_EQ(ControlText(dialog, IDC_SOURCE), dir / "notes.txt");
            EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "notes.txt.enx");
            EXPECT_EQ(FocusedId(), IDC_PASSWORD);
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
}

TEST_F(Browse, ASourceLeavesAChosenDestinationAndTheFocusAlone) {
    TempDir dir;
    WriteBytes(dir / "notes.txt", Pattern(10));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        SetDlgItemText(dialog.window(), IDC_DESTINATION, "kept");
        dialog.ExchangeData(MainDialog::Exchange::ToMembers, IDC_DESTINATION);
        Click(ControlWidget(dialog, IDC_BROWSE_SOURCE));
    });
    AnswerOpenDialog(script, dir / "notes.txt");
    script.When(
        "back in the dialog", [&] { return BackInDialog(dialog); },
        [&] {
            EXPECT_EQ(ControlText(dialog, IDC_SOURCE), dir / "notes.txt");
            EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), "kept");
            EXPECT_EQ(FocusedId(), IDC_BROWSE_SOURCE);
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
}

TEST_F(Browse, AFolderIsListedWithoutOpeningItsFiles) {
    // Another user's file with a lease held on it: an open would wait until that user let go,
    // at most the system's lease-break time, for each such file.
    TempDir dir;
    WriteBytes(dir / "held", Pattern(10));
    const int held = HoldLease(dir / "held");
    if (held < 0) {
        GTEST_SKIP() << "the file system gives no leases here";
    }
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady,
                [&] { Click(ControlWidget(dialog, IDC_BROWSE_SOURCE)); });
    AnswerOpenDialog(script, dir.path()); // a folder's name opens the folder
    script.When(
        "the folder listed with the kinds of its files",
        [&] {
            QFileDialog* open = ActiveModal<QFileDialog>();
            auto* model = open != nullptr ? open->findChild<QFileSystemModel*>() : nullptr;
            const QModelIndex file = model != nullptr
                                         ? model->index(QString::fromStdString(dir / "held"))
                                         : QModelIndex();
            return file.isValid() && !model->type(file).isEmpty();
        },
        [] {
            ActiveModal<QFileDialog>()->grab(); // its icons drawn, as on a screen
            QTest::keyClick(ActiveModal<QFileDialog>(), Qt::Key_Escape);
        });
    script.When(
        "back in the dialog", [&] { return BackInDialog(dialog); }, [] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    const int lease = ::fcntl(held, F_GETLEASE); // still whole: nobody asked for it
    LetGo(held);
    EXPECT_EQ(lease, F_WRLCK);
}

TEST_F(Browse, ANewNameCanBeTypedForTheDestinationAndCancellingChangesNothing) {
    TempDir dir;
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady,
                [&] { Click(ControlWidget(dialog, IDC_BROWSE_DESTINATION)); });
    AnswerOpenDialog(script, dir / "new-name");
    script.When(
        "back in the dialog", [&] { return BackInDialog(dialog); },
        [&] {
            EXPECT_EQ(dialog.destinationPath, dir / "new-name");
            EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "new-name");
            EXPECT_EQ(ControlText(dialog, IDC_RUN), "Encrypt");
            Click(ControlWidget(dialog, IDC_BROWSE_SOURCE));
        });
    AnswerOpenDialog(script, "");
    script.When(
        "back again", [&] { return BackInDialog(dialog); },
        [&] {
            EXPECT_EQ(dialog.sourcePath, "");
            EXPECT_EQ(ControlText(dialog, IDC_SOURCE), "");
            EXPECT_EQ(dialog.destinationPath, dir / "new-name");
            Click(ControlWidget(dialog, IDC_BROWSE_DESTINATION));
        });
    AnswerOpenDialog(script, "");
    script.When(
        "back once more", [&] { return BackInDialog(dialog); },
        [&] {
            EXPECT_EQ(dialog.destinationPath, dir / "new-name");
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
}

// Drags local files onto a widget as a file manager would; true when the drop was taken. A
// file manager escapes each byte of a name, UTF-8 or not.
bool DropFiles(QWidget* target, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls.push_back(
            QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/")));
    }
    data.setUrls(urls);
    QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

using Drop = MainDialogTest;

TEST_F(Drop, TheFirstOfSeveralFilesBecomesTheSource) {
    TempDir dir;
    // Longer than the 254 characters a fixed buffer would keep.
    std::string longName = dir / (std::string(240, 'n') + ".enx");
    WriteBytes(longName, Pattern(3));
    WriteBytes(dir / "second", Pattern(3));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_FALSE(DropFiles(ControlWidget(dialog, IDC_PASSWORD), {dir / "second"}));
        EXPECT_FALSE(DropFiles(ControlWidget(dialog, IDC_DESTINATION), {dir / "second"}));
        EXPECT_EQ(dialog.sourcePath, "");
        EXPECT_TRUE(DropFiles(ControlWidget(dialog, IDC_SOURCE), {longName, dir / "second"}));
        EXPECT_EQ(dialog.sourcePath, longName);
        EXPECT_EQ(ControlText(dialog, IDC_SOURCE), longName);
        EXPECT_EQ(dialog.destinationPath, longName.substr(0, longName.size() - 4));
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
        EXPECT_EQ(FocusedId(), IDC_PASSWORD);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

TEST_F(Drop, AFolderIsTakenAndRefusedWhenTheJobStarts) {
    TempDir dir;
    MainDialog dialog;
    SeenBox box;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_TRUE(DropFiles(ControlWidget(dialog, IDC_SOURCE), {dir.path()}));
        EXPECT_EQ(dialog.destinationPath, dir.path() + ".enx");
        Type("pw");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, box, &dialog);
    script.When(
        "back in the dialog", [&] { return BackInDialog(dialog); }, [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(box.text, "File '" + dir.path() + "' does not exist.");
}

// A name that is no UTF-8 shows as U+FFFD, which names another file; so does a line break,
// after which a one-line field would show nothing. The name's own bytes go through the fields,
// clicked in and out of, to the job, and the other file is left alone.
TEST_F(Drop, ANameThatIsNoUtf8OrHasALineBreakIsTheFileThatIsEncrypted) {
    for (const auto& [given, replaced] : {std::pair{"caf\xE9.txt", "caf\xEF\xBF\xBD.txt"},
                                          std::pair{"two\nlines", "two\xEF\xBF\xBDlines"}}) {
        TempDir dir;
        const std::string name = dir / given;
        const std::string shown = dir / replaced;
        WriteBytes(name, ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/inputs/pattern-001025.bin"));
        WriteBytes(shown, Pattern(7));
        MainDialog dialog;
        ModalScript script;
        script.When("the dialog is shown", DialogReady, [&] {
            EXPECT_TRUE(DropFiles(ControlWidget(dialog, IDC_SOURCE), {name}));
            Click(ControlWidget(dialog, IDC_SOURCE));
            Click(ControlWidget(dialog, IDC_DESTINATION));
            Click(ControlWidget(dialog, IDC_PASSWORD));
            EXPECT_EQ(dialog.sourcePath, name);
            EXPECT_EQ(dialog.destinationPath, name + ".enx");
            const auto* destination =
                qobject_cast<QLineEdit*>(ControlWidget(dialog, IDC_DESTINATION));
            EXPECT_EQ(destination->text().toStdString(), shown + ".enx");
            Type("abc");
            Click(ControlWidget(dialog, IDC_RUN));
        });
        script.When(
            "the job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
            [&] { Key(Qt::Key_Escape); });
        dialog.RunModal(nullptr, 0);
        EXPECT_EQ(ReadBytes(name + ".enx"),
                  ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p02__pattern-001025.enc"));
        EXPECT_EQ(::access((shown + ".enx").c_str(), F_OK), -1);
    }
}

using EnterKey = MainDialogTest;

// Into a field by a click, all of its text selected by the keyboard and typed over.
void Retype(MainDialog& dialog, int id, const std::string& text) {
    Click(ControlWidget(dialog, id));
    QTest::keyClick(FocusedWidget(), Qt::Key_A, Qt::ControlModifier);
    Type(QString::fromStdString(text));
}

TEST_F(EnterKey, InTheSourceField) {
    TempDir dir;
    WriteBytes(dir / "a.txt", Pattern(5));
    SeenBox missing;
    SeenBox empty;
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_EQ(FocusedId(), IDC_SOURCE);
        Type(QString::fromStdString(dir / "a.txt"));
        Key(Qt::Key_Return);
        EXPECT_EQ(dialog.destinationPath, dir / "a.txt.enx");
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "a.txt.enx");
        EXPECT_EQ(FocusedId(), IDC_PASSWORD);
        // With the destination filled, Enter in the source goes on to the destination.
        SetFocus(Control(dialog, IDC_SOURCE));
        Key(Qt::Key_Return);
        EXPECT_EQ(FocusedId(), IDC_DESTINATION);
        EXPECT_EQ(dialog.destinationPath, dir / "a.txt.enx");
        SetFocus(Control(dialog, IDC_SOURCE));
        QTest::keyClick(FocusedWidget(), Qt::Key_A, Qt::ControlModifier);
        Type(QString::fromStdString(dir / "missing"));
        Key(Qt::Key_Return);
    });
    AnswerBox(script, missing, &dialog);
    script.When(
        "back in the source", [&] { return BackInDialog(dialog) && FocusedId() == IDC_SOURCE; },
        [&] {
            QTest::keyClick(FocusedWidget(), Qt::Key_A, Qt::ControlModifier);
            Key(Qt::Key_Delete);
            Key(Qt::Key_Return);
        });
    AnswerBox(script, empty, &dialog);
    // An empty source is followed by the Tab press: the focus moves on.
    script.When(
        "the Tab press moved on", [&] { return FocusedId() == IDC_BROWSE_SOURCE; },
        [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(missing.text, "File '" + dir / "missing" + "' does not exist.");
    EXPECT_EQ(missing.title, "Error");
    EXPECT_EQ(missing.icon, QMessageBox::NoIcon);
    EXPECT_EQ(empty.text, "File '' does not exist.");
}

TEST_F(EnterKey, ACorrectedSourceGetsItsOwnProposalUnlessTheUserNamedTheDestination) {
    TempDir dir;
    WriteBytes(dir / "a.txt", Pattern(5));
    WriteBytes(dir / "b.txt.enx", Pattern(5));
    WriteBytes(dir / "c.txt", Pattern(5));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(dir / "a.txt"));
        Key(Qt::Key_Return);
        ASSERT_EQ(FocusedId(), IDC_PASSWORD);
        // Back to the source, and another file chosen instead.
        Retype(dialog, IDC_SOURCE, dir / "b.txt.enx");
        Key(Qt::Key_Return);
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "b.txt");
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
        EXPECT_TRUE(Checked(dialog, IDC_MODE_DECRYPT));
        EXPECT_EQ(FocusedId(), IDC_PASSWORD);
        // A name typed by the user stays, whatever source follows.
        Retype(dialog, IDC_DESTINATION, dir / "mine.enx");
        Retype(dialog, IDC_SOURCE, dir / "c.txt");
        Key(Qt::Key_Return);
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "mine.enx");
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
        EXPECT_EQ(FocusedId(), IDC_DESTINATION);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

// Corrected and left by a click, never chosen again: the name proposed for the first file goes
// with it, or a plaintext could be written as a.txt.enx.
TEST_F(EnterKey, ASourceCorrectedWithoutEnterTakesTheProposalAlong) {
    TempDir dir;
    WriteBytes(dir / "a.txt", Pattern(5));
    WriteBytes(dir / "b.txt", Pattern(6));
    WriteBytes(dir / "t.txt.enx", Pattern(7));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(dir / "a.txt"));
        Key(Qt::Key_Return);
        ASSERT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "a.txt.enx");
        Retype(dialog, IDC_SOURCE, dir / "t.txt.enx");
        Click(ControlWidget(dialog, IDC_PASSWORD));
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "t.txt");
        EXPECT_TRUE(Checked(dialog, IDC_MODE_DECRYPT));
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
        // A name that is no file takes the proposal back, until a correction names one.
        Retype(dialog, IDC_SOURCE, dir / "typo");
        Click(ControlWidget(dialog, IDC_PASSWORD));
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), "");
        Retype(dialog, IDC_SOURCE, "");
        Click(ControlWidget(dialog, IDC_PASSWORD));
        Retype(dialog, IDC_SOURCE, dir / "b.txt");
        Click(ControlWidget(dialog, IDC_PASSWORD));
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "b.txt.enx");
        EXPECT_TRUE(Checked(dialog, IDC_MODE_ENCRYPT));
        Retype(dialog, IDC_SOURCE, dir / "typo");
        Click(ControlWidget(dialog, IDC_PASSWORD));
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), "");
        // One the user typed stays.
        Retype(dialog, IDC_DESTINATION, dir / "mine.enx");
        Retype(dialog, IDC_SOURCE, dir / "a.txt");
        Click(ControlWidget(dialog, IDC_PASSWORD));
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "mine.enx");
        // And the job writes where the field says.
        Retype(dialog, IDC_DESTINATION, "");
        Key(Qt::Key_Delete);
        Retype(dialog, IDC_SOURCE, dir / "a.txt");
        Key(Qt::Key_Return);
        Retype(dialog, IDC_SOURCE, dir / "b.txt");
        Retype(dialog, IDC_PASSWORD, "pw");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    script.When(
        "the job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
        [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(ReadBytes(dir / "b.txt.enx").size(), 6u);
    EXPECT_FALSE(testing_support::PathExists(dir / "a.txt.enx"));
}

TEST_F(EnterKey, InTheDestinationAndPasswordFields) {
    MainDialog dialog;
    std::vector<int> focus;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        SetFocus(Control(dialog, IDC_DESTINATION));
        Key(Qt::Key_Return); // empty: acts as Tab
    });
    script.When(
        "on the browse button", [&] { return FocusedId() == IDC_BROWSE_DESTINATION; },
        [&] {
            SetFocus(Control(dialog, IDC_DESTINATION));
            Type("out");
            Key(Qt::Key_Return);
            focus.push_back(FocusedId());
            Type("secret");
            Key(Qt::Key_Return); // saves the password and acts as Tab; never starts the job
        });
    script.When(
        "on the action button", [&] { return FocusedId() == IDC_RUN; },
        [&] {
            EXPECT_EQ(dialog.password, "secret");
            EXPECT_EQ(dialog.destinationPath, "out");
            EXPECT_FALSE(testing_support::PathExists("out"));
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(focus, std::vector<int>{IDC_PASSWORD});
}

TEST_F(EnterKey, TheKeyboardAloneCarriesAFileThroughAJob) {
    TempDir dir;
    WriteBytes(dir / "report.doc",
               ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/inputs/pattern-001025.bin"));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(dir / "report.doc"));
        Key(Qt::Key_Return);
        Type("abc");
        Key(Qt::Key_Return);
    });
    script.When(
        "on the action button", [&] { return FocusedId() == IDC_RUN; },
        [&] { Key(Qt::Key_Return); });
    script.When(
        "the job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
        [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(ReadBytes(dir / "report.doc.enx"),
              ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p02__pattern-001025.enc"));
}

} // namespace
