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

// Starts the application's Qt on the display display_available would find.
// False, with the reason, when there is none (Qt is not started then). The X
// connection of the check stays open until Qt has opened its own: a server
// that resets when its last client leaves would otherwise refuse Qt. Should Qt
// still fail to start its platform (the server went away in between, a
// platform plugin that does not load), `failed` gets the reason instead of
// Qt's abort, and the process ends with status 2 when it returns.
bool start_display_application(std::string* why, void (*failed)(const std::string& why));
