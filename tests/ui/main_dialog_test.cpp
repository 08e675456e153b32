// The main dialog's form, start-up, message map and data exchange, driven headless.

#include "dialog_fixture.h"
#include "platform/window/dialogs.h"
#include "platform/window/menus_icons.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <tuple>
#include <vector>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;

namespace {

// The tab stops met by pressing Tab (Shift+Tab when `backwards`) from the focused control, the
// focused one first.
std::vector<int> TabCycle(bool backwards = false) {
    std::vector<int> ids{FocusedId()};
    for (int i = 0; i < 7; ++i) {
        Key(Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        ids.push_back(FocusedId());
    }
    return ids;
}

// The items of the open popup menu, a separator as "", and the menu closed again.
std::vector<std::string> TakeMenuItems() {
    std::vector<std::string> items;
    QMenu* menu = ActivePopupMenu();
    for (QAction* action : menu->actions()) {
        items.push_back(action->isSeparator() ? "" : action->text().toStdString());
    }
    QTest::keyClick(menu, Qt::Key_Escape);
    return items;
}

using StartUp = MainDialogTest;

TEST_F(StartUp, WithoutASourceTheFieldsAreEmptyAndTheFirstTabStopHasTheFocus) {
    MainDialog dialog;
    std::vector<int> cycle;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_EQ(WidgetFromHandle(dialog.window())->windowTitle().toStdString(), "Vanthe");
        EXPECT_EQ(ControlText(dialog, IDC_SOURCE), "");
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), "");
        EXPECT_EQ(ControlText(dialog, IDC_PASSWORD), "");
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Encrypt");
        EXPECT_TRUE(Checked(dialog, IDC_MODE_ENCRYPT));
        EXPECT_FALSE(Checked(dialog, IDC_MODE_DECRYPT));
        EXPECT_EQ(dialog.mode, 0);
        EXPECT_EQ(dialog.overlayActive, 0);
        EXPECT_EQ(qobject_cast<QLineEdit*>(ControlWidget(dialog, IDC_PASSWORD))->echoMode(),
                  QLineEdit::Password);
        // Every label shows its whole text, whatever the font.
        for (QLabel* label : WidgetFromHandle(dialog.window())->findChildren<QLabel*>()) {
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
                << label->text().toStdString();
        }
        Key(Qt::Key_F10, Qt::ShiftModifier);
    });
    std::vector<std::string> menu;
    std::string highlighted;
    script.When(
        "the system menu is open", [] { return ActivePopupMenu() != nullptr; },
        [&] {
            // Opened from the keyboard, the menu has an item for a screen reader to name.
            const QAction* active = ActivePopupMenu()->activeAction();
            highlighted = active != nullptr ? active->text().toStdString() : "";
            menu = TakeMenuItems();
        });
    script.When(
        "the system menu is closed", [] { return ActivePopupMenu() == nullptr && DialogReady(); },
        [&] {
            cycle = TabCycle();
            Key(Qt::Key_Escape);
        });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_EQ(menu, (std::vector<std::string>{"Minimize", "Close", "", "About Vanthe ..."}));
    EXPECT_EQ(highlighted, "Minimize");
    EXPECT_EQ(cycle,
              (std::vector<int>{IDC_SOURCE, IDC_BROWSE_SOURCE, IDC_MODE_ENCRYPT, IDC_DESTINATION,
                                IDC_BROWSE_DESTINATION, IDC_PASSWORD, IDC_RUN, IDC_SOURCE}));
}

TEST_F(StartUp, APresetSourceIsProposedAndThePasswordComesFirst) {
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir / "report.doc.ENX", {1, 2, 3});
    MainDialog dialog;
    dialog.sourcePath = dir / "report.doc.ENX";
    std::vector<int> cycle;
    std::vector<int> backwards;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_EQ(ControlText(dialog, IDC_SOURCE), dir / "report.doc.ENX");
        EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), dir / "report.doc");
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
        EXPECT_TRUE(Checked(dialog, IDC_MODE_DECRYPT));
        EXPECT_EQ(dialog.mode, 1);
        cycle = TabCycle();
        backwards = TabCycle(true);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    // Tab lands on the chosen mode, and Shift+Tab leaves it for the source's button.
    EXPECT_EQ(cycle, (std::vector<int>{IDC_PASSWORD, IDC_RUN, IDC_SOURCE, IDC_BROWSE_SOURCE,
                                       IDC_MODE_DECRYPT, IDC_DESTINATION, IDC_BROWSE_DESTINATION,
                                       IDC_PASSWORD}));
    EXPECT_EQ(backwards, (std::vector<int>{IDC_PASSWORD, IDC_BROWSE_DESTINATION, IDC_DESTINATION,
                                           IDC_MODE_DECRYPT, IDC_BROWSE_SOURCE, IDC_SOURCE, IDC_RUN,
                                           IDC_PASSWORD}));
}

