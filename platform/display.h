// Whether the program can reach a display before it makes any window.
#pragma once

#include <string>

// Whether a display can be reached: false (with the reason) when Qt's
// platform is not chosen (QT_QPA_PLATFORM) and neither DISPLAY nor
// WAYLAND_DISPLAY is set.
bool display_available(std::string* why);
