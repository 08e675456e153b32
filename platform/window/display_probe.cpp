#include "platform/window/display_probe.h"

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <xcb/xcb.h>

namespace platform::detail {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool XcbConnects(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool connected = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return connected;
}

bool PluginInstalled(const std::string& name) {
    QStringList directories;
    const QString extra = qEnvironmentVariable("QT_PLUGIN_PATH");
    if (!extra.isEmpty()) {
        directories = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    }
    directories << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    const QStringList pattern{QStringLiteral("libq%1*.so").arg(QString::fromStdString(name))};
    for (const QString& directory : directories) {
        if (!QDir(directory + QStringLiteral("/platforms")).entryList(pattern).isEmpty()) {
            return true;
        }
    }
    return false;
}

bool WaylandReachable() {
    std::string socket = Environment("WAYLAND_DISPLAY");
    if (socket.empty()) {
        return false;
    }
    if (socket.front() != '/') {
        socket = Environment("XDG_RUNTIME_DIR") + "/" + socket;
    }
    struct stat info {};
    return stat(socket.c_str(), &info) == 0;
}

// The platforms the toolkit will try, in its order.
QStringList Candidates(const std::string& argvPlatform) {
    std::string platforms = argvPlatform.empty() ? Environment("QT_QPA_PLATFORM") : argvPlatform;
    if (platforms.empty()) {
        platforms = "xcb";
        if (Environment("XDG_SESSION_TYPE") == "wayland") {
            platforms = "wayland;xcb";
        } else if (!Environment("WAYLAND_DISPLAY").empty()) {
            // A compositor started without a session's variables (from a console, say): X
            // first, as the toolkit would try, then the compositor it would not.
            platforms = "xcb;wayland";
        }
    }
    QStringList names;
    for (const QString& entry : QString::fromStdString(platforms).split(QLatin1Char(';'))) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (!name.isEmpty()) {
            names << name;
        }
    }
    return names;
}

} // namespace

KeyedSurface KeyedSurfaceSupport() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) {
        return KeyedSurface::Alpha;
    }
    if (platform == QLatin1String("xcb")) {
        // The shape, also where a compositing manager runs: per-pixel alpha would show black
        // once it stopped (a desktop's switch that suspends compositing), or where one leaves
        // blending to the X server, and the shape shows what lies behind either way.
        return KeyedSurface::Shape;
    }
    return KeyedSurface::None;
}

void HoldStillWhenReframed(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return;
    }
    // WM_NORMAL_HINTS: 18 words, the flags first and the gravity last.
    constexpr std::uint32_t kWords = 18;
    constexpr std::uint32_t kGravityGiven = 1U << 9;
    const auto id = static_cast<xcb_window_t>(window.winId());
    std::array<std::uint32_t, kWords> hints{};
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, id, XCB_ATOM_WM_NORMAL_HINTS,
                                                XCB_ATOM_WM_SIZE_HINTS, 0, kWords),
                               nullptr);
    if (reply != nullptr) {
        if (reply->format == 32) {
            const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
            const int count = xcb_get_property_value_length(reply) / 4;
            std::copy_n(words, std::min<int>(count, kWords), hints.begin());
        }
        std::free(reply);
    }
    if ((hints[0] & kGravityGiven) != 0 && hints[kWords - 1] == XCB_GRAVITY_STATIC) {
        return;
    }
    hints[0] |= kGravityGiven;
    hints[kWords - 1] = XCB_GRAVITY_STATIC;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, kWords, hints.data());
    xcb_flush(connection);
}

bool CanOpenDisplay(const std::string& argvPlatform, std::string& platform, std::string& reason) {
    reason = "no usable platform";
    for (const QString& candidate : Candidates(argvPlatform)) {
        const std::string name = candidate.toStdString();
        platform = name;
        if (name == "xcb") {
            const std::string display = Environment("DISPLAY");
            if (!PluginInstalled(name)) {
                reason = "the platform plugin xcb is not installed";
            } else if (display.empty()) {
                reason = "DISPLAY is not set";
            } else if (!XcbConnects(display)) {
                reason = "no X server answers at " + display;
            } else {
                return true;
            }
        } else if (name.rfind("wayland", 0) == 0) {
            if (PluginInstalled(name) && WaylandReachable()) {
                return true;
            }
            reason = "no Wayland compositor answers";
        } else if (PluginInstalled(name)) {
            return true;
        } else {
            reason = "the platform plugin " + name + " is not installed";
        }
    }
    return false;
}

} // namespace platform::detail