using Closing = MainDialogTest;

TEST_F(Closing, EscapeTheCloseButtonAndTheSystemMenusCloseEndTheDialogWithTwo) {
    for (int way = 0; way < 3; ++way) {
        MainDialog dialog;
        ModalScript script;
        script.When("the dialog is shown", DialogReady, [&] {
            if (way == 0) {
                Key(Qt::Key_Escape);
            } else if (way == 1) {
                WidgetFromHandle(dialog.window())->close();
            } else {
                Key(Qt::Key_F10, Qt::ShiftModifier);
            }
        });
        if (way == 2) {
            script.When(
                "the system menu", [] { return ActivePopupMenu() != nullptr; },
                [] {
                    QMenu* menu = ActivePopupMenu();
                    for (QAction* action : menu->actions()) {
                        if (action->text().remove('&') == "Close") {
                            menu->setActiveAction(action);
                        }
                    }
                    QTest::keyClick(menu, Qt::Key_Return);
                });
        }
        EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL) << "way " << way;
    }
}

using MessageMap = MainDialogTest;

TEST_F(MessageMap, KillFocusSavesOnlyFromItsOwnEditAndOnlyThatCode) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        HWND window = dialog.window();
        SetDlgItemText(window, IDC_SOURCE, "typed source");
        SetDlgItemText(window, IDC_DESTINATION, "typed destination");
        SetDlgItemText(window, IDC_PASSWORD, "typed password");
        // Other notifications of the edits, and kill-focus codes from the wrong controls.
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_SOURCE, 0x0300), 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_SOURCE, 0x0100), 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_BROWSE_SOURCE, EN_KILLFOCUS), 0);
        EXPECT_EQ(dialog.sourcePath, "");
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_SOURCE, EN_KILLFOCUS), 0);
        EXPECT_EQ(dialog.sourcePath, "typed source");
        EXPECT_EQ(dialog.destinationPath, "");
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_DESTINATION, EN_KILLFOCUS), 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_PASSWORD, EN_KILLFOCUS), 0);
        EXPECT_EQ(dialog.destinationPath, "typed destination");
        EXPECT_EQ(dialog.password, "typed password");
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

TEST_F(MessageMap, ButtonsActOnlyOnBnClicked) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        HWND window = dialog.window();
        SendMessage(Control(dialog, IDC_MODE_DECRYPT), BM_SETCHECK, BST_CHECKED, 0);
        SendMessage(Control(dialog, IDC_MODE_ENCRYPT), BM_SETCHECK, BST_UNCHECKED, 0);
        // A double-click notification (5) is not a click: nothing is read or relabelled.
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_MODE_DECRYPT, 5), 0);
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Encrypt");
        EXPECT_EQ(dialog.mode, 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_MODE_DECRYPT, BN_CLICKED), 0);
        EXPECT_EQ(ControlText(dialog, IDC_RUN), "Decrypt");
        EXPECT_EQ(dialog.mode, 1);
        // Neither would show a box or a file dialog: the script would stall on it.
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_RUN, 5), 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_BROWSE_SOURCE, 5), 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(IDC_BROWSE_DESTINATION, 5), 0);
        SendMessage(window, WM_COMMAND, MAKEWPARAM(1234, BN_CLICKED), 0);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
}

TEST_F(MessageMap, IdCancelEndsWithItsIdWhateverTheCode) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady,
                [&] { SendMessage(dialog.window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 7), 0); });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
}

