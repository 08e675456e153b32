#include "modal_script.h"
#include "platform/window/dialogs.h"
#include "platform/window/drops.h"
#include "platform/window/file_dialogs.h"
#include "platform/window/menus_icons.h"
#include "platform/window/message_box.h"
#include "platform/window/messaging.h"
#include "platform/window/painting.h"
#include "platform/window/system_info.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "test_dialogs.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using namespace vanthe::test;

namespace {

constexpr UINT WM_APP_COUNT = WM_USER + 50;

HWND Item(const DialogRecorder& recorder, int id) {
    return GetDlgItem(recorder.dialog, id);
}

QWidget* ItemWidget(const DialogRecorder& recorder, int id) {
    return WidgetFromHandle(Item(recorder, id));
}

bool DialogReady() {
    const QWidget* dialog = WidgetFromHandle(RunningDialog());
    return dialog != nullptr && dialog->isVisible() && dialog->isActiveWindow();
}

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(FocusedWidget(), key, modifiers);
}

QMessageBox* BoxSaying(const char* text) {
    auto* box = ActiveModal<QMessageBox>();
    return box != nullptr && box->isVisible() && box->text() == QString::fromUtf8(text) ? box
                                                                                        : nullptr;
}

// Counts WM_APP_COUNT on the dialog's procedure and answers with the count so far.
struct Counter {
    std::atomic<int> count{0};
    std::atomic<bool> wrongThread{false};
    std::thread::id guiThread = std::this_thread::get_id();

    INT_PTR Handle(HWND dialog, UINT message) {
        if (message != WM_APP_COUNT) {
            return FALSE;
        }
        if (std::this_thread::get_id() != guiThread) {
            wrongThread = true;
        }
        SetWindowLongPtr(dialog, DWLP_MSGRESULT, ++count);
        return TRUE;
    }
};

} // namespace

namespace {

std::vector<std::string> droppedPaths;
UINT droppedCount = 0;
UINT copiedIntoSmallBuffer = 0;
HDROP lastDrop = nullptr;
WNDPROC nameProcBefore = nullptr;

LRESULT DropSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DROPFILES) {
        const auto drop = reinterpret_cast<HDROP>(wParam);
        lastDrop = drop;
        droppedCount = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < droppedCount; ++i) {
            std::string path(DragQueryFile(drop, i, nullptr, 0), '\0');
            DragQueryFile(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
            droppedPaths.push_back(path);
        }
        char small[4];
        copiedIntoSmallBuffer = DragQueryFile(drop, 0, small, sizeof small);
    }
    return CallWindowProc(nameProcBefore, window, message, wParam, lParam);
}

bool Send(QWidget* target, QDropEvent& event) {
    event.setAccepted(false);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

} // namespace

TEST(Drops, FilesOnTheAcceptingControlArriveAsOneWmDropFilesReleasedByDefault) {
    droppedPaths.clear();
    DialogRecorder recorder;
    recorder.onMessage = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            nameProcBefore = reinterpret_cast<WNDPROC>(SetWindowLongPtr(
                GetDlgItem(dialog, IDC_NAME), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DropSpy)));
        }
        return FALSE;
    };
    bool enterAccepted = false;
    bool dropAccepted = false;
    bool textRefused = false;
    bool otherControlRefused = false;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile("/data/with blank.txt"),
                       QUrl::fromLocalFile("/data/second.bin"), QUrl::fromLocalFile("/srv/third")});
        QWidget* name = ItemWidget(recorder, IDC_NAME);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        enterAccepted = Send(name, enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        dropAccepted = Send(name, drop);

        QMimeData text;
        text.setText(QStringLiteral("just text"));
        QDragEnterEvent textEnter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, {});
        textRefused = !Send(name, textEnter);
        QDropEvent elsewhere(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        otherControlRefused = !Send(ItemWidget(recorder, IDC_NOTE), elsewhere);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_TRUE(enterAccepted);
    EXPECT_TRUE(dropAccepted);
    EXPECT_TRUE(textRefused);
    EXPECT_TRUE(otherControlRefused);
    EXPECT_EQ(droppedCount, 3u);
    EXPECT_EQ(droppedPaths,
              (std::vector<std::string>{"/data/with blank.txt", "/data/second.bin", "/srv/third"}));
    EXPECT_EQ(copiedIntoSmallBuffer, 3u);
    // The edit's own procedure finished the drop once the spy passed it on.
    EXPECT_EQ(DragQueryFile(lastDrop, 0xFFFFFFFF, nullptr, 0), 0u);
}

