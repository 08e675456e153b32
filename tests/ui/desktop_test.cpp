// What the dialog owes the desktop it runs on: boxes that show their text as it stands,
// controls whose text is never clipped in any style or at a larger font, the desktop's text
// size where it is larger, names for screen readers, a path of any length from the Open dialog, and
// --help and --version.

#include "dialog_fixture.h"
#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "qt_bridge.h"
#include "res/resource_ids.h"
#include "res/version.h"
#include "support/test_files.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::Pattern;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

using Boxes = MainDialogTest;

TEST_F(Boxes, ShowTheirTextAsItStandsNeverAsMarkup) {
    const std::string name = "<b>bold</b> & <i>x";
    SeenBox box;
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(name));
        Key(Qt::Key_Return);
    });
    AnswerBox(script, box, &dialog);
    script.When(
        "back in the dialog",
        [&] { return ActiveModal<QMessageBox>() == nullptr && DialogReady(); },
        [&] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.text, "File '" + name + "' does not exist.");
    EXPECT_TRUE(box.plainText);
}

// Whether a control's text has the room it needs. Independent of how the layer sized it: the
// style says where a button's text goes, the font how much room the text takes.
std::string ClippedText(QWidget* widget) {
    const QFontMetrics metrics(widget->font());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text().isEmpty()) {
            return {};
        }
        const QRect room = label->contentsRect();
        const int flags = static_cast<int>(label->alignment()) |
                          (label->wordWrap() ? static_cast<int>(Qt::TextWordWrap) : 0);
        const QRect needed = metrics.boundingRect(room, flags, label->text());
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        // Every line on one line of its own, and all of them inside the label.
        const bool wrapped = needed.height() > lines.size() * metrics.lineSpacing();
        if (wrapped || !room.contains(needed)) {
            return "label '" + label->text().toStdString() + "'";
        }
        return {};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<QRadioButton*>(button) != nullptr) {
            element = QStyle::SE_RadioButtonContents;
        } else if (qobject_cast<QCheckBox*>(button) != nullptr) {
            element = QStyle::SE_CheckBoxContents;
        }
        const QRect room = button->style()->subElementRect(element, &option, button);
        const QSize needed = metrics.size(Qt::TextShowMnemonic, button->text());
        if (needed.width() > room.width() || needed.height() > room.height()) {
            return "button '" + button->text().toStdString() + "'";
        }
        return {};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // Room for a whole line, descenders included, inside the frame.
        const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
        if (edit->height() - 2 * frame < metrics.height()) {
            return "edit " + std::to_string(GetDlgCtrlID(HandleFromWidget(edit)));
        }
    }
    return {};
}

std::vector<std::string> ClippedControls(HWND dialog) {
    std::vector<std::string> clipped;
    for (QWidget* child :
         WidgetFromHandle(dialog)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (std::string what = ClippedText(child); !what.empty()) {
            clipped.push_back(what);
        }
    }
    return clipped;
}

