// The colour picker ("Kavrel_color"): a pop-up grid of 8 x 8 colours run by
// its own level of the main loop. Cell i (row i / 8, column i % 8) holds
// colour i of picker_colours: cell 0 is "none" (-1), the last two rows the 16
// custom colours of the settings.
#pragma once

#include "platform/win.h"

#include <cstdint>

// Colour button flags (its window word 4), which the picker is given.
enum : std::uint16_t {
    cbf_pressed = 1,
    cbf_nearest = 2,    // drawn with the device's nearest solid colour
    cbf_allow_none = 4, // -1 ("none") may be picked and shows as "-"
};
inline constexpr COLORREF no_colour = 0xFFFFFFFFu;

inline constexpr int picker_width = 162; // the pop-up with its border
inline constexpr int picker_height = 114;
inline constexpr int picker_cells = 64;

// Opens the picker for a button at screen point (x, y) that is `height`
// high: below the button, or above it when `above` is set or there is no room
// below; kept inside the screen. flags are the colour button's
// (cbf_allow_none). Returns the colour picked, 0 for the "none" cell when
// "none" is not allowed, -1 (no_colour) for it when it is, and -2 when
// nothing was picked.
COLORREF pick_colour(int x, int y, int height, int above, int flags);

// Where pick_colour puts the pop-up (screen co-ordinates of its top-left).
POINT picker_origin(int x, int y, int height, int above);
// The cell under a client point of the picker, -1 in a gap or outside.
int picker_cell_at(int x, int y);
// The cell's rectangle in the picker's client area.
RECT picker_cell_rect(int cell);
// The 64 colours (cells 48 to 63 are the custom colours).
COLORREF picker_colour(int cell);
// The 16 custom colours (0 to 15), grey until set.
COLORREF custom_colour(int index);
void set_custom_colour(int index, COLORREF colour);
// The picker window while it is open (tests), else null.
HWND picker_window();

LRESULT coloring_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
