#pragma once

// Draws a job's progress on standard error from its notifications: percentage, speed and
// time left, at most ten times a second.

#include "platform/window/window_types.h"

#include <chrono>
#include <cstdint>

namespace vanthe::cli {

class ProgressMeter {
public:
    // `totalBytes` is the source's size; `enabled` false makes the meter silent.
    ProgressMeter(std::uint64_t totalBytes, bool enabled);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    platform::HWND window() const { return window_; }

private:
    static platform::LRESULT Proc(platform::HWND window, platform::UINT message,
                                  platform::WPARAM wParam, platform::LPARAM lParam);
    void Draw(std::uint64_t doneBytes, bool force);
    void Clear();

    using Clock = std::chrono::steady_clock;
    platform::HWND window_ = nullptr;
    std::uint64_t total_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

} // namespace vanthe::cli
