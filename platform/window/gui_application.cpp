#include "platform/window/gui_application.h"

#include "platform/window/display_probe.h"

#include <QApplication>
#include <QMessageLogContext>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

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

// The first of these that is set names the locale, as libxkbcommon reads it.
std::string KeyboardLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "C";
}

// The compose file that X11's table of locales names for `locale`, or an empty string.
std::string ComposeFileOf(const std::string& folder, const std::string& locale) {
    std::ifstream table(folder + "/compose.dir");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string path;
        std::string name;
        if (fields >> path >> name && name == locale && !path.empty() && path[0] != '#') {
            if (path.back() == ':') {
                path.pop_back();
            }
            return folder + "/" + path;
        }
    }
    return {};
}

// The toolkit composes dead keys and Compose sequences through libxkbcommon with the table of
// the locale's character set. The dialog takes Unicode text whatever the locale, but a locale
// that is not UTF-8 (ISO-8859-15, KOI8-R) or that X11 does not know has a table with few or no
// accented letters, and a dead key then vanishes: "é" typed with a dead acute goes into a
// password as "e", where nobody sees it. Such a locale gets the UTF-8 table of its language (or
// the general one) instead, unless the user has a compose file of their own.
void ComposeInUnicode() {
    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string own = config != nullptr && *config != '\0' ? std::string(config) + "/XCompose"
                      : home != nullptr                    ? std::string(home) + "/.config/XCompose"
                                                           : std::string();
    if (std::getenv("XCOMPOSEFILE") != nullptr ||
        (!own.empty() && ::access(own.c_str(), F_OK) == 0) ||
        (home != nullptr && ::access((std::string(home) + "/.XCompose").c_str(), F_OK) == 0)) {
        return;
    }
    const std::string locale = KeyboardLocale();
    const std::size_t dot = locale.find('.');
    const std::size_t at = locale.find('@');
    const std::string language = locale.substr(0, std::min(dot, at));
    if (language == "C" || language == "POSIX") {
        return; // libxkbcommon takes these as UTF-8
    }
    std::string codeset = dot == std::string::npos ? "" : locale.substr(dot + 1, at - dot - 1);
    codeset.erase(std::remove(codeset.begin(), codeset.end(), '-'), codeset.end());
    std::transform(codeset.begin(), codeset.end(), codeset.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const char* variable = std::getenv("XLOCALEDIR");
    const std::string folder =
        variable != nullptr && *variable != '\0' ? variable : "/usr/share/X11/locale";
    if (codeset == "utf8" && !ComposeFileOf(folder, locale).empty()) {
        return;
    }
    std::string file = ComposeFileOf(folder, language + ".UTF-8");
    if (file.empty()) {
        file = ComposeFileOf(folder, "en_US.UTF-8");
    }
    if (!file.empty() && ::access(file.c_str(), R_OK) == 0) {
        ::setenv("XCOMPOSEFILE", file.c_str(), 0);
    }
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

void StoreDesktopFileName(const std::string& name) {
    desktopFileName = name;
    if (QCoreApplication::instance() != nullptr) {
        QGuiApplication::setDesktopFileName(QString::fromStdString(name));
    }
}

void StoreDisplayLostHandler(void (*handler)()) {
    displayLost.store(handler);
}

void StoreArguments(int& argc, char** argv) {
    if (argc > 0 && argv != nullptr) {
        storedArgc = &argc;
        storedArgv = argv;
    }
}

std::string ProgramName() {
    const char* path = *storedArgc > 0 && storedArgv[0] != nullptr ? storedArgv[0] : defaultName;
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

QApplication* EnsureApplication() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        auto* application = qobject_cast<QApplication*>(existing);
        if (application != nullptr && QThread::currentThread() == application->thread()) {
            guiThread.store(std::this_thread::get_id());
            applicationReady.store(true);
        }
        return application;
    }
    if (displayFailed) {
        return nullptr;
    }
    std::string platform;
    std::string reason;
    const std::string argument = PlatformArgument();
    if (!CanOpenDisplay(argument, platform, reason)) {
        displayFailed = true;
        ReportNoDisplay(reason);
        return nullptr;
    }
    // The probe may have found a display the toolkit would not have tried on its own.
    if (argument.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform));
    }
    ComposeInUnicode();
    previousHandler = qInstallMessageHandler(&CreationMessageHandler);
    // Lives until the process ends; the arguments it keeps are the caller's or static.
    auto* application = new QApplication(*storedArgc, storedArgv);
    qInstallMessageHandler(&RunningMessageHandler);
    if (!desktopFileName.empty()) {
        QGuiApplication::setDesktopFileName(QString::fromStdString(desktopFileName));
    }
    guiThread.store(std::this_thread::get_id());
    applicationReady.store(true);
    return application;
}

bool HaveApplication() {
    return applicationReady.load();
}

bool IsGuiThread() {
    return applicationReady.load() && guiThread.load() == std::this_thread::get_id();
}

} // namespace platform::detail
