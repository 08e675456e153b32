#include "app/cli/progress_meter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vanthe::cli {

namespace {

constexpr std::chrono::milliseconds kDrawInterval(100);
// A job reports every KiB; the meter looks at the clock only once per this many bytes, which
// at any speed a line can show is still many times per drawing.
constexpr std::uint64_t kAdvanceStep = 64 * 1024;

std::string Amount(double bytes) {
    char text[32];
    if (bytes < 1e6) {
        std::snprintf(text, sizeof text, "%.0f kB", bytes / 1e3);
    } else if (bytes < 1e9) {
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
    }
    return text;
}

// A terminal that knows no control sequences (TERM=dumb: an editor's shell buffer) would show
// them as text; there the old line is blanked with spaces instead.
bool DumbTerminal() {
    const char* term = std::getenv("TERM");
    return term != nullptr && std::strcmp(term, "dumb") == 0;
}

} // namespace

ProgressMeter::ProgressMeter(bool enabled, std::size_t files, std::uint64_t totalBytes,
                             bool totalKnown)
    : enabled_(enabled), dumb_(DumbTerminal()), files_(files), total_(totalBytes),
      totalKnown_(totalKnown) {
    nextDraw_ = (start_ + kDrawInterval).time_since_epoch().count();
}

ProgressMeter::~ProgressMeter() {
    std::lock_guard lock(mutex_);
    ClearLocked();
}

void ProgressMeter::Job::OnJobStarted(std::uint64_t) {}

// Without a line to draw, a chunk costs nothing but this test.
void ProgressMeter::Job::OnChunkDone(std::uint64_t, std::uint64_t bytesDone) {
    if (!meter_.enabled_) {
        return;
    }
    seen_ = bytesDone;
    if (seen_ - counted_ >= kAdvanceStep) {
        meter_.Advance(seen_ - counted_);
        counted_ = seen_;
    }
}

void ProgressMeter::Job::OnJobFinished(bool) {
    meter_.FileDone(seen_ - counted_);
    counted_ = seen_;
}

void ProgressMeter::Say(const std::string& line) {
    std::lock_guard lock(mutex_);
    ClearLocked();
    std::fprintf(stderr, "vanthe-cli: %s\n", line.c_str());
    std::fflush(stderr);
}

void ProgressMeter::Advance(std::uint64_t bytes) {
    done_.fetch_add(bytes, std::memory_order_relaxed);
    Clock::time_point now = Clock::now();
    if (Due(now)) {
        std::lock_guard lock(mutex_);
        DrawLocked(now);
    }
}

void ProgressMeter::FileDone(std::uint64_t bytes) {
    done_.fetch_add(bytes, std::memory_order_relaxed);
    filesDone_.fetch_add(1, std::memory_order_relaxed);
    Clock::time_point now = Clock::now();
    if (Due(now)) {
        std::lock_guard lock(mutex_);
        DrawLocked(now);
    }
}

// True for the one caller that claims the next drawing, at most once per interval.
bool ProgressMeter::Due(Clock::time_point now) {
    if (!enabled_) {
        return false;
    }
    Clock::rep next = nextDraw_.load(std::memory_order_relaxed);
    Clock::rep current = now.time_since_epoch().count();
    return current >= next &&
           nextDraw_.compare_exchange_strong(next, (now + kDrawInterval).time_since_epoch().count(),
                                             std::memory_order_relaxed);
}

void ProgressMeter::DrawLocked(Clock::time_point now) {
    double seconds = std::chrono::duration<double>(now - start_).count();
    auto done = static_cast<double>(done_.load(std::memory_order_relaxed));
    double rate = seconds > 0 ? done / seconds : 0;
    std::string line;
    if (files_ > 1) {
        line += std::to_string(filesDone_.load(std::memory_order_relaxed)) + "/" +
                std::to_string(files_) + " files  ";
    }
    line += Amount(done);
    if (totalKnown_) {
        line += " of " + Amount(static_cast<double>(total_));
    }
    line += "  " + Amount(rate) + "/s";
    if (totalKnown_ && rate > 0) {
        // Sizes are hints: a source may turn out longer than it said.
        double left =
            done < static_cast<double>(total_) ? (static_cast<double>(total_) - done) / rate : 0;
        auto whole = static_cast<long long>(left);
        char text[32];
        std::snprintf(text, sizeof text, "  %lld:%02lld left", whole / 60, whole % 60);
        line += text;
    }
    // A line wider than the terminal would wrap, and every later draw would start a row lower.
    winsize terminal{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &terminal) == 0 && terminal.ws_col > 1 &&
        line.size() >= terminal.ws_col) {
        line.resize(terminal.ws_col - 1u);
    }
    if (dumb_) {
        const std::size_t width = line.size();
        line.resize(std::max(width, drawnWidth_), ' ');
        std::fprintf(stderr, "\r%s", line.c_str());
        drawnWidth_ = width;
    } else {
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
    }
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressMeter::ClearLocked() {
    if (drawn_) {
        if (dumb_) {
            std::fprintf(stderr, "\r%s\r", std::string(drawnWidth_, ' ').c_str());
            drawnWidth_ = 0;
        } else {
            std::fputs("\r\033[K", stderr);
        }
        std::fflush(stderr);
        drawn_ = false;
    }
}

} // namespace vanthe::cli
