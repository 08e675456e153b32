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

// Decides which chunks' progress is worth a message: those that move the fill by a whole row,
// at most one a frame (about 60 a second), and always the last. A message per KiB would let a
// busy machine pace the worker through the scheduler.
class ProgressPacer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kFrame = std::chrono::microseconds(16667);

    // `rows`: the height of the fill in pixels; `size`: the source size the job reported.
    ProgressPacer(std::int32_t rows, std::uint64_t size);
    // True when chunk `index`, done at `now`, is to be sent.
    bool Due(std::uint64_t index, Clock::time_point now);
    // The chunk still to be sent when the job ends, if any.
    bool Pending(std::uint64_t* index) const;
    // The rows filled for a chunk index, by the overlay's rule.
    std::int64_t RowFor(std::uint64_t index) const;

private:
    std::int32_t rows_;
    std::int32_t total_;
    bool pending_ = false;
    std::uint64_t latest_ = 0;
    std::int64_t sentRow_;
    Clock::time_point sentAt_{};
};

// Turns a job's events into the window messages, paced by a ProgressPacer.
class WindowJobObserver final : public JobObserver {
public:
    // codePage: what a password beyond ASCII was hashed in, for the wrong-password question; 0
    // for none.
    WindowJobObserver(platform::HWND window, std::int32_t rows, platform::UINT codePage = 0)
        : window_(window), rows_(rows), codePage_(codePage) {}

    void OnJobStarted(std::uint64_t size) override;
    void OnChunkDone(std::uint64_t index, std::uint64_t bytesDone) override;
    void OnJobFinished(bool failed) override;
    bool ConfirmImplausible(Implausible why) override;

private:
    platform::HWND window_;
    std::int32_t rows_;
    platform::UINT codePage_;
    ProgressPacer pacer_{0, 0};
    bool declined_ = false;
};

} // namespace vanthe
