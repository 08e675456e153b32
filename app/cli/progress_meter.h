#pragma once

// One progress line on standard error for a whole batch: files done, bytes, speed and time
// left (bytes and speed alone when the total is unknown, as for standard input), redrawn at
// most ten times a second from whichever job advanced. Messages go through the meter, so they
// never end up in the middle of its line.

#include "engine/job_events.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace vanthe::cli {

class ProgressMeter {
public:
    // `totalBytes` is the sum of the sources' reported sizes, a hint; `totalKnown` false for
    // a stream. `enabled` false draws nothing (messages are still written).
    ProgressMeter(bool enabled, std::size_t files, std::uint64_t totalBytes, bool totalKnown);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    // The observer of one job; it may run on any thread.
    class Job final : public JobObserver {
    public:
        explicit Job(ProgressMeter& meter) : meter_(meter) {}
        void OnJobStarted(std::uint64_t size) override;
        void OnChunkDone(std::uint64_t index, std::uint64_t bytesDone) override;
        void OnJobFinished(bool failed) override;

    private:
        ProgressMeter& meter_;
        std::uint64_t counted_ = 0; // bytes handed to the meter
        std::uint64_t seen_ = 0;    // bytes the job has done
    };

    // Writes "vanthe-cli: <line>" on standard error.
    void Say(const std::string& line);

private:
    using Clock = std::chrono::steady_clock;
    void Advance(std::uint64_t bytes);
    void FileDone(std::uint64_t bytes);
    void DrawLocked(Clock::time_point now);
    void ClearLocked();
    bool Due(Clock::time_point now);

    const bool enabled_;
    const bool dumb_; // no control sequences: lines are blanked with spaces
    const std::size_t files_;
    const std::uint64_t total_;
    const bool totalKnown_;
    const Clock::time_point start_ = Clock::now();
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::size_t> filesDone_{0};
    std::atomic<Clock::rep> nextDraw_{0};
    std::mutex mutex_; // standard error and `drawn_`
    bool drawn_ = false;
    std::size_t drawnWidth_ = 0; // of the line on the screen, for a dumb terminal
};

} // namespace vanthe::cli
