// Names and labels placed in boxes and at points: word wrapping inside the
// shapes of the sketch and the graphs, and aligned texts.
#pragma once

#include "platform/gdi.h"

#include <string>
#include <vector>

// Lines never exceed this many per boxed name.
inline constexpr int boxed_max_lines = 16;

// Places `text` inside `rect` by `mode` (see boxname.cpp): below 0 one line
// beside a point (-4 right, -3 left, -2 above, -1 below the rectangle), 0 one
// line, 1 and above word-wrapped in the mode's shape (2, 4, 5, 6 and 11 an
// inner square, 9 and 10 the lower and upper half, 12 top-aligned). Measures
// on measure_dc (or, with on_screen, a screen device), draws with the active
// font on draw_dc unless measure_only. out_rect (may be null) gets the inner
// box used. With a window and mode 0 the text's rectangle is invalidated.
// Returns the y below the last line (the height of the lines with
// measure_only); 0 for an empty text.
int draw_boxed_name(HDC draw_dc, HDC measure_dc, const RECT& rect, int mode, const char* text,
                    RECT* out_rect, HWND window, bool on_screen, bool measure_only,
                    bool even_split);

// The lines draw_boxed_name would draw (for tests and layout); `usable_w`
// and `usable_h` are the usable box in device units.
std::vector<std::string> wrap_boxed_name(HDC measure_dc, const char* text, int usable_w,
                                         int usable_h, bool even_split, bool* forced);

// The text in the active font on the active device at (x, y): horizontal 'C'
// centre, 'R' right, else left; vertical 'B' bottom, 'C' centre, 'T' top,
// else baseline. Written to the transfer text (left edge and baseline).
// Returns the text's rectangle.
RECT draw_text_aligned(int x, int y, char horizontal, char vertical, const char* text);
