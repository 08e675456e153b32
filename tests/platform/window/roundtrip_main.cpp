// Measures what a job's notifications cost: the round trip of a cross-thread SendMessage to a
// dialog's thread, and a job-shaped run (1 KiB of cipher-like work, then one synchronous
// progress message, with the dialog painting a colour-keyed fill) against the same work
// without messages. Prints the figures; it is not a test.

#include "platform/window/dialogs.h"
#include "platform/window/message_loop.h"
#include "platform/window/messaging.h"
#include "platform/window/painting.h"
#include "platform/window/sent_messages.h"
#include "platform/window/startup.h"
#include "platform/window/window_state.h"
#include "test_dialogs.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <thread>
#include <vector>

using namespace platform;
using namespace vanthe::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr UINT WM_PING = WM_USER + 60;
constexpr UINT WM_STARTED = WM_USER + 12;
constexpr UINT WM_PROGRESS = WM_USER + 10;
constexpr UINT WM_FINISHED = WM_USER + 11;
constexpr int kPings = 100000;
constexpr std::uint32_t kChunks = 128 * 1024; // 128 MiB of 1 KiB chunks
constexpr COLORREF kKey = 0x030201;

// RC4, as the job's cipher: its cost per KiB is close to the real one's.
class Stream {
public:
    Stream() {
        std::iota(state_.begin(), state_.end(), 0);
        std::uint8_t j = 0;
        for (int i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + state_[static_cast<std::size_t>(i)] + i * 7);
            std::swap(state_[static_cast<std::size_t>(i)], state_[j]);
        }
    }
    void Apply(std::array<std::uint8_t, 1024>& chunk) {
        for (std::uint8_t& byte : chunk) {
            i_ = static_cast<std::uint8_t>(i_ + 1);
            j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
            std::swap(state_[i_], state_[j_]);
            byte ^= state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
        }
    }

private:
    std::array<std::uint8_t, 256> state_{};
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
};

double Median(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile(std::vector<double>& values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

std::vector<double> Pings(HWND window) {
    std::vector<double> micros;
    micros.reserve(kPings);
    for (int i = 0; i < kPings; ++i) {
        const auto start = Clock::now();
        SendMessage(window, WM_PING, 0, 0);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return micros;
}

double Job(HWND window) {
    Stream stream;
    std::array<std::uint8_t, 1024> chunk{};
    const auto start = Clock::now();
    if (window != nullptr) {
        SendMessage(window, WM_STARTED, kChunks, 0);
    }
    for (std::uint32_t i = 0; i < kChunks; ++i) {
        chunk.fill(static_cast<std::uint8_t>(i));
        stream.Apply(chunk);
        if (window != nullptr) {
            SendMessage(window, WM_PROGRESS, i, 0);
        }
    }
    if (window != nullptr) {
        SendMessage(window, WM_FINISHED, 0, 0);
    }
    volatile std::uint8_t sink = chunk[17];
    (void)sink;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

LRESULT PingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_PING ? 1 : DefWindowProc(window, message, wParam, lParam);
}

// The dialog's side of a job, shaped like the program's progress display.
struct Progress {
    bool active = false;
    LONG height = 0;
    std::uint32_t total = 1;
    std::uint32_t position = 0;
    LONG Boundary(std::uint32_t p) const {
        return height - static_cast<LONG>(static_cast<std::uint64_t>(p) *
                                          static_cast<std::uint64_t>(height) / total);
    }
};

Progress progress;
std::vector<double> dialogPings;
double dialogJob = 0;

INT_PTR BenchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLong(dialog, GWL_EXSTYLE,
                      GetWindowLong(dialog, GWL_EXSTYLE) | static_cast<LONG>(WS_EX_LAYERED));
        SetLayeredWindowAttributes(dialog, kKey, 0, LWA_COLORKEY);
        RECT client;
        GetClientRect(dialog, &client);
        progress.height = client.bottom;
        std::thread([dialog] {
            dialogPings = Pings(dialog);
            dialogJob = Job(dialog);
            SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        }).detach();
        return TRUE;
    }
    case WM_PING:
        SetWindowLongPtr(dialog, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_STARTED:
        progress.active = true;
        progress.total = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(wParam));
        progress.position = 0;
        InvalidateRect(dialog, nullptr, TRUE);
        EnableWindow(dialog, FALSE);
        return TRUE;
    case WM_PROGRESS: {
        const std::uint32_t previous = progress.position;
        progress.position = static_cast<std::uint32_t>(wParam);
        if (progress.Boundary(previous) != progress.Boundary(progress.position)) {
            RECT band{0, progress.Boundary(progress.position), 10000, progress.Boundary(previous)};
            InvalidateRect(dialog, &band, TRUE);
        }
        return TRUE;
    }
    case WM_FINISHED:
        progress.active = false;
        InvalidateRect(dialog, nullptr, TRUE);
        EnableWindow(dialog, TRUE);
        return TRUE;
    case WM_PAINT:
        if (progress.active) {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(dialog, &paint);
            RECT fill;
            GetClientRect(dialog, &fill);
            fill.bottom = progress.Boundary(progress.position);
            const HBRUSH brush = CreateSolidBrush(kKey);
            FillRect(dc, &fill, brush);
            DeleteObject(brush);
            EndPaint(dialog, &paint);
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    SetApplicationArguments(argc, argv);
    INITCOMMONCONTROLSEX init;
    init.dwSize = sizeof init;
    init.dwICC = ICC_BAR_CLASSES;
    if (InitCommonControlsEx(&init) == FALSE) {
        return 1;
    }

    // A thread without a toolkit, running the core loop.
    HWND coreWindow = nullptr;
    MessageLoop* coreLoop = nullptr;
    std::atomic<bool> ready{false};
    std::thread owner([&] {
        OpenSentMessageInbox();
        MessageLoop loop;
        coreLoop = &loop;
        coreWindow = CreateMessageWindow(&PingProc);
        ready = true;
        loop.Run();
        DestroyWindow(coreWindow);
        CloseSentMessageInbox();
    });
    while (!ready) {
        std::this_thread::yield();
    }
    std::vector<double> corePings = Pings(coreWindow);
    coreLoop->Quit();
    owner.join();

    const double alone = Job(nullptr);
    if (DialogBoxParam(TestModule(), IDD_FORM, nullptr, &BenchDialogProc, 0) != IDCANCEL) {
        std::fprintf(stderr, "the dialog did not run\n");
        return 1;
    }
    std::printf("cross-thread SendMessage round trip, %d messages:\n", kPings);
    std::printf("  to a core message loop:   median %.2f us, p99 %.2f us\n", Median(corePings),
                Percentile(corePings, 0.99));
    std::printf("  to the dialog's thread:   median %.2f us, p99 %.2f us\n", Median(dialogPings),
                Percentile(dialogPings, 0.99));
    std::printf("job of %u KiB, RC4-like work per KiB:\n", kChunks);
    std::printf("  without messages:         %.3f s\n", alone);
    std::printf("  through the dialog:       %.3f s (%.2fx)\n", dialogJob, dialogJob / alone);
    return 0;
}
