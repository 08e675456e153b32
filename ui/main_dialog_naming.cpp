// The naming rule: a chosen source proposes the mode, the action button's label and the
// destination, and the mode radios let the user override the mode.

#include "engine/encrypted_name.h"
#include "platform/files/file_api.h"
#include "platform/window/dialogs.h"
#include "res/resource_ids.h"
#include "ui/main_dialog.h"

namespace vanthe {

using namespace platform;

bool MainDialog::ProposeDestination() {
    // A destination the user entered or browsed for is never replaced. One this rule proposed
    // for another source is: a source corrected after a first choice would otherwise be
    // written under the name meant for the first one.
    const bool proposedForAnother =
        destinationPath == lastProposal.destination && sourcePath != lastProposal.source;
    if (sourcePath.empty() || (!destinationPath.empty() && !proposedForAnother)) {
        return false;
    }
    Proposal proposal = ProposeFor(sourcePath);
    mode = proposal.mode;
    destinationPath = proposal.destination;
    lastProposal = {sourcePath, destinationPath, false};
    SetDlgItemText(window(), IDC_RUN, mode == 0 ? "Encrypt" : "Decrypt");
    ExchangeRadioGroup(IDC_MODE_ENCRYPT, mode, false);
    return true;
}

// A destination this rule proposed follows the mode the user chose, or decrypting report.dat
// would write the plaintext as report.dat.enx, a name that tells everyone it is encrypted. One
// the user entered stays as it is.
void MainDialog::FollowMode() {
    ExchangeData(Exchange::ToMembers, IDC_DESTINATION);
    if (sourcePath.empty() || sourcePath != lastProposal.source ||
        destinationPath != lastProposal.destination) {
        return;
    }
    destinationPath = ProposeFor(sourcePath, mode);
    lastProposal.destination = destinationPath;
    ExchangeData(Exchange::ToControls, IDC_DESTINATION);
}

// A source corrected and left without being chosen again (no Enter, browse or drop) must not
// be written under the name proposed for the one before: the proposal follows it where it
// names a file, and is taken back where it does not, until a correction names one.
void MainDialog::FollowSource() {
    const bool stale = !destinationPath.empty() && destinationPath == lastProposal.destination &&
                       sourcePath != lastProposal.source;
    if (!stale && !(lastProposal.takenBack && destinationPath.empty())) {
        return;
    }
    if (!FileExists(sourcePath.c_str()) || !ProposeDestination()) {
        destinationPath.clear();
        lastProposal.takenBack = true;
    }
    ExchangeData(Exchange::ToControls, IDC_DESTINATION);
}

LRESULT MainDialog::OnModeEncrypt(const Message&) {
    ExchangeRadioGroup(IDC_MODE_ENCRYPT, mode, true);
    SetDlgItemText(window(), IDC_RUN, "Encrypt");
    FollowMode();
    return 0;
}

LRESULT MainDialog::OnModeDecrypt(const Message&) {
    ExchangeRadioGroup(IDC_MODE_ENCRYPT, mode, true);
    SetDlgItemText(window(), IDC_RUN, "Decrypt");
    FollowMode();
    return 0;
}

} // namespace vanthe
