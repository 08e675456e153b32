#include "jobs/job_messages.h"

#include "platform/window/dialogs.h"
#include "platform/window/messaging.h"

#include <algorithm>

namespace vanthe {

using namespace platform;

namespace {
// About one frame of a 60 Hz display.
constexpr auto kFrame = std::chrono::microseconds(16667);
} // namespace

void WindowJobObserver::OnJobStarted(std::uint64_t size) {
    total_ = static_cast<std::int32_t>(static_cast<DWORD>(size >> 10));
    SendMessage(window_, WM_JOB_STARTED, static_cast<DWORD>(size >> 10), 0);
    sentRow_ = RowFor(0) - 1; // the first chunk always shows
    sentAt_ = Clock::now() - kFrame;
}

std::int64_t WindowJobObserver::RowFor(std::uint64_t index) const {
    if (total_ <= 0) {
        return 0;
    }
    auto position = static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<DWORD>(index)));
    return std::clamp<std::int64_t>(position * rows_ / total_, 0, rows_);
}

void WindowJobObserver::OnChunkDone(std::uint64_t index, std::uint64_t /*bytesDone*/) {
    latest_ = index;
    pending_ = true;
    std::int64_t row = RowFor(index);
    if (row == sentRow_) {
        return;
    }
    Clock::time_point now = Clock::now();
    if (now - sentAt_ < kFrame) {
        return;
    }
    sentRow_ = row;
    sentAt_ = now;
    SendProgress(index);
}

void WindowJobObserver::SendProgress(std::uint64_t index) {
    pending_ = false;
    SendMessage(window_, WM_JOB_PROGRESS, static_cast<DWORD>(index), 0);
}

void WindowJobObserver::OnJobFinished(bool failed) {
    if (pending_) {
        SendProgress(latest_);
    }
    SendMessage(window_, WM_JOB_FINISHED, failed ? 1 : 0, declined_ ? kFinishedWrongPassword : 0);
}

bool WindowJobObserver::ConfirmImplausible() {
    int answer = MessageBox(window_,
                            "The decrypted data does not look like any known kind of file.\n"
                            "The password is probably wrong.\n\nDecrypt anyway?",
                            "Vanthe", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    declined_ = answer != IDYES;
    return !declined_;
}

} // namespace vanthe
