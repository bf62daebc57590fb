// The shell's process-wide state: the instance, the workbench and its child
// windows, the active child and its kind, the options that place the
// toolbar, palette and bottom bar, the window option bits, and the menus the
// workbench keeps.
//
// The modal counter, the dialog depth and the work-in-progress window belong
// to the message pump and the dialog utilities (shell/pump.h, shell/dialogs.h,
// shell/wip.h).
#pragma once

#include "platform/types.h"

#include <cstdint>

// The program's instance; set first by the start-up, cleared last.
extern HINSTANCE hinst;

// The workbench and the windows it holds. All are created once by
// create_main_window and destroyed at shutdown; null while they do not exist.
extern HWND main_wnd;      // the workbench ("Kavrel_workbench")
extern HWND tools_wnd;     // the tools palette ("Kavrel_tools")
extern HWND toolbar_wnd;   // the toolbar ("Kavrel_toolbar"), 28 pixels high
extern HWND tooltip_wnd;   // the tooltip pop-up ("Kavrel_tooltip")
extern HWND bottom_wnd;    // the bottom command bar ("Kavrel_bottom"), 16 pixels high
extern HWND container_wnd; // the container of build, output and text-edit windows
extern HWND size_box_wnd;  // the size box at the bottom-right corner
extern HWND active_child;  // the active window inside the container (null: none)
extern HWND build_wnd;     // the current build (sketch frame) window

// The kind of the active child.
enum : std::uint8_t { kind_none = 0, kind_build = 1, kind_text = 2, kind_output = 3 };
extern std::uint8_t active_kind;

// Window option bits (float_opts).
enum : std::uint8_t {
    fo_control_on_top = 1,   // Control Panel kept on top
    fo_subscript_on_top = 2, // Subscript Control kept on top
    fo_build_behind = 4,     // Keep Build Behind
    fo_wip_graph = 8,        // open the work-in-progress graph on simulation
};
extern std::uint8_t float_opts;

// Placement options of the workbench's bars.
struct shell_options {
    std::uint8_t palette = 0;          // 0 left, 1 top, 2 hidden
    std::uint8_t toolbar = 1;          // 1 shown, 0 hidden
    std::uint8_t bottom = 1;           // 1 shown, 0 hidden
    std::uint8_t short_names = 0;      // the title shows the model name shortened
    std::uint8_t build_maximised = 1;  // build windows shown maximised in the container
    std::uint8_t output_maximised = 0; // output windows shown maximised in the container
};
extern shell_options shell_opts;

// Palette metrics (cell width and height, the third metric).
inline constexpr int palette_cell_w = 23;
inline constexpr int palette_cell_h = 22;
inline constexpr int palette_metric3 = 11;
inline constexpr int toolbar_height = 28;
inline constexpr int bottom_height = 16;

// Menus: the main menu (the workbench's class menu) and its kept pop-ups, the
// output windows' Edit menu (112) and the changes menu (115).
extern HMENU main_menu;
extern HMENU file_menu;        // pop-up 0
extern HMENU view_menu;        // pop-up 1
extern HMENU edit_menu;        // pop-up 2
extern HMENU insert_menu;      // pop-up 3
extern HMENU windows_menu;     // pop-up 6
extern HMENU output_edit_menu; // 112
extern HMENU changes_menu;     // 115

// Cursors: the arrow, the hourglass and the resources' cursor 300.
extern HCURSOR arrow_cursor;
extern HCURSOR wait_cursor;
extern HCURSOR cursor_300;

// Screen size (right and bottom edges of the virtual screen) and pixels per inch.
extern int screen_right;
extern int screen_bottom;
extern int pixels_per_inch_x;
extern int pixels_per_inch_y;

// Caption state of the workbench (bit 1 focus, bit 2 active; 3 on create).
extern int caption_state;

// While set, the workbench keeps the hourglass as its cursor (long operations).
extern bool keep_hourglass;

// A game window is open (the loop's click handling keeps floats above it).
extern bool game_window_open;

// Clears every handle and option of this file (tests and shutdown).
void reset_shell_state();