namespace {

struct OpenRequest {
    char file[260] = {};
    char title[256] = {};
    OPENFILENAME record;

    OpenRequest() {
        record.lStructSize = sizeof(OPENFILENAME);
        record.lpstrFile = file;
        record.nMaxFile = sizeof file;
        record.lpstrFileTitle = title;
        record.nMaxFileTitle = sizeof title;
        record.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;
    }
};

void TypeIntoFileDialog(const QString& name) {
    auto* dialog = ActiveModal<QFileDialog>();
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, name);
    QTest::keyClick(edit, Qt::Key_Return);
}

bool FileDialogShown() {
    const auto* dialog = ActiveModal<QFileDialog>();
    return dialog != nullptr && dialog->isVisible();
}

} // namespace

TEST(OpenFileDialog, ReturnsANameTheUserTypedForAFileThatDoesNotExistYet) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    OpenRequest request;
    ModalScript script;
    script.When("the file dialog is shown", FileDialogShown,
                [&] { TypeIntoFileDialog(directory.filePath("new-file.bin")); });
    ASSERT_NE(GetOpenFileName(&request.record), FALSE);
    const std::string expected = directory.path().toStdString() + "/new-file.bin";
    EXPECT_EQ(std::string(request.file), expected);
    EXPECT_STREQ(request.title, "new-file.bin");
}

TEST(OpenFileDialog, CancelOrAPathLongerThanTheBufferReturnsZero) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    OpenRequest cancelled;
    ModalScript script;
    script.When("the file dialog is shown", FileDialogShown,
                [] { QTest::keyClick(ActiveModal<QFileDialog>(), Qt::Key_Escape); });
    EXPECT_EQ(GetOpenFileName(&cancelled.record), FALSE);

    OpenRequest tooLong;
    tooLong.record.nMaxFile = 8;
    script.When("the file dialog is shown again", FileDialogShown,
                [&] { TypeIntoFileDialog(directory.filePath("a-rather-long-name.bin")); });
    EXPECT_EQ(GetOpenFileName(&tooLong.record), FALSE);
    EXPECT_EQ(std::string(tooLong.file), "");

    OpenRequest badSize;
    badSize.record.lStructSize = 12;
    EXPECT_EQ(GetOpenFileName(&badSize.record), FALSE);
}

