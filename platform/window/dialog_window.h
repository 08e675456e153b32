#pragma once

// The widget of a dialog: it hands painting, closing and its system menu to the dialog's
// window procedure. Internal to the layer.

#include "platform/window/dialog_state.h"
#include "platform/window/window_types.h"

#include <QWidget>

namespace platform::detail {

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
    // Shows the system menu; lParam is what WM_SYSCOMMAND carries for the chosen item.
    void ShowSystemMenu(const QPoint& globalPosition, LPARAM lParam);

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
