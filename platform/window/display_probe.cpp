#include "platform/window/display_probe.h"

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>
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

// The screen number of an X display name such as ":1.0"; 0 when it names none.
int ScreenNumber(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    const std::size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? 0 : std::atoi(display.c_str() + dot + 1);
}

// A compositing manager announces itself by owning the selection _NET_WM_CM_S<screen>.
bool X11CompositorRunning() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return false;
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(ScreenNumber(Environment("DISPLAY")));
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    if (atom == nullptr) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool owned = owner != nullptr && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return owned;
}

} // namespace

KeyedSurface KeyedSurfaceSupport() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) {
        return KeyedSurface::Alpha;
    }
    if (platform == QLatin1String("xcb")) {
        return X11CompositorRunning() ? KeyedSurface::Alpha : KeyedSurface::Shape;
    }
    return KeyedSurface::None;
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
