#include "platform/window/startup.h"

#include "platform/window/compose.h"
#include "platform/window/display_probe.h"

#include <QApplication>
#include <QMessageLogContext>
#include <QThread>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace platform::detail {

namespace {

char defaultName[] = "vanthe";
char* defaultArgv[] = {defaultName, nullptr};
int defaultArgc = 1;

int* storedArgc = &defaultArgc;
char** storedArgv = defaultArgv;

std::atomic<bool> applicationReady{false};
std::atomic<void (*)()> displayLost{nullptr};
// Kept apart from the toolkit so that a worker can ask, even while the process ends, without
// calling into it.
std::atomic<std::thread::id> guiThread{};
bool displayFailed = false;
QtMessageHandler previousHandler = nullptr;
std::string desktopFileName;

std::string ProgramName() {
    const char* path = *storedArgc > 0 && storedArgv[0] != nullptr ? storedArgv[0] : defaultName;
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void ReportNoDisplay(const std::string& reason) {
    std::fprintf(stderr, "%s: cannot open the display (%s)\n", ProgramName().c_str(),
                 reason.c_str());
}

// Messages go on to the handler that was there before the layer's.
void PassOn(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

// The probe comes first; this only catches a platform that failed all the same, which the
// toolkit would answer with abort(). Ending with one line is kinder than a core dump.
void CreationMessageHandler(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
    if (type == QtFatalMsg) {
        ReportNoDisplay(message.toStdString());
        std::_Exit(255);
    }
    PassOn(type, context, message);
}

// The toolkit's platforms say so in these words when the display's connection breaks, and end
// the process right after: X11 through exit() or abort(), Wayland through _exit().
bool SaysDisplayIsLost(const QString& message) {
    return message.startsWith(QLatin1String("The Wayland connection")) ||
           message.startsWith(QLatin1String("The X11 connection broke"));
}

void RunningMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && SaysDisplayIsLost(message)) {
        if (void (*handler)() = displayLost.load()) {
            handler();
        }
    }
    PassOn(type, context, message);
}

std::string PlatformArgument() {
    for (int i = 1; i + 1 < *storedArgc; ++i) {
        if (storedArgv[i] != nullptr && std::strcmp(storedArgv[i], "-platform") == 0 &&
            storedArgv[i + 1] != nullptr) {
            return storedArgv[i + 1];
        }
    }
    return {};
}

} // namespace

bool EnsureApplication() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        auto* application = qobject_cast<QApplication*>(existing);
        if (application != nullptr && QThread::currentThread() == application->thread()) {
            guiThread.store(std::this_thread::get_id());
            applicationReady.store(true);
        }
        return application != nullptr;
    }
    if (displayFailed) {
        return false;
    }
    std::string platform;
    std::string reason;
    const std::string argument = PlatformArgument();
    if (!CanOpenDisplay(argument, platform, reason)) {
        displayFailed = true;
        ReportNoDisplay(reason);
        return false;
    }
    // The probe may have found a display the toolkit would not have tried on its own.
    if (argument.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform));
    }
    PrepareCompose();
    previousHandler = qInstallMessageHandler(&CreationMessageHandler);
    // Lives until the process ends; the arguments it keeps are the caller's or static.
    auto* application = new QApplication(*storedArgc, storedArgv);
    qInstallMessageHandler(&RunningMessageHandler);
    InstallCompose(*application);
    if (!desktopFileName.empty()) {
        QGuiApplication::setDesktopFileName(QString::fromStdString(desktopFileName));
    }
    guiThread.store(std::this_thread::get_id());
    applicationReady.store(true);
    return true;
}

bool HaveApplication() {
    return applicationReady.load();
}

bool IsGuiThread() {
    return applicationReady.load() && guiThread.load() == std::this_thread::get_id();
}

} // namespace platform::detail

namespace platform {

void SetApplicationArguments(int& argc, char** argv) {
    if (argc > 0 && argv != nullptr) {
        detail::storedArgc = &argc;
        detail::storedArgv = argv;
    }
}

void SetDisplayLostHandler(void (*handler)()) {
    detail::displayLost.store(handler);
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (init == nullptr || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        return FALSE;
    }
    try {
        return detail::EnsureApplication() ? TRUE : FALSE;
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
        detail::desktopFileName = appId;
        if (QCoreApplication::instance() != nullptr) {
            QGuiApplication::setDesktopFileName(QString::fromUtf8(appId));
        }
        return S_OK;
    } catch (...) {
        qWarning("vanthe: SetCurrentProcessExplicitAppUserModelID: the toolkit threw; the call "
                 "fails instead");
        return E_FAIL;
    }
}

} // namespace platform
