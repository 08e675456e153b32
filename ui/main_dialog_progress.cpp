// The busy state and the progress fill, driven by the job's notifications.

#include "jobs/job_messages.h"
#include "platform/window/dialogs.h"
#include "platform/window/painting.h"
#include "platform/window/window_state.h"
#include "res/resource_ids.h"
#include "ui/main_dialog.h"

namespace vanthe {

using namespace platform;

LRESULT MainDialog::OnJobStarted(const Message& message) {
    overlay.previous = 0;
    overlay.position = 0;
    overlay.total = static_cast<std::int32_t>(static_cast<DWORD>(message.wParam));
    overlayActive = 1;
    InvalidateRect(window(), nullptr, TRUE);
    EnableWindow(window(), FALSE);
    ShowWorkingPointer(FALSE);
    return 1;
}

LRESULT MainDialog::OnJobProgress(const Message& message) {
    if (overlay.SetPosition(static_cast<std::int32_t>(static_cast<DWORD>(message.wParam)))) {
        overlay.InvalidateBand(window());
    }
    return 1;
}

LRESULT MainDialog::OnJobFinished(const Message& message) {
    ShowWorkingPointer(FALSE); // a job that failed before it started
    overlayActive = 0;
    InvalidateRect(window(), nullptr, TRUE);
    if (message.wParam == 0) {
        // The next source chosen gets a fresh proposal.
        destinationPath.clear();
        ExchangeData(Exchange::ToControls);
    }
    EnableWindow(window(), TRUE);
    if (message.lParam == kFinishedWrongPassword) {
        // The user declined a result that looked wrong: the password is what to try again,
        // selected, so the one typed next replaces it rather than adding to it.
        FocusControl(IDC_PASSWORD);
        SendMessage(GetDlgItem(window(), IDC_PASSWORD), EM_SETSEL, 0, -1);
    }
    return 1;
}

LRESULT MainDialog::OnPaint(const Message&) {
    if (overlayActive != 0) {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window(), &paint);
        overlay.Paint(dc);
        EndPaint(window(), &paint);
    }
    return 0;
}

} // namespace vanthe
