// At real displays the busy dialog's fill is see-through: what lies behind the dialog shows
// where its surface was, the controls stay whole, and after the job the surface is whole
// again. Run by tests/support/run-under-xvfb.sh (with and without a compositing manager) and
// run-under-weston.sh, which say in VANTHE_TEST_DISPLAY what they started; the screenshots
// are the display's own (ImageMagick's import on X11, weston-screenshooter on Wayland).

#include "dialog_fixture.h"
#include "jobs/job_messages.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::TempDir;

namespace {

const QColor kBackdrop(255, 0, 255);

std::string DisplayKind() {
    const char* kind = std::getenv("VANTHE_TEST_DISPLAY");
    return kind != nullptr ? kind : "";
}

// The whole screen as the display shows it, or a null image.
QImage Screenshot() {
    QTemporaryDir dir;
    QProcess tool;
    tool.setWorkingDirectory(dir.path());
    if (DisplayKind() == "wayland") {
        tool.start(QStringLiteral("weston-screenshooter"), {});
    } else {
        tool.start(QStringLiteral("import"),
                   {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("shot.png")});
    }
    if (!tool.waitForFinished(20000) || tool.exitCode() != 0) {
        return {};
    }
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.png")});
    if (files.isEmpty()) {
        return {};
    }
    return QImage(dir.path() + QLatin1Char('/') + files.first())
        .convertToFormat(QImage::Format_RGB32);
}

// Keeps a screenshot for people to look at, when VANTHE_SCREENSHOT_DIR names a folder.
void Keep(const QImage& image, const std::string& name) {
    if (const char* folder = std::getenv("VANTHE_SCREENSHOT_DIR")) {
        image.save(QString::fromStdString(std::string(folder) + "/" + DisplayKind() + "-" + name +
                                          ".png"));
    }
}

// Where the screen shows something other than the backdrop.
QRect NotBackdrop(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != kBackdrop) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

int BackdropPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += image.pixelColor(x, y) == kBackdrop ? 1 : 0;
        }
    }
    return count;
}

// The job's worker is held inside its first progress notification, after the dialog has
// handled it, until the test lets it go: the fill stays still for the screenshots.
WNDPROC heldProc = nullptr;
bool held = false;
QEventLoop* holdLoop = nullptr;

LRESULT HoldingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProc(heldProc, window, message, wParam, lParam);
    if (message == WM_JOB_PROGRESS && !held) {
        held = true;
        QEventLoop loop;
        holdLoop = &loop;
        loop.exec();
        holdLoop = nullptr;
    }
    return result;
}

