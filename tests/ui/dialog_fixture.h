#pragma once

// What the main dialog's tests share: the program's resources, a look at controls through
// their widgets, key presses where the focus is, and message boxes answered by the test.

#include "modal_script.h"
#include "platform/window/window_types.h"
#include "ui/main_dialog.h"

#include <QMessageBox>
#include <QString>
#include <gtest/gtest.h>
#include <string>

class QWidget;

namespace vanthe::test {

// Registers the program's own resources once, as the executable does at start.
void UseProgramResources();

// The innermost dialog is shown and active, so key events reach its focused control.
bool DialogReady();
QWidget* ControlWidget(const MainDialog& dialog, int id);
platform::HWND Control(const MainDialog& dialog, int id);
std::string ControlText(const MainDialog& dialog, int id);
bool Checked(const MainDialog& dialog, int id);
int FocusedId();

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void Type(const QString& text);
void Click(QWidget* widget);

struct SeenBox {
    bool seen = false;
    std::string title;
    std::string text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // Whether the box shows its text as it stands, never as markup.
    bool plainText = false;
    // Whether the owner had handled the end of its job (the fill gone, input enabled again)
    // when the box appeared.
    bool ownerIdle = false;
    // The button that Enter would press.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// How the test answers a box: with a key, or by clicking one of its buttons.
struct Answer {
    Qt::Key key = Qt::Key_Return;
    QMessageBox::StandardButton click = QMessageBox::NoButton;
};

// Records what the message box that is up shows, and answers it.
void AnswerShownBox(SeenBox& box, const MainDialog* owner, Answer answer);

// Waits for a message box, records what it shows and dismisses it (with Enter by default).
void AnswerBox(ModalScript& script, SeenBox& box, const MainDialog* owner = nullptr,
               Answer answer = {});

// No job is under way and every worker has ended.
bool JobsDone();

// Opens the file and holds a write lease on it, as a file server does for a file its client
// has open (SIGIO ignored meanwhile); -1 where the file system gives no leases.
int HoldLease(const std::string& path);
// Lets go of the lease and closes the file.
void LetGo(int held);

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

} // namespace vanthe::test