TEST(MessageBoxes, WorkerBoxIsShownInsideANestedBoxWhileOtherSendsAreHandled) {
    constexpr int kSends = 200;
    Counter counter;
    DialogRecorder recorder;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_GO) {
            MessageBox(dialog, "first", "", MB_OK);
            return TRUE;
        }
        return counter.Handle(dialog, message);
    };
    std::thread boxWorker;
    std::thread sender;
    std::atomic<int> workerAnswer{-1};
    std::atomic<bool> sendsAnsweredInOrder{true};
    QString firstTitle = QStringLiteral("unset");
    ModalScript script;
    script
        .When("the form is shown", DialogReady,
              [&] {
                  SetFocus(Item(recorder, IDC_GO));
                  Key(Qt::Key_Space);
              })
        .When(
            "the first box is shown", [] { return BoxSaying("first") != nullptr; },
            [&] {
                const HWND dialog = recorder.dialog;
                boxWorker = std::thread([&, dialog] {
                    workerAnswer =
                        MessageBox(dialog, "from the worker", "Error", MB_OK | MB_ICONERROR);
                });
                sender = std::thread([&, dialog] {
                    for (int i = 1; i <= kSends; ++i) {
                        if (SendMessage(dialog, WM_APP_COUNT, 0, 0) != i) {
                            sendsAnsweredInOrder = false;
                        }
                    }
                });
            })
        .When(
            "the worker's box is shown and the sends are through",
            [&] { return BoxSaying("from the worker") != nullptr && counter.count == kSends; },
            [&] {
                QMessageBox* box = BoxSaying("from the worker");
                EXPECT_EQ(box->icon(), QMessageBox::Critical);
                EXPECT_EQ(box->windowTitle(), QStringLiteral("Error"));
                QTest::keyClick(box, Qt::Key_Return);
            })
        .When(
            "the worker has its answer", [&] { return workerAnswer != -1; },
            [&] {
                QMessageBox* box = BoxSaying("first");
                ASSERT_NE(box, nullptr);
                firstTitle = box->windowTitle();
                QTest::keyClick(box, Qt::Key_Escape);
            })
        .When("the form is back", DialogReady, [] { Key(Qt::Key_Escape); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    if (boxWorker.joinable()) {
        boxWorker.join();
    }
    if (sender.joinable()) {
        sender.join();
    }
    EXPECT_EQ(workerAnswer, IDOK);
    EXPECT_EQ(counter.count, kSends);
    EXPECT_TRUE(sendsAnsweredInOrder);
    EXPECT_FALSE(counter.wrongThread);
    EXPECT_TRUE(firstTitle.isEmpty());
}

TEST(MessageBoxes, WorkerBoxWithNoLoopRunningOrNoOwnerLeftReturnsZeroAtOnce) {
    int withoutOwner = -1;
    int withStaleOwner = -1;
    const auto stale = reinterpret_cast<HWND>(std::uintptr_t{0x7FFF0001}); // never a window
    std::thread worker([&] {
        withoutOwner = MessageBox(nullptr, "nobody shows this", "Error", MB_OK);
        withStaleOwner = MessageBox(stale, "nor this", "Error", MB_OK);
    });
    worker.join();
    EXPECT_EQ(withoutOwner, 0);
    EXPECT_EQ(withStaleOwner, 0);
}

TEST(CrossThreadSend, DialogKeepsRepaintingWhileAWorkerFloodsIt) {
    // The worker sends until the dialog has repainted a few times; a loop that let the
    // stream starve painting would run into the cap instead. No clock: a busy machine only
    // makes it take longer.
    constexpr int kPaints = 3;
    constexpr int kCap = 500000;
    Counter counter;
    std::atomic<bool> flooding{false};
    std::atomic<int> paintsDuringFlood{0};
    DialogRecorder recorder;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_PAINT && flooding) {
            ++paintsDuringFlood;
        }
        if (message == WM_APP_COUNT && counter.count % 256 == 0) {
            InvalidateRect(dialog, nullptr, TRUE);
        }
        return counter.Handle(dialog, message);
    };
    std::thread sender;
    std::atomic<bool> senderDone{false};
    int sent = 0;
    ModalScript script(std::chrono::minutes(2));
    script
        .When("the form is shown", DialogReady,
              [&] {
                  const HWND dialog = recorder.dialog;
                  flooding = true;
                  sender = std::thread([&, dialog] {
                      while (paintsDuringFlood < kPaints && sent < kCap) {
                          SendMessage(dialog, WM_APP_COUNT, 0, 0);
                          ++sent;
                      }
                      flooding = false;
                      senderDone = true;
                  });
              })
        .When(
            "the flood is over", [&] { return senderDone.load(); }, [] { Key(Qt::Key_Escape); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    sender.join();
    // The stream is handled in slices, between which the event loop repaints.
    EXPECT_GE(paintsDuringFlood, kPaints);
    EXPECT_LT(sent, kCap);
    EXPECT_EQ(counter.count, sent);
    EXPECT_FALSE(counter.wrongThread);
}

TEST(CrossThreadSend, ToTheDialogAfterItsLoopEndedReturnsZeroAtOnce) {
    Counter counter;
    DialogRecorder recorder;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        return counter.Handle(dialog, message);
    };
    std::thread sender;
    ModalScript script;
    script
        .When("the form is shown", DialogReady,
              [&] {
                  const HWND dialog = recorder.dialog;
                  sender = std::thread([dialog] {
                      while (SendMessage(dialog, WM_APP_COUNT, 0, 0) != 0) {
                      }
                  });
              })
        .When(
            "messages are flowing", [&] { return counter.count > 1000; },
            [] { Key(Qt::Key_Escape); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    // The sender stops on its first 0: the dialog's end released it.
    sender.join();
    EXPECT_EQ(SendMessage(recorder.dialog, WM_APP_COUNT, 0, 0), 0);
}

namespace {

std::chrono::nanoseconds ProcessorTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

TEST(CrossThreadSend, OnceMessagesStopTheDialogKeepsNoProcessorBusy) {
    using namespace std::chrono_literals;
    Counter counter;
    DialogRecorder recorder;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        return counter.Handle(dialog, message);
    };
    std::thread sender;
    std::chrono::steady_clock::time_point idleFrom;
    std::chrono::nanoseconds processorAtIdle{};
    std::chrono::nanoseconds idleProcessor{};
    ModalScript script;
    script
        .When("the form is shown", DialogReady,
              [&] {
                  const HWND dialog = recorder.dialog;
                  sender = std::thread([dialog] {
                      for (int i = 0; i < 20000; ++i) {
                          SendMessage(dialog, WM_APP_COUNT, 0, 0);
                      }
                  });
              })
        .When(
            "the burst is over", [&] { return counter.count == 20000; },
            [&] {
                sender.join();
                idleFrom = std::chrono::steady_clock::now();
                processorAtIdle = ProcessorTime();
            })
        .When(
            "half a second has passed",
            [&] { return std::chrono::steady_clock::now() - idleFrom > 500ms; },
            [&] {
                idleProcessor = ProcessorTime() - processorAtIdle;
                Key(Qt::Key_Escape);
            });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    // Polling for the next message stops within microseconds of the last one; what is left
    // is the script's own timer and the caret.
    EXPECT_LT(idleProcessor, 100ms);
}

TEST(ColorKey, RefusedWhereTheDisplayShowsNothingBehindAWindow) {
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        GTEST_SKIP() << "for the offscreen platform";
    }
    BOOL layered = TRUE;
    DialogRecorder recorder;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SetWindowLong(dialog, GWL_EXSTYLE,
                          GetWindowLong(dialog, GWL_EXSTYLE) | static_cast<LONG>(WS_EX_LAYERED));
            layered = SetLayeredWindowAttributes(dialog, 0x030201, 0, LWA_COLORKEY);
        }
        return FALSE;
    };
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        EXPECT_FALSE(
            WidgetFromHandle(recorder.dialog)->testAttribute(Qt::WA_TranslucentBackground));
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(layered, FALSE);
}

