#pragma once

// The widget of a dialog, which hands painting, closing and its system menu to the dialog's
// window procedure, and what the dialog manager keeps per dialog. Internal to the layer.

#include "platform/window/display_probe.h"
#include "platform/window/window_types.h"

#include <QRect>
#include <QWidget>
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

class DialogWindow : public QWidget {
public:
    explicit DialogWindow(Qt::WindowFlags flags);
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;
    ~DialogWindow() override;

    HWND Handle() const { return handle_; }
    void SetHandle(HWND handle) { handle_ = handle; }
    DialogState& State() { return state_; }

    // Whether painting color shows what lies behind instead: the colour key of a translucent
    // window.
    bool SeesThroughKey(COLORREF color) const;
    // Recomputes the colour-key mask once the current event has been handled.
    void ScheduleMaskUpdate();
    void UpdateMask();
    // Shows the system menu; lParam is what WM_SYSCOMMAND carries for the chosen item. Opened
    // from the keyboard, its first item is highlighted, so a screen reader has one to name.
    void ShowSystemMenu(const QPoint& globalPosition, LPARAM lParam, bool byKeyboard);

    // The dialog behind a handle, for its own thread only; null for any other window.
    static DialogWindow* For(HWND window);
    // The dialogs whose modal loop runs on this thread, innermost last.
    static DialogWindow* Innermost();
    static void PushRunning(DialogWindow* dialog);
    static void PopRunning(DialogWindow* dialog);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    HWND handle_ = nullptr;
    DialogState state_;
};

} // namespace platform::detail
