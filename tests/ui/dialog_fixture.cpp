#include "dialog_fixture.h"

#include "jobs/job_runner.h"
#include "platform/window/dialogs.h"
#include "platform/window/resources.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "res/program_resources.h"
#include "ui/app_module.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace vanthe::test {

void UseProgramResources() {
    static const HINSTANCE module = RegisterModuleResources(ProgramResources());
    appModule.Init(module);
}

bool DialogReady() {
    QWidget* dialog = WidgetFromHandle(RunningDialog());
    if (dialog == nullptr || !dialog->isVisible()) {
        return false;
    }
    if (!dialog->isActiveWindow()) {
        dialog->activateWindow();
        return false;
    }
    return true;
}

HWND Control(const MainDialog& dialog, int id) {
    return GetDlgItem(dialog.window(), id);
}

QWidget* ControlWidget(const MainDialog& dialog, int id) {
    return WidgetFromHandle(Control(dialog, id));
}

std::string ControlText(const MainDialog& dialog, int id) {
    HWND control = Control(dialog, id);
    std::vector<char> buffer(static_cast<std::size_t>(GetWindowTextLength(control)) + 1, '\0');
    GetWindowText(control, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

bool Checked(const MainDialog& dialog, int id) {
    return SendMessage(Control(dialog, id), BM_GETCHECK, 0, 0) != 0;
}

int FocusedId() {
    return GetDlgCtrlID(GetFocus());
}

namespace {
// Where a typed key goes: the focused control, else the innermost dialog itself.
QWidget* KeyTarget() {
    QWidget* target = FocusedWidget();
    return target != nullptr ? target : WidgetFromHandle(RunningDialog());
}
} // namespace

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = KeyTarget();
    ASSERT_NE(target, nullptr) << "no window to type into";
    QTest::keyClick(target, key, modifiers);
}

void Type(const QString& text) {
    QWidget* target = KeyTarget();
    ASSERT_NE(target, nullptr) << "no window to type into";
    QTest::keyClicks(target, text);
}

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

void AnswerShownBox(SeenBox& box, const MainDialog* owner, Answer answer) {
    QMessageBox* shown = ActiveModal<QMessageBox>();
    box.seen = true;
    box.title = shown->windowTitle().toStdString();
    box.text = shown->text().toStdString();
    box.icon = shown->icon();
    const auto* label = shown->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    box.plainText = shown->textFormat() == Qt::PlainText && label != nullptr &&
                    label->textFormat() == Qt::PlainText && label->text() == shown->text();
    box.ownerIdle = owner != nullptr && owner->overlayActive == 0;
    if (QPushButton* button = shown->defaultButton()) {
        box.defaultButton = shown->standardButton(button);
    }
    if (answer.click != QMessageBox::NoButton) {
        QTest::mouseClick(shown->button(answer.click), Qt::LeftButton);
    } else {
        QTest::keyClick(shown, answer.key);
    }
}

void AnswerBox(ModalScript& script, SeenBox& box, const MainDialog* owner, Answer answer) {
    script.When(
        "a message box", [] { return ActiveModal<QMessageBox>() != nullptr; },
        [&box, owner, answer] { AnswerShownBox(box, owner, answer); });
}

bool JobsDone() {
    return !JobUnderWay() && RunningWorkers() == 0;
}

int HoldLease(const std::string& path) {
    const int held = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (held >= 0 && ::fcntl(held, F_SETLEASE, F_WRLCK) != 0) {
        ::close(held);
        return -1;
    }
    ::signal(SIGIO, SIG_IGN);
    return held;
}

void LetGo(int held) {
    ::fcntl(held, F_SETLEASE, F_UNLCK);
    ::close(held);
    ::signal(SIGIO, SIG_DFL);
}

void MainDialogTest::SetUp() {
    UseProgramResources();
}

void MainDialogTest::TearDown() {
    EXPECT_TRUE(WaitForWorkers(std::chrono::seconds(20))) << "a worker did not end";
}

} // namespace vanthe::test
