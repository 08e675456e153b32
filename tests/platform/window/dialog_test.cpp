#include "modal_script.h"
#include "platform/window/dialogs.h"
#include "platform/window/keyboard.h"
#include "platform/window/menus_icons.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "test_dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform;
using namespace vanthe::test;

namespace {

HWND Item(const DialogRecorder& recorder, int id) {
    return GetDlgItem(recorder.dialog, id);
}

QWidget* ItemWidget(const DialogRecorder& recorder, int id) {
    return WidgetFromHandle(Item(recorder, id));
}

// The innermost dialog is shown and active, so key events reach its focused control.
bool DialogReady() {
    const QWidget* dialog = WidgetFromHandle(RunningDialog());
    return dialog != nullptr && dialog->isVisible() && dialog->isActiveWindow();
}

int FocusedId() {
    return GetDlgCtrlID(GetFocus());
}

void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(FocusedWidget(), key, modifiers);
}

bool Checked(const DialogRecorder& recorder, int id) {
    return SendMessage(Item(recorder, id), BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
}

} // namespace

TEST(DialogBox, InitDialogComesFirstAndHiddenAndTrueFocusesTheFirstTabStop) {
    DialogRecorder recorder;
    bool visibleAtInit = true;
    int focusArgument = 0;
    int focusedWhenShown = 0;
    recorder.onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            visibleAtInit =
                IsWindowVisible(dialog) != FALSE || WidgetFromHandle(dialog)->isVisible();
            focusArgument = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
            // TRUE asks for the default focus, whatever the procedure did here.
            SetFocus(GetDlgItem(dialog, IDC_SECRET));
            return TRUE;
        }
        return FALSE;
    };
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        focusedWhenShown = FocusedId();
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    ASSERT_FALSE(recorder.messages.empty());
    EXPECT_EQ(recorder.messages.front().message, WM_INITDIALOG);
    EXPECT_FALSE(visibleAtInit);
    EXPECT_EQ(focusArgument, IDC_NAME);
    EXPECT_EQ(focusedWhenShown, IDC_NAME);
}

TEST(DialogBox, InitDialogReturningFalseKeepsTheFocusItChose) {
    DialogRecorder recorder;
    recorder.initResult = FALSE; // the dialog manager leaves the focus alone
    recorder.onMessage = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SetFocus(GetDlgItem(dialog, IDC_SECRET));
        }
        return FALSE;
    };
    int focused = 0;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        focused = FocusedId();
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(focused, IDC_SECRET);
}

TEST(DialogBox, MissingTemplateCannotBeCreated) {
    DialogRecorder recorder;
    EXPECT_EQ(DialogBoxParam(TestModule(), 9999, nullptr, &RecordingDialogProc,
                             reinterpret_cast<LPARAM>(&recorder)),
              -1);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(RunningDialog(), nullptr);
}

TEST(DialogKeyboard, EnterInAnEditIsIdOkAndNeverClicksAButton) {
    DialogRecorder recorder;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        SetFocus(Item(recorder, IDC_NOTE));
        Key(Qt::Key_Return);
        Key(Qt::Key_Enter);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    const auto commands = recorder.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), std::make_pair(IDOK, 0)), 2);
    EXPECT_FALSE(recorder.HasCommand(IDC_GO, BN_CLICKED));
    EXPECT_FALSE(recorder.HasCommand(IDC_PICK, BN_CLICKED));
}

TEST(DialogKeyboard, EnterOrSpaceOnAFocusedPushButtonClicksIt) {
    DialogRecorder recorder;
    std::vector<LPARAM> senders;
    recorder.onMessage = [&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_GO) {
            senders.push_back(lParam);
        }
        return FALSE;
    };
    HWND go = nullptr;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        go = Item(recorder, IDC_GO);
        SetFocus(go);
        Key(Qt::Key_Return);
        Key(Qt::Key_Space);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(senders,
              (std::vector<LPARAM>{reinterpret_cast<LPARAM>(go), reinterpret_cast<LPARAM>(go)}));
    EXPECT_FALSE(recorder.HasCommand(IDOK, BN_CLICKED));
}

