// The Control Panel: a modeless, resizable dialog floating in the container
// with a tab control of five pages (Variable, Time Axis, Scaling, Datasets,
// Graphs), each a child dialog made when its tab is chosen. The Time Axis page
// sets the start, end and special time of every time graph and table; the
// Scaling page sets the graphs' scaling options.
#pragma once

#include "foundation/types.h"
#include "model/constants.h"
#include "platform/win.h"

#include <cstdint>

// Graph scaling options.
struct scaling_options {
    int h_divisions = 5; // at least 1
    int v_divisions = 5;
    std::uint8_t raw = 0;         // vertical scaling raw (1) or rounded (0)
    std::uint8_t extra_lines = 0; // xl_* bits
    std::uint8_t colorize = 1;    // Livesweep settings
    std::uint8_t sweep = 0;       // sw_* bits (exclusive)
    std::uint8_t include_zero = 1;
    float buffer_mult = 2.0f; // at least 1.0
};
extern scaling_options scaling_opts;
enum : std::uint8_t { xl_zero = 1, xl_one = 2, xl_special = 4 };
enum : std::uint8_t { sw_freeze = 1, sw_no_change = 2 };

// The panel (null while closed), its current page and the tab remembered
// while the program runs (0 at start).
extern HWND control_wnd;
extern HWND control_page;
extern std::uint8_t control_tab;

// Tab indexes.
enum : int {
    tab_variable = 0,
    tab_time_axis = 1,
    tab_scaling = 2,
    tab_datasets = 3,
    tab_graphs = 4
};

// show -1 destroys the panel and its page. Otherwise the panel is made when
// absent (hidden), placed at x, y, w, h when x is not -1, and with show
// non-zero brought forward, shown and (unless the start-up queue is open)
// activated.
void control_panel(int show, int x, int y, int w, int h);
inline void open_control_panel(int show, int x, int y, int w, int h) {
    control_panel(show, x, y, w, h);
}
// After the dialog font changed: the open panel takes the new font and is
// laid out again with it (its page made again).
void control_panel_font_changed();
// Makes page `index` (0 to 4; others are ignored) the current one; with set
// the tab is selected too.
void select_tab(HWND panel, int index, bool set);

// Writes a time value into a Time Axis edit box (0: all three from the model
// context) as a label of the time base, without applying it back.
void show_time_value(int control, double value);
// reset -1 only marks the time axis for refresh at the Time Axis page's next
// activation. Otherwise: reset 1 (or 0 before any time base was set) puts
// start at the full start and end and special time at the full end; the
// variable (0: the model's time) becomes the time base ("MODEL MISSING TIME"
// when the model has none); a shown Time Axis page shows its name (unless
// keep_list) and the three values.
void set_time_base_var(symbol_id variable, int reset, int keep_list);
// Recomputes the scaler from the model context; with snap the three times
// move onto whole steps. Repaints the scaler and rewrites the values.
void time_axis_scale(int snap);
// Applies the text of a Time Axis edit box (idt_start, idt_end, idt_special)
// as it is typed: a start from the full start to before the end, an end after
// the start up to the full end, a special time strictly inside the full range
// are taken and their markers moved; others are ignored while typing, and
// refused with a message naming the field and the allowed times when the box
// loses the focus (the box and bar then go back to the time it had).
void apply_time_edit(HWND page, int id);

// What the panel's save command (487) calls: the model and settings saver,
// which lives above the panel (it writes the settings file, whose reader
// opens the panel). Installed with the program's hooks.
using panel_save_fn = int (*)();
void set_panel_save_hook(panel_save_fn fn);

// Brings the time axis up to date after a model was opened or the runs
// changed: with no run selected the full range is the model's own INITIAL
// TIME to FINAL TIME; times outside the full range come back inside it; a
// shown Time Axis page shows the result.
void refresh_time_axis();

INT_PTR control_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR globals_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR scaling_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Gives the keyboard to the open panel: the control that had it when the
// panel was closed, else the page's first control.
void focus_panel();
// Ctrl+Tab and Ctrl+Shift+Tab (and Ctrl+Page Down / Up) in the panel: the
// next or previous page, which takes the keyboard.
void next_control_tab(int step);
// Whether the keyboard is in the open panel.
bool panel_has_focus();
// Refills the Graphs page's list from the open model's graph set while the
// panel holds the page (shown or hidden with the panel), so that a model
// opened since never leaves the previous model's graphs listed.
void fill_graph_list();
