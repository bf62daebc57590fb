// The bottom bar along the foot of the workbench ("Kavrel_bottom"): the
// commands of the active build window (view navigation, the style of the
// selected sketch elements) as bevelled bitmap buttons, text fields and
// colour swatches, or a short list of texts. A press and release sends the
// item's command to the workbench, which passes ids below 500 on to the
// active window; the pop-up list (shell/controls/popuplist.h) is placed where
// the last pressed item is.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <string>
#include <vector>

// Kinds of bottom-bar items (the low 15 bits of the kind word); 5 and above
// is the x offset of a cell of the bottom-bar bitmap.
enum : std::uint16_t { bk_colour = 1, bk_separator = 2, bk_text = 3, bk_first_image = 5 };
inline constexpr std::uint16_t bottom_no_command = 65535;

struct bottom_item {
    const char* tip = nullptr; // null: no tooltip
    std::string text;          // the text of a text item
    COLORREF colour = 0;       // the colour of a swatch
    std::uint16_t kind = 0;
    std::uint16_t command = bottom_no_command;
    std::int16_t x = 0; // laid out by layout_bottom_items
    std::int16_t width = 0;
};

// Positions in the build window's item list.
enum : int {
    bi_previous_view = 0,
    bi_choose_view = 1,
    bi_next_view = 2,
    bi_depth = 3,
    bi_font = 4,
    bi_size = 5,
    bi_bold = 6, // then italic, underline, strikeout
    bi_text_colour = 10,
    bi_outline_colour = 11,
    bi_connector_colour = 14,
    bi_status = 19,
    build_item_count = 20,
};
inline constexpr int view_chooser_min = 60, view_chooser_max = 200;

// The modes of set_bottom_bar.
enum : int { bm_input = 0, bm_text = 1, bm_build = 2 };

// Fills the bar: mode 0 with a text: one text item of command `id` across the
// whole bar, typed into; mode 2: the three view items followed by the text
// (or, without one, the status text) reaching to the right end, and
// with neither the whole build table; any other mode: the text alone, or an
// empty bar. The bar is repainted.
void set_bottom_bar(int mode, const char* text, int id);
// Lays the items out for `bar`'s width: the view chooser takes the width left
// over by the others, kept between 60 and 200 pixels, unless `fixed`.
void layout_bottom_items(HWND bar, bool fixed);
// Repaints items first to last (negative: counted from the end).
void draw_bottom_items(int first, int last);
// Draws one item: cells and swatches as bevelled buttons 15 pixels high (down
// when `pressed`), a separator as white, a text item as its text shortened to
// fit. Without `content` only the button face is drawn.
void draw_bottom_item(HDC dc, int index, bool pressed, bool content);

// The status text the sketch stores for the bar (shown by mode 2 without a
// text of its own).
void set_bottom_status(const char* text);
const std::string& bottom_status();

// The items shown now, and the pressed one (position + 1, 0 none).
const std::vector<bottom_item>& bottom_items();
int bottom_pressed();
int bottom_mode();
// Sets the value of a build-table item (the view name, font, size, ...): the
// text of a text item or the colour of a swatch; repaints it when shown.
void set_bottom_item_text(int index, const char* text);
void set_bottom_item_colour(int index, COLORREF colour);
// The edit field of the typed-into item of mode 0 (null: none).
HWND bottom_edit();
// Where the last pressed item is, relative to the bar: its x and width.
struct bottom_place {
    int x = 0, width = 0;
};
bottom_place bottom_popup_place();

LRESULT bottom_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The look a build window's view gives the build table: the view name, the
// shown depth (0 "Hide", 17 "Show", else "Depth n"), the text font (size
// "%2d" up to 99, the style letters upper case when set) and the text,
// outline and connector colours.
struct bottom_view_values {
    std::string view_name;
    int shown_level = 17;
    std::string face;
    int size = 0;
    unsigned style = 0; // 1 bold, 2 italic, 4 underline, 8 strikeout
    COLORREF text_colour = 0, outline_colour = 0, connector_colour = 0;
};
// Writes the values into the build table (repainting what is shown).
void set_bottom_view_values(const bottom_view_values& values);
// The build window reports its values here; unset (or false: not a build
// window of the sketch's), the table keeps what it holds.
using bottom_view_fn = bool (*)(HWND frame, bottom_view_values* out);
extern bottom_view_fn bottom_view_hook;
// The bar of an active build window: its values, then the build mode (the
// status text if the sketch stored one, else the whole table).
void show_build_bottom_bar(HWND frame);