TEST(DialogKeyboard, EscapeIsIdCancel) {
    DialogRecorder recorder;
    ModalScript script;
    script.When("the form is shown", DialogReady, [] { Key(Qt::Key_Escape); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    const auto commands = recorder.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), std::make_pair(IDCANCEL, 0)), 1);
    EXPECT_EQ(recorder.Count(WM_SYSCOMMAND), 0);
}

TEST(DialogKeyboard, CloseButtonGoesThroughScCloseAndWmCloseToIdCancel) {
    DialogRecorder recorder;
    ModalScript script;
    script.When("the form is shown", DialogReady,
                [&] { WidgetFromHandle(recorder.dialog)->close(); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    std::vector<UINT> sequence;
    for (const SentToDialog& sent : recorder.messages) {
        if (sent.message == WM_SYSCOMMAND || sent.message == WM_CLOSE ||
            (sent.message == WM_COMMAND && LOWORD(sent.wParam) == IDCANCEL)) {
            sequence.push_back(sent.message);
        }
    }
    EXPECT_EQ(sequence, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_COMMAND}));
}

TEST(DialogKeyboard, DisabledDialogTakesNoInputCannotCloseAndGetsItsFocusBack) {
    DialogRecorder recorder;
    std::size_t commandsWhenDisabled = 0;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] { SetFocus(Item(recorder, IDC_NOTE)); })
        .When(
            "the note has the focus", [] { return FocusedId() == IDC_NOTE; },
            [&] {
                EXPECT_EQ(EnableWindow(recorder.dialog, FALSE), FALSE);
                EXPECT_TRUE(recorder.HasCommand(IDC_NOTE, EN_KILLFOCUS));
                commandsWhenDisabled = recorder.Commands().size();
                QWidget* dialog = WidgetFromHandle(recorder.dialog);
                QTest::keyClick(dialog, Qt::Key_Escape);
                QTest::keyClick(ItemWidget(recorder, IDC_NOTE), Qt::Key_Return);
                QTest::mouseClick(ItemWidget(recorder, IDC_GO), Qt::LeftButton);
                dialog->close();
                EXPECT_EQ(recorder.Commands().size(), commandsWhenDisabled);
                EXPECT_EQ(recorder.Count(WM_SYSCOMMAND), 0);
                EXPECT_FALSE(WidgetFromHandle(recorder.dialog)->isEnabled());
                EXPECT_NE(EnableWindow(recorder.dialog, TRUE), FALSE);
            })
        .When(
            "the note has the focus again", [] { return FocusedId() == IDC_NOTE; },
            [] { Key(Qt::Key_Escape); });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
}

TEST(DialogKeyboard, TabWalksTheTabStopsInZOrderAndBringWindowToTopReordersThem) {
    DialogRecorder recorder;
    std::vector<int> forward;
    std::vector<int> backward;
    std::vector<int> reordered;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        for (int i = 0; i < 5; ++i) {
            Key(Qt::Key_Tab);
            forward.push_back(FocusedId());
        }
        for (int i = 0; i < 2; ++i) {
            Key(Qt::Key_Backtab, Qt::ShiftModifier);
            backward.push_back(FocusedId());
        }
        // First in z-order is first in tab order; Tab wraps around to it.
        EXPECT_NE(BringWindowToTop(Item(recorder, IDC_SECRET)), FALSE);
        EXPECT_EQ(GetWindow(recorder.dialog, GW_CHILD), Item(recorder, IDC_SECRET));
        SetFocus(Item(recorder, IDC_GO));
        for (int i = 0; i < 3; ++i) {
            Key(Qt::Key_Tab);
            reordered.push_back(FocusedId());
        }
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    // The radios are not tab stops; the label is not focusable.
    EXPECT_EQ(forward, (std::vector<int>{IDC_PICK, IDC_NOTE, IDC_SECRET, IDC_GO, IDC_NAME}));
    EXPECT_EQ(backward, (std::vector<int>{IDC_GO, IDC_SECRET}));
    EXPECT_EQ(reordered, (std::vector<int>{IDC_SECRET, IDC_NAME, IDC_PICK}));
}

