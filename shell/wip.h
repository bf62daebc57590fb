// The work-in-progress window: the splash at start-up, afterwards a small
// progress panel centred over the main window with two text lines and a Stop
// button. Long operations call wip_message; the simulation's save points call
// wip_show_time (through the engine's pump hook). Esc, Ctrl+C and Ctrl+.
// (break keys) and the Stop button raise the engine's stop_request, which the
// run turns into "Do you want to save the results so far (cancel to continue
// simulation)".
#pragma once

#include "foundation/types.h"
#include "platform/win.h"

#include <string>

// The window (null while closed) and its mode: 0 hidden, 1 shown, 10 splash.
extern HWND wip_wnd;
extern int wip_mode;

// Modes: 10 opens the splash, -10 closes it; 0 hides the panel; 1 and -1
// write line 1; any other value writes line 2; a negative mode shows the Stop
// button, a non-negative one hides it. While the splash is up every call
// other than -10 only repaints the splash. The text is formatted into a
// buffer sized from its arguments; the panel keeps at most 59 characters of
// each line for repainting. Returns 1, or 0 when the splash was closed.
int wip_message(int mode, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same; while Livesweep is on only pending messages are pumped.
int wip_message_quiet(int mode, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Called at the simulation's save points: brings the work-in-progress graphs
// up to date, pumps messages and keeps the hourglass.
void wip_show_time();
// The pump hook of the engine: wip_show_time.
void wip_install_sim_hooks();

// The lines as kept for repainting (tests).
const std::string& wip_line(int n);
// Whether the Stop button is shown.
bool wip_stop_shown();

// Destroys the window (shutdown).
void wip_destroy();

// The window procedure (class "Kavrel_wip", registered on first use) and the
// About dialog.
LRESULT wip_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void activate_output_window(handle record);
// The About dialog (template 359).
INT_PTR about_box(int template_id);
INT_PTR empty_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The work-in-progress graphs: output records updated at every save point
// while a simulation runs (at most 32). The graphs register theirs; the
// updater is theirs too (null: none).
inline constexpr int max_wip_graphs = 32;
int wip_graph_add(handle record);
void wip_graph_remove(handle record);
int wip_graph_count();
using wip_graph_update_fn = bool (*)(handle record); // false: the window is gone
void set_wip_graph_updater(wip_graph_update_fn fn);
// Called at the first save of each run (the graphs open the work-in-progress
// graphs of the model's graph set there); non-zero when it opened a graph,
// which hides the panel: the graphs show the run's progress.
using wip_run_start_fn = int (*)();
void set_wip_run_start_hook(wip_run_start_fn fn);
// The game window while it is open (null otherwise), installed by the game
// window: during a game the progress texts and the time go to its field 656
// instead of the panel, and the window is brought forward.
using wip_game_window_fn = HWND (*)();
void set_wip_game_window_hook(wip_game_window_fn fn);

// The product title and version text of the splash and About box.
const char* product_title();
const char* version_text();
