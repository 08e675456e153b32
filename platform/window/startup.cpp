#include "platform/window/startup.h"

#include "platform/window/gui_application.h"

#include <QtGlobal>

namespace platform {

void SetApplicationArguments(int& argc, char** argv) {
    detail::StoreArguments(argc, argv);
}

void SetDisplayLostHandler(void (*handler)()) {
    detail::StoreDisplayLostHandler(handler);
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (init == nullptr || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        return FALSE;
    }
    try {
        return detail::EnsureApplication() != nullptr ? TRUE : FALSE;
    } catch (...) {
        qWarning("vanthe: InitCommonControlsEx: the toolkit threw; the call fails instead");
        return FALSE;
    }
}

HRESULT SetCurrentProcessExplicitAppUserModelID(const char* appId) {
    if (appId == nullptr) {
        return E_INVALIDARG;
    }
    try {
        detail::StoreDesktopFileName(appId);
        return S_OK;
    } catch (...) {
        qWarning("vanthe: SetCurrentProcessExplicitAppUserModelID: the toolkit threw; the call "
                 "fails instead");
        return E_FAIL;
    }
}

} // namespace platform
#include <QtGlobal>
