// Whether the program can reach a display before it starts Qt: Qt aborts the
// process when its platform cannot be opened, so the program asks first and
// says why it cannot start instead.
#pragma once

#include <string>

// True when a window-system platform that Qt will pick can be opened:
// - QT_QPA_PLATFORM naming a platform without a display server (offscreen,
//   minimal, vnc, ...) is taken as it is;
// - an X display (DISPLAY) counts when a connection to it succeeds;
// - a Wayland display (WAYLAND_DISPLAY) counts when its socket exists and
//   this Qt has a Wayland platform plugin.
// Otherwise false, with the reason in `why` (when given). Never aborts.
bool display_available(std::string* why);