// A style as roomy as the GNOME desktop's: larger indicators, margins and frames than the
// styles that come with the toolkit.
class RoomyStyle : public QProxyStyle {
public:
    RoomyStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        switch (metric) {
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
            return 22;
        case PM_RadioButtonLabelSpacing:
        case PM_CheckBoxLabelSpacing:
            return 10;
        case PM_ButtonMargin:
            return 24;
        case PM_DefaultFrameWidth:
            return 4;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

using Fit = MainDialogTest;

// Run at the desktop's font size, and again with fonts 1.5 times as large (ctest
// ui_text_fit_large_font).
TEST_F(Fit, NoControlTextIsClippedInAnyStyle) {
    const QString original = QApplication::style()->name();
    QStringList styles = QStyleFactory::keys();
    styles << QStringLiteral("roomy");
    for (const QString& style : styles) {
        if (style == QLatin1String("roomy")) {
            QApplication::setStyle(new RoomyStyle);
        } else {
            QApplication::setStyle(style);
        }
        MainDialog dialog;
        std::vector<std::string> main;
        std::vector<std::string> about;
        ModalScript script;
        script.When("the dialog is shown", DialogReady, [&] {
            main = ClippedControls(dialog.window());
            SendMessage(dialog.window(), WM_SYSCOMMAND, ID_SYS_ABOUT, 0);
        });
        script.When(
            "the About box", [&] { return RunningDialog() != dialog.window(); },
            [&] {
                about = ClippedControls(RunningDialog());
                // The first line of the About text is one line, as the box was drawn.
                QLabel* label = nullptr;
                for (QLabel* candidate :
                     WidgetFromHandle(RunningDialog())->findChildren<QLabel*>()) {
                    if (candidate->text().startsWith(QLatin1String("Vanthe Application"))) {
                        label = candidate;
                    }
                }
                ASSERT_NE(label, nullptr);
                const QFontMetrics metrics(label->font());
                EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Vanthe Application v2.0")),
                          label->contentsRect().width());
                EXPECT_FALSE(label->wordWrap() &&
                             label->heightForWidth(label->width()) > 4 * metrics.lineSpacing());
                Key(Qt::Key_Escape);
            });
        script.When(
            "back in the main dialog", [&] { return RunningDialog() == dialog.window(); },
            [&] { Key(Qt::Key_Escape); });
        dialog.RunModal(nullptr, 0);
        EXPECT_TRUE(main.empty()) << style.toStdString() << ": " << main.front();
        EXPECT_TRUE(about.empty()) << style.toStdString() << ": " << about.front();
    }
    QApplication::setStyle(original);
}

using Accessibility = MainDialogTest;

TEST_F(Accessibility, TheModesAreRadioButtonsAndEachBrowseButtonNamesItsField) {
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        QAccessibleInterface* encrypt =
            QAccessible::queryAccessibleInterface(ControlWidget(dialog, IDC_MODE_ENCRYPT));
        QAccessibleInterface* decrypt =
            QAccessible::queryAccessibleInterface(ControlWidget(dialog, IDC_MODE_DECRYPT));
        ASSERT_NE(encrypt, nullptr);
        ASSERT_NE(decrypt, nullptr);
        EXPECT_EQ(encrypt->role(), QAccessible::RadioButton);
        EXPECT_EQ(decrypt->role(), QAccessible::RadioButton);
        EXPECT_EQ(decrypt->text(QAccessible::Name).toStdString(), "Decrypt");
        EXPECT_TRUE(encrypt->state().checked);
        EXPECT_FALSE(decrypt->state().checked);
        // A screen reader's "activate" chooses the mode as a click does.
        QAccessibleActionInterface* action = decrypt->actionInterface();
        ASSERT_NE(action, nullptr);
        action->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_TRUE(decrypt->state().checked);
        EXPECT_FALSE(encrypt->state().checked);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(ControlWidget(dialog, IDC_RUN))
                      ->text(QAccessible::Name)
                      .toStdString(),
                  "Decrypt");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(ControlWidget(dialog, IDC_BROWSE_SOURCE))
                      ->text(QAccessible::Name)
                      .toStdString(),
                  "Source File . . .");
        EXPECT_EQ(
            QAccessible::queryAccessibleInterface(ControlWidget(dialog, IDC_BROWSE_DESTINATION))
                ->text(QAccessible::Name)
                .toStdString(),
            "Destination File . . .");
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

TEST_F(Accessibility, EditsAreNamedByTheirLabelsAndTheActionButtonByItsText) {
    const auto name = [](QWidget* widget) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        return accessible != nullptr ? accessible->text(QAccessible::Name).toStdString()
                                     : std::string("(none)");
    };
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        EXPECT_EQ(name(ControlWidget(dialog, IDC_SOURCE)), "Source File");
        EXPECT_EQ(name(ControlWidget(dialog, IDC_DESTINATION)), "Destination File");
        EXPECT_EQ(name(ControlWidget(dialog, IDC_PASSWORD)), "Password");
        EXPECT_EQ(name(ControlWidget(dialog, IDC_RUN)), "Encrypt");
        Click(ControlWidget(dialog, IDC_MODE_DECRYPT));
        EXPECT_EQ(name(ControlWidget(dialog, IDC_RUN)), "Decrypt");
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
}