void MakeSparseFile(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// On X11 the backdrop is a window of its own, under the dialog; Weston's desktop is already
// that colour.
void ShowBackdrop(QWidget& backdrop) {
    if (DisplayKind() == "wayland") {
        return;
    }
    backdrop.setAutoFillBackground(true);
    QPalette palette = backdrop.palette();
    palette.setColor(QPalette::Window, kBackdrop);
    backdrop.setPalette(palette);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
}

// Whether the screen shows the whole dialog, taking the screenshot and where the dialog is.
// Not waiting for activation: a headless Weston has no seat to give the focus to.
bool WholeDialogShown(const MainDialog& dialog, QImage& shot, QRect& surface) {
    QWidget* widget = WidgetFromHandle(dialog.window());
    if (widget == nullptr || !widget->isVisible() || !QTest::qWaitForWindowExposed(widget)) {
        return false;
    }
    shot = Screenshot();
    surface = NotBackdrop(shot);
    return surface.size() == widget->size();
}

void RunJob(MainDialog& dialog, const std::string& source, const std::string& destination) {
    SetDlgItemText(dialog.window(), IDC_SOURCE, source.c_str());
    SetDlgItemText(dialog.window(), IDC_DESTINATION, destination.c_str());
    SetDlgItemText(dialog.window(), IDC_PASSWORD, "pw");
    dialog.ExchangeData(MainDialog::Exchange::ToMembers, MainDialog::kEveryField);
    Click(ControlWidget(dialog, IDC_RUN));
}

using SeeThrough = MainDialogTest;

TEST_F(SeeThrough, TheBusyDialogShowsWhatLiesBehindItWhileItsControlsStayWhole) {
    const std::string kind = DisplayKind();
    ASSERT_TRUE(kind == "x11" || kind == "x11-composited" || kind == "wayland")
        << "run under run-under-xvfb.sh or run-under-weston.sh";
    TempDir dir;
    MakeSparseFile(dir / "big.bin", off_t{64} << 20);

    QWidget backdrop;
    ShowBackdrop(backdrop);

    MainDialog dialog;
    held = false;
    QRect surface;
    QImage shot;
    int client = 0;
    bool translucent = false;
    ModalScript script(std::chrono::seconds(90));
    script.When(
        "the whole dialog is on the screen",
        [&] { return WholeDialogShown(dialog, shot, surface); },
        [&] {
            Keep(shot, "before");
            client = dialog.overlay.clientRect.bottom;
            translucent =
                WidgetFromHandle(dialog.window())->testAttribute(Qt::WA_TranslucentBackground);
            EXPECT_EQ(dialog.overlay.fillColor, 0x030201u);
            heldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtr(
                dialog.window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HoldingProc)));
            RunJob(dialog, dir / "big.bin", dir / "big.bin.enx");
        });
    script.When(
        "the job is held and the upper surface shows the backdrop",
        [&] {
            if (!held) {
                return false;
            }
            shot = Screenshot();
            return BackdropPixels(shot, QRect(surface.topLeft() + QPoint(2, 2), QSize(1, 1))) == 1;
        },
        [&] {
            Keep(shot, "mid-job");
            // The fill has hardly moved: from the top down to three quarters the bare surface
            // at both edges shows the backdrop.
            const int upper = client * 3 / 4;
            EXPECT_EQ(BackdropPixels(shot, QRect(surface.left() + 1, surface.top(), 1, upper)),
                      upper);
            EXPECT_EQ(BackdropPixels(shot, QRect(surface.right() - 1, surface.top(), 1, upper)),
                      upper);
            for (int id : {IDC_SOURCE, IDC_BROWSE_SOURCE, IDC_MODE_ENCRYPT, IDC_MODE_DECRYPT,
                           IDC_DESTINATION, IDC_PASSWORD, IDC_RUN}) {
                const QRect control =
                    ControlWidget(dialog, id)->geometry().translated(surface.topLeft());
                EXPECT_EQ(BackdropPixels(shot, control), 0) << "control " << id;
            }
            // The labels are statics without ids: every child widget is checked.
            for (QWidget* child : WidgetFromHandle(dialog.window())
                                      ->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                const QRect control = child->geometry().translated(surface.topLeft());
                EXPECT_EQ(BackdropPixels(shot, control), 0)
                    << child->metaObject()->className() << " at " << control.x() << ","
                    << control.y();
            }
            if (holdLoop != nullptr) {
                holdLoop->quit();
            }
        });
    script.When(
        "the job has ended and the surface is whole",
        [&] {
            if (!JobsDone() || dialog.overlayActive != 0) {
                return false;
            }
            shot = Screenshot();
            return BackdropPixels(shot, surface) == 0;
        },
        [&] {
            Keep(shot, "after");
            SendMessage(dialog.window(), WM_COMMAND, IDCANCEL, 0);
        });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_TRUE(script.Finished());
    // Per-pixel alpha at Wayland; the window's shape at X11, with a compositing manager too,
    // since one that stops would leave transparent pixels black.
    EXPECT_EQ(translucent, kind == "wayland");
}

// Where the X server shows a window's top-left corner, from xwininfo.
QPoint ScreenOrigin(WId window) {
    QProcess tool;
    tool.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    tool.waitForFinished(10000);
    const QString info = QString::fromUtf8(tool.readAllStandardOutput());
    const auto value = [&info](const QString& label) {
        const QRegularExpression line(label + QStringLiteral(":\\s*(-?\\d+)"));
        return line.match(info).captured(1).toInt();
    };
    return {value(QStringLiteral("Absolute upper-left X")),
            value(QStringLiteral("Absolute upper-left Y"))};
}