TEST_F(MessageMap, OtherSystemCommandsKeepTheirDefaultMeaning) {
    MainDialog dialog;
    bool minimised = false;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        SendMessage(dialog.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        minimised = IsIconic(dialog.window()) != FALSE;
        SendMessage(dialog.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    EXPECT_TRUE(minimised);
}

using DataExchange = MainDialogTest;

TEST_F(DataExchange, MembersAndControlsRoundTrip) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        dialog.sourcePath = "a \xC3\xA9 source";
        dialog.destinationPath = "  ";
        dialog.password = "p";
        dialog.mode = 1;
        EXPECT_TRUE(dialog.ExchangeData(MainDialog::Exchange::ToControls));
        EXPECT_EQ(ControlText(dialog, IDC_SOURCE), "a \xC3\xA9 source");
        EXPECT_TRUE(Checked(dialog, IDC_MODE_DECRYPT));
        EXPECT_FALSE(Checked(dialog, IDC_MODE_ENCRYPT));
        dialog.sourcePath.clear();
        dialog.destinationPath.clear();
        dialog.password.clear();
        dialog.mode = 7;
        EXPECT_TRUE(dialog.ExchangeData(MainDialog::Exchange::ToMembers));
        EXPECT_EQ(dialog.sourcePath, "a \xC3\xA9 source");
        EXPECT_EQ(dialog.destinationPath, "  ");
        EXPECT_EQ(dialog.password, "p");
        EXPECT_EQ(dialog.mode, 1);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

TEST_F(DataExchange, RadioGroupWithNothingSelectedReadsAsMinusOne) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        dialog.mode = -1;
        dialog.ExchangeData(MainDialog::Exchange::ToControls, IDC_MODE_ENCRYPT);
        EXPECT_FALSE(Checked(dialog, IDC_MODE_ENCRYPT));
        EXPECT_FALSE(Checked(dialog, IDC_MODE_DECRYPT));
        dialog.mode = 0;
        // Only the group's first radio answers for the group; other ids do nothing.
        EXPECT_TRUE(dialog.ExchangeData(MainDialog::Exchange::ToMembers, IDC_MODE_DECRYPT));
        EXPECT_TRUE(dialog.ExchangeData(MainDialog::Exchange::ToMembers, IDC_RUN));
        EXPECT_EQ(dialog.mode, 0);
        EXPECT_TRUE(dialog.ExchangeData(MainDialog::Exchange::ToMembers, IDC_MODE_ENCRYPT));
        EXPECT_EQ(dialog.mode, -1);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

TEST_F(DataExchange, TypedTextReachesItsMemberWhenTheFieldLosesTheFocus) {
    MainDialog dialog;
    std::string whileTyping = "unset";
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        SetFocus(Control(dialog, IDC_PASSWORD));
        Type("secret");
        whileTyping = dialog.password;
        Key(Qt::Key_Tab);
    });
    script.When(
        "the focus moved on", [] { return FocusedId() == IDC_RUN; }, [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(whileTyping, "");
    EXPECT_EQ(dialog.password, "secret");
}

using Naming = MainDialogTest;

TEST_F(Naming, ProposalsFollowTheMarker) {
    struct Case {
        const char* source;
        const char* destination; // before
        bool proposed;
        int mode;
        const char* label;
        const char* destinationAfter;
    } cases[] = {
        {"report.txt", "", true, 0, "Encrypt", "report.txt.enx"},
        {"report.txt.ENX", "", true, 1, "Decrypt", "report.txt"},
        {"a.eNx", "", true, 1, "Decrypt", "a"},
        {".enx", "", true, 1, "Decrypt", ""},
        {"/data/.ENX", "", true, 1, "Decrypt", ""}, // its folder is no destination
        {"/data/..enx", "", true, 1, "Decrypt", ""},
        {"...enx", "", true, 1, "Decrypt", ""},
        {"/data/...x.enx", "", true, 1, "Decrypt", "/data/...x"},
        {"ab", "", true, 0, "Encrypt", "ab.enx"},
        {"data.enx ", "", true, 0, "Encrypt", "data.enx .enx"},
        {"\xC3\xA9t\xC3\xA9.enx", "", true, 1, "Decrypt", "\xC3\xA9t\xC3\xA9"},
        {"report.txt", "chosen", false, 0, "Encrypt", "chosen"},
        {"", "", false, 0, "Encrypt", ""},
    };
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        for (const Case& c : cases) {
            dialog.mode = 0;
            SetDlgItemText(dialog.window(), IDC_RUN, "Encrypt");
            dialog.ExchangeData(MainDialog::Exchange::ToControls, IDC_MODE_ENCRYPT);
            dialog.sourcePath = c.source;
            dialog.destinationPath = c.destination;
            EXPECT_EQ(dialog.ProposeDestination(), c.proposed) << c.source;
            EXPECT_EQ(dialog.mode, c.mode) << c.source;
            EXPECT_EQ(ControlText(dialog, IDC_RUN), c.label) << c.source;
            EXPECT_EQ(Checked(dialog, IDC_MODE_DECRYPT), c.mode == 1) << c.source;
            EXPECT_EQ(dialog.destinationPath, c.destinationAfter) << c.source;
        }
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

// A destination the naming rule proposed follows the radios, so a plaintext never gets the
// encrypted marker nor a ciphertext loses it; one the user typed stays.
TEST_F(Naming, TheRadiosOverrideTheModeAndAProposedDestinationFollows) {
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir / "report.dat", {1});
    testing_support::WriteBytes(dir / "notes.enx", {1});
    MainDialog dialog;
    dialog.sourcePath = dir / "report.dat";
    std::vector<std::tuple<int, std::string, std::string>> seen;
    const auto see = [&] {
        seen.emplace_back(dialog.mode, ControlText(dialog, IDC_RUN),
                          ControlText(dialog, IDC_DESTINATION));
    };
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Click(ControlWidget(dialog, IDC_MODE_DECRYPT));
        see();
        Click(ControlWidget(dialog, IDC_MODE_DECRYPT));
        see();
        Click(ControlWidget(dialog, IDC_MODE_ENCRYPT));
        see();
        // Another source, chosen with Enter: its own proposal follows the radios too.
        QWidget* source = ControlWidget(dialog, IDC_SOURCE);
        source->setFocus();
        SetDlgItemText(dialog.window(), IDC_SOURCE, (dir / "notes.enx").c_str());
        SetDlgItemText(dialog.window(), IDC_DESTINATION, "");
        dialog.ExchangeData(MainDialog::Exchange::ToMembers);
        Key(Qt::Key_Return);
        see();
        Click(ControlWidget(dialog, IDC_MODE_ENCRYPT));
        see();
        // A destination the user typed is theirs.
        SetDlgItemText(dialog.window(), IDC_DESTINATION, "mine");
        Click(ControlWidget(dialog, IDC_MODE_DECRYPT));
        see();
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    const std::string report = dir / "report.dat";
    const std::string notes = dir / "notes";
    EXPECT_EQ(seen, (std::vector<std::tuple<int, std::string, std::string>>{
                        {1, "Decrypt", ""},
                        {1, "Decrypt", ""},
                        {0, "Encrypt", report + ".enx"},
                        {1, "Decrypt", notes},
                        {0, "Encrypt", notes + ".enx.enx"},
                        {1, "Decrypt", "mine"}}));
}

// Keyboard alone: Tab reaches the modes, the arrows choose one, and the proposed destination
// follows.
TEST_F(Naming, TheArrowsChooseTheMode) {
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir / "report.dat", {1});
    MainDialog dialog;
    dialog.sourcePath = dir / "report.dat";
    std::vector<std::tuple<int, int, std::string>> seen;
    const auto see = [&] {
        seen.emplace_back(FocusedId(), dialog.mode, ControlText(dialog, IDC_DESTINATION));
    };
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Key(Qt::Key_Tab, Qt::ShiftModifier); // from the password
        Key(Qt::Key_Tab, Qt::ShiftModifier);
        Key(Qt::Key_Tab, Qt::ShiftModifier);
        see();
        Key(Qt::Key_Right);
        see();
        Key(Qt::Key_Left);
        see();
        // The arrows go round the two modes and never leave them.
        Key(Qt::Key_Up);
        see();
        Key(Qt::Key_Down);
        see();
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    const std::string encrypted = dir / "report.dat.enx";
    EXPECT_EQ(seen,
              (std::vector<std::tuple<int, int, std::string>>{{IDC_MODE_ENCRYPT, 0, encrypted},
                                                              {IDC_MODE_DECRYPT, 1, ""},
                                                              {IDC_MODE_ENCRYPT, 0, encrypted},
                                                              {IDC_MODE_DECRYPT, 1, ""},
                                                              {IDC_MODE_ENCRYPT, 0, encrypted}}));
}

using About = MainDialogTest;

TEST_F(About, OpensFromTheSystemMenuAtTheClientOriginAndClosesEveryWay) {
    for (int way = 0; way < 4; ++way) {
        MainDialog dialog;
        bool mainTookInput = true;
        ModalScript script;
        script.When("the dialog is shown", DialogReady,
                    [&] { Key(Qt::Key_F10, Qt::ShiftModifier); });
        script.When(
            "the system menu", [] { return ActivePopupMenu() != nullptr; },
            [] {
                QMenu* menu = ActivePopupMenu();
                menu->setActiveAction(menu->actions().back());
                QTest::keyClick(menu, Qt::Key_Return);
            });
        script.When(
            "the About box",
            [&] {
                QWidget* about = WidgetFromHandle(RunningDialog());
                return about != nullptr && RunningDialog() != dialog.window() && about->isVisible();
            },
            [&] {
                HWND box = RunningDialog();
                QWidget* about = WidgetFromHandle(box);
                EXPECT_EQ(about->windowTitle().toStdString(), "About");
                bool hasText = false;
                for (QLabel* label : about->findChildren<QLabel*>()) {
                    hasText = hasText || label->text().startsWith("Vanthe Application v2.0");
                }
                EXPECT_TRUE(hasText);
                const QPoint origin = WidgetFromHandle(dialog.window())->mapToGlobal(QPoint(0, 0));
                RECT frame{};
                GetWindowRect(box, &frame);
                EXPECT_EQ(frame.left, origin.x());
                EXPECT_EQ(frame.top, origin.y());
                mainTookInput = WidgetFromHandle(dialog.window())->isActiveWindow();
                EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDOK);
                switch (way) {
                case 0:
                    Key(Qt::Key_Return);
                    break;
                case 1:
                    Key(Qt::Key_Escape);
                    break;
                case 2:
                    Click(WidgetFromHandle(GetDlgItem(box, IDOK)));
                    break;
                default:
                    about->close();
                }
            });
        script.When(
            "back in the main dialog", [&] { return RunningDialog() == dialog.window(); },
            [&] {
                EXPECT_TRUE(WidgetFromHandle(dialog.window())->isEnabled());
                SendMessage(dialog.window(), WM_COMMAND, IDCANCEL, 0);
            });
        EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL) << "way " << way;
        EXPECT_FALSE(mainTookInput) << "way " << way;
    }
}

