// Passwords in the dialog as the program on Windows takes them: typed text in the ANSI code
// page of the locale, refused when encrypting would lose characters, and the question asked
// when a decrypted file looks like the password was wrong.

#include "dialog_fixture.h"
#include "engine/file_transform.h"
#include "jobs/job_runner.h"
#include "platform/window/dialogs.h"
#include "platform/window/window_state.h"
#include "res/resource_ids.h"
#include "support/test_files.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace platform;
using namespace vanthe;
using namespace vanthe::test;
using testing_support::Bytes;
using testing_support::PathExists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const std::string kVectors = VANTHE_TEST_DATA_DIR "/vectors/codepage";

// Sets one environment variable for the length of a test.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        ::setenv(name, value, 1);
    }
    ~ScopedVariable() {
        if (had_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

using Passwords = MainDialogTest;

struct Outcome {
    std::vector<SeenBox> boxes;
    int focus = 0;
    bool enabled = false;
};

// Types any text, as an input method hands it over: a key event per character.
void TypeText(const QString& text) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
}

// Chooses the source by typing it and Enter (which proposes the destination), sets the
// destination when one is given, types the password and presses Enter on the action button.
// Then answers the boxes that are to come, in order, and waits until `done` holds.
Outcome TypeAndRun(const std::string& source, const std::string& destination,
                   const QString& password, std::vector<Answer> answers,
                   std::function<bool()> done) {
    MainDialog dialog;
    Outcome outcome;
    outcome.boxes.resize(answers.size());
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(source));
        Key(Qt::Key_Return);
    });
    script.When(
        "the password field", [] { return FocusedId() == IDC_PASSWORD; },
        [&] {
            if (!destination.empty()) {
                SetDlgItemText(dialog.window(), IDC_DESTINATION, destination.c_str());
                dialog.ExchangeData(MainDialog::Exchange::ToMembers, IDC_DESTINATION);
            }
            TypeText(password);
            Key(Qt::Key_Return);
        });
    script.When(
        "the action button", [] { return FocusedId() == IDC_RUN; }, [] { Key(Qt::Key_Return); });
    for (std::size_t i = 0; i < answers.size(); ++i) {
        script.When(
            "box " + std::to_string(i + 1), [] { return ActiveModal<QMessageBox>() != nullptr; },
            [&outcome, i, answer = answers[i]] {
                AnswerShownBox(outcome.boxes[i], nullptr, answer);
            });
    }
    script.When(
        "the end of it all",
        [&] { return ActiveModal<QMessageBox>() == nullptr && JobsDone() && done(); },
        [&] {
            outcome.focus = FocusedId();
            outcome.enabled = ControlWidget(dialog, IDC_RUN)->window()->isEnabled();
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
    return outcome;
}

bool Always() {
    return true;
}

bool FocusIn(int id) {
    return FocusedId() == id;
}

TEST_F(Passwords, TypedInTheLocalesCodePageTheyOpenFilesMadeOnWindows) {
    struct Case {
        const char* locale;
        QString password;
        const char* file;
    } cases[] = {
        {"de_DE.UTF-8", QString::fromUtf8("Pässwörd"), "cp1252-00.enx"},
        {"ru_RU.UTF-8", QString::fromUtf8("пароль"), "cp1251-01.enx"},
        {"ja_JP.UTF-8", QString::fromUtf8("パスワード"), "cp932-02.enx"},
    };
    for (const Case& c : cases) {
        ScopedVariable locale("LC_ALL", c.locale);
        TempDir dir;
        const std::string source = dir / "file.enx";
        WriteBytes(source, ReadBytes(kVectors + "/outputs/" + c.file));
        Outcome outcome =
            TypeAndRun(source, "", c.password, {}, [&] { return PathExists(dir / "file"); });
        EXPECT_EQ(ReadBytes(dir / "file"), ReadBytes(kVectors + "/inputs/pattern-001025.bin"))
            << c.locale;
    }
}

TEST_F(Passwords, AWrongPasswordBeyondAsciiIsToldItsCodePage) {
    // German letters typed under a Russian locale, for a file made on a German Windows.
    ScopedVariable locale("LC_ALL", "ru_RU.UTF-8");
    TempDir dir;
    WriteBytes(dir / "file.enx", ReadBytes(kVectors + "/outputs/cp1252-00.enx"));
    Outcome outcome = TypeAndRun(dir / "file.enx", "", QString::fromUtf8("Pässwörd"),
                                 {{Qt::Key_Return}}, [] { return FocusIn(IDC_PASSWORD); });
    EXPECT_EQ(outcome.boxes[0].text,
              "The decrypted data does not look like any known kind of file.\n"
              "The password is probably wrong.\n"
              "It was hashed in code page 1251, as this locale asks; VANTHE_CODEPAGE chooses "
              "another.\n\nDecrypt anyway?");
    EXPECT_FALSE(PathExists(dir / "file"));
}

TEST_F(Passwords, EncryptingRefusesCharactersTheCodePageLacks) {
    ScopedVariable override("VANTHE_CODEPAGE", "1251");
    TempDir dir;
    WriteBytes(dir / "plain", Bytes(3000, 'a'));
    // The focus returns to the password field, or the script stalls.
    Outcome outcome = TypeAndRun(dir / "plain", "", QString::fromUtf8("Pässwörd"), {{}},
                                 [] { return FocusIn(IDC_PASSWORD); });
    EXPECT_EQ(outcome.boxes[0].text,
              "The password contains characters that code page 1251 cannot represent.\n\n"
              "VANTHE_CODEPAGE=N in the environment chooses another code page (65001 keeps the "
              "password's UTF-8 bytes).");
    EXPECT_EQ(outcome.boxes[0].title, "");
    EXPECT_EQ(outcome.boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_FALSE(PathExists(dir / "plain.enx"));
}

TEST_F(Passwords, AnUnknownCodePageOverrideIsSaid) {
    ScopedVariable override("VANTHE_CODEPAGE", "437");
    TempDir dir;
    WriteBytes(dir / "plain", Bytes(3000, 'a'));
    Outcome outcome = TypeAndRun(dir / "plain", "", "pw", {{}}, Always);
    EXPECT_NE(outcome.boxes[0].text.find("437"), std::string::npos) << outcome.boxes[0].text;
    EXPECT_FALSE(PathExists(dir / "plain.enx"));
}

// A key as a display hands it over to the focused field, with Caps Lock on or off before it.
void PressAsTheDisplayDoes(int key, const QString& text, bool capsLock) {
    constexpr quint32 kLockMask = 0x2; // X11's key state and the xkb state on Wayland alike
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, 0, 0, capsLock ? kLockMask : 0, text);
    QApplication::sendEvent(QApplication::focusWidget(), &press);
}

bool CapsLockNoticeShown() {
    for (const QWidget* widget : QApplication::allWidgets()) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        if (label != nullptr && label->isVisible() && label->text().contains("Caps Lock is On")) {
            return true;
        }
    }
    return false;
}

