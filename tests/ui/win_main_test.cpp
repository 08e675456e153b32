// The program's main routine: the command-line argument, the dialog's result as exit code.

#include "app/gui/win_main.h"
#include "dialog_fixture.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/resources.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QLineEdit>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

using Entry = MainDialogTest;

// Runs WinMain with a tail; `inDialog` runs once the main dialog is shown and must end it.
int RunWinMain(const std::string& tail, const std::function<void(HWND)>& inDialog,
               SeenBox* box = nullptr) {
    ModalScript script;
    if (box != nullptr) {
        AnswerBox(script, *box);
    } else {
        script.When("the dialog is shown", DialogReady, [&] { inDialog(RunningDialog()); });
    }
    return WinMain(GetModuleHandle(nullptr), tail.c_str());
}

std::string Text(HWND dialog, int id) {
    return qobject_cast<QLineEdit*>(WidgetFromHandle(GetDlgItem(dialog, id)))->text().toStdString();
}

TEST_F(Entry, NoArgumentOpensAnEmptyDialogAndClosingItGivesTwo) {
    std::string source = "unset";
    int code = RunWinMain("", [&](HWND dialog) {
        source = Text(dialog, IDC_SOURCE);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(code, 2);
    EXPECT_EQ(source, "");
}

TEST_F(Entry, ASingleCharacterIsIgnored) {
    std::string source = "unset";
    int code = RunWinMain("x", [&](HWND dialog) {
        source = Text(dialog, IDC_SOURCE);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(code, 2);
    EXPECT_EQ(source, "");
}

TEST_F(Entry, AnExistingFileIsPresetWithItsProposal) {
    TempDir dir;
    WriteBytes(dir / "my file.txt", {1});
    std::string destination;
    int code = RunWinMain(dir / "my file.txt", [&](HWND dialog) {
        destination = Text(dialog, IDC_DESTINATION);
        EXPECT_EQ(FocusedId(), IDC_PASSWORD);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(code, 2);
    EXPECT_EQ(destination, dir / "my file.txt.enx");
}

TEST_F(Entry, AWildcardWhoseFirstMatchIsAFileIsTakenAsTyped) {
    TempDir dir;
    WriteBytes(dir / "b.txt", {1});
    std::string source;
    int code = RunWinMain(dir / "*.txt", [&](HWND dialog) {
        source = Text(dialog, IDC_SOURCE);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(code, 2);
    EXPECT_EQ(source, dir / "*.txt");
}

TEST_F(Entry, ANameThatIsNoFileIsReportedAndTheDialogNeverOpens) {
    TempDir dir;
    for (const std::string& tail : {dir.path(), dir / "missing", "\"" + dir / "a b" + "\""}) {
        SeenBox box;
        int code = RunWinMain(tail, nullptr, &box);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(box.text, "File '" + tail + "' does not exist.");
        EXPECT_EQ(box.title, "Error");
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    }
}

TEST(Program, WithoutADisplayItSaysSoAndExitsWith255) {
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err[1], 2);
        ::close(err[0]);
        ::close(err[1]);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        ::execl(VANTHE_GUI_PATH, VANTHE_GUI_PATH, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(err[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("display"), std::string::npos) << text;
}

} // namespace
