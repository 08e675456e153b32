#include "platform/window/painting.h"

#include "platform/window/dialog_window.h"
#include "platform/window/handle_table.h"
#include "platform/window/messaging.h"
#include "platform/window/startup.h"
#include "platform/window/window_registry.h"

#include <QPainter>
#include <QtGlobal>
#include <cstdint>

namespace platform {

using detail::DialogWindow;

namespace {

struct PaintContext {
    HWND window = nullptr;
    std::uint64_t paintSerial = 0;
};

detail::HandleTable<HBRUSH, COLORREF>& Brushes() {
    static detail::HandleTable<HBRUSH, COLORREF> brushes;
    return brushes;
}

detail::HandleTable<HDC, PaintContext>& PaintContexts() {
    static detail::HandleTable<HDC, PaintContext> contexts;
    return contexts;
}

QRect FromRect(const RECT& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

} // namespace

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    if (paint == nullptr) {
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    try {
        DialogWindow* dialog = DialogWindow::For(window);
        if (dialog == nullptr) {
            return nullptr;
        }
        const detail::DialogState& state = dialog->State();
        PaintContext context;
        context.window = window;
        // Outside the toolkit's paint the context is stale from the start and paints nothing.
        context.paintSerial = state.painter != nullptr ? state.paintSerial : 0;
        paint->hdc = PaintContexts().Add(context);
        paint->fErase = TRUE;
        paint->rcPaint = state.painter != nullptr ? detail::ToRect(state.paintRect) : RECT{};
        return paint->hdc;
    } catch (...) {
        qWarning("vanthe: BeginPaint: the toolkit threw; the call fails instead");
        return nullptr;
    }
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    (void)window;
    if (paint == nullptr) {
        return FALSE;
    }
    PaintContexts().Remove(paint->hdc);
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (rect == nullptr) {
        return 0;
    }
    const std::optional<PaintContext> context = PaintContexts().Get(dc);
    const std::optional<COLORREF> color = Brushes().Get(brush);
    if (!context || !color) {
        return 0;
    }
    DialogWindow* dialog = DialogWindow::For(context->window);
    if (dialog == nullptr) {
        return 0;
    }
    detail::DialogState& state = dialog->State();
    if (state.painter != nullptr && state.paintSerial == context->paintSerial) {
        if (dialog->SeesThroughKey(*color)) {
            // The key itself is never shown: those pixels let what lies behind show.
            const QPainter::CompositionMode mode = state.painter->compositionMode();
            state.painter->setCompositionMode(QPainter::CompositionMode_Source);
            state.painter->fillRect(FromRect(*rect), Qt::transparent);
            state.painter->setCompositionMode(mode);
        } else {
            state.painter->fillRect(
                FromRect(*rect), QColor(GetRValue(*color), GetGValue(*color), GetBValue(*color)));
        }
    }
    return 1;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    try {
        return Brushes().Add(color & 0x00FFFFFF);
    } catch (...) {
        qWarning("vanthe: CreateSolidBrush: the toolkit threw; the call fails instead");
        return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ object) {
    return Brushes().Remove(static_cast<HBRUSH>(object)) ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    (void)erase; // the toolkit always paints the background first
    const RECT area = rect != nullptr ? *rect : RECT{};
    const bool whole = rect == nullptr;
    return detail::WithWidget(window, FALSE, [area, whole](QWidget& widget) {
        if (whole) {
            widget.update();
        } else {
            widget.update(FromRect(area));
        }
        if (auto* dialog = dynamic_cast<DialogWindow*>(widget.window())) {
            dialog->ScheduleMaskUpdate();
        }
        return TRUE;
    });
}

BOOL SetLayeredWindowAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags) {
    const DWORD exStyle = static_cast<DWORD>(GetWindowLong(window, GWL_EXSTYLE));
    if ((exStyle & WS_EX_LAYERED) == 0) {
        return FALSE;
    }
    return detail::OnWindowThread(window, FALSE, [=] {
        DialogWindow* dialog = DialogWindow::For(window);
        if (dialog == nullptr) {
            return FALSE;
        }
        detail::DialogState& state = dialog->State();
        if ((flags & LWA_COLORKEY) != 0 && state.keyedSurface == detail::KeyedSurface::None) {
            return FALSE;
        }
        if ((flags & LWA_COLORKEY) != 0 && state.keyedSurface == detail::KeyedSurface::Alpha) {
            // Takes effect when the native window is made, which a dialog's initialisation
            // precedes.
            dialog->setAttribute(Qt::WA_TranslucentBackground);
        }
        state.layeredFlags = flags;
        state.colorKey = key & 0x00FFFFFF;
        state.alpha = alpha;
        dialog->setWindowOpacity((flags & LWA_ALPHA) != 0 ? alpha / 255.0 : 1.0);
        dialog->ScheduleMaskUpdate();
        return TRUE;
    });
}

} // namespace platform