// What a screen reader says of the password field besides its name.
std::string PasswordDescription(const MainDialog& dialog) {
    QAccessibleInterface* field =
        QAccessible::queryAccessibleInterface(ControlWidget(dialog, IDC_PASSWORD));
    return field != nullptr ? field->text(QAccessible::Description).toStdString() : "?";
}

TEST_F(Passwords, ThePasswordFieldSaysWhileCapsLockIsOn) {
    TempDir dir;
    WriteBytes(dir / "plain", Bytes(10, 'a'));
    MainDialog dialog;
    std::vector<std::pair<std::string, bool>> seen;
    std::vector<std::string> said;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(dir / "plain"));
        Key(Qt::Key_Return);
    });
    script.When(
        "the password field", [] { return FocusIn(IDC_PASSWORD); },
        [&] {
            PressAsTheDisplayDoes(Qt::Key_A, "A", true);
            seen.emplace_back("a letter with Caps Lock on", CapsLockNoticeShown());
            said.push_back(PasswordDescription(dialog));
            // The key's state is the one before it: this press turns Caps Lock off.
            PressAsTheDisplayDoes(Qt::Key_CapsLock, "", true);
            seen.emplace_back("Caps Lock turned off", CapsLockNoticeShown());
            said.push_back(PasswordDescription(dialog));
            PressAsTheDisplayDoes(Qt::Key_CapsLock, "", false);
            seen.emplace_back("Caps Lock turned on", CapsLockNoticeShown());
            SetFocus(GetDlgItem(dialog.window(), IDC_SOURCE));
            seen.emplace_back("the focus gone elsewhere", CapsLockNoticeShown());
            PressAsTheDisplayDoes(Qt::Key_B, "B", true);
            seen.emplace_back("a field that is no password", CapsLockNoticeShown());
            Key(Qt::Key_Escape);
        });
    dialog.RunModal(nullptr, 0);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"a letter with Caps Lock on", true},   {"Caps Lock turned off", false},
        {"Caps Lock turned on", true},          {"the focus gone elsewhere", false},
        {"a field that is no password", false},
    };
    EXPECT_EQ(seen, expected);
    // A screen reader hears it too: it says a change of the focused field's description.
    EXPECT_EQ(said, (std::vector<std::string>{"Caps Lock is On", ""}));
}

