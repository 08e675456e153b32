#pragma once

// The program's one main window: source, destination and password fields, the
// Encrypt/Decrypt pair and the action button, with the message map that routes every
// message to its handler and the exchange of values between members and controls.

#include "platform/window/window_types.h"
#include "ui/modal_dialog.h"
#include "ui/progress_overlay.h"

#include <cstdint>
#include <string>

namespace vanthe {

// Sent by the source field's procedure when files were dropped on it; wParam is the drop.
inline constexpr platform::UINT WM_FILE_DROPPED = platform::WM_USER + 1;

class MainDialog : public ModalDialog {
public:
    MainDialog();
    ~MainDialog() override;

    enum class Exchange { ToControls, ToMembers };
    static constexpr int kEveryField = -1;
    // Walks the data-exchange map in one direction, for one control or every field. False when
    // a text entry failed.
    bool ExchangeData(Exchange direction, int id = kEveryField);
    bool ExchangeText(int id, std::string& member, bool save);
    void ExchangeRadioGroup(int firstId, std::int32_t& member, bool save);
    void FocusControl(int id);

    // Proposes mode and destination from the source while the destination is empty, or still
    // holds what it proposed for another source.
    bool ProposeDestination();
    void FollowMode();
    void FollowSource();

    ProgressOverlay overlay;
    std::int32_t overlayActive = 0;
    std::string sourcePath;
    std::string destinationPath;
    std::string password;
    std::int32_t mode = 0;

    // What a message handler receives; for WM_COMMAND, id, code and control are filled in.
    struct Message {
        platform::UINT message;
        platform::WPARAM wParam;
        platform::LPARAM lParam;
        platform::WORD id;
        platform::WORD code;
        platform::HWND control;
    };

    using Handler = platform::LRESULT (MainDialog::*)(const Message&);

    // Start-up and shutdown.
    platform::LRESULT OnInitDialog(const Message&);
    platform::LRESULT OnCancel(const Message&);
    // Kill-focus saving.
    platform::LRESULT OnSourceKillFocus(const Message&);
    platform::LRESULT OnDestinationKillFocus(const Message&);
    platform::LRESULT OnPasswordKillFocus(const Message&);
    // Naming and mode.
    platform::LRESULT OnModeEncrypt(const Message&);
    platform::LRESULT OnModeDecrypt(const Message&);
    // File selection, drop and the Enter key.
    platform::LRESULT OnBrowseSource(const Message&);
    platform::LRESULT OnBrowseDestination(const Message&);
    platform::LRESULT OnFileDropped(const Message&);
    platform::LRESULT OnEnterKey(const Message&);
    // The job.
    platform::LRESULT OnRun(const Message&);
    platform::LRESULT OnJobStarted(const Message&);
    platform::LRESULT OnJobProgress(const Message&);
    platform::LRESULT OnJobFinished(const Message&);
    platform::LRESULT OnPaint(const Message&);
    // The About box.
    platform::LRESULT OnAbout(const Message&);

protected:
    Claim ProcessMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam,
                         platform::LRESULT& result) override;

private:
    // The naming rule's last proposal, so that a source chosen after it can replace it.
    struct {
        std::string source;
        std::string destination;
        bool takenBack = false; // the source was corrected to no file, and the proposal went
    } lastProposal;

    // Shows a new source and, when the naming rule made a proposal, the destination too.
    void ShowChosenSource(bool proposed);
};

// The source field's procedure before OnInitDialog replaced it.
extern platform::WNDPROC previousSourceEditProc;
platform::LRESULT SourceEditProc(platform::HWND window, platform::UINT message,
                                 platform::WPARAM wParam, platform::LPARAM lParam);

// The platform's Open dialog; empty when cancelled or failed.
std::string BrowseForFile();

} // namespace vanthe
