// Text windows: lines of text that tools, reports and messages append to,
// shown in a framed tool window ("Kavrel_text") that scrolls, selects (a
// click selects the name under it and makes it the workbench variable),
// copies, saves, locks and closes.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "platform/win.h"
#include "tools/textwin_core.h"

#include <string>
#include <string_view>

// Opens a text window and returns its record handle (it becomes cur_output),
// or 0. font null: the default text font. width or height below 1: 2/3 of the
// container's client width and 1/2 of its height; in_cells: width in widths
// of "W" and height in lines. x or y -1: placed automatically.
handle open_text_window(const char* title, int x, int y, int width, int height, int in_cells,
                        const font_spec* font);
// Formats and appends (split at line feeds; see text_lines::append). follow:
// keep showing the end while the view is there. The formatted text is
// measured first, so any length fits; expected_length is only a hint. Returns
// the bytes in the line store, 0 for a record that is not a text window.
int textwin_printf(int expected_length, handle record, int follow, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
int textwin_append(handle record, int follow, std::string_view text);
// The next default place of a text window (container client co-ordinates).
extern POINT text_pos;
// Where a text window of that size opens: x or y -1 takes text_pos (the
// corner when the window would not fit the container from there) and steps
// it on by twice the frame's border plus 15 pixels; a given place is kept
// within the screen less 40 pixels. A preset rectangle leaves both alone.
void place_text_window(const RECT& container, int width, int height, int* x, int* y);
// Frees the lines and font, destroys the window and frees the record.
void free_text_window(handle record);
// Unlocks the window and asks it to close (command 492).
void close_text_window(handle record);

// The commands: copy (selection, else all, CR LF) and save (LF) report their
// failures (severity 8) and return 0 then, 1 on success.
int textwin_copy(handle record);
int textwin_save(handle record, const char* path);
// Prints through the text print job: a blank line, the title, a blank line,
// then the lines (only those the selection touches when the print options ask
// for the selection). 0 when no job could start (the job said why).
int textwin_print(handle record);

// For the tools and tests: the lines, the view and the selection of a
// record (null / zeros when it is not a text window).
const text_lines* textwin_lines(handle record);
text_view textwin_view(handle record);
void textwin_selection(handle record, int* start, int* end);
int textwin_line_height(handle record);
int textwin_step(handle record);

// The window procedure of "Kavrel_text".
LRESULT text_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Called with a text record whose lines are being freed, on every way a text
// window goes (the error window forgets it). Null: nobody listens.
extern void (*text_record_released)(handle record);
