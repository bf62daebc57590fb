// Whether a display can be reached (see display.h).
#include "platform/display.h"

#include <cstdlib>

namespace {

bool env_set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

} // namespace

bool display_available(std::string* why) {
    if (env_set("QT_QPA_PLATFORM")) return true;
    if (env_set("DISPLAY") || env_set("WAYLAND_DISPLAY")) return true;
    if (why)
        *why = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set (set QT_QPA_PLATFORM="
               "offscreen to run without a screen)";
    return false;
}
