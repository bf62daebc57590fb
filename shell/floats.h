// Floating windows: the Control Panel, the Subscript Control and the game
// window float inside the container above the build and output windows when
// the user asks for it (float_opts). Every placement of a container window
// goes through one of the place_* operations, which keep them on top. The
// places of the floating windows and of the two history windows are saved in
// the settings file and come back at the next start.
#pragma once

#include "platform/win.h"

#include <string>

// The windows whose places are kept. Their owners register them while they
// are open (null when closed).
enum float_kind : int {
    fw_control = 0,     // the Control Panel ("Control Dlg")
    fw_subscript = 1,   // the Subscript Control ("Subscript Dlg")
    fw_game = 2,        // the game window (not saved)
    fw_sel_history = 3, // the selection history window ("Sel History")
    fw_err_history = 4, // the history and error-log window ("Err History")
    fw_count = 5,
};
void set_float_window(float_kind kind, HWND window);
HWND float_window(float_kind kind);

// Flag values of place_under_floats_b besides the SetWindowPos flags: the
// window goes back under the floating windows as it is, or fills the
// container.
inline constexpr UINT place_back_under = 3; // SWP_NOSIZE | SWP_NOMOVE
inline constexpr UINT place_fill = 4;

// SetWindowPos with `window` just below the last visible floating window that
// is kept on top (the Control Panel with float_opts bit 1, the Subscript
// Control with bit 2) or the game window; at the top when there is none; a
// SetWindowPos that keeps the z-order when the flags say so.
BOOL place_under_floats(HWND window, int x, int y, int w, int h, UINT flags);
// The same; with Keep Build Behind the window goes below the last output
// window instead. flags place_fill: the window fills the container.
BOOL place_under_floats_b(HWND window, int x, int y, int w, int h, UINT flags);
// For a floating window itself: the rectangle is clamped into the container
// (x to 0 .. width - 30, y to 0 .. height - 30, the size to the container's),
// then the window goes below the floating windows that must stay above it.
BOOL place_in_container(HWND window, int x, int y, int w, int h, UINT flags);
// The value limited to 0 .. maximum (0 when the maximum is below 0).
int clamp_value(int value, int maximum);
// The window's top-left corner in the parent's client area (screen
// co-ordinates without a parent).
POINT window_origin(HWND window, HWND parent);

// Remembers the window clicked last: the floating windows are put back above
// it.
void set_float_anchor(HWND window);

// The settings key of a kind's saved position (null: not saved).
const char* float_key(float_kind kind);
