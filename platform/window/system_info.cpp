#include "platform/window/system_info.h"

#include "platform/window/gui_application.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {

// 6.1, build 7601: a release with layered windows and the newer file dialog record.
constexpr DWORD kMajor = 6;
constexpr DWORD kMinor = 1;
constexpr DWORD kBuild = 7601;

} // namespace

BOOL GetVersionEx(OSVERSIONINFO* info) {
    if (info == nullptr || info->dwOSVersionInfoSize != 148) {
        return FALSE;
    }
    info->dwMajorVersion = kMajor;
    info->dwMinorVersion = kMinor;
    info->dwBuildNumber = kBuild;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

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
