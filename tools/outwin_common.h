// What the tools' own output windows (text, grid, tree) do alike: their data
// kept behind a pointer after the output record's head, the lock, the
// container told of a press and a release, the frame's commands and the ways
// a window goes, the scroll bars' codes, the default size and the font a
// window draws and measures with. Each window passes what differs.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "platform/win.h"

#include <optional>

// What a tool window sends its container (when it sits inside another
// window) on a press and a release of the left button.
inline constexpr UINT outwin_button_down = 1025;
inline constexpr UINT outwin_button_up = 1026;

// The data pointer after the head of a record of that type; null when the
// record is of another type or its data was released.
void* outwin_data(handle record, int type);
// Stores the data pointer after the head with the release that frees it.
void outwin_set_data(handle record, void* data, void (*release)(handle record));
// Takes the data pointer out of the record (a release's first step): the
// record names no data afterwards.
void* outwin_take_data(handle record);
// The record's tool window (null none).
HWND outwin_window(handle record);

// The lock: mode 1 locks, 0 unlocks, -1 toggles.
void outwin_set_keep(handle record, int mode);
bool outwin_is_kept(handle record);
// Sends the container (when there is one) message with the window and the
// point.
void outwin_notify_container(handle record, HWND window, UINT message, LPARAM point);

// A press that starts a selection: the container is told and the window
// takes the mouse until the release.
void outwin_press(HWND window, handle record, LPARAM point, bool* selecting);
// The release that ends it: false when no selection was going on; else the
// mouse is let go and the container told.
bool outwin_release(HWND window, handle record, LPARAM point, bool* selecting);

// Opens the window of a record whose data is stored; record and window then
// name each other. When no window could be made, the data (release) and the
// record are freed and the result is null.
HWND outwin_open(handle record, const char* class_name, const char* title, int x, int y, int width,
                 int height, DWORD style, void (*release)(handle record));
// Frees the data (release) and the record and destroys the window.
void outwin_free(handle record, void (*release)(handle record));

// The commands the frame sends and what differs between the windows.
struct outwin_actions {
    int (*copy)(handle record) = nullptr;                   // null: no Copy
    int (*save)(handle record, const char* path) = nullptr; // null: no Save
    int (*print)(handle record) = nullptr;                  // null: no Print
    void (*release)(handle record) = nullptr;               // frees the data
    bool has_content = true;                                // false: Save asks for no file
    bool busy = false;                                      // a print job runs: Close waits
};
// The messages a tool window leaves to the common handling: WM_COMMAND
// (copy, save, lock, unlock, toggle, print, close), SC_CLOSE, WM_NCDESTROY
// (the window went some other way than Close, with its frame: the record goes
// with it), and DefWindowProc for any other.
LRESULT outwin_default_proc(HWND window, handle record, UINT message, WPARAM wparam, LPARAM lparam,
                            const outwin_actions& actions);

// The position a scroll bar's code moves pos to on a bar over extent
// positions with page positions a page: a line, a page, either end or the
// thumb (scaled past 32,000). Unclamped; none for a code that does not move.
std::optional<int> outwin_scroll_target(int code, int pos, int page, int extent, int thumb);

// The container's client rectangle (640 x 480 without a container); a width
// or height below 1 takes 2/3 of its width and 1/2 of its height.
RECT outwin_default_size(int* width, int* height);
// The client size of a window (0 x 0 for none).
void outwin_client_size(HWND window, int* width, int* height);

// The font a window draws with, with a memory device that has it selected
// for measuring, and the height of a line.
struct outwin_font {
    font_spec spec{};
    HFONT hfont = nullptr;
    HDC measure = nullptr;
    int line_height = 16;
};
// Makes the font of a spec (null: the default text font, 10 points in the
// window text colour) and measures its line.
void outwin_open_font(outwin_font& font, const font_spec* spec);
// Deletes the measuring device and the font.
void outwin_close_font(outwin_font& font);
// The colour text is drawn in: the font's own, or the window text colour
// when it names none.
COLORREF outwin_text_colour(const font_spec& spec);
