// The graphics window ("Kavrel_graphics"): an output window that owns no
// picture; every paint asks its output record's draw callback to draw on the
// active device of the drawing layer. Also the hot spots that make drawn
// names clickable, and the opening of a graph's window.
#pragma once

#include "foundation/types.h"
#include "platform/gdi.h"
#include "platform/win.h"

#include <cstdint>
#include <string>
#include <vector>

// One clickable text of a graph, kept in the output record's hot-spot block;
// the list head is the record's words[3]; the texts are in the block whose
// handle is the record's words[1].
struct hot_spot {
    std::uint32_t next; // cell of the next spot, 0 the end
    std::uint32_t text; // cell of the text in the graph's data; 0 free for reuse
    std::int16_t top, left, bottom, right;
    std::uint32_t font; // 0-based font number the text was drawn in
};
static_assert(sizeof(hot_spot) == 20);

// What turns a drag into values along each axis of a record: pixel ends and
// the values there (y: p0 the top, p1 the bottom, v0 the bottom value, v1
// the top value), and the text cell of the x axis's variable. Kept in the
// hot-spot block at the record's value_map cell.
struct value_map {
    std::int16_t x_p0, x_p1, y_p0, y_p1;
    float x_v0, x_v1, y_v0, y_v1;
    std::uint32_t name;
};
// Stores one axis of the current record's map (the x axis also the name
// cell); nothing changes once the record's first paint is complete.
void set_value_map(int p0, int p1, double v0, double v1, std::int32_t name_cell, bool y_axis);
// The record's map; false when it has none.
bool record_value_map(handle record, value_map* out);
// The y range a Ctrl-drag chose for the next graph, taken once.
bool take_pending_y_range(double* top, double* bottom);

// The export options of the settings, read here until the option block holds
// them: saved and copied pictures are drawn at the window's size
// (export_size 0), the size the export-size dialog is told (1) or the size
// the graph is laid out at (any other value), and laid out for the printer's
// resolution with printer_for_exports.
struct export_options {
    int export_size = 0;
    bool printer_for_exports = false;
};
export_options& graph_export_options();

// The colour the window's background is erased with.
extern COLORREF graph_background;
// Graph windows are at least this wide.
inline constexpr int min_graph_width = 200;

// The text drawn with draw_text_aligned and, when text_cell is non-zero and
// the current output record has not finished its first paint, registered as
// a hot spot of that record (a free spot reused, else a new one at the head).
RECT draw_text_hot(int x, int y, char horizontal, char vertical, const char* text,
                   std::int32_t text_cell, int font);
// The hot spots of a record in list order.
std::vector<hot_spot> record_hot_spots(handle record);
// Frees every spot for reuse and clears the ready byte (after a resize).
void reset_hot_spots(handle record);
// The text cell of the spot under (x, y), edges included; 0 none.
std::uint32_t hit_hot_spot(handle record, int x, int y);

// The text selected in a graphics window by pressing (and dragging) on a
// drawn name: the record, the spot and the character range [start, end).
struct hot_spot_selection {
    handle record = 0;
    hot_spot spot{};
    int start = 0, end = 0;
};
// The selection (record 0: none).
const hot_spot_selection& current_selection();

// The text of a hot spot's cell in the record's text block (words[1]).
std::string hot_spot_text(handle record, std::uint32_t cell);
// The variable a drawn name shows: a legend line's element before " : ",
// a title's name before its bracketed units.
std::string variable_name_of(const std::string& text);

// The size a graph is laid out in: out_size when set; while saving or
// copying the request; while printing the request sized by the print options
// (a percentage above 5, else the page less an inch each way for "Fill
// Printed Page", else the set width and height) within the page; else
// (screen) the request limited to the workbench container's client area.
void graph_output_size(int width, int height, int* out_width, int* out_height);
// Opens the record's window (class "Kavrel_graphics", the record's window
// title) at the size; 1, or 0 when no window could be made.
int open_graph_window(handle record, const char* title, int x, int y, int width, int height);

// Prints the window's graph on one page of the chosen printer, at the
// window's size in the printer's resolution (within the page), centred,
// with the page footer. With "Open on printing" the print options come
// first (Cancel: nothing printed, 0); their selection "Multiple" prints
// every graph window of the tool frames, a page each in one document,
// stopping at the first that fails. 1 when every page printed.
int print_graph_window(handle record);
// Whether a record's graph was designed for a portrait page (set by the
// line graphs; null: every graph follows the print options).
extern bool (*portrait_page_of)(handle record);
// The graph windows in tool frames, in the order they were opened.
std::vector<handle> framed_graph_windows();

// Saves the window's graph at the size the export-size option gives (the
// client size by default; the laid-out size; asked for): a name ending in ".gtx" as
// graphics transfer text, any other as a placeable metafile. 1 when saved;
// 0 after "Unable to save to %s" (or the transfer's open message), with no
// partial file left.
int save_graph_window(handle record, const char* path);

// Copies the window's graph to the clipboard as an enhanced metafile, sized
// as a save is. 1 when copied.
int copy_graph_window(handle record);

// The window procedure of "Kavrel_graphics".
LRESULT graphics_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
