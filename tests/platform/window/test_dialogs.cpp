#include "test_dialogs.h"

#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"
#include "platform/window/resources.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <array>

using namespace platform;

namespace vanthe::test {

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

constexpr DialogItemTemplate kFormItems[] = {
    {"EDIT", "", IDC_NAME, kChild | WS_TABSTOP | ES_AUTOHSCROLL,
     WS_EX_STATICEDGE | WS_EX_ACCEPTFILES, 7, 20, 150, 12},
    {"BUTTON", ". . .", IDC_PICK, kChild | WS_TABSTOP | BS_FLAT, 0, 160, 19, 16, 14},
    {"BUTTON", "First", IDC_FIRST, kChild | WS_GROUP | BS_AUTORADIOBUTTON, 0, 20, 38, 40, 10},
    {"BUTTON", "Second", IDC_SECOND, kChild | BS_AUTORADIOBUTTON, 0, 80, 38, 40, 10},
    {"EDIT", "", IDC_NOTE, kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_STATICEDGE, 7, 55, 150, 12},
    {"EDIT", "", IDC_SECRET, kChild | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL, WS_EX_STATICEDGE,
     7, 75, 150, 12},
    {"BUTTON", "Go", IDC_GO, kChild | WS_TABSTOP, 0, 70, 95, 37, 14},
    {"STATIC", "Name", IDC_LABEL, kChild | WS_GROUP | SS_LEFT, 0, 8, 8, 40, 8},
};

constexpr DialogItemTemplate kBoxItems[] = {
    {"BUTTON", "OK", IDOK, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 120, 60, 50, 14},
    {"STATIC", "A box\n\nwith three lines", -1, kChild | WS_GROUP | SS_CENTER, 0, 25, 40, 78, 30},
    {"STATIC", "#200", -1, kChild | SS_ICON, 0, 50, 10, 20, 20},
    {"BUTTON", "", -1, kChild | BS_GROUPBOX, 0, 7, 5, 105, 70},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_FORM, "Form", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT, 0, 10, 10, 180, 115,
     "Microsoft Sans Serif", 8, 400, kFormItems},
    {IDD_BOX, "Box", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 4, 6, 180,
     80, "MS Sans Serif", 8, 0, kBoxItems},
};

QByteArray Png(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(QColor(20, 40, size));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

HINSTANCE TestModule() {
    static const std::array<QByteArray, 3> pngs = {Png(16), Png(48), Png(32)};
    static const std::array<IconImage, 3> images = {
        IconImage{reinterpret_cast<const unsigned char*>(pngs[0].constData()),
                  static_cast<std::size_t>(pngs[0].size())},
        IconImage{reinterpret_cast<const unsigned char*>(pngs[1].constData()),
                  static_cast<std::size_t>(pngs[1].size())},
        IconImage{reinterpret_cast<const unsigned char*>(pngs[2].constData()),
                  static_cast<std::size_t>(pngs[2].size())}};
    static const IconResource icons[] = {{IDI_TEST, images}};
    static const HINSTANCE module = RegisterModuleResources({kDialogs, icons});
    return module;
}

std::vector<std::pair<int, int>> DialogRecorder::Commands() const {
    std::vector<std::pair<int, int>> commands;
    for (const SentToDialog& sent : messages) {
        if (sent.message == WM_COMMAND) {
            commands.emplace_back(static_cast<short>(LOWORD(sent.wParam)), HIWORD(sent.wParam));
        }
    }
    return commands;
}

int DialogRecorder::Count(UINT message) const {
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(),
                      [message](const SentToDialog& sent) { return sent.message == message; }));
}

bool DialogRecorder::HasCommand(int id, int code) const {
    const auto commands = Commands();
    return std::find(commands.begin(), commands.end(), std::make_pair(id, code)) != commands.end();
}

INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtr(dialog, DWLP_USER, lParam);
    }
    auto* recorder = reinterpret_cast<DialogRecorder*>(GetWindowLongPtr(dialog, DWLP_USER));
    if (recorder == nullptr) {
        return FALSE;
    }
    recorder->dialog = dialog;
    if (message != WM_PAINT && message != WM_GETDLGCODE) {
        recorder->messages.push_back({message, wParam, lParam});
    }
    if (recorder->onMessage) {
        if (const INT_PTR claimed = recorder->onMessage(dialog, message, wParam, lParam)) {
            return claimed;
        }
    }
    if (message == WM_INITDIALOG) {
        return recorder->initResult;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR RunForm(DialogRecorder& recorder, HWND owner) {
    return DialogBoxParam(TestModule(), IDD_FORM, owner, &RecordingDialogProc,
                          reinterpret_cast<LPARAM>(&recorder));
}

} // namespace vanthe::test
