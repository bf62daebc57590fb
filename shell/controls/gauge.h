// The dial gauge (window class "Kavrel_guage"): a value drawn as a needle on
// a dial. The gauge keeps no state of its own: it draws a row of the game's
// gauge table (game_gauges) whose control id is its own, or the row handed to
// it with gauge_draw_message. A positive id gives the full dial with the
// needle from the centre; other ids a half dial over the upper half.
#pragma once

#include "platform/win.h"

#include <cstdint>

// One row of the game's gauge table.
struct gauge_row {
    std::uint32_t word;
    float minimum;
    float maximum;
    float value;
    std::int32_t id; // the gauge's control id; positive: the full dial
};
static_assert(sizeof(gauge_row) == 20);

// wParam: the mode (0 draws the dial afresh first, erasing the old needle;
// 2 also marks the centre of a full dial); lParam: a gauge_row.
inline constexpr UINT gauge_draw_message = 1024;

// Where the needle of a row goes in a client area of w x h pixels.
struct gauge_needle {
    double angle; // radians
    double x0, y0, x1, y1;
};
// False when there is nothing to draw (an empty client area).
bool gauge_needle_for(const gauge_row& row, int w, int h, gauge_needle& out);

LRESULT guage_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
