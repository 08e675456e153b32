#pragma once

// The binding of a dialog object to its window. The object registers itself just before the
// platform builds the window, is attached on the window's first message, and from then on
// receives every message through ProcessMessage.

#include "platform/window/window_types.h"

namespace vanthe {

class ModalDialog {
public:
    explicit ModalDialog(int templateId) : templateId_(templateId) {}
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog modally; returns EndDialog's value, or -1 when it cannot be built.
    platform::INT_PTR RunModal(platform::HWND owner, platform::LPARAM initParam);

    platform::HWND window() const { return window_; }

protected:
    enum class Claim { Claimed, Unclaimed };
    // Handles one message. A claimed message's result becomes the message result (for
    // WM_INITDIALOG the dialog procedure's return value); an unclaimed one gets the platform's
    // default dialog processing.
    virtual Claim ProcessMessage(platform::UINT message, platform::WPARAM wParam,
                                 platform::LPARAM lParam, platform::LRESULT& result) = 0;

private:
    static platform::INT_PTR StartDialogProc(platform::HWND window, platform::UINT message,
                                             platform::WPARAM wParam, platform::LPARAM lParam);

    int templateId_;
    platform::HWND window_ = nullptr;
};

} // namespace vanthe