// The height of the title bar the window manager says it drew above a window, from xprop; -1
// when it says nothing.
int TitleBarHeight(WId window) {
    QProcess tool;
    tool.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                         QStringLiteral("_NET_FRAME_EXTENTS")});
    tool.waitForFinished(10000);
    const QStringList extents =
        QString::fromUtf8(tool.readAllStandardOutput()).section(QLatin1Char('='), 1).split(u',');
    return extents.size() == 4 ? extents[2].trimmed().toInt() : -1;
}

// Whether a condition has held for a while: the window manager's moves have landed by then.
class Settled {
public:
    bool operator()(bool condition) {
        const auto now = std::chrono::steady_clock::now();
        if (!condition) {
            since_.reset();
            return false;
        }
        if (!since_) {
            since_ = now;
        }
        return now - *since_ >= std::chrono::milliseconds(300);
    }

private:
    std::optional<std::chrono::steady_clock::time_point> since_;
};

using Framed = MainDialogTest;

// A desktop's window manager may frame a shaped window otherwise: KWin takes its title bar away
// for as long as it has a shape. The dialog's surface and controls stay where they are on the
// screen all the same, so nothing moves under the user's pointer, and the frame comes back,
// above them as before, when the job ends. After the job the window goes where the user drags
// it, with any manager.
TEST_F(Framed, TheDialogStaysWhereItIsWhileTheManagerReframesItForAJob) {
    if (DisplayKind() != "x11-framed") {
        GTEST_SKIP() << "run under run-under-xvfb.sh --window-manager";
    }
    TempDir dir;
    MakeSparseFile(dir / "big.bin", off_t{64} << 20);
    MainDialog dialog;
    held = false;
    WId window = 0;
    QPoint before;
    QPoint during;
    QPoint after;
    QPoint dragged;
    const QPoint kDrag(-100, -50);
    int titleBar = -1;
    ModalScript script(std::chrono::seconds(90));
    script.When(
        "the dialog is framed",
        [&] {
            QWidget* widget = WidgetFromHandle(dialog.window());
            if (widget == nullptr || !widget->isVisible() ||
                !QTest::qWaitForWindowExposed(widget)) {
                return false;
            }
            window = widget->winId();
            titleBar = TitleBarHeight(window);
            return titleBar > 0;
        },
        [&] {
            before = ScreenOrigin(window);
            heldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtr(
                dialog.window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HoldingProc)));
            RunJob(dialog, dir / "big.bin", dir / "big.bin.enx");
        });
    Settled reframed;
    Settled reset;
    Settled moved;
    std::chrono::steady_clock::time_point heldSince;
    script.When(
        "the job is held and the manager has reframed the shaped dialog",
        [&] {
            if (!held || WidgetFromHandle(dialog.window())->mask().isEmpty()) {
                return false;
            }
            if (heldSince == std::chrono::steady_clock::time_point()) {
                heldSince = std::chrono::steady_clock::now();
            }
            return reframed(TitleBarHeight(window) != titleBar ||
                            std::chrono::steady_clock::now() - heldSince > std::chrono::seconds(2));
        },
        [&] {
            during = ScreenOrigin(window);
            if (holdLoop != nullptr) {
                holdLoop->quit();
            }
        });
    script.When(
        "the job has ended and the frame is back",
        [&] {
            return reset(JobsDone() && dialog.overlayActive == 0 &&
                         TitleBarHeight(window) == titleBar);
        },
        [&] {
            after = ScreenOrigin(window);
            // The user drags the window by its title bar.
            const QPoint grip =
                after + QPoint(WidgetFromHandle(dialog.window())->width() / 2, -titleBar / 2);
            const auto point = [](QPoint p) {
                return QStringList{QString::number(p.x()), QString::number(p.y())};
            };
            QProcess::execute(QStringLiteral("xdotool"),
                              QStringList{QStringLiteral("mousemove")} + point(grip) +
                                  QStringList{QStringLiteral("mousedown"), QStringLiteral("1"),
                                              QStringLiteral("sleep"), QStringLiteral("0.2"),
                                              QStringLiteral("mousemove")} +
                                  point(grip + kDrag / 2) +
                                  QStringList{QStringLiteral("sleep"), QStringLiteral("0.2"),
                                              QStringLiteral("mousemove")} +
                                  point(grip + kDrag) +
                                  QStringList{QStringLiteral("sleep"), QStringLiteral("0.2"),
                                              QStringLiteral("mouseup"), QStringLiteral("1")});
        });
    script.When(
        "the window has moved", [&] { return moved(ScreenOrigin(window) != after); },
        [&] {
            dragged = ScreenOrigin(window);
            SendMessage(dialog.window(), WM_COMMAND, IDCANCEL, 0);
        });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_TRUE(script.Finished());
    const auto at = [](QPoint p) { return std::to_string(p.x()) + "," + std::to_string(p.y()); };
    EXPECT_EQ(at(during), at(before)) << "while the job ran";
    EXPECT_EQ(at(after), at(before)) << "after the job";
    // As far as the pointer went, not by the title bar's height more.
    EXPECT_EQ(at(dragged), at(after + kDrag)) << "dragged after the job";
}

