// Started by a test with no display: start-up must say so on one line and go on, dialogs must
// fail with -1, and a message box must reach standard error.

#include "platform/window/dialogs.h"
#include "platform/window/message_box.h"
#include "platform/window/startup.h"

#include <cstdio>

using namespace platform;

int main(int argc, char** argv) {
    SetApplicationArguments(argc, argv);
    INITCOMMONCONTROLSEX init;
    init.dwSize = sizeof init;
    init.dwICC = ICC_BAR_CLASSES;
    const BOOL initialised = InitCommonControlsEx(&init);
    const INT_PTR dialog = DialogBoxParam(GetModuleHandle(nullptr), 100, nullptr, nullptr, 0);
    const int box = MessageBox(nullptr, "shown on standard error", "Error", MB_OK);
    std::fflush(stderr);
    std::printf("init %d, dialog %d, box %d\n", initialised, static_cast<int>(dialog), box);
    return 0;
}
