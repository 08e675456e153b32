#pragma once

// A small module of test dialogs, and a dialog procedure that records what it is sent.

#include "platform/window/window_types.h"

#include <functional>
#include <vector>

namespace vanthe::test {

inline constexpr int IDD_FORM = 101;
inline constexpr int IDD_BOX = 102;
inline constexpr int IDI_TEST = 200;

// The form's controls, in z-order.
inline constexpr int IDC_NAME = 1100;   // edit, accepts files
inline constexpr int IDC_PICK = 1101;   // push button
inline constexpr int IDC_FIRST = 1102;  // automatic radio, starts the group
inline constexpr int IDC_SECOND = 1103; // automatic radio
inline constexpr int IDC_NOTE = 1104;   // edit
inline constexpr int IDC_SECRET = 1105; // password edit
inline constexpr int IDC_GO = 1106;     // push button
inline constexpr int IDC_LABEL = 1107;  // static, starts a new group

// The module holding IDD_FORM, IDD_BOX and the icon IDI_TEST (16, 32 and 48 pixels).
platform::HINSTANCE TestModule();

struct SentToDialog {
    platform::UINT message;
    platform::WPARAM wParam;
    platform::LPARAM lParam;
};

// Pass its address as the dialog's parameter. By default WM_INITDIALOG returns initResult and
// IDCANCEL ends the dialog with IDCANCEL; onMessage, when set, is asked first and claims a
// message by returning nonzero.
struct DialogRecorder {
    std::vector<SentToDialog> messages;
    platform::INT_PTR initResult = platform::TRUE;
    std::function<platform::INT_PTR(platform::HWND, platform::UINT, platform::WPARAM,
                                    platform::LPARAM)>
        onMessage;
    platform::HWND dialog = nullptr;

    // WM_COMMANDs received, as (control id, notification code).
    std::vector<std::pair<int, int>> Commands() const;
    int Count(platform::UINT message) const;
    bool HasCommand(int id, int code) const;
};

platform::INT_PTR RecordingDialogProc(platform::HWND dialog, platform::UINT message,
                                      platform::WPARAM wParam, platform::LPARAM lParam);

platform::INT_PTR RunForm(DialogRecorder& recorder, platform::HWND owner = nullptr);

} // namespace vanthe::test