// A plain X server: run under a virtual one (ctest window_x11_color_key).
TEST(ColorKey, MaskLeavesOutTheKeyColouredSurfaceAndKeepsTheControls) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X server without a compositing manager";
    }
    constexpr COLORREF kKey = 0x030201;
    bool fill = false;
    BOOL layeredWithoutStyle = TRUE;
    DialogRecorder recorder;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            layeredWithoutStyle = SetLayeredWindowAttributes(dialog, kKey, 0, LWA_COLORKEY);
            SetWindowLong(dialog, GWL_EXSTYLE,
                          GetWindowLong(dialog, GWL_EXSTYLE) | static_cast<LONG>(WS_EX_LAYERED));
            SetLayeredWindowAttributes(dialog, kKey, 0, LWA_COLORKEY);
        }
        if (message == WM_PAINT && fill) {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(dialog, &paint);
            RECT client;
            GetClientRect(dialog, &client);
            const HBRUSH brush = CreateSolidBrush(kKey);
            FillRect(dc, &client, brush);
            DeleteObject(brush);
            EndPaint(dialog, &paint);
        }
        return FALSE;
    };
    const auto mask = [&] { return WidgetFromHandle(recorder.dialog)->mask(); };
    const auto center = [&](int id) {
        const QWidget* control = ItemWidget(recorder, id);
        return control->geometry().center();
    };
    ModalScript script;
    script
        .When("the form is shown", DialogReady,
              [&] {
                  EXPECT_TRUE(mask().isEmpty());
                  fill = true;
                  InvalidateRect(recorder.dialog, nullptr, TRUE);
              })
        .When(
            "the mask is set", [&] { return !mask().isEmpty(); },
            [&] {
                const QRegion region = mask();
                EXPECT_FALSE(region.contains(QPoint(2, 2)));
                EXPECT_TRUE(region.contains(center(IDC_NAME)));
                EXPECT_TRUE(region.contains(center(IDC_GO)));
                fill = false;
                InvalidateRect(recorder.dialog, nullptr, TRUE);
            })
        .When(
            "the mask is gone", [&] { return mask().isEmpty(); }, [] { Key(Qt::Key_Escape); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(layeredWithoutStyle, FALSE);
}

TEST(Icons, LoadImagePicksTheClosestImageAndWmSetIconSetsTheWindowIcon) {
    // Each test image's blue channel is its own size, so a pixel tells which one was used.
    const auto sourceSize = [](HICON icon, int size) {
        DialogRecorder recorder;
        int blue = -1;
        recorder.onMessage = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                EXPECT_EQ(SendMessage(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)),
                          0);
                const QIcon shown = WidgetFromHandle(dialog)->windowIcon();
                blue = shown.pixmap(size).toImage().pixelColor(0, 0).blue();
                EndDialog(dialog, IDOK);
            }
            return FALSE;
        };
        EXPECT_EQ(RunForm(recorder), IDOK);
        return blue;
    };
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
    const HICON big = LoadImage(TestModule(), IDI_TEST, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR);
    const HICON between = LoadImage(TestModule(), IDI_TEST, IMAGE_ICON, 20, 20, 0);
    const HICON huge = LoadImage(TestModule(), IDI_TEST, IMAGE_ICON, 64, 64, 0);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(sourceSize(big, 32), 32);
    EXPECT_EQ(sourceSize(between, 20), 32);
    EXPECT_EQ(sourceSize(huge, 64), 48);
    EXPECT_EQ(LoadImage(TestModule(), 4242, IMAGE_ICON, 32, 32, 0), nullptr);
}

