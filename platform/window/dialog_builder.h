#pragma once

// Turns a dialog template into a hidden dialog window with its controls.
// Internal to the layer.

#include "platform/window/resources.h"
#include "platform/window/window_types.h"

namespace platform::detail {

class DialogWindow;

// The dialog is registered with DefDlgProc as its window procedure and dialogProc in
// DWLP_DLGPROC. Null when a control's class is unknown (nothing is left behind then).
DialogWindow* BuildDialog(const DialogTemplate& dialogTemplate, HINSTANCE instance, HWND owner,
                          DLGPROC dialogProc);

// Pixels per dialog unit come from the font's average character width and height.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;
    int X(int units) const;
    int Y(int units) const;
};

} // namespace platform::detail
