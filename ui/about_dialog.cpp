#include "ui/about_dialog.h"

#include "platform/window/dialogs.h"
#include "res/resource_ids.h"

namespace vanthe {

using namespace platform;

AboutDialog::AboutDialog() : ModalDialog(IDD_ABOUT) {}

ModalDialog::Claim AboutDialog::ProcessMessage(UINT message, WPARAM wParam, LPARAM,
                                               LRESULT& result) {
    if (message == WM_INITDIALOG) {
        // TRUE: the dialog manager gives the focus to the first tab stop, the OK button.
        result = 1;
        return Claim::Claimed;
    }
    if (message == WM_COMMAND && LOWORD(wParam) >= IDOK && LOWORD(wParam) <= IDNO) {
        EndDialog(window(), LOWORD(wParam));
        result = 0;
        return Claim::Claimed;
    }
    return Claim::Unclaimed;
}

} // namespace vanthe
