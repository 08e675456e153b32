#include "app/cli/progress_meter.h"

#include <algorithm>
#include <cstdio>

namespace vanthe::cli {

ProgressMeter::ProgressMeter(std::uint64_t totalBytes, bool enabled)
    : total_(totalBytes), enabled_(enabled) {}

ProgressMeter::~ProgressMeter() {
    Clear();
}

void ProgressMeter::OnJobStarted(std::uint64_t) {
    if (enabled_) {
        start_ = Clock::now();
        lastDraw_ = start_;
        Draw(0, true);
    }
}

void ProgressMeter::OnChunkDone(std::uint64_t, std::uint64_t bytesDone) {
    if (enabled_) {
        Draw(bytesDone, false);
    }
}

void ProgressMeter::OnJobFinished(bool) {
    Clear();
}

void ProgressMeter::Draw(std::uint64_t doneBytes, bool force) {
    Clock::time_point now = Clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDraw_ = now;
    doneBytes = std::min(doneBytes, total_);
    double seconds = std::chrono::duration<double>(now - start_).count();
    double percent =
        total_ == 0 ? 100.0 : 100.0 * static_cast<double>(doneBytes) / static_cast<double>(total_);
    double rate = seconds > 0 ? static_cast<double>(doneBytes) / seconds : 0;
    std::fprintf(stderr, "\r%5.1f%%  ", percent);
    if (rate > 0) {
        auto left = static_cast<long long>(static_cast<double>(total_ - doneBytes) / rate);
        std::fprintf(stderr, "%7.1f MB/s  %lld:%02lld left ", rate / 1e6, left / 60, left % 60);
    }
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressMeter::Clear() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

} // namespace vanthe::cli
