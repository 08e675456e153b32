// The main of GUI tests: widgets on the offscreen platform, so no display is needed, with the
// application object made the way the program makes it.

#include "platform/window/startup.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform warns about each window feature it lacks (masks, raising, keyboard
// grabs); those lines say nothing about the code under test.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    defaultHandler = qInstallMessageHandler(&QuietHandler);
    testing::InitGoogleTest(&argc, argv);
    platform::SetApplicationArguments(argc, argv);
    platform::INITCOMMONCONTROLSEX init;
    init.dwSize = sizeof init;
    init.dwICC = platform::ICC_BAR_CLASSES;
    if (platform::InitCommonControlsEx(&init) == platform::FALSE) {
        return 1;
    }
    return RUN_ALL_TESTS();
}