TEST_F(About, OtherCommandsLeaveTheBoxOpen) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady,
                [&] { SendMessage(dialog.window(), WM_SYSCOMMAND, ID_SYS_ABOUT, 0); });
    script.When(
        "the About box", [&] { return RunningDialog() != dialog.window(); },
        [&] {
            HWND box = RunningDialog();
            SendMessage(box, WM_COMMAND, 8, 0);
            SendMessage(box, WM_COMMAND, 0, 0);
            EXPECT_EQ(RunningDialog(), box);
            SendMessage(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        });
    script.When(
        "back in the main dialog", [&] { return RunningDialog() == dialog.window(); },
        [&] { Key(Qt::Key_Escape); });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
}

// A desktop of two screens side by side (the second smaller), as its own test run gives.
class TwoScreens : public MainDialogTest {
protected:
    void SetUp() override {
        if (QGuiApplication::screens().size() < 2) {
            GTEST_SKIP() << "needs the two screens of two-screens.json";
        }
        MainDialogTest::SetUp();
    }
    static QRect Second() { return QGuiApplication::screens().at(1)->availableGeometry(); }
    static bool Within(const RECT& frame, const QRect& area) {
        return frame.left >= area.left() && frame.top >= area.top() &&
               frame.right <= area.x() + area.width() && frame.bottom <= area.y() + area.height();
    }
};

