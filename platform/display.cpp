// Whether a display can be reached, from the environment Qt reads. The X
// check opens a real connection through libxcb (loaded at run time: Qt's own
// X platform needs it too), so a DISPLAY that names no server is caught here
// rather than by Qt's abort.
#include "platform/display.h"

#include <QDir>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool starts_with(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Opens and closes a connection to the X display named by DISPLAY.
bool x_display_opens(std::string* reason) {
    void* lib = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        *reason = "the X client library libxcb.so.1 is not installed";
        return false;
    }
    using connect_fn = void* (*)(const char*, int*);
    using has_error_fn = int (*)(void*);
    using disconnect_fn = void (*)(void*);
    auto connect = reinterpret_cast<connect_fn>(dlsym(lib, "xcb_connect"));
    auto has_error = reinterpret_cast<has_error_fn>(dlsym(lib, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<disconnect_fn>(dlsym(lib, "xcb_disconnect"));
    bool ok = false;
    if (connect && has_error && disconnect) {
        void* c = connect(nullptr, nullptr);
        ok = c && has_error(c) == 0;
        if (c) disconnect(c);
    }
    dlclose(lib);
    if (!ok) *reason = "cannot open the X display \"" + env("DISPLAY") + "\"";
    return ok;
}

bool have_platform_plugin(const char* kind) {
    QStringList dirs;
    for (const QString& d : QString::fromLocal8Bit(env("QT_PLUGIN_PATH").c_str())
                                .split(QLatin1Char(':'), Qt::SkipEmptyParts))
        dirs << d + QStringLiteral("/platforms");
    dirs << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    for (const QString& d : dirs) {
        const QStringList found =
            QDir(d).entryList({QStringLiteral("*%1*").arg(QLatin1String(kind))}, QDir::Files);
        if (!found.isEmpty()) return true;
    }
    return false;
}

bool wayland_display_opens(std::string* reason) {
    std::string name = env("WAYLAND_DISPLAY");
    if (!have_platform_plugin("wayland")) {
        *reason = "cannot open the Wayland display \"" + name +
                  "\": this Qt has no Wayland platform plugin";
        return false;
    }
    std::string socket = name[0] == '/' ? name : env("XDG_RUNTIME_DIR") + "/" + name;
    struct stat st {};
    if (stat(socket.c_str(), &st) != 0) {
        *reason = "cannot open the Wayland display \"" + name + "\": " + socket + " is missing";
        return false;
    }
    return true;
}

} // namespace

bool display_available(std::string* why) {
    std::string reason;
    const std::string qpa = env("QT_QPA_PLATFORM");
    const bool x_named = !env("DISPLAY").empty();
    const bool wayland_named = !env("WAYLAND_DISPLAY").empty();
    bool ok = false;
    if (!qpa.empty() && !starts_with(qpa, "xcb") && !starts_with(qpa, "wayland")) {
        ok = true; // a platform of its own (offscreen, minimal, vnc, ...)
    } else if (starts_with(qpa, "xcb")) {
        ok = x_named ? x_display_opens(&reason)
                     : (reason = "QT_QPA_PLATFORM is xcb but DISPLAY is not set", false);
    } else if (starts_with(qpa, "wayland")) {
        ok = wayland_named
                 ? wayland_display_opens(&reason)
                 : (reason = "QT_QPA_PLATFORM is wayland but WAYLAND_DISPLAY is not set", false);
    } else if (!x_named && !wayland_named) {
        reason = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set (set QT_QPA_PLATFORM="
                 "offscreen to run without a screen)";
    } else {
        std::string wayland_reason;
        ok = (wayland_named && wayland_display_opens(&wayland_reason)) ||
             (x_named && x_display_opens(&reason));
        if (!ok && reason.empty()) reason = wayland_reason;
    }
    if (!ok && why) *why = reason;
    return ok;
}