TEST(Geometry, RectanglesAndPositionFollowTheWidgets) {
    DialogRecorder recorder;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        const QWidget* dialog = WidgetFromHandle(recorder.dialog);
        RECT client;
        ASSERT_NE(GetClientRect(recorder.dialog, &client), FALSE);
        EXPECT_EQ(client.left, 0);
        EXPECT_EQ(client.top, 0);
        EXPECT_EQ(client.right, dialog->width());
        EXPECT_EQ(client.bottom, dialog->height());

        SetWindowPos(recorder.dialog, nullptr, 30, 40, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT frame;
        ASSERT_NE(GetWindowRect(recorder.dialog, &frame), FALSE);
        EXPECT_EQ(frame.left, 30);
        EXPECT_EQ(frame.top, 40);

        RECT work;
        ASSERT_NE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0), FALSE);
        EXPECT_GT(work.right - work.left, 0);
        EXPECT_GT(work.bottom - work.top, 0);
        EXPECT_EQ(GetActiveWindow(), recorder.dialog);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
}

namespace {

std::string RunProbe(const std::string& environment, int* status) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                                "-u XDG_SESSION_TYPE " +
                                environment + " '" VANTHE_NO_DISPLAY_PROBE "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return output;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    *status = pclose(pipe);
    return output;
}

} // namespace

TEST(NoDisplay, StartUpSaysSoInOneLineAndDialogsFailWithoutEndingTheProcess) {
    int status = 0;
    EXPECT_EQ(RunProbe("", &status),
              "window_no_display_probe: cannot open the display (DISPLAY is not set)\n"
              "Error: shown on standard error\n"
              "init 0, dialog -1, box 1\n");
    EXPECT_EQ(status, 0);

    EXPECT_EQ(RunProbe("DISPLAY=:97", &status),
              "window_no_display_probe: cannot open the display (no X server answers at :97)\n"
              "Error: shown on standard error\n"
              "init 0, dialog -1, box 1\n");
    EXPECT_EQ(status, 0);
}