TEST_F(TwoScreens, TheDialogOpensOnTheScreenThePointerIsOn) {
    QCursor::setPos(Second().center());
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        RECT frame{};
        GetWindowRect(dialog.window(), &frame);
        EXPECT_TRUE(Within(frame, Second()))
            << frame.left << "," << frame.top << " " << frame.right << "," << frame.bottom;
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
    QCursor::setPos(QGuiApplication::primaryScreen()->geometry().center());
}

TEST_F(TwoScreens, TheAboutBoxStaysWholeOnItsOwnersScreen) {
    // The dialog pushed half past the second screen's lower right corner.
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        const QRect area = Second();
        SetWindowPos(dialog.window(), nullptr, area.x() + area.width() - 150,
                     area.y() + area.height() - 80, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessage(dialog.window(), WM_SYSCOMMAND, ID_SYS_ABOUT, 0);
    });
    script.When(
        "the About box", [&] { return RunningDialog() != dialog.window(); },
        [&] {
            RECT frame{};
            GetWindowRect(RunningDialog(), &frame);
            EXPECT_TRUE(Within(frame, Second()))
                << frame.left << "," << frame.top << " " << frame.right << "," << frame.bottom;
            Key(Qt::Key_Escape);
        });
    script.When(
        "back in the main dialog", [&] { return RunningDialog() == dialog.window(); },
        [&] { Key(Qt::Key_Escape); });
    EXPECT_EQ(dialog.RunModal(nullptr, 0), IDCANCEL);
}

} // namespace