// A key as a display hands it over, with its keysym.
void PressKeysym(int key, quint32 keysym, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, 0, keysym, 0, text);
    QApplication::sendEvent(QApplication::focusWidget(), &press);
}

TEST_F(Passwords, TheFieldTakesItsOwnKeysNotAnInputMethodsText) {
    MainDialog dialog;
    std::string typed;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        ControlWidget(dialog, IDC_PASSWORD)->setFocus(Qt::MouseFocusReason);
        // What an input method commits once the focus has come here, such as the syllable
        // still pending in the field the user clicked away from.
        QInputMethodEvent late;
        late.setCommitString(QString::fromUtf8("\xED\x95\x9C"));
        QApplication::sendEvent(QApplication::focusWidget(), &late);
        Type(QStringLiteral("xyz"));
        // A dead acute and e, composed from the field's own keys.
        PressKeysym(Qt::Key_Dead_Acute, 0xfe51, QString());
        PressKeysym(Qt::Key_E, 'e', QStringLiteral("e"));
        typed = ControlText(dialog, IDC_PASSWORD);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(typed, "xyz\xC3\xA9");
}

TEST_F(Passwords, CuttingOrCopyingThePasswordDoesNothing) {
    MainDialog dialog;
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    std::string kept;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        ControlWidget(dialog, IDC_PASSWORD)->setFocus(Qt::TabFocusReason);
        Type(QStringLiteral("secret"));
        Key(Qt::Key_A, Qt::ControlModifier);
        Key(Qt::Key_C, Qt::ControlModifier);
        Key(Qt::Key_X, Qt::ControlModifier);
        Key(Qt::Key_Delete, Qt::ShiftModifier);
        kept = ControlText(dialog, IDC_PASSWORD);
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(kept, "secret");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "before");
}

class WrongPassword : public Passwords {
protected:
    void SetUp() override {
        Passwords::SetUp();
        text.assign(20000, 'x');
        for (std::size_t i = 0; i < text.size(); i += 60) {
            text[i] = '\n';
        }
        WriteBytes(dir / "notes.txt", Bytes(text.begin(), text.end()));
        FileTransform encrypt;
        ASSERT_TRUE(encrypt.EncryptFile(dir / "notes.txt", dir / "notes.txt.enx", "right"));
        WriteBytes(dir / "notes.txt", Bytes{'o', 'l', 'd'});
    }
    TempDir dir;
    std::string text;
};

TEST_F(WrongPassword, NoWritesNothingAndPutsTheFocusInThePasswordField) {
    // First the question about replacing notes.txt, then the one about the data; the focus
    // ends in the password field, or the script stalls.
    Outcome outcome = TypeAndRun(dir / "notes.txt.enx", dir / "notes.txt", "wrong",
                                 {{Qt::Key_Return, QMessageBox::Yes}, {Qt::Key_Return}},
                                 [] { return FocusIn(IDC_PASSWORD); });
    EXPECT_NE(outcome.boxes[0].text.find("already exists"), std::string::npos);
    EXPECT_EQ(outcome.boxes[1].text,
              "The decrypted data does not look like any known kind of file.\n"
              "The password is probably wrong.\n\nDecrypt anyway?");
    EXPECT_EQ(ReadBytes(dir / "notes.txt"), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(outcome.enabled);
}

TEST_F(WrongPassword, AfterNoThePasswordTypedNextReplacesTheWrongOne) {
    ::unlink((dir / "notes.txt").c_str());
    MainDialog dialog;
    SeenBox box;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        Type(QString::fromStdString(dir / "notes.txt.enx"));
        Key(Qt::Key_Return);
    });
    const auto typeInPasswordField = [&script](const std::string& step, const char* password) {
        script.When(
            step, [] { return JobsDone() && FocusIn(IDC_PASSWORD); },
            [password] {
                TypeText(QString::fromUtf8(password));
                Key(Qt::Key_Return);
            });
        script.When(
            step + ", then the action button", [] { return FocusIn(IDC_RUN); },
            [] { Key(Qt::Key_Return); });
    };
    typeInPasswordField("the password field", "wrong");
    AnswerBox(script, box, &dialog, {Qt::Key_Return});
    typeInPasswordField("the password field again", "right");
    script.When(
        "the file is written", [&] { return JobsDone() && PathExists(dir / "notes.txt"); },
        [] { Key(Qt::Key_Escape); });
    dialog.RunModal(nullptr, 0);
    EXPECT_NE(box.text.find("probably wrong"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "notes.txt"), Bytes(text.begin(), text.end()));
}

