#include "jobs/job_messages.h"

#include "engine/text_format.h"
#include "platform/window/dialogs.h"
#include "platform/window/message_box.h"
#include "platform/window/messaging.h"

#include <algorithm>
#include <string>

namespace vanthe {

using namespace platform;

ProgressPacer::ProgressPacer(std::int32_t rows, std::uint64_t size)
    : rows_(rows), total_(static_cast<std::int32_t>(static_cast<DWORD>(size >> 10))) {
    sentRow_ = RowFor(0) - 1; // the first chunk always shows
}

std::int64_t ProgressPacer::RowFor(std::uint64_t index) const {
    if (total_ <= 0) {
        return 0;
    }
    // The message carries the index's low 32 bits, and the overlay reads them as signed.
    auto position = static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<DWORD>(index)));
    return std::clamp<std::int64_t>(position * rows_ / total_, 0, rows_);
}

bool ProgressPacer::Due(std::uint64_t index, Clock::time_point now) {
    latest_ = index;
    pending_ = true;
    std::int64_t row = RowFor(index);
    if (row == sentRow_ || (sentAt_ != Clock::time_point{} && now - sentAt_ < kFrame)) {
        return false;
    }
    sentRow_ = row;
    sentAt_ = now;
    pending_ = false;
    return true;
}

bool ProgressPacer::Pending(std::uint64_t* index) const {
    *index = latest_;
    return pending_;
}

void WindowJobObserver::OnJobStarted(std::uint64_t size) {
    pacer_ = ProgressPacer(rows_, size);
    SendMessage(window_, WM_JOB_STARTED, static_cast<DWORD>(size >> 10), 0);
}

void WindowJobObserver::OnChunkDone(std::uint64_t index, std::uint64_t /*bytesDone*/) {
    if (pacer_.Due(index, ProgressPacer::Clock::now())) {
        SendMessage(window_, WM_JOB_PROGRESS, static_cast<DWORD>(index), 0);
    }
}

void WindowJobObserver::OnJobFinished(bool failed) {
    std::uint64_t last = 0;
    if (pacer_.Pending(&last)) {
        SendMessage(window_, WM_JOB_PROGRESS, static_cast<DWORD>(last), 0);
    }
    SendMessage(window_, WM_JOB_FINISHED, failed ? 1 : 0, declined_ ? kFinishedWrongPassword : 0);
}

bool WindowJobObserver::ConfirmImplausible(Implausible why) {
    const char* text =
        why == Implausible::WrongPassword
            ? "The decrypted data does not look like any known kind of file.\n"
              "The password is probably wrong.\n\nDecrypt anyway?"
        : why == Implausible::NotEncrypted
            ? "The file does not look encrypted: it already looks like a known kind of file "
              "or text, so decrypting it would scramble it.\n\nDecrypt anyway?"
        : why == Implausible::NoTypeDatabase
            ? "The file type database could not be loaded, so the password cannot be checked "
              "for this kind of file.\n\nDecrypt anyway?"
            : "There is not enough memory to check the password.\n\nDecrypt anyway?";
    std::string question = text;
    if (why == Implausible::WrongPassword && codePage_ != 0) {
        // A password typed in another language's letters may need the code page of its files.
        question.insert(question.rfind("\n\n"),
                        FormatText("\nIt was hashed in code page %d, as this locale asks; "
                                   "VANTHE_CODEPAGE chooses another.",
                                   static_cast<int>(codePage_)));
    }
    int answer =
        MessageBox(window_, question.c_str(), "Vanthe", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    declined_ = answer != IDYES;
    return !declined_;
}

} // namespace vanthe
