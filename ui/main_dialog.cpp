#include "ui/main_dialog.h"

#include "jobs/job_messages.h"
#include "jobs/job_runner.h"
#include "platform/files/file_api.h"
#include "platform/files/strings.h"
#include "platform/window/dialogs.h"
#include "platform/window/menus_icons.h"
#include "platform/window/message_box.h"
#include "platform/window/messaging.h"
#include "platform/window/system_info.h"
#include "platform/window/window_state.h"
#include "res/resource_ids.h"
#include "ui/about_dialog.h"
#include "ui/app_module.h"

#include <algorithm>
#include <new>

namespace vanthe {

using namespace platform;

namespace {

// The beep of a plain MessageBeep: no sound of a box type.
constexpr UINT kSimpleBeep = 0xFFFFFFFF;

enum class Match {
    Always,        // the message alone
    CommandId,     // WM_COMMAND from a control id, any notification code
    CommandIdCode, // WM_COMMAND from a control id with one notification code
    SysCommandId,  // WM_SYSCOMMAND whose low word is the command
};

struct MessageMapEntry {
    UINT message;
    Match match;
    int id;
    WORD code;
    MainDialog::Handler handler;
    bool claims; // false: the default dialog processing runs after the handler
};

constexpr WORD kAnyCode = 0;

const MessageMapEntry kMessageMap[] = {
    {WM_INITDIALOG, Match::Always, 0, kAnyCode, &MainDialog::OnInitDialog, true},
    {WM_PAINT, Match::Always, 0, kAnyCode, &MainDialog::OnPaint, false},
    {WM_FILE_DROPPED, Match::Always, 0, kAnyCode, &MainDialog::OnFileDropped, true},
    {WM_JOB_STARTED, Match::Always, 0, kAnyCode, &MainDialog::OnJobStarted, true},
    {WM_JOB_PROGRESS, Match::Always, 0, kAnyCode, &MainDialog::OnJobProgress, true},
    {WM_JOB_FINISHED, Match::Always, 0, kAnyCode, &MainDialog::OnJobFinished, true},
    {WM_SYSCOMMAND, Match::SysCommandId, ID_SYS_ABOUT, kAnyCode, &MainDialog::OnAbout, true},
    {WM_COMMAND, Match::CommandId, IDOK, kAnyCode, &MainDialog::OnEnterKey, true},
    {WM_COMMAND, Match::CommandId, IDCANCEL, kAnyCode, &MainDialog::OnCancel, true},
    {WM_COMMAND, Match::CommandIdCode, IDC_BROWSE_SOURCE, BN_CLICKED, &MainDialog::OnBrowseSource,
     true},
    {WM_COMMAND, Match::CommandIdCode, IDC_BROWSE_DESTINATION, BN_CLICKED,
     &MainDialog::OnBrowseDestination, true},
    {WM_COMMAND, Match::CommandIdCode, IDC_RUN, BN_CLICKED, &MainDialog::OnRun, true},
    {WM_COMMAND, Match::CommandIdCode, IDC_SOURCE, EN_KILLFOCUS, &MainDialog::OnSourceKillFocus,
     true},
    {WM_COMMAND, Match::CommandIdCode, IDC_DESTINATION, EN_KILLFOCUS,
     &MainDialog::OnDestinationKillFocus, true},
    {WM_COMMAND, Match::CommandIdCode, IDC_PASSWORD, EN_KILLFOCUS, &MainDialog::OnPasswordKillFocus,
     true},
    {WM_COMMAND, Match::CommandIdCode, IDC_MODE_ENCRYPT, BN_CLICKED, &MainDialog::OnModeEncrypt,
     true},
    {WM_COMMAND, Match::CommandIdCode, IDC_MODE_DECRYPT, BN_CLICKED, &MainDialog::OnModeDecrypt,
     true},
};

bool Matches(const MessageMapEntry& entry, const MainDialog::Message& message) {
    if (entry.message != message.message) {
        return false;
    }
    switch (entry.match) {
    case Match::Always:
        return true;
    case Match::CommandId:
        return message.id == entry.id;
    case Match::CommandIdCode:
        return message.id == entry.id && message.code == entry.code;
    case Match::SysCommandId:
        return LOWORD(message.wParam) == entry.id;
    }
    return false;
}

struct DataExchangeEntry {
    int id;
    std::string MainDialog::*text; // null for the radio group
};

const DataExchangeEntry kDataExchangeMap[] = {
    {IDC_SOURCE, &MainDialog::sourcePath},
    {IDC_DESTINATION, &MainDialog::destinationPath},
    {IDC_PASSWORD, &MainDialog::password},
    {IDC_MODE_ENCRYPT, nullptr},
};

// Centres the dialog on its owner, or on the work area when the owner is hidden, minimised
// or missing, and keeps it inside the work area.
void CenterDialog(HWND dialog) {
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    RECT reference = work;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &reference);
    }
    RECT own{};
    GetWindowRect(dialog, &own);
    LONG width = own.right - own.left;
    LONG height = own.bottom - own.top;
    LONG left = (reference.left + reference.right) / 2 - width / 2;
    if (left < work.left) {
        left = work.left;
    } else if (left + width > work.right) {
        left = work.right - width;
    }
    LONG top = (reference.top + reference.bottom) / 2 - height / 2;
    if (top < work.top) {
        top = work.top;
    } else if (top + height > work.bottom) {
        top = work.bottom - height;
    }
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

WNDPROC previousSourceEditProc = nullptr;

MainDialog::MainDialog() : ModalDialog(IDD_MAIN) {}

MainDialog::~MainDialog() {
    SecureZeroMemory(password.data(), password.size());
}

ModalDialog::Claim MainDialog::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT& result) {
    Message m{message,        wParam,         lParam,
              LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)};
    for (const MessageMapEntry& entry : kMessageMap) {
        if (Matches(entry, m)) {
            result = (this->*entry.handler)(m);
            return entry.claims ? Claim::Claimed : Claim::Unclaimed;
        }
    }
    return Claim::Unclaimed;
}

