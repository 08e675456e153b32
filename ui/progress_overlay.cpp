#include "ui/progress_overlay.h"

#include "platform/window/messaging.h"
#include "platform/window/painting.h"
#include "platform/window/window_state.h"

#include <algorithm>

namespace vanthe {

using namespace platform;

namespace {
constexpr COLORREF kColorKey = 0x030201;
} // namespace

void ProgressOverlay::Initialize(HWND dialog) {
    // Where the display can show nothing behind the window, the fill stays white and the
    // window unlayered.
    LONG style = GetWindowLong(dialog, GWL_EXSTYLE);
    SetWindowLong(dialog, GWL_EXSTYLE, style | static_cast<LONG>(WS_EX_LAYERED));
    if (SetLayeredWindowAttributes(dialog, kColorKey, 0, LWA_COLORKEY)) {
        fillColor = kColorKey;
    } else {
        fillColor = 0xFFFFFF;
        SetWindowLong(dialog, GWL_EXSTYLE, style);
    }
    GetClientRect(dialog, &clientRect);
}

std::int32_t ProgressOverlay::RowsDone(std::int32_t p) const {
    // A total of 0 (a source under 1 KiB) keeps the whole fill until the job has finished.
    if (total <= 0) {
        return 0;
    }
    // Widened, so sources of several GiB do not overflow the product.
    std::int64_t rows = static_cast<std::int64_t>(p) * clientRect.bottom / total;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(rows, 0, clientRect.bottom));
}

bool ProgressOverlay::SetPosition(std::int32_t newPosition) {
    bool changed = RowsDone(newPosition) != RowsDone(position);
    previous = position;
    position = newPosition;
    return changed;
}

void ProgressOverlay::Paint(HDC dc) const {
    RECT fill{clientRect.left, clientRect.top, clientRect.right, Boundary(position)};
    HBRUSH brush = CreateSolidBrush(fillColor);
    FillRect(dc, &fill, brush);
    DeleteObject(brush);
}

void ProgressOverlay::InvalidateBand(HWND dialog) const {
    RECT band{clientRect.left, Boundary(position), clientRect.right, Boundary(previous)};
    InvalidateRect(dialog, &band, TRUE);
}

} // namespace vanthe
