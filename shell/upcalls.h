// The shell's calls up to the libraries above it: the tools' windows, the
// sketch, the chart library's application object, the graph sets, the lookup
// editor, the caption window and the spreadsheets of the data links. Each
// call forwards to a hook that the library above sets when it installs its
// hooks at start-up (app/main.cpp). Unset, as in the shell's own tests, which
// link no library above it, each does the least its callers rely on: closing
// with no window agrees, a finder finds nothing, a window procedure does the
// default handling. Two calls of the palette are declared here too, so that
// their callers need not include it.
#pragma once

#include "foundation/types.h"
#include "platform/win.h"

#include <string>
#include <vector>

// ------------------------------------------------ analysis tools (output) ---

// Closes every tool window unless kept; flag 1 (shutdown) clears the keep
// byte first. Without the tools' hooks: nothing to close.
void close_all_tool_windows(int flag);
// Window procedures of the tool frames, dialog and edit frames, text and grid
// windows: default handling.
LRESULT toolwrapper_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT editwrapper_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Defined with the tool hooks (shell/toolset_hooks.cpp): the text tools install it.
LRESULT text_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT spread_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The grid window's procedure, installed by the tools (install_grid_window);
// unset, spread_proc does the default handling.
extern WNDPROC spread_window_hook;

// ------------------------------------------------------------------ sketch ---

// Sets up the sketch views: mode 1 opens the current model's sketch, 2 at
// start-up, 3 redraws them all. Mode 0 finds the sketch of a model file by
// name (with flags, by whole path) and activates it; negative finds without
// activating. The sketch's output record ('+'); 0: none.
handle find_sketch_window(const char* name, int mode, int flags);
// Closes the sketch window of a record, or every one with 0, asking first
// whether to save; 1 when all are closed. With no sketch windows: 1. After
// query_close_sketch_windows agreed, the questions are not asked again.
int close_sketch_windows(handle record);
// Asks the save questions of close_sketch_windows without closing anything;
// 1 when every window may close (0: the user cancelled).
int query_close_sketch_windows(handle record);
// Releases what the sketch locked (after every pumped message).
void unlock_sketch();
// Redraws the sketch's variables and input-output objects from the value
// cache (after a Livesweep re-run and after a cache reset).
void refresh_sketch_values();
// Frees the sketch tool bitmaps and what the sketch keeps for the process
// (the private folder of package members its links opened) at shutdown.
void free_sketch_bitmaps();
// Window procedures of the sketch frames, views and quick sliders.
LRESULT sketch_parent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT sketch_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT qslider_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The sketch sits above the shell: it points these at its window at start-up
// (install_sketch_hooks). Unset, the calls above do the least (no sketch
// window: nothing to find, close or ask; the default procedures).
// What Print Options offers for a diagram window: the current view's size
// and the selection's in inches (0 without a selection), how many views the
// model has, and the model's file name and the view's name for the title.
struct diagram_print_choices {
    double view_w = 0, view_h = 0;
    double sel_w = 0, sel_h = 0;
    int views = 0;
    std::string model, view;
};

struct sketch_window_hooks {
    handle (*find)(const char* name, int mode, int flags) = nullptr;
    int (*close)(handle record) = nullptr;
    int (*query_close)(handle record) = nullptr;
    LRESULT (*frame_proc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
    LRESULT (*view_proc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
    void (*refresh)() = nullptr;  // redraw the values shown
    void (*shutdown)() = nullptr; // drop what the sketch keeps for the process
    LRESULT (*slider_proc)(HWND, UINT, WPARAM, LPARAM) = nullptr; // the quick sliders
    // The print choices of a diagram window's record; false for any other.
    bool (*print_choices)(handle record, diagram_print_choices* out) = nullptr;
};
extern sketch_window_hooks sketch_hooks;

// ------------------------------------------------------------ chart library ---

// The class-library application object of the chart control: 1 when made
// (or when no chart code is installed), 0 when it could not be; start-up
// goes on without charts then. The chart-control graph installs the hooks.
int init_mfc_app();
void exit_mfc_app();
struct chart_app_hooks {
    int (*init)() = nullptr;
    void (*exit)() = nullptr;
};
extern chart_app_hooks chart_app;

// ----------------------------------------------- floating windows, palette ---

// Brings window groups forward: 1 the build windows, 2 the Control Panel and
// Subscript Control, 3 the output windows; 0 when there was nothing to
// arrange. Defined with the tools palette (shell/palette.cpp).
int arrange_windows(int mode);
// Runs the locked tools of the palette's current row again (the workbench
// variable changed); also while the palette is hidden. Defined with the tools
// palette; declared here so the variable selection need not include it.
void rerun_locked_tools();

// --------------------------------------------------------- graph-set slots ---

// Asks about every modified custom graph set; 1 when all may go (none
// modified: 1), 0 on Cancel. The graph sets sit above the shell: they point
// the hook at their question at start-up; unset, there is nothing to ask.
int ask_save_graph_sets(int flag);
// The Control Panel's Graphs page reaches the model's set the same way:
// tool_names gives the names of its definitions, run_tool runs one by name.
struct graph_set_slot_hooks {
    int (*ask_save)(int all) = nullptr;
    int (*tool_names)(std::vector<std::string>* out) = nullptr;
    int (*run_tool)(const char* name) = nullptr;
    // Told once a model has opened (and is the current model): the set
    // saved for it beside its file takes the place of the one inside it.
    void (*model_opened)() = nullptr;
};
extern graph_set_slot_hooks graph_set_slots;

// ---------------------------------------------------------- lookup editor ---
// The graphs' lookup editor opens for a lookup's name (1 when its points were
// taken over for the next runs) and draws the "Kavrel_lookup" graph area.
// Unset: nothing opens (0) and the area does the default handling.
struct lookup_editor_hook_set {
    int (*edit)(const char* name) = nullptr;
    LRESULT (*graph_proc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
};
extern lookup_editor_hook_set lookup_editor_hooks;
int open_lookup_editor(const char* name);
LRESULT lookup_class_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The graphs' caption window ("Kavrel_ctext"); unset: the default handling.
extern LRESULT (*ctext_window_hook)(HWND, UINT, WPARAM, LPARAM);
LRESULT ctext_class_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// ---------------------------------------------------------------------- DDE ---

// Ends the DDE links; quits a started spreadsheet only when forced. The data
// links point the hook at their quit; unset, there is nothing to quit.
void dde_quit_spreadsheets(int force);
extern void (*dde_quit_spreadsheets_hook)(int force);
