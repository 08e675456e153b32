#pragma once

// The fill that shows a job's progress over the dialog's own surface. It covers the client
// area from the top down to a boundary that rises as chunks are written. Where the display
// can show it, the fill is the dialog's colour key, so the filled part is see-through;
// elsewhere it is white.

#include "platform/window/window_types.h"

#include <cstdint>

namespace vanthe {

struct ProgressOverlay {
    platform::COLORREF fillColor = 0xFFFFFF;
    platform::RECT clientRect{0, 0, 0, 0};
    std::int32_t total = 0;    // the source size in whole KiB
    std::int32_t previous = 0; // the position held before the latest SetPosition
    std::int32_t position = 0; // the index of the last chunk written

    // Once per dialog: layering and colour key where the display can show them, and the
    // client rectangle.
    void Initialize(platform::HWND dialog);
    // True when the filled height changes by at least one row.
    bool SetPosition(std::int32_t newPosition);
    void Paint(platform::HDC dc) const;
    // Invalidates the rows between the new boundary and the one last painted.
    void InvalidateBand(platform::HWND dialog) const;

    // Rows done for a position, and the boundary: the first row no longer filled.
    std::int32_t RowsDone(std::int32_t p) const;
    std::int32_t Boundary(std::int32_t p) const { return clientRect.bottom - RowsDone(p); }
};

} // namespace vanthe
