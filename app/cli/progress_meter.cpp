#include "app/cli/progress_meter.h"

#include "engine/file_transform.h"
#include "platform/window/messaging.h"

#include <algorithm>
#include <cstdio>

namespace vanthe::cli {

using namespace platform;

ProgressMeter::ProgressMeter(std::uint64_t totalBytes, bool enabled)
    : total_(totalBytes), enabled_(enabled) {
    window_ = CreateMessageWindow(&ProgressMeter::Proc);
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ProgressMeter::~ProgressMeter() {
    DestroyWindow(window_);
    Clear();
}

LRESULT ProgressMeter::Proc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    auto* self = reinterpret_cast<ProgressMeter*>(GetWindowLongPtr(window, GWLP_USERDATA));
    if (self == nullptr || !self->enabled_) {
        return 0;
    }
    if (message == WM_JOB_STARTED) {
        self->start_ = Clock::now();
        self->lastDraw_ = self->start_;
        self->Draw(0, true);
    } else if (message == WM_JOB_PROGRESS) {
        self->Draw((static_cast<std::uint64_t>(wParam) + 1) * 1024, false);
    } else if (message == WM_JOB_FINISHED) {
        self->Clear();
    }
    return 1;
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
