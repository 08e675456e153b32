// Starting jobs from the dialog: the checks and their boxes, whole jobs through the worker,
// the busy state with its fill, and the "Error" box of a failed job.

#include "dialog_fixture.h"
#include "engine/file_transform.h"
#include "jobs/job_messages.h"
#include "jobs/job_runner.h"
#include "platform/files/file_faults.h"
#include "platform/files/threads.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QRegion>
#include <QTest>
#include <QWidget>
#include <fcntl.h>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

void Fill(MainDialog& dialog, const std::string& source, const std::string& destination,
          const std::string& password) {
    SetDlgItemText(dialog.window(), IDC_SOURCE, source.c_str());
    SetDlgItemText(dialog.window(), IDC_DESTINATION, destination.c_str());
    SetDlgItemText(dialog.window(), IDC_PASSWORD, password.c_str());
    dialog.ExchangeData(MainDialog::Exchange::ToMembers);
}

using Checks = MainDialogTest;

TEST_F(Checks, OneBoxPerClickInTheFixedOrder) {
    TempDir dir;
    struct Case {
        std::string source;
        std::string destination;
        std::string password;
        std::string text;
    } cases[] = {
        {"", "", "", "Source file name is missed."},
        {"x", "", "", "Destination file name is missed."},
        {"x", "y", "", "Password is missed."},
        {dir / "missing", "y", "p", "File '" + dir / "missing" + "' does not exist."},
        {dir.path(), "y", "p", "File '" + dir.path() + "' does not exist."},
        {" ", " ", " ", "File ' ' does not exist."},
    };
    for (const Case& c : cases) {
        MainDialog dialog;
        SeenBox box;
        ModalScript script;
        script.When("the dialog is shown", DialogReady, [&] {
            Fill(dialog, c.source, c.destination, c.password);
            Click(ControlWidget(dialog, IDC_RUN));
        });
        AnswerBox(script, box, &dialog);
        script.When(
            "the box is gone", [&] { return RunningDialog() == dialog.window(); },
            [&] { Key(Qt::Key_Escape); });
        dialog.RunModal(nullptr, 0);
        EXPECT_TRUE(box.seen);
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.title, "");
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_FALSE(JobUnderWay());
    }
}

TEST_F(Checks, AThreadThatCannotBeCreatedIsReportedWithItsErrorNumber) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(10));
    MainDialog dialog;
    SeenBox box;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "plain", dir / "out", "pw");
        InjectFileFailure(FileCall::CreateThread, 11);
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, box, &dialog);
    script.When(
        "the box is gone", [&] { return RunningDialog() == dialog.window(); },
        [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    ClearFileFailures();
    EXPECT_EQ(box.text, "Cannot create thread. Error: 11");
    EXPECT_EQ(box.title, "");
    EXPECT_FALSE(JobUnderWay());
    EXPECT_FALSE(testing_support::PathExists(dir / "out"));
}

using Jobs = MainDialogTest;

TEST_F(Jobs, EncryptAndDecryptThroughTheDialogMatchTheKnownAnswers) {
    TempDir dir;
    WriteBytes(dir / "report.doc",
               ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/inputs/pattern-004096.bin"));
    MainDialog dialog;
    dialog.sourcePath = dir / "report.doc";
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_EQ(FocusedId(), IDC_PASSWORD);
        Type("a");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    script.When(
        "the job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
        [&] {
            EXPECT_EQ(ReadBytes(dir / "report.doc.enx"),
                      ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p01__pattern-004096.enc"));
            EXPECT_TRUE(WidgetFromHandle(dialog.window())->isEnabled());
            EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), "");
            EXPECT_EQ(ControlText(dialog, IDC_SOURCE), dir / "report.doc");
            EXPECT_EQ(ControlText(dialog, IDC_PASSWORD), "a");
            // Now the other way: a new source gets a fresh proposal.
            SetFocus(Control(dialog, IDC_SOURCE));
            SetDlgItemText(dialog.window(), IDC_SOURCE, (dir / "report.doc.enx").c_str());
            QTest::keyClick(ControlWidget(dialog, IDC_SOURCE), Qt::Key_End);
            Key(Qt::Key_Return);
        });
    script.When(
        "the decrypt proposal", [&] { return FocusedId() == IDC_PASSWORD; },
        [&] {
            EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
            EXPECT_EQ(dialog.destinationPath, dir / "report.doc");
            SetDlgItemText(dialog.window(), IDC_DESTINATION, (dir / "back").c_str());
            dialog.ExchangeData(MainDialog::Exchange::ToMembers, IDC_DESTINATION);
            Click(ControlWidget(dialog, IDC_RUN));
        });
    script.When(
        "the second job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
        [&] { Key(Qt::Key_Escape); });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_EQ(ReadBytes(dir / "back"),
              ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/inputs/pattern-004096.bin"));
}

TEST_F(Jobs, AFailedJobShowsItsErrorAfterTheDialogIsEnabledAgain) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(5000));
    MainDialog dialog;
    SeenBox box;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "plain", dir / "gone/out", "pw");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, box, &dialog);
    script.When("the worker ended", JobsDone, [&] {
        // A failed job leaves every field as it was.
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "gone/out");
        EXPECT_EQ(dialog.destinationPath, dir / "gone/out");
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    // The number alone would tell the user nothing.
    EXPECT_EQ(box.text, "Encryption error: 2.\n\nNo file can be made in the destination's folder: "
                        "No such file or directory.");
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_TRUE(box.ownerIdle);
}

