// Output records and output windows: the record every result window of a
// tool is described by, the one creator of those windows (reuse of a tool's
// window, placement, cascading, clamping), the frame ("Kavrel_toolwrap") with
// its caption strip that holds a tool window inside the workbench container,
// and the bookkeeping that closes, lists and measures these windows.
#pragma once

#include "foundation/types.h"
#include "platform/win.h"

#include <cstdint>
#include <vector>

struct output_record;

// The head every kind's record begins with; the kind's data follows it.
struct output_record {
    handle hot_spots;                     // indexed block of hot spots
    std::int32_t title;                   // kind-specific
    std::int32_t width;                   // kind-specific (graphs: client width)
    std::int32_t height;                  // kind-specific (text: visible lines)
    int (*layout)(output_record* record); // computes the drawing
    void (*release)(handle record);       // frees the kind's data, never the window
    void (*draw)(output_record* record);  // paints into the current drawing context
    void (*live_update)(handle record);   // refresh while Livesweep is on
    std::int32_t words[4];                // the kind's own
    std::int32_t data_cell;               // kind-specific
    HWND window;                          // the tool window (not its frame)
    void* chart;                          // a chart-control graph's object
    HWND container;                       // parent when inside another window
    std::uint8_t keep;                    // 1: locked
    std::uint8_t type;                    // tool type id, ',' grid, '+' sketch, 0 text
    std::int8_t step;                     // kind-specific
    std::uint8_t sub_choice;              // kind-specific
    // Read by the graphs, in memory only.
    std::int32_t font_table_cell;
    std::int32_t origin_x, origin_y;
    std::int32_t value_map;
    std::int32_t selected_hot_spot;
    std::uint8_t hot_spots_ready;
    std::uint8_t reuse_request;
    std::uint8_t spare[2];
    std::int32_t graph_def_cell;
    // The tool (tool_record handle) whose window this is; 0 none. Kept here
    // so closing the window finds its tool whichever grid the tool is in.
    handle tool;
};

// Process-wide state.
extern handle cur_output;   // the current output record
extern handle opening_tool; // tool whose action is opening a window now
extern HWND output_wnd;     // the output window the menus act on
extern HWND present_wnd;    // one-shot: show the next window over this one
extern HWND io_parent_wnd;  // one-shot: create the next window inside this one
// The box (parent's client pixels) of the diagram object whose window opens
// inside io_parent_wnd next, taken once; the sketch installs it.
extern bool (*pending_io_rect_hook)(int* x, int* y, int* w, int* h);
extern std::vector<handle> open_windows; // graph records with a window
struct preset_rect_t {
    int x = 0, y = 0, w = 0, h = 0;
};
extern preset_rect_t preset_rect; // one-shot placement, used when x >= 1
extern int cascade_x, cascade_y;  // the last cascade position
extern bool tool_maximised;       // a tool frame fills the container

inline constexpr int caption_height = 15;
inline constexpr int caption_button = 15;
// The commands a frame sends its tool window.
enum : int {
    cmd_close_output = 492,
    cmd_lock_output = 122,
    cmd_unlock_output = 123,
    cmd_print_output = 488,
    cmd_export_output = 489,
    cmd_save_output = 487,
};

// A zeroed record of the head plus `size` bytes with its hot-spot list; it
// becomes cur_output. 0 when memory ran out.
handle new_output_record(std::uint32_t size, int type);
// Frees the hot-spot list and the record (not the window, not the data the
// release callback owns).
void free_output_record(handle record);

// Creates (or, for a tool that shows a window already, hands over) the
// window of a record; returns the tool window or null. x or y negative:
// automatic placement. The caller stores the record handle in the window's
// long 0 and the window in the record (the hand-over does both itself).
HWND open_output_window(handle record, const char* class_name, const char* title, int x, int y,
                        int width, int height, DWORD style);
// The next automatic position for a window of that size.
void cascade_position(int width, int height, int* x, int* y);
// Closes every framed tool window not kept; unlock: the kept ones too.
void close_framed_tool_windows(int unlock);
// Takes a record out of open_windows, lets the graph sets forget it
// (forget_tool_window_hook), stores its window's place in its tool and clears
// the tool's reference.
void unlist_output_window(handle record);
// Told of every record unlist_output_window takes out, so that a user tool of
// the current graph set stops naming its window. The graphs install it; null:
// nobody listens.
extern void (*forget_tool_window_hook)(handle record);
// The tool window's size, and when framed its frame's position in the
// container (returns 1); else 0 with only the size.
int get_output_rect(handle record, RECT* rect);
// Destroys a tool window (its frame when framed).
void destroy_tool_window(HWND window);
// Resizes a record's frame so its tool window gets that client size (0 keeps
// a direction), within the container.
void fit_toolwrap(handle record, int width, int height);
// The window the tool now opening showed last, which the next
// open_output_window takes over for the tool's new record; null when there
// is none.
HWND opening_tool_window();
// Makes a record's window (its frame) the active child.
void activate_record_window(handle record);
// The record of a tool window (its long 0), 0 none.
handle record_of(HWND tool_window);

// Clears the one-shots (opening_tool, preset_rect, present_wnd,
// io_parent_wnd) when it goes out of scope: every way out of a tool's action.
struct output_oneshots_guard {
    output_oneshots_guard() = default;
    ~output_oneshots_guard();
    output_oneshots_guard(const output_oneshots_guard&) = delete;
    output_oneshots_guard& operator=(const output_oneshots_guard&) = delete;
};

// The frame's window procedure and the plain wrappers'.
LRESULT toolwrap_frame_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Hit test of a point in a frame of that width: -1 none, 0..4 a caption
// button, 5 the caption, 6 the maximise toggle, 7 the close button.
int toolwrap_hit(int width, int x, int y);

// Installs the tools' hooks in the shell (call once at start-up).
void install_tools_hooks();
