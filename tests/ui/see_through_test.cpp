// At a real X display the busy dialog's fill is see-through: what lies behind the dialog
// shows where its surface was, and the controls stay. Run under a virtual X server.

#include "dialog_fixture.h"
#include "jobs/job_messages.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/qt_bridge.h"
#include "platform/window/window_state.h"
#include "res/resource_ids.h"

#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;

namespace {

const QColor kBackdrop(255, 0, 255);

// The colour the screen shows at a point of the dialog's client area.
QColor ScreenColorAt(HWND dialog, int x, int y) {
    POINT point{x, y};
    ClientToScreen(dialog, &point);
    QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return screen.pixelColor(point.x, point.y);
}

bool ShowsBackdrop(HWND dialog, int x, int y) {
    return ScreenColorAt(dialog, x, y) == kBackdrop;
}

using SeeThrough = MainDialogTest;

TEST_F(SeeThrough, TheBusyDialogShowsWhatLiesBehindItWhereTheFillIs) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    QWidget backdrop;
    backdrop.setAutoFillBackground(true);
    QPalette palette = backdrop.palette();
    palette.setColor(QPalette::Window, kBackdrop);
    backdrop.setPalette(palette);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));

    MainDialog dialog;
    bool surfaceShownBefore = false;
    bool controlKept = false;
    bool lowerRowsBack = false;
    ModalScript script(std::chrono::seconds(30));
    int height = 0;
    int low = 0;
    int high = 0;
    script.When(
        "the dialog is exposed",
        [&] {
            QWidget* widget = WidgetFromHandle(dialog.window());
            return widget != nullptr && QTest::qWaitForWindowExposed(widget);
        },
        [&] {
            height = dialog.overlay.clientRect.bottom;
            low = height - 3; // a row below the last control
            high = 3;         // a row above the first label
            surfaceShownBefore = !ShowsBackdrop(dialog.window(), 2, low);
            SendMessage(dialog.window(), WM_JOB_STARTED, 10, 0);
        });
    script.When(
        "the surface is see-through", [&] { return ShowsBackdrop(dialog.window(), 2, low); },
        [&] {
            RECT edit{};
            GetWindowRect(Control(dialog, IDC_PASSWORD), &edit);
            POINT inside{(edit.left + edit.right) / 2, (edit.top + edit.bottom) / 2};
            ScreenToClient(dialog.window(), &inside);
            controlKept = !ShowsBackdrop(dialog.window(), inside.x, inside.y);
            SendMessage(dialog.window(), WM_JOB_PROGRESS, 5, 0);
        });
    script.When(
        "the lower half shows again", [&] { return !ShowsBackdrop(dialog.window(), 2, low); },
        [&] {
            lowerRowsBack = ShowsBackdrop(dialog.window(), 2, high);
            SendMessage(dialog.window(), WM_JOB_FINISHED, 0, 0);
        });
    script.When(
        "the fill is gone", [&] { return !ShowsBackdrop(dialog.window(), 2, high); },
        [&] { SendMessage(dialog.window(), WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_TRUE(surfaceShownBefore);
    EXPECT_TRUE(controlKept);
    EXPECT_TRUE(lowerRowsBack);
}

} // namespace
