// The grid window ("Kavrel_spread"): the rows of grid_core shown as a table,
// either one row per line or one row per column. It scrolls, selects the
// name under a click as the workbench variable, copies as text and as a
// BIFF2 worksheet ("Biff"), saves tab-separated text, prints, locks and
// closes. The Table and Stats tools fill it; the text report writes lines
// into it (a line is a row of the label alone).
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "platform/win.h"
#include "tools/grid_core.h"

#include <string>
#include <vector>

// The time axis a Table run leaves in its window, so that the next table in
// the same window falls under the same time columns.
struct grid_kept_axis {
    bool set = false;
    std::vector<float> times; // the selected times
    std::string name;         // the time-axis variable
    double tolerance = 0;
};

// Opens a grid window and returns its record (it becomes cur_output), or 0.
// width or height not above 0: 2/3 of the container's client width and 1/2
// of its height. first_tab (the label column) and tab_width (each cell
// column) in widths of "0" of the font (not above 0: 30 and 10). font null
// or zeroed: the default text font.
handle open_spread_window(const char* title, int x, int y, int width, int height,
                          const font_spec* font, int first_tab, int tab_width, int columns_layout);
// Appends a row (grid_add_row's rules; colour 1-12 a run colour, 0 the
// default) and follows it when a scroll limit is set and passed. 0 when the
// record is not a grid; else the row count.
int spread_add_row(handle record, const char* label, const char* const* texts, const float* values,
                   const int* indices, int count, bool as_display, const char* format, int mode,
                   int colour);
// The rows added from now on are followed: the limit is the row count - 1.
void set_spread_scroll_limit(handle record);

// Copy (clipboard: CR LF text and the "Biff" worksheet) and save (LF text).
// Failures are reported (severity 8) and give 0; nothing to export gives 0
// quietly; success 1.
int spread_copy(handle record);
int spread_save(handle record, const char* path);
// Prints the rows through the text print job (the selected row only when the
// print options ask for the selection and a row is selected). 0 when no job
// started or there are no rows.
int spread_print(handle record);

// For the tools and tests (null / defaults when not a grid record).
const grid_rows* spread_rows(handle record);
grid_kept_axis* spread_kept_axis(handle record);
void spread_selection(handle record, int* row, int* start, int* end);
int spread_line_height(handle record);
int spread_top(handle record);
int spread_first_tab(handle record); // pixels
int spread_tab_width(handle record); // pixels

// The window procedure of "Kavrel_spread".
LRESULT spread_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Installs the window procedure behind the shell's spread_proc and the text
// report's grid sink.
void install_grid_window();