// Rows the fill uncovers may be painted while the window's shape still hides them, as they were
// after the replace question: the toolkit paints nothing outside a window's shape, so they
// must be painted again once the shape shows them, or they keep the key's colour.
TEST_F(SeeThrough, RowsTheFillUncoversShowTheDialogNotItsKey) {
    const std::string kind = DisplayKind();
    ASSERT_TRUE(kind == "x11" || kind == "x11-composited" || kind == "wayland")
        << "run under run-under-xvfb.sh or run-under-weston.sh";
    TempDir dir;
    MakeSparseFile(dir / "big.bin", off_t{256} << 20);
    MakeSparseFile(dir / "big.bin.enx", 4);
    QWidget backdrop;
    ShowBackdrop(backdrop);
    MainDialog dialog;
    QRect surface;
    QImage shot;
    int keyed = -1;
    ModalScript script(std::chrono::seconds(90));
    script.When(
        "the whole dialog is on the screen",
        [&] { return WholeDialogShown(dialog, shot, surface); },
        [&] { RunJob(dialog, dir / "big.bin", dir / "big.bin.enx"); });
    SeenBox question;
    AnswerBox(script, question, &dialog, {Qt::Key_Return, QMessageBox::Yes});
    bool seeThrough = false;
    script.When(
        "the fill has uncovered a quarter of the dialog",
        [&] {
            if (JobsDone()) {
                return true;
            }
            shot = Screenshot();
            const int client = dialog.overlay.clientRect.bottom;
            const QRect edge(surface.left() + 1, surface.top() + client * 3 / 4, 1, client / 4);
            seeThrough = seeThrough || BackdropPixels(shot, edge) == edge.height();
            return seeThrough && dialog.overlayActive != 0 && BackdropPixels(shot, edge) == 0;
        },
        [&] {
            Keep(shot, "uncovered");
            const int client = dialog.overlay.clientRect.bottom;
            const QRect lower(surface.left(), surface.top() + client * 3 / 4, surface.width(),
                              client / 4);
            keyed = 0;
            for (int y = lower.top(); y <= lower.bottom(); ++y) {
                for (int x = lower.left(); x <= lower.right(); ++x) {
                    keyed += shot.pixelColor(x, y) == QColor(1, 2, 3) ? 1 : 0;
                }
            }
        });
    script.When(
        "the job has ended", [&] { return JobsDone() && dialog.overlayActive == 0; },
        [&] { SendMessage(dialog.window(), WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(question.seen);
    EXPECT_EQ(keyed, 0);
}

} // namespace
