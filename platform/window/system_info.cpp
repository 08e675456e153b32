#include "platform/window/system_info.h"

#include "platform/window/startup.h"
#include "platform/window/window_registry.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace platform {

BOOL SystemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) {
    (void)uiParam;
    (void)winIni;
    if (action != SPI_GETWORKAREA || pvParam == nullptr || !detail::IsGuiThread()) {
        return FALSE;
    }
    // The screen the pointer is on, where desktops open a new window, rather than always the
    // first one.
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return FALSE;
    }
    *static_cast<RECT*>(pvParam) = detail::ToRect(screen->availableGeometry());
    return TRUE;
}

} // namespace platform
