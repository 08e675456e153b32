#pragma once

// Draws a job's progress on standard error from its notifications: percentage, speed and
// time left, at most ten times a second.

#include "engine/job_events.h"

#include <chrono>
#include <cstdint>

namespace vanthe::cli {

class ProgressMeter final : public JobObserver {
public:
    // `totalBytes` is the source's size; `enabled` false makes the meter silent.
    ProgressMeter(std::uint64_t totalBytes, bool enabled);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void OnJobStarted(std::uint64_t size) override;
    void OnChunkDone(std::uint64_t index, std::uint64_t bytesDone) override;
    void OnJobFinished(bool failed) override;

private:
    void Draw(std::uint64_t doneBytes, bool force);
    void Clear();

    using Clock = std::chrono::steady_clock;
    std::uint64_t total_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

} // namespace vanthe::cli
