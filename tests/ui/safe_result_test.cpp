// What the dialog's jobs do to an existing destination: they ask before replacing it, and a job
// that fails or is killed leaves it exactly as it was.

#include "dialog_fixture.h"
#include "jobs/job_runner.h"
#include "platform/files/file_faults.h"
#include "platform/files/safe_output.h"
#include "platform/window/dialogs.h"
#include "platform/window/startup.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::Bytes;
using testing_support::FilesIn;
using testing_support::HoldsAnUnnamedFile;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const Bytes kOld{'o', 'l', 'd'};

void Fill(MainDialog& dialog, const std::string& source, const std::string& destination) {
    SetDlgItemText(dialog.window(), IDC_SOURCE, source.c_str());
    SetDlgItemText(dialog.window(), IDC_DESTINATION, destination.c_str());
    SetDlgItemText(dialog.window(), IDC_PASSWORD, "pw");
    dialog.ExchangeData(MainDialog::Exchange::ToMembers);
}

using SafeResults = MainDialogTest;

// Runs the dialog with the fields filled and the action button clicked, answers the first box
// and waits until `done` holds.
struct Outcome {
    SeenBox question;
    int focus = 0;
};
Outcome ClickRun(const std::string& source, const std::string& destination, Answer answer,
                 std::function<bool()> done) {
    MainDialog dialog;
    Outcome outcome;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, source, destination);
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, outcome.question, &dialog, answer);
    script.When(
        "the end of it all",
        [&] { return ActiveModal<QMessageBox>() == nullptr && JobsDone() && done(); },
        [&] {
            outcome.focus = FocusedId();
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
    return outcome;
}

TEST_F(SafeResults, AnExistingDestinationIsReplacedOnlyWhenTheUserSaysYes) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(5000));
    WriteBytes(dir / "plain.enx", kOld);

    for (Answer no : {Answer{}, Answer{Qt::Key_Escape}, Answer{Qt::Key_Return, QMessageBox::No}}) {
        // The focus goes to the destination field, or the script stalls.
        Outcome outcome = ClickRun(dir / "plain", dir / "plain.enx", no,
                                   [] { return FocusedId() == IDC_DESTINATION; });
        EXPECT_EQ(outcome.question.text,
                  "File '" + dir / "plain.enx" + "' already exists.\nDo you want to replace it?");
        EXPECT_EQ(outcome.question.title, "Vanthe");
        EXPECT_EQ(outcome.question.icon, QMessageBox::Warning);
        EXPECT_EQ(outcome.question.defaultButton, QMessageBox::No);
        EXPECT_EQ(ReadBytes(dir / "plain.enx"), kOld);
    }

    Outcome yes = ClickRun(dir / "plain", dir / "plain.enx", {Qt::Key_Return, QMessageBox::Yes},
                           [&] { return ReadBytes(dir / "plain.enx").size() == 5000; });
    EXPECT_TRUE(yes.question.seen);
    EXPECT_EQ(ReadBytes(dir / "plain.enx").size(), 5000u);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"plain", "plain.enx"}));
}

TEST_F(SafeResults, TheSourceItselfIsRefusedWithoutAQuestion) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(5000));
    Outcome outcome = ClickRun(dir / "plain", dir / "plain", {}, [] { return true; });
    EXPECT_EQ(outcome.question.text,
              "Encryption error: 32.\n\nThe destination is the source file itself.");
    EXPECT_EQ(outcome.question.title, "Error");
    EXPECT_EQ(ReadBytes(dir / "plain"), Pattern(5000));
}

TEST_F(SafeResults, AFailedJobLeavesTheOldDestinationAndNoTemporaryFile) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(300 * 1024));
    WriteBytes(dir / "plain.enx", kOld);
    // The disk fills up part way through.
    InjectFileFailure(FileCall::Write, 28, 0);
    MainDialog dialog;
    SeenBox question;
    SeenBox error;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "plain", dir / "plain.enx");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, question, &dialog, {Qt::Key_Return, QMessageBox::Yes});
    AnswerBox(script, error, &dialog);
    script.When("the job ended", JobsDone, [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    ClearFileFailures();
    EXPECT_EQ(
        error.text,
        "Encryption error: 28.\n\nThe destination cannot be written: No space left on device.");
    EXPECT_EQ(ReadBytes(dir / "plain.enx"), kOld);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"plain", "plain.enx"}));
}