bool MainDialog::ExchangeData(Exchange direction, int id) {
    const bool save = direction == Exchange::ToMembers;
    for (const DataExchangeEntry& entry : kDataExchangeMap) {
        if (id != kEveryField && id != entry.id) {
            continue;
        }
        if (entry.text == nullptr) {
            ExchangeRadioGroup(entry.id, mode, save);
        } else if (!ExchangeText(entry.id, this->*entry.text, save)) {
            return false;
        }
    }
    return true;
}

bool MainDialog::ExchangeText(int id, std::string& member, bool save) {
    HWND control = GetDlgItem(window(), id);
    bool ok = false;
    if (save) {
        int length = GetWindowTextLength(control);
        int copied = -1;
        try {
            member.assign(static_cast<std::size_t>(length) + 1, '\0');
            copied = GetWindowText(control, member.data(), length + 1);
        } catch (const std::bad_alloc&) {
            member.clear();
        }
        // The member ends at the first zero the copy left, as a C string would.
        member.resize(std::min(member.size(), member.find('\0')));
        ok = copied >= length;
    } else {
        ok = SetDlgItemText(window(), id, member.c_str()) != 0;
    }
    if (!ok) {
        MessageBeep(kSimpleBeep);
        SetFocus(control);
    }
    return ok;
}

void MainDialog::ExchangeRadioGroup(int firstId, std::int32_t& member, bool save) {
    HWND radio = GetDlgItem(window(), firstId);
    if (save) {
        member = -1;
    }
    std::int32_t index = 0;
    for (HWND at = radio; at != nullptr;) {
        if ((SendMessage(at, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0) {
            if (save) {
                if (SendMessage(at, BM_GETCHECK, 0, 0) != 0) {
                    member = index;
                }
            } else {
                SendMessage(at, BM_SETCHECK, index == member ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        at = GetWindow(at, GW_HWNDNEXT);
        if (at != nullptr && (GetWindowLong(at, GWL_STYLE) & static_cast<LONG>(WS_GROUP)) != 0) {
            break;
        }
    }
}

void MainDialog::FocusControl(int id) {
    if (HWND control = GetDlgItem(window(), id); control != nullptr) {
        SetFocus(control);
    }
}

LRESULT MainDialog::OnInitDialog(const Message&) {
    HWND dialog = window();
    CenterDialog(dialog);

    HINSTANCE module = appModule.resourceInstance();
    HICON big = LoadImage(module, IDI_APP, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                          GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR);
    SendMessage(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    HICON small = LoadImage(module, IDI_APP, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                            GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
    SendMessage(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    if (HMENU menu = GetSystemMenu(dialog, FALSE); menu != nullptr) {
        InsertMenu(menu, static_cast<UINT>(-1), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        InsertMenu(menu, static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING, ID_SYS_ABOUT,
                   "About Vanthe ...");
        DrawMenuBar(dialog);
    }

    overlayActive = 0;
    overlay.Initialize(dialog);
    mode = 0;

    if (!sourcePath.empty()) {
        ProposeDestination();
        // The preset source leaves the password as the first thing to type.
        BringWindowToTop(GetDlgItem(dialog, IDC_RUN));
        BringWindowToTop(GetDlgItem(dialog, IDC_PASSWORD));
    }
    ExchangeData(Exchange::ToControls);
    previousSourceEditProc = reinterpret_cast<WNDPROC>(SetWindowLongPtr(
        GetDlgItem(dialog, IDC_SOURCE), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SourceEditProc)));
    FocusControl(IDC_PASSWORD);
    return 1;
}

LRESULT MainDialog::OnCancel(const Message& message) {
    EndDialog(window(), message.id);
    return 0;
}

LRESULT MainDialog::OnSourceKillFocus(const Message&) {
    ExchangeData(Exchange::ToMembers, IDC_SOURCE);
    FollowSource();
    return 0;
}

LRESULT MainDialog::OnDestinationKillFocus(const Message&) {
    ExchangeData(Exchange::ToMembers, IDC_DESTINATION);
    return 0;
}

LRESULT MainDialog::OnPasswordKillFocus(const Message&) {
    ExchangeData(Exchange::ToMembers, IDC_PASSWORD);
    return 0;
}

LRESULT MainDialog::OnRun(const Message&) {
    switch (vanthe::OnRun(window(), sourcePath, destinationPath, password, mode)) {
    case FieldToFix::Destination:
        FocusControl(IDC_DESTINATION);
        break;
    case FieldToFix::Password:
        FocusControl(IDC_PASSWORD);
        break;
    case FieldToFix::None:
        break;
    }
    return 0;
}

LRESULT MainDialog::OnAbout(const Message&) {
    AboutDialog about;
    about.RunModal(GetActiveWindow(), 0);
    return 0;
}

} // namespace vanthe