TEST(DialogKeyboard, QueuedTabFromKeybdEventActsAfterTheHandlerReturnsAsTypedThen) {
    DialogRecorder recorder;
    int focusRightAfter = 0;
    recorder.onMessage = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDC_GO)) {
            keybd_event(VK_TAB, 0, 0, 0);
            focusRightAfter = FocusedId();
            return TRUE;
        }
        return FALSE;
    };
    ModalScript script;
    script.When("the form is shown", DialogReady, [] { Key(Qt::Key_Return); })
        .When(
            "the Tab has moved the focus", [] { return FocusedId() == IDC_PICK; },
            [&] {
                EXPECT_EQ(focusRightAfter, IDC_NAME);
                SetFocus(Item(recorder, IDC_GO));
                // Shift is down when the queued key acts, so it acts as Shift+Tab.
                QTest::keyPress(FocusedWidget(), Qt::Key_Shift, Qt::ShiftModifier);
                SendMessage(Item(recorder, IDC_GO), BM_CLICK, 0, 0);
            })
        .When(
            "the Shift+Tab has moved the focus back", [] { return FocusedId() == IDC_SECRET; },
            [] {
                QTest::keyRelease(FocusedWidget(), Qt::Key_Shift, Qt::ShiftModifier);
                Key(Qt::Key_Escape);
            });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(focusRightAfter, IDC_GO);
}

