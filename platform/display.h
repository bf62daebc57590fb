// Whether the program can reach a display before it starts Qt: Qt aborts the
// process when its platform cannot be opened, so the program asks first and
// says why it cannot start instead.
#pragma once

#include <string>

// True when Qt's platform is chosen (QT_QPA_PLATFORM, e.g. "offscreen") or a
// display is named (DISPLAY or WAYLAND_DISPLAY, non-empty). Otherwise false,
// with the reason in `why` (when given).
bool display_available(std::string* why);
