// The caption buttons of the active build window while it is shown maximised
// (the workbench shows them at the right end of its menu bar: minimise,
// restore, close). draw_caption_buttons (title.h) puts them there or takes
// them away.
#pragma once

#include "platform/gdi.h"

inline constexpr int caption_button_size = 15;
inline constexpr int caption_button_x[3] = {0, 15, 32}; // minimise, restore, close
// Whether the menu bar holds them now.
bool caption_buttons_shown();
// The build window's minimise and restore. Minimise hides it, lists it in the
// Windows menu (activating it shows it again) and activates another window;
// restore ends the maximised display: the window gets its own caption and
// sizing border and three quarters of the container.
void caption_button_command(int id);
// The face of button `index` (0 minimise, 1 restore, 2 close), raised or
// pressed, as the menu bar shows it (null before the first showing).
HBITMAP caption_button_face(int index, bool pressed);
