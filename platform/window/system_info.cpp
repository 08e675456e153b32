#include "platform/window/system_info.h"

#include "platform/window/gui_application.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

BOOL SystemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) {
    (void)uiParam;
    (void)winIni;
    if (action != SPI_GETWORKAREA || pvParam == nullptr || !detail::HaveApplication() ||
        !detail::IsGuiThread()) {
        return FALSE;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return FALSE;
    }
    const QRect area = screen->availableGeometry();
    auto* rect = static_cast<RECT*>(pvParam);
    rect->left = area.left();
    rect->top = area.top();
    rect->right = area.left() + area.width();
    rect->bottom = area.top() + area.height();
    return TRUE;
}

} // namespace platform
