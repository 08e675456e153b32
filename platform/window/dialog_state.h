#pragma once

// What the dialog manager keeps per dialog. Internal to the layer.

#include "platform/window/display_probe.h"
#include "platform/window/window_types.h"

#include <QRect>
#include <chrono>
#include <cstdint>

class QEventLoop;
class QPainter;

namespace platform::detail {

// How a modal run ended. It lives with the run, not the window, which may be destroyed first.
struct DialogOutcome {
    bool ended = false;
    INT_PTR result = 0;
    bool ownerDisabled = false;
};

struct DialogState {
    // The modal run.
    QEventLoop* loop = nullptr;
    DialogOutcome* outcome = nullptr;
    HWND owner = nullptr;
    // The control that had the focus when the dialog was disabled.
    HWND savedFocus = nullptr;
    HMENU systemMenu = nullptr;
    HICON icons[2] = {nullptr, nullptr}; // ICON_SMALL, ICON_BIG
    // How the display shows a colour key, asked once when the dialog is built.
    KeyedSurface keyedSurface = KeyedSurface::None;
    // The layered window's attributes.
    DWORD layeredFlags = 0;
    COLORREF colorKey = 0;
    BYTE alpha = 255;
    bool maskUpdatePending = false;
    bool renderingMask = false;
    std::chrono::steady_clock::time_point lastMaskUpdate;
    // The paint in progress: contexts handed out carry its serial number, so one kept past
    // EndPaint paints nothing.
    QPainter* painter = nullptr;
    QRect paintRect;
    std::uint64_t paintSerial = 0;
};

} // namespace platform::detail
