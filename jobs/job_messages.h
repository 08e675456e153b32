#pragma once

// The three notifications a job sends to the dialog's window, from the worker thread.

#include "engine/job_events.h"
#include "platform/window/window_types.h"

#include <chrono>
#include <cstdint>

namespace vanthe {

// wParam: the source size in whole KiB (low 32 bits).
inline constexpr platform::UINT WM_JOB_STARTED = platform::WM_USER + 12;
// wParam: the zero-based index of the chunk just written.
inline constexpr platform::UINT WM_JOB_PROGRESS = platform::WM_USER + 10;
// wParam: 1 when the job failed, 0 when it succeeded; lParam: kFinishedWrongPassword when the
// user declined to write a result that looked wrong. Always the last message of a job.
inline constexpr platform::UINT WM_JOB_FINISHED = platform::WM_USER + 11;
inline constexpr platform::LPARAM kFinishedWrongPassword = 1;

// Turns a job's events into the window messages. Progress is sent only when it can change what
// the dialog shows: when the fill moves by a whole row, at most about 60 times a second, and
// always for the last chunk. A message per KiB would let a busy machine pace the worker
// through the scheduler.
class WindowJobObserver final : public JobObserver {
public:
    // `rows`: the height of the dialog's fill in pixels.
    WindowJobObserver(platform::HWND window, std::int32_t rows) : window_(window), rows_(rows) {}

    void OnJobStarted(std::uint64_t size) override;
    void OnChunkDone(std::uint64_t index, std::uint64_t bytesDone) override;
    void OnJobFinished(bool failed) override;
    bool ConfirmImplausible() override;

    // The rows filled for a chunk index, by the overlay's rule.
    std::int64_t RowFor(std::uint64_t index) const;

private:
    using Clock = std::chrono::steady_clock;
    void SendProgress(std::uint64_t index);

    platform::HWND window_;
    std::int32_t rows_;
    std::int32_t total_ = 0;
    bool declined_ = false;
    bool pending_ = false;     // a chunk done whose index has not been sent
    std::uint64_t latest_ = 0; // the latest chunk done
    std::int64_t sentRow_ = 0;
    Clock::time_point sentAt_{};
};

} // namespace vanthe
