#include "app/gui/win_main.h"

#include "engine/text_format.h"
#include "platform/files/file_api.h"
#include "platform/files/strings.h"
#include "platform/window/dialogs.h"
#include "platform/window/message_box.h"
#include "platform/window/startup.h"
#include "platform/window/window_state.h"
#include "ui/app_module.h"
#include "ui/main_dialog.h"

#include <memory>

namespace vanthe {

using namespace platform;

int WinMain(HINSTANCE instance, const char* commandTail) {
    INITCOMMONCONTROLSEX controls{8, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    appModule.Init(instance);

    int exitCode = 0;
    auto dialog = std::make_unique<MainDialog>();
    if (lstrlen(commandTail) < 2) {
        // A one-character argument is ignored altogether.
        exitCode = static_cast<int>(dialog->RunModal(GetActiveWindow(), 0));
    } else {
        dialog->sourcePath = commandTail;
        if (FileExists(commandTail)) {
            exitCode = static_cast<int>(dialog->RunModal(GetActiveWindow(), 0));
        } else {
            MessageBox(nullptr, FileMissingText(commandTail).c_str(), "Error", MB_OK);
        }
    }
    dialog.reset();
    appModule.Term();
    return exitCode;
}

} // namespace vanthe