// Runs only in a child process of its own (see the next test): a job that replaces a file and
// lasts long enough to be killed.
TEST_F(SafeResults, DISABLED_ChildRunsALongJob) {
    const char* folder = std::getenv("VANTHE_TEST_CHILD_FOLDER");
    ASSERT_NE(folder, nullptr);
    const std::string dir = folder;
    MainDialog dialog;
    SeenBox question;
    ModalScript script(std::chrono::seconds(60));
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir + "/big", dir + "/big.enx");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, question, &dialog, {Qt::Key_Return, QMessageBox::Yes});
    script.When("the job runs", JobUnderWay, [] {});
    script.When("the job ended", JobsDone, [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
}

TEST_F(SafeResults, KillingTheProgramMidJobLeavesTheOldDestination) {
    TempDir dir;
    int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::ftruncate(fd, 2LL * 1024 * 1024 * 1024), 0);
    ::close(fd);
    WriteBytes(dir / "big.enx", kOld);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("VANTHE_TEST_CHILD_FOLDER", dir.path().c_str(), 1);
        ::execl("/proc/self/exe", "ui_tests", "--gtest_also_run_disabled_tests",
                "--gtest_filter=SafeResults.DISABLED_ChildRunsALongJob",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    bool killed = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!killed && std::chrono::steady_clock::now() < deadline) {
        if (HoldsAnUnnamedFile(child)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::kill(child, SIGTERM);
            killed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!killed) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(killed) << "the job never started writing";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(ReadBytes(dir / "big.enx"), kOld);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"big", "big.enx"}));
}

// Runs only in a child process of its own (see the next test), on the Wayland compositor the
// parent started: a long job into a result with a temporary name, as on a FAT stick.
TEST_F(SafeResults, DISABLED_ChildRunsAJobOnWayland) {
    const char* folder = std::getenv("VANTHE_TEST_CHILD_FOLDER");
    ASSERT_NE(folder, nullptr);
    const std::string dir = folder;
    // As the program's main sets it up.
    ForceNamedTemporaryForTesting(true);
    CleanUpResultsOnFatalSignals(nullptr);
    SetDisplayLostHandler(&RemoveUnpublishedResults);
    MainDialog dialog;
    ModalScript script(std::chrono::seconds(60));
    // Shown is enough: a compositor without a seat activates no window.
    const auto shown = [] {
        const QWidget* window = WidgetFromHandle(RunningDialog());
        return window != nullptr && window->isVisible();
    };
    script.When("the dialog is shown", shown, [&] {
        Fill(dialog, dir + "/big", dir + "/big.enx");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    script.When("the job ended", JobsDone, [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
}

TEST_F(SafeResults, ACompositorThatDiesMidJobLeavesNoTemporaryFile) {
    // Qt ends a Wayland client whose compositor is gone with _exit(), which no signal handler
    // or atexit() sees; a FAT stick would keep the part of the result written so far.
    if (std::system("command -v weston >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs weston";
    }
    TempDir dir;
    TempDir runtime;
    ::chmod(runtime.path().c_str(), 0700);
    int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::ftruncate(fd, 2LL * 1024 * 1024 * 1024), 0);
    ::close(fd);

    pid_t server = ::fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        ::execlp("weston", "weston", "--backend=headless-backend.so", "--use-pixman",
                 "--socket=wayland-lost", "--idle-time=0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto waitFor = [](const std::function<bool()>& ready, int seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!ready() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ready();
    };
    const bool listening =
        waitFor([&] { return ::access((runtime / "wayland-lost").c_str(), F_OK) == 0; }, 20);

    pid_t child = -1;
    if (listening) {
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("VANTHE_TEST_CHILD_FOLDER", dir.path().c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
            ::setenv("WAYLAND_DISPLAY", "wayland-lost", 1);
            ::setenv("QT_QPA_PLATFORM", "wayland", 1);
            ::unsetenv("DISPLAY");
            ::execl("/proc/self/exe", "ui_tests", "--gtest_also_run_disabled_tests",
                    "--gtest_filter=SafeResults.DISABLED_ChildRunsAJobOnWayland",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    const auto hasTemporary = [&] {
        for (const std::string& name : FilesIn(dir.path())) {
            if (name.rfind(".vanthe-", 0) == 0) {
                return true;
            }
        }
        return false;
    };
    const bool writing = listening && waitFor(hasTemporary, 60);
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    int status = 0;
    bool ended = false;
    if (child > 0) {
        waitFor([&] { return ended = ended || ::waitpid(child, &status, WNOHANG) == child; }, 30);
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
    }
    ASSERT_TRUE(listening) << "weston did not start";
    ASSERT_TRUE(writing) << "the job never started writing";
    EXPECT_TRUE(ended) << "the program outlived its compositor";
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"big"});
}

} // namespace
