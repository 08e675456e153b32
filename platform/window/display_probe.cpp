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
#include <cstring>
#include <string>
#include <string_view>
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

// One property of a window, up to `words` 32-bit words of it; empty when it has none.
std::string PropertyBytes(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name,
                          xcb_atom_t type, std::uint32_t words) {
    std::string bytes;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, type, 0, words), nullptr);
    if (reply != nullptr) {
        bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
    }
    return bytes;
}

xcb_atom_t ExistingAtom(xcb_connection_t* connection, std::string_view name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// KWin takes the frame away from a shaped window. Other managers keep it, and some of them keep
// a place worked out under a window's old gravity for their next move of it (openbox, whose
// next drag of the window would jump by the title bar's height), so the gravity is changed only
// under KWin.
bool DropsTheFrameOfShapedWindows(xcb_connection_t* connection, xcb_window_t window) {
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (geometry == nullptr) {
        return false;
    }
    const xcb_window_t root = geometry->root;
    std::free(geometry);
    const std::string check = PropertyBytes(
        connection, root, ExistingAtom(connection, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 1);
    xcb_window_t manager = XCB_WINDOW_NONE;
    if (check.size() != sizeof manager) {
        return false;
    }
    std::memcpy(&manager, check.data(), sizeof manager);
    return PropertyBytes(connection, manager, ExistingAtom(connection, "_NET_WM_NAME"),
                         ExistingAtom(connection, "UTF8_STRING"), 4) == "KWin";
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
    const auto id = static_cast<xcb_window_t>(window.winId());
    if (connection == nullptr || !DropsTheFrameOfShapedWindows(connection, id)) {
        return;
    }
    // WM_NORMAL_HINTS: 18 words, the flags first and the gravity last.
    constexpr std::uint32_t kWords = 18;
    constexpr std::uint32_t kGravityGiven = 1U << 9;
    std::array<std::uint32_t, kWords> hints{};
    const std::string given =
        PropertyBytes(connection, id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, kWords);
    std::memcpy(hints.data(), given.data(), std::min(given.size(), sizeof hints));
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
