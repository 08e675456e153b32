#pragma once

// The dialog manager's input handling: Enter, Escape, Tab and the arrows, the system menu's
// keys, focus changes as WM_SETFOCUS/WM_KILLFOCUS, dropped files, a password field's Caps Lock
// notice, and no input at all while the dialog is disabled. One per dialog, installed on the
// dialog and on each control. Internal to the layer.

#include "platform/window/window_types.h"

#include <QObject>

class QKeyEvent;
class QDropEvent;

namespace platform::detail {

class DialogWindow;

class DialogEventFilter : public QObject {
public:
    explicit DialogEventFilter(DialogWindow* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool HandleKey(HWND target, const QKeyEvent& key);
    void HandleEnter(HWND target);
    void MoveInGroup(HWND target, bool previous);
    bool HandleDrop(HWND target, QEvent* event);

    DialogWindow* dialog_;
};

} // namespace platform::detail
