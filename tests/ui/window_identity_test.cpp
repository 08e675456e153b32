// What an X11 desktop reads from the dialog's windows: a box asked for with an empty caption
// has an empty title (not the toolkit's fallback, the program's name), and the program's
// WM_CLASS is the one its desktop file names, so a dock matches the window to the launcher.
// Run under run-under-xvfb.sh; xprop and xwininfo read what the X server holds. Under
// run-under-weston.sh the program finds the compositor though nothing but its socket is set.

#include "dialog_fixture.h"
#include "platform/window/dialogs.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"

#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;

namespace {

bool OnX11() {
    const char* kind = std::getenv("VANTHE_TEST_DISPLAY");
    return kind != nullptr && std::string(kind).rfind("x11", 0) == 0;
}

QString Output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The quoted values of one property of a window, as xprop prints them.
QStringList Property(const QString& window, const QString& name) {
    const QString line = Output(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
    QStringList values;
    const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    for (auto match = quoted.globalMatch(line); match.hasNext();) {
        values << match.next().captured(1);
    }
    return values;
}

using WindowIdentity = MainDialogTest;

TEST_F(WindowIdentity, ABoxWithAnEmptyCaptionHasAnEmptyTitle) {
    if (!OnX11()) {
        GTEST_SKIP() << "reads the title from the X server";
    }
    MainDialog dialog;
    QStringList title{QStringLiteral("(unread)")};
    ModalScript script(std::chrono::seconds(30));
    script.When("the dialog is shown", DialogReady, [&] { Click(ControlWidget(dialog, IDC_RUN)); });
    script.When(
        "the box about the missing source",
        [] {
            QMessageBox* box = ActiveModal<QMessageBox>();
            return box != nullptr && box->isVisible();
        },
        [&] {
            QMessageBox* box = ActiveModal<QMessageBox>();
            EXPECT_EQ(box->text().toStdString(), "Source file name is missed.");
            title = Property(QString::number(box->winId()), QStringLiteral("_NET_WM_NAME"));
            QTest::keyClick(box, Qt::Key_Return);
        });
    script.When(
        "back in the dialog", [] { return ActiveModal<QMessageBox>() == nullptr && DialogReady(); },
        [] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    ASSERT_EQ(title.size(), 1) << title.join(QLatin1Char('|')).toStdString();
    // Nothing a title bar would show: no letters, no marks, no digits.
    for (QChar c : title.front()) {
        EXPECT_FALSE(c.isLetterOrNumber() || c.isPunct() || c.isSymbol())
            << title.front().toStdString();
    }
}

TEST(ProgramWindow, ItsClassIsTheOneTheDesktopFileNames) {
    if (!OnX11()) {
        GTEST_SKIP() << "reads WM_CLASS from the X server";
    }
    QFile desktopFile(QStringLiteral(VANTHE_DESKTOP_FILE));
    ASSERT_TRUE(desktopFile.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktopFile.readAll());
    const auto startup = QRegularExpression(QStringLiteral("^StartupWMClass=(.*)$"),
                                            QRegularExpression::MultilineOption)
                             .match(entry);
    ASSERT_TRUE(startup.hasMatch());

    QProcess program;
    program.start(QStringLiteral(VANTHE_GUI_PATH), {});
    ASSERT_TRUE(program.waitForStarted());
    QString window;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (window.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        const QString tree =
            Output(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
        // The program's own window: this process may still hold one of the same title.
        const QString pid = QString::number(program.processId());
        const QRegularExpression titled(QStringLiteral("(0x[0-9a-f]+) \"Vanthe\""));
        for (auto match = titled.globalMatch(tree); match.hasNext();) {
            const QString candidate = match.next().captured(1);
            if (Output(QStringLiteral("xprop"),
                       {QStringLiteral("-id"), candidate, QStringLiteral("_NET_WM_PID")})
                    .trimmed()
                    .endsWith(QStringLiteral("= ") + pid)) {
                window = candidate;
            }
        }
        if (window.isEmpty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    QStringList wmClass;
    if (!window.isEmpty()) {
        wmClass = Property(window, QStringLiteral("WM_CLASS"));
    }
    program.kill();
    program.waitForFinished();
    ASSERT_FALSE(window.isEmpty()) << "the dialog's window did not appear";
    ASSERT_EQ(wmClass.size(), 2);
    // Docks compare the class part; the instance part is the same name here.
    EXPECT_EQ(wmClass.at(1).toStdString(), startup.captured(1).toStdString());
}

TEST(ProgramWindow, AWaylandCompositorWithoutTheSessionsVariablesIsUsed) {
    // A compositor started from a console: WAYLAND_DISPLAY set, DISPLAY and XDG_SESSION_TYPE
    // not. The toolkit on its own would try X alone and give up.
    const char* kind = std::getenv("VANTHE_TEST_DISPLAY");
    if (kind == nullptr || std::string(kind) != "wayland") {
        GTEST_SKIP() << "needs a Wayland compositor";
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    environment.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VANTHE_GUI_PATH), {});
    ASSERT_TRUE(program.waitForStarted());
    // The protocol log shows the dialog's window given its title over the compositor's socket.
    QByteArray log;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!log.contains("set_title(\"Vanthe\")") && program.state() == QProcess::Running &&
           std::chrono::steady_clock::now() < deadline) {
        program.waitForReadyRead(100);
        log += program.readAllStandardError();
    }
    const bool running = program.state() == QProcess::Running;
    program.kill();
    program.waitForFinished();
    log += program.readAllStandardError();
    EXPECT_TRUE(running) << log.right(2000).toStdString();
    EXPECT_TRUE(log.contains("set_title(\"Vanthe\")")) << log.right(2000).toStdString();
}

} // namespace