TEST_F(WrongPassword, BoxIsOwnedWarnsAndDefaultsToNo) {
    ::unlink((dir / "notes.txt").c_str());
    MainDialog dialog;
    SeenBox box;
    SeenBox after;
    ModalScript script;
    script.When("the dialog is shown", DialogReady, [&] {
        SetDlgItemText(dialog.window(), IDC_SOURCE, (dir / "notes.txt.enx").c_str());
        SetDlgItemText(dialog.window(), IDC_DESTINATION, (dir / "notes.txt").c_str());
        SetDlgItemText(dialog.window(), IDC_PASSWORD, "wrong");
        dialog.ExchangeData(MainDialog::Exchange::ToMembers);
        dialog.mode = 1;
        Click(ControlWidget(dialog, IDC_RUN));
    });
    AnswerBox(script, box, &dialog, {Qt::Key_Escape});
    script.When("the job ended", JobsDone, [&] {
        after.seen = ActiveModal<QMessageBox>() != nullptr;
        Key(Qt::Key_Escape);
    });
    dialog.RunModal(nullptr, 0);
    EXPECT_EQ(box.title, "Vanthe");
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.defaultButton, QMessageBox::No);
    EXPECT_FALSE(after.seen) << "no Error box after the user said No";
    EXPECT_FALSE(PathExists(dir / "notes.txt"));
}

TEST_F(WrongPassword, YesWritesTheResultAnyway) {
    ::unlink((dir / "notes.txt").c_str());
    Outcome outcome = TypeAndRun(dir / "notes.txt.enx", "", "wrong",
                                 {{Qt::Key_Return, QMessageBox::Yes}}, Always);
    EXPECT_NE(outcome.boxes[0].text.find("Decrypt anyway?"), std::string::npos);
    Bytes written = ReadBytes(dir / "notes.txt");
    EXPECT_EQ(written.size(), text.size());
    EXPECT_NE(written, Bytes(text.begin(), text.end()));
}

TEST_F(WrongPassword, WithoutTheFileTypeDatabaseTheBoxSaysThePasswordCannotBeChecked) {
    const Bytes picture = ReadBytes(VANTHE_TEST_DATA_DIR "/corpus/image.png");
    WriteBytes(dir / "image.png", picture);
    FileTransform encrypt;
    ASSERT_TRUE(encrypt.EncryptFile(dir / "image.png", dir / "image.png.enx", "right"));
    ::unlink((dir / "image.png").c_str());
    ScopedVariable missing("MAGIC", "/nonexistent/magic");
    Outcome outcome =
        TypeAndRun(dir / "image.png.enx", "", "right", {{Qt::Key_Return, QMessageBox::Yes}},
                   [&] { return PathExists(dir / "image.png"); });
    EXPECT_EQ(outcome.boxes[0].text, "The file type database could not be loaded, so the password "
                                     "cannot be checked for this kind of file.\n\nDecrypt anyway?");
    EXPECT_EQ(ReadBytes(dir / "image.png"), picture);
}

TEST_F(WrongPassword, AFileNeverEncryptedIsSaidToBeOne) {
    WriteBytes(dir / "plain.enx", Bytes(text.begin(), text.end()));
    Outcome outcome = TypeAndRun(dir / "plain.enx", "", "right", {{Qt::Key_Return}},
                                 [] { return FocusIn(IDC_PASSWORD); });
    EXPECT_EQ(outcome.boxes[0].text,
              "The file does not look encrypted: it already looks like a known kind of file or "
              "text, so decrypting it would scramble it.\n\nDecrypt anyway?");
    EXPECT_FALSE(PathExists(dir / "plain"));
}

TEST_F(WrongPassword, TheRightPasswordAsksNothing) {
    ::unlink((dir / "notes.txt").c_str());
    TypeAndRun(dir / "notes.txt.enx", "", "right", {},
               [&] { return PathExists(dir / "notes.txt"); });
    EXPECT_EQ(ReadBytes(dir / "notes.txt"), Bytes(text.begin(), text.end()));
}

} // namespace
