// Choosing the source and destination: the Open dialog, a drop on the source field, and the
// Enter key that leads a keyboard user from the source to the password to the action button.

#include "engine/text_format.h"
#include "platform/files/file_api.h"
#include "platform/window/dialogs.h"
#include "platform/window/drops.h"
#include "platform/window/file_dialogs.h"
#include "platform/window/keyboard.h"
#include "platform/window/message_box.h"
#include "platform/window/messaging.h"
#include "platform/window/window_state.h"
#include "res/resource_ids.h"
#include "ui/app_module.h"
#include "ui/main_dialog.h"

#include <vector>

namespace vanthe {

using namespace platform;

namespace {

constexpr DWORD kOpenFlags =
    OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING;
// The index that asks DragQueryFile for the number of files.
constexpr UINT kCountDroppedFiles = 0xFFFFFFFF;
constexpr DWORD kFileBufferSize = 4096; // PATH_MAX: any Linux path with its terminating zero
constexpr DWORD kFileTitleBufferSize = 256;

void PressTab() {
    keybd_event(VK_TAB, 0, 0, 0);
}

} // namespace

std::string BrowseForFile() {
    char file[kFileBufferSize] = {};
    char fileTitle[kFileTitleBufferSize] = {};
    OPENFILENAME request{};
    request.lStructSize = sizeof(OPENFILENAME);
    request.hwndOwner = GetActiveWindow();
    request.hInstance = appModule.resourceInstance();
    request.lpstrFile = file;
    request.nMaxFile = kFileBufferSize;
    request.lpstrFileTitle = fileTitle;
    request.nMaxFileTitle = kFileTitleBufferSize;
    request.Flags = kOpenFlags;
    if (!GetOpenFileName(&request)) {
        return {};
    }
    return file;
}

void MainDialog::ShowChosenSource(bool proposed) {
    ExchangeData(Exchange::ToControls, IDC_SOURCE);
    if (proposed) {
        ExchangeData(Exchange::ToControls, IDC_DESTINATION);
        FocusControl(IDC_PASSWORD);
    }
}

LRESULT MainDialog::OnBrowseSource(const Message&) {
    std::string path = BrowseForFile();
    if (path.empty()) {
        return 0;
    }
    sourcePath = path;
    ShowChosenSource(ProposeDestination());
    return 0;
}

LRESULT MainDialog::OnBrowseDestination(const Message&) {
    std::string path = BrowseForFile();
    if (path.empty()) {
        return 0;
    }
    destinationPath = path;
    ExchangeData(Exchange::ToControls, IDC_DESTINATION);
    return 0;
}

LRESULT SourceEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DROPFILES) {
        SendMessage(GetParent(window), WM_FILE_DROPPED, wParam, lParam);
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return CallWindowProc(previousSourceEditProc, window, message, wParam, lParam);
}

LRESULT MainDialog::OnFileDropped(const Message& message) {
    auto drop = reinterpret_cast<HDROP>(message.wParam);
    if (DragQueryFile(drop, kCountDroppedFiles, nullptr, 0) == 0) {
        return 1;
    }
    // The whole path, however long: a path cut short could name another existing file.
    UINT length = DragQueryFile(drop, 0, nullptr, 0);
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    if (length == 0 || DragQueryFile(drop, 0, buffer.data(), length + 1) == 0) {
        return 1;
    }
    sourcePath = buffer.data();
    ShowChosenSource(ProposeDestination());
    return 1;
}

LRESULT MainDialog::OnEnterKey(const Message&) {
    int id = GetDlgCtrlID(GetFocus());
    ExchangeData(Exchange::ToMembers, id);
    if (id == IDC_SOURCE) {
        int next = IDC_DESTINATION;
        if (FileExists(sourcePath.c_str())) {
            if (ProposeDestination()) {
                ExchangeData(Exchange::ToControls, IDC_DESTINATION);
                next = IDC_PASSWORD;
            }
        } else {
            MessageBox(window(), FileMissingText(sourcePath).c_str(), "Error", MB_OK);
            next = IDC_SOURCE;
        }
        if (!sourcePath.empty()) {
            FocusControl(next);
        } else {
            PressTab();
        }
    } else if (id == IDC_DESTINATION) {
        if (!destinationPath.empty()) {
            FocusControl(IDC_PASSWORD);
        } else {
            PressTab();
        }
    } else {
        PressTab();
    }
    return 0;
}

} // namespace vanthe