TEST_F(Jobs, ASecondClickBeforeTheJobHasStartedStartsNothing) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(3000));
    MainDialog dialog;
    int workers = 0;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "plain", dir / "out", "pw");
        SendMessage(dialog.window(), WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0);
        SendMessage(dialog.window(), WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0);
        workers = RunningWorkers();
    });
    script.When(
        "the job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
        [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(workers, 1);
    EXPECT_EQ(ReadBytes(dir / "out").size(), 3000u);
}

TEST_F(Jobs, AJobWaitingForAFileAnotherProgramHoldsShowsTheWorkingPointer) {
    // A file server holds a lease on a file its client has open: the job's open waits until it
    // lets go, up to the system's lease-break time, before the job can show its fill.
    TempDir dir;
    WriteBytes(dir / "shared", Pattern(3000));
    const int held = HoldLease(dir / "shared");
    if (held < 0) {
        GTEST_SKIP() << "the file system gives no leases here";
    }
    MainDialog dialog;
    const auto pointer = [] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
    };
    Qt::CursorShape whileWaiting = Qt::ArrowCursor;
    Qt::CursorShape afterwards = Qt::BusyCursor;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "shared", dir / "out", "pw");
        Click(ControlWidget(dialog, IDC_RUN));
    });
    script.When(
        "the job waits for the file", [&] { return ::fcntl(held, F_GETLEASE) != F_WRLCK; },
        [&] {
            whileWaiting = pointer();
            ::fcntl(held, F_SETLEASE, F_UNLCK);
        });
    script.When(
        "the job ended", [&] { return JobsDone() && dialog.destinationPath.empty(); },
        [&] {
            afterwards = pointer();
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
    LetGo(held);
    EXPECT_EQ(whileWaiting, Qt::BusyCursor);
    EXPECT_EQ(afterwards, Qt::ArrowCursor);
    EXPECT_EQ(ReadBytes(dir / "out").size(), 3000u);
}

TEST_F(Jobs, TheWorkerTakesTheTextsAsTheyStoodAtTheClick) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(3000));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "plain", dir / "out", "pw");
        SendMessage(dialog.window(), WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0);
        // Changed before the worker could have read them.
        dialog.sourcePath = dir / "elsewhere";
        dialog.destinationPath = dir / "other";
        dialog.password.assign(100, 'z');
    });
    script.When("the job ended", JobsDone, [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    ASSERT_TRUE(testing_support::PathExists(dir / "out"));
    EXPECT_FALSE(testing_support::PathExists(dir / "other"));
    FileTransform check;
    check.checkPlausibility = false;
    ASSERT_TRUE(check.DecryptFile(dir / "out", dir / "back", "pw"));
    EXPECT_EQ(ReadBytes(dir / "back"), Pattern(3000));
}

TEST_F(Jobs, LeavingWhileAWorkerRunsNeitherCrashesNorHangs) {
    TempDir dir;
    WriteBytes(dir / "plain", Pattern(2 * 1024 * 1024));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Fill(dialog, dir / "plain", dir / "out", "pw");
        SendMessage(dialog.window(), WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0);
        SendMessage(dialog.window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_TRUE(WaitForWorkers(std::chrono::seconds(20)));
    EXPECT_EQ(ReadBytes(dir / "out").size(), 2u * 1024u * 1024u);
}

using Busy = MainDialogTest;

// The rows at the left edge of the client area that show the white fill.
int WhiteRowsAtLeftEdge(QWidget* dialog) {
    const QImage image = dialog->grab().toImage();
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        rows += image.pixelColor(1, y) == QColor(Qt::white) ? 1 : 0;
    }
    return rows;
}

// The offscreen platform shows nothing behind a window, so the fill is white there.
TEST_F(Busy, TheFillCoversTheSurfaceAtTheStartAndShrinksFromTheBottom) {
    MainDialog dialog;
    ModalScript script;
    int height = 0;
    script.When("the dialog is shown", DialogReady, [&] {
        height = dialog.overlay.clientRect.bottom;
        EXPECT_GT(height, 100);
        EXPECT_EQ(dialog.overlay.fillColor, 0xFFFFFFu);
        EXPECT_EQ(GetWindowLong(dialog.window(), GWL_EXSTYLE) & static_cast<LONG>(WS_EX_LAYERED),
                  0);
        EXPECT_EQ(WhiteRowsAtLeftEdge(WidgetFromHandle(dialog.window())), 0);
        SendMessage(dialog.window(), WM_JOB_STARTED, 10, 0);
        EXPECT_EQ(dialog.overlayActive, 1);
        EXPECT_FALSE(WidgetFromHandle(dialog.window())->isEnabled());
        EXPECT_EQ(dialog.overlay.total, 10);
    });
    script.When(
        "the whole surface is white",
        [&] { return WhiteRowsAtLeftEdge(WidgetFromHandle(dialog.window())) == height; },
        [&] {
            // A disabled dialog takes no keys and cannot be closed.
            QTest::keyClick(WidgetFromHandle(dialog.window()), Qt::Key_Escape);
            WidgetFromHandle(dialog.window())->close();
            EXPECT_EQ(RunningDialog(), dialog.window());
            // The controls keep their own look over the fill.
            const QImage image = WidgetFromHandle(dialog.window())->grab().toImage();
            const QPoint inside = ControlWidget(dialog, IDC_MODE_ENCRYPT)->geometry().topRight();
            EXPECT_NE(image.pixelColor(inside - QPoint(2, -2)), QColor(Qt::white));
            EXPECT_TRUE(WidgetFromHandle(dialog.window())->mask().isEmpty());
            for (WPARAM p = 0; p < 5; ++p) {
                SendMessage(dialog.window(), WM_JOB_PROGRESS, p, 0);
            }
        });
    script.When(
        "the lower half shows again",
        [&] {
            return WhiteRowsAtLeftEdge(WidgetFromHandle(dialog.window())) ==
                   height - (4 * height) / 10;
        },
        [&] { SendMessage(dialog.window(), WM_JOB_PROGRESS, 10, 0); });
    script.When(
        "the fill is gone at the total",
        [&] { return WhiteRowsAtLeftEdge(WidgetFromHandle(dialog.window())) == 0; },
        [&] {
            EXPECT_FALSE(WidgetFromHandle(dialog.window())->isEnabled());
            dialog.destinationPath = "kept until success";
            SendMessage(dialog.window(), WM_JOB_FINISHED, 0, 0);
            EXPECT_EQ(dialog.overlayActive, 0);
            EXPECT_TRUE(WidgetFromHandle(dialog.window())->isEnabled());
            EXPECT_EQ(dialog.destinationPath, "");
            Key(Qt::Key_Escape);
        });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
}

} // namespace
