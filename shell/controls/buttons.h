// The bitmap button ("Kavrel_bitbutton") and the colour button
// ("Kavrel_colorbutton") of the dialogs.
//
// Bitmap button: window long 0 holds the control id (low 16 bits) and the
// state (bits 16 to 23: 0 up, 1 pressed with the pointer outside, 2 pressed);
// window long 4 the bitmap, loaded on creation by the name given as the
// window's text and deleted with the window. A press that ends (wherever the
// pointer is) sends WM_COMMAND (its id, 0) to the parent.
//
// Colour button: window long 0 holds the colour (-1 "none"), window word 4
// the flags (colour_flags). A click opens the colour picker below the button;
// a pick sets the colour and the parent gets WM_COMMAND (its id, 0).
#pragma once

#include "platform/win.h"
#include "shell/controls/colorpick.h"

#include <cstdint>

// Messages of the colour button.
enum : UINT {
    cb_set_colour = 1280, // lParam the colour; wParam, when non-zero, the flags
    cb_get_colour = 1281, // returns the colour
    cb_set_flags = 1282,  // wParam the flags
};

// The bitmap of a bitmap button's name: the program's painted bitmaps by
// "#id", else the resource of that name. Null when there is none.
HBITMAP load_button_bitmap(const char* name);

// Window procedures (exported by name).
LRESULT bitbutton_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT colorbutton_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