TEST(DialogControls, AutoRadioIsCheckedWhenItsClickArrivesAndSetCheckIsSilent) {
    DialogRecorder recorder;
    std::vector<std::pair<bool, bool>> checksAtClick;
    recorder.onMessage = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
            (LOWORD(wParam) == IDC_FIRST || LOWORD(wParam) == IDC_SECOND)) {
            checksAtClick.emplace_back(Checked(recorder, IDC_FIRST), Checked(recorder, IDC_SECOND));
        }
        return FALSE;
    };
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        EXPECT_NE(SendMessage(Item(recorder, IDC_SECOND), WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON,
                  0);
        EXPECT_EQ(SendMessage(Item(recorder, IDC_NAME), WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON, 0);
        SendMessage(Item(recorder, IDC_FIRST), BM_SETCHECK, BST_CHECKED, 0);
        const QPoint indicator(4, ItemWidget(recorder, IDC_SECOND)->height() / 2);
        QTest::mouseClick(ItemWidget(recorder, IDC_SECOND), Qt::LeftButton, {}, indicator);
        // Clicking the checked one leaves it checked.
        QTest::mouseClick(ItemWidget(recorder, IDC_SECOND), Qt::LeftButton, {}, indicator);
        const std::size_t clicks = checksAtClick.size();
        SendMessage(Item(recorder, IDC_FIRST), BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessage(Item(recorder, IDC_SECOND), BM_SETCHECK, BST_UNCHECKED, 0);
        EXPECT_FALSE(Checked(recorder, IDC_FIRST));
        EXPECT_FALSE(Checked(recorder, IDC_SECOND));
        EXPECT_EQ(checksAtClick.size(), clicks);
        // The arrows move within the group and choose as they go.
        SetFocus(Item(recorder, IDC_FIRST));
        Key(Qt::Key_Down);
        EXPECT_EQ(FocusedId(), IDC_SECOND);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(checksAtClick,
              (std::vector<std::pair<bool, bool>>{{false, true}, {false, true}, {false, true}}));
}

namespace {

std::vector<UINT> spiedMessages;
WNDPROC noteProcBefore = nullptr;

LRESULT NoteSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    spiedMessages.push_back(message);
    if (message == WM_GETTEXTLENGTH) {
        return CallWindowProc(noteProcBefore, window, message, wParam, lParam) + 100;
    }
    return CallWindowProc(noteProcBefore, window, message, wParam, lParam);
}

} // namespace

TEST(DialogControls, SubclassedEditSeesItsMessagesAndItsKillFocusBecomesEnKillFocus) {
    spiedMessages.clear();
    DialogRecorder recorder;
    recorder.onMessage = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            noteProcBefore = reinterpret_cast<WNDPROC>(SetWindowLongPtr(
                GetDlgItem(dialog, IDC_NOTE), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NoteSpy)));
        }
        return FALSE;
    };
    HWND note = nullptr;
    char text[16] = {};
    int length = 0;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        note = Item(recorder, IDC_NOTE);
        SetFocus(note);
        QTest::keyClicks(ItemWidget(recorder, IDC_NOTE), "typed");
        Key(Qt::Key_Tab);
        GetWindowText(note, text, sizeof text);
        length = GetWindowTextLength(note);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_STREQ(text, "typed");
    EXPECT_EQ(length, 105);
    EXPECT_NE(std::find(spiedMessages.begin(), spiedMessages.end(), WM_KILLFOCUS),
              spiedMessages.end());
    bool found = false;
    for (const SentToDialog& sent : recorder.messages) {
        if (sent.message == WM_COMMAND && sent.wParam == MAKEWPARAM(IDC_NOTE, EN_KILLFOCUS)) {
            EXPECT_EQ(sent.lParam, reinterpret_cast<LPARAM>(note));
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

TEST(DialogControls, TextGoesThroughTheControlsInBytes) {
    DialogRecorder recorder;
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        const HWND name = Item(recorder, IDC_NAME);
        EXPECT_NE(SetDlgItemText(recorder.dialog, IDC_NAME, "h\xC3\xA9llo"), FALSE);
        EXPECT_EQ(GetWindowTextLength(name), 6);
        char buffer[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(GetWindowText(name, buffer, 4), 3);
        EXPECT_STREQ(buffer, "h\xC3\xA9");
        EXPECT_EQ(GetWindowText(name, buffer, 0), 0);
        EXPECT_EQ(SetDlgItemText(recorder.dialog, 4242, "nobody"), FALSE);
        char label[8] = {};
        EXPECT_EQ(GetWindowText(Item(recorder, IDC_FIRST), label, sizeof label), 5);
        EXPECT_STREQ(label, "First");
        EXPECT_EQ(GetWindowLong(Item(recorder, IDC_SECRET), GWL_STYLE) & ES_PASSWORD,
                  static_cast<LONG>(ES_PASSWORD));
        EXPECT_EQ(GetDlgCtrlID(name), IDC_NAME);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_TRUE(recorder.HasCommand(IDC_NAME, EN_CHANGE));
}

TEST(DialogControls, PastedTextStopsAtItsFirstLineBreak) {
    DialogRecorder recorder;
    std::string secret;
    std::string name;
    const auto text = [&](int id) {
        char buffer[64] = {};
        GetWindowText(Item(recorder, id), buffer, sizeof buffer);
        return std::string(buffer);
    };
    ModalScript script;
    script.When("the form is shown", DialogReady, [&] {
        // A password copied with the end of its line, as a terminal or an editor copies it.
        QApplication::clipboard()->setText(QStringLiteral("pw123\r\nthe next line"));
        SetFocus(Item(recorder, IDC_SECRET));
        Key(Qt::Key_V, Qt::ControlModifier);
        secret = text(IDC_SECRET);
        // Into the middle of a name: what stood after the cursor stays.
        SetDlgItemText(recorder.dialog, IDC_NAME, "docs/.txt");
        SetFocus(Item(recorder, IDC_NAME));
        Key(Qt::Key_Home);
        for (int i = 0; i < 5; ++i) {
            Key(Qt::Key_Right);
        }
        QApplication::clipboard()->setText(QStringLiteral("notes\n"));
        Key(Qt::Key_V, Qt::ControlModifier);
        name = text(IDC_NAME);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    EXPECT_EQ(secret, "pw123");
    EXPECT_EQ(name, "docs/notes.txt");
}

TEST(SystemMenu, ShiftF10ShowsItAndAnAppendedItemArrivesAsWmSysCommand) {
    constexpr UINT ID_TEST_ITEM = 256;
    DialogRecorder recorder;
    recorder.onMessage = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            HMENU menu = GetSystemMenu(dialog, FALSE);
            InsertMenu(menu, static_cast<UINT>(-1), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
            InsertMenu(menu, static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING, ID_TEST_ITEM,
                       "About the form ...");
            DrawMenuBar(dialog);
        }
        if (message == WM_SYSCOMMAND && LOWORD(wParam) == ID_TEST_ITEM) {
            EndDialog(dialog, ID_TEST_ITEM);
            return TRUE;
        }
        return FALSE;
    };
    QStringList shown;
    ModalScript script;
    script.When("the form is shown", DialogReady, [] { Key(Qt::Key_F10, Qt::ShiftModifier); })
        .When(
            "the menu is open", [] { return ActivePopupMenu() != nullptr; },
            [&] {
                QMenu* menu = ActivePopupMenu();
                for (QAction* action : menu->actions()) {
                    shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
                }
                menu->setActiveAction(menu->actions().last());
                QTest::keyClick(menu, Qt::Key_Return);
            });
    EXPECT_EQ(RunForm(recorder), static_cast<INT_PTR>(ID_TEST_ITEM));
    EXPECT_EQ(shown, (QStringList{"Minimize", "Close", "-", "About the form ..."}));
}

TEST(SystemMenu, ItsCloseCancelsTheDialog) {
    DialogRecorder recorder;
    ModalScript script;
    script.When("the form is shown", DialogReady, [] { Key(Qt::Key_Menu); })
        .When(
            "the menu is open", [] { return ActivePopupMenu() != nullptr; },
            [] {
                QMenu* menu = ActivePopupMenu();
                for (QAction* action : menu->actions()) {
                    if (action->text() == "Close") {
                        menu->setActiveAction(action);
                    }
                }
                QTest::keyClick(menu, Qt::Key_Return);
            });
    EXPECT_EQ(RunForm(recorder), IDCANCEL);
    ASSERT_EQ(recorder.Count(WM_SYSCOMMAND), 1);
    EXPECT_TRUE(recorder.HasCommand(IDCANCEL, BN_CLICKED));
}

TEST(NestedDialog, SitsAtTheOwnersClientOriginWithTheOwnerDisabledUntilItEnds) {
    DialogRecorder form;
    DialogRecorder box;
    INT_PTR boxResult = 0;
    form.onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_GO) {
            boxResult = DialogBoxParam(TestModule(), IDD_BOX, dialog, &RecordingDialogProc,
                                       reinterpret_cast<LPARAM>(&box));
            return TRUE;
        }
        return FALSE;
    };
    box.onMessage = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        return FALSE;
    };
    ModalScript script;
    script
        .When("the form is shown", DialogReady,
              [&] {
                  SetFocus(Item(form, IDC_GO));
                  Key(Qt::Key_Return);
              })
        .When(
            "the box is shown", [&] { return RunningDialog() == box.dialog && DialogReady(); },
            [&] {
                EXPECT_FALSE(WidgetFromHandle(form.dialog)->isEnabled());
                QWidget* boxWidget = WidgetFromHandle(box.dialog);
                const QFontMetrics metrics(boxWidget->font());
                const int baseX = (metrics.horizontalAdvance(
                                       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") /
                                       26 +
                                   1) /
                                  2;
                const QPoint origin = WidgetFromHandle(form.dialog)->mapToGlobal(QPoint(0, 0));
                const QPoint expected = origin + QPoint(baseX, (6 * metrics.height() + 4) / 8);
                EXPECT_EQ(boxWidget->pos(), expected);
                // The default push button is the first tab stop and takes the focus.
                EXPECT_EQ(FocusedId(), IDOK);
                bool iconShown = false;
                for (const QLabel* label : boxWidget->findChildren<QLabel*>()) {
                    if (!label->pixmap().isNull()) {
                        iconShown = label->pixmap().size() == QSize(32, 32);
                    }
                }
                EXPECT_TRUE(iconShown);
                Key(Qt::Key_Return);
            })
        .When(
            "the form has its focus back", [&] { return FocusedId() == IDC_GO; },
            [&] {
                EXPECT_TRUE(WidgetFromHandle(form.dialog)->isEnabled());
                Key(Qt::Key_Escape);
            });
    EXPECT_EQ(RunForm(form), IDCANCEL);
    EXPECT_EQ(boxResult, IDOK);
    EXPECT_TRUE(box.HasCommand(IDOK, BN_CLICKED));
}
