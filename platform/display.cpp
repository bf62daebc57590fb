// Whether a display can be reached, from the environment Qt reads. The X
// check opens a real connection through libxcb (loaded at run time: Qt's own
// X platform needs it too), so a DISPLAY that names no server is caught here
// rather than by Qt's abort.
//
// An X server started without -noreset (Xvfb's default, and xinit's) resets
// when its last client disconnects and refuses connections while it does. A
// check that connected and disconnected on its own would, on a server with no
// other client, set off that reset just before Qt connects: Qt then fails and
// aborts. So when the program starts its application, the check's connection
// stays open until Qt holds its own.
#include "platform/display.h"

#include "platform/win.h"

#include <QDir>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <thread>

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool starts_with(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

using disconnect_fn = void (*)(void*);

// An open X connection and the library it came from, closed when it goes.
struct x_connection {
    void* lib = nullptr;
    void* conn = nullptr;
    disconnect_fn disconnect = nullptr;
    x_connection() = default;
    x_connection(const x_connection&) = delete;
    x_connection& operator=(const x_connection&) = delete;
    ~x_connection() {
        if (conn) disconnect(conn);
        if (lib) dlclose(lib);
    }
};

// Whether DISPLAY names a server on this machine whose socket file exists
// (":N", ":N.S", "unix:N").
bool local_socket_exists(const std::string& display) {
    std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return false;
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    struct stat st {};
    return stat(("/tmp/.X11-unix/X" + number).c_str(), &st) == 0;
}

// Opens a connection to the X display named by DISPLAY; it is closed again
// unless `keep` is given, which then holds it.
bool x_display_opens(std::string* reason, x_connection* keep) {
    x_connection local;
    x_connection& x = keep ? *keep : local;
    x.lib = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!x.lib) {
        *reason = "the X client library libxcb.so.1 is not installed";
        return false;
    }
    using connect_fn = void* (*)(const char*, int*);
    using has_error_fn = int (*)(void*);
    auto connect = reinterpret_cast<connect_fn>(dlsym(x.lib, "xcb_connect"));
    auto has_error = reinterpret_cast<has_error_fn>(dlsym(x.lib, "xcb_connection_has_error"));
    x.disconnect = reinterpret_cast<disconnect_fn>(dlsym(x.lib, "xcb_disconnect"));
    bool ok = false;
    if (connect && has_error && x.disconnect) {
        // A local server that is there (its socket exists) but refuses is taken
        // to be resetting, which takes a fraction of a second: ask again for a
        // while. Anything else is asked once.
        const bool local_server_there = local_socket_exists(env("DISPLAY"));
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        for (;;) {
            x.conn = connect(nullptr, nullptr); // a failed connect still needs its disconnect
            ok = x.conn && has_error(x.conn) == 0;
            if (ok || !local_server_there || std::chrono::steady_clock::now() > give_up) break;
            if (x.conn) x.disconnect(x.conn);
            x.conn = nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
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

namespace {

bool check_display(std::string* why, x_connection* keep) {
    std::string reason;
    const std::string qpa = env("QT_QPA_PLATFORM");
    const bool x_named = !env("DISPLAY").empty();
    const bool wayland_named = !env("WAYLAND_DISPLAY").empty();
    bool ok = false;
    if (!qpa.empty() && !starts_with(qpa, "xcb") && !starts_with(qpa, "wayland")) {
        ok = true; // a platform of its own (offscreen, minimal, vnc, ...)
    } else if (starts_with(qpa, "xcb")) {
        ok = x_named ? x_display_opens(&reason, keep)
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
             (x_named && x_display_opens(&reason, keep));
        if (!ok && reason.empty()) reason = wayland_reason;
    }
    if (!ok && why) *why = reason;
    return ok;
}

// While Qt starts its platform: what it said about the platform so far, and
// whom to tell when it gives up.
std::string platform_said;
void (*platform_failed)(const std::string&) = nullptr;
QtMessageHandler handler_before = nullptr;

void first_line_of(const QString& text, std::string* out) {
    std::string s = text.toStdString();
    s = s.substr(0, s.find('\n'));
    if (!s.empty()) *out = s;
}

// Qt ends with abort() after a fatal message; while the application starts,
// a fatal message is turned into the caller's orderly exit with the reason.
void start_message_handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        if (platform_said.empty() && context.category &&
            std::string(context.category).rfind("qt.qpa", 0) == 0)
            first_line_of(text, &platform_said);
        handler_before(type, context, text);
        return;
    }
    std::string reason = platform_said;
    if (reason.empty()) first_line_of(text, &reason);
    if (reason.empty()) reason = "Qt gave no reason";
    platform_failed(reason);
    std::fflush(nullptr);
    std::_Exit(2);
}

} // namespace

bool display_available(std::string* why) {
    return check_display(why, nullptr);
}

bool start_display_application(std::string* why, void (*failed)(const std::string& why)) {
    x_connection held;
    if (!check_display(why, &held)) return false;
    platform_said.clear();
    platform_failed = failed;
    handler_before = qInstallMessageHandler(start_message_handler);
    platform_ensure_application();
    qInstallMessageHandler(handler_before);
    return true; // `held` closes now that Qt has its own connection
}