// A user who set the desktop to a larger text size gets the dialog in it, laid out to fit.
TEST_F(Accessibility, ADesktopSetToLargerTextKeepsItsSize) {
    const auto measure = [](double* pointSize, int* width, std::vector<std::string>* clipped) {
        MainDialog dialog;
        ModalScript script;
        script.When("the dialog is shown", DialogReady, [&] {
            *pointSize = ControlWidget(dialog, IDC_PASSWORD)->font().pointSizeF();
            *width = WidgetFromHandle(dialog.window())->width();
            *clipped = ClippedControls(dialog.window());
            Key(Qt::Key_Escape);
        });
        dialog.RunModal(nullptr, 0);
    };
    double usualSize = 0;
    int usualWidth = 0;
    std::vector<std::string> clipped;
    measure(&usualSize, &usualWidth, &clipped);
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSizeF(2.5 * usualSize);
    QApplication::setFont(large);
    double largeSize = 0;
    int largeWidth = 0;
    measure(&largeSize, &largeWidth, &clipped);
    QApplication::setFont(original);
    EXPECT_DOUBLE_EQ(largeSize, 2.5 * usualSize);
    EXPECT_GT(largeWidth, 2 * usualWidth);
    EXPECT_TRUE(clipped.empty()) << clipped.front();
}

// A dark scheme makes the button colour lighter than the dialog's: the space a button's
// rectangle leaves around its mark and text is the dialog's colour, not a patch of another.
TEST_F(Accessibility, ADarkSchemeLeavesNoPatchesAroundTheButtons) {
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Button, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    QApplication::setPalette(dark);
    MainDialog dialog;
    std::vector<QColor> corners;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        for (int id : {IDC_MODE_ENCRYPT, IDC_MODE_DECRYPT, IDC_RUN}) {
            const QImage image = ControlWidget(dialog, id)->grab().toImage();
            corners.push_back(image.pixelColor(image.width() - 1, 0));
        }
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    QApplication::setPalette(original);
    for (const QColor& corner : corners) {
        EXPECT_EQ(corner, QColor(0x20, 0x20, 0x20)) << corner.name().toStdString();
    }
}

using OpenDialog = MainDialogTest;

TEST_F(OpenDialog, TakesAPathLongerThanTheOldLimit) {
    // Nested folders make a path of more than 300 bytes, with two-byte characters in it.
    TempDir dir;
    std::string path = dir.path();
    const std::string folder(60, 'd');
    while (path.size() < 250) {
        path += "/" + folder;
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    }
    path += "/n\xC3\xA4me-" + std::string(300 - path.size() - 10, 'x') + ".txt";
    ASSERT_GE(path.size(), 300u);
    WriteBytes(path, Pattern(3));
    MainDialog dialog;
    ModalScript script;
    script.When("the dialog is shown", DialogReady,
                [&] { Click(ControlWidget(dialog, IDC_BROWSE_SOURCE)); });
    script.When(
        "the Open dialog", [] { return ActiveModal<QFileDialog>() != nullptr; },
        [&] {
            auto* edit = ActiveModal<QFileDialog>()->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(edit, nullptr);
            edit->setFocus();
            edit->setText(QString::fromStdString(path));
            QTest::keyClick(edit, Qt::Key_Return);
        });
    script.When(
        "back in the dialog",
        [&] { return ActiveModal<QFileDialog>() == nullptr && DialogReady(); },
        [&] {
            EXPECT_EQ(ControlText(dialog, IDC_SOURCE), path);
            EXPECT_EQ(ControlText(dialog, IDC_DESTINATION), path + ".enx");
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
}

// Runs the program with one argument and no display; its standard output and exit status.
std::pair<std::string, int> RunProgram(const std::string& argument) {
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" VANTHE_GUI_PATH "' " + argument +
        " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {"", -1};
    }
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(CommandLineInfo, HelpAndVersionPrintAndSucceedWithoutADisplay) {
    const auto [help, helpStatus] = RunProgram("--help");
    EXPECT_EQ(helpStatus, 0);
    EXPECT_EQ(help.rfind("Usage: vanthe [FILE]\n", 0), 0u) << help;
    EXPECT_NE(help.find("--version"), std::string::npos);
    const auto [version, versionStatus] = RunProgram("--version");
    EXPECT_EQ(versionStatus, 0);
    EXPECT_EQ(version, std::string("vanthe ") + kVersionText + "\n");
    // An answer that cannot be written is a failure.
    EXPECT_EQ(RunProgram("--version >/dev/full").second, 1);
    // Anything else is still a file name.
    const auto [other, otherStatus] = RunProgram("--helpful");
    EXPECT_NE(other.find("cannot open the display"), std::string::npos) << other;
}

} // namespace
