// The option dialogs: Options (302), Print Options (306) and Font Selection
// (287) with its example control.
#pragma once

#include "foundation/names.h"
#include "platform/dlg.h"
#include "platform/win.h"

// Options (302): re-reads the settings file (-1 when that fails). OK applies
// the choices, repaints the windows and writes the settings (1); Cancel
// changes and writes nothing (0).
int options_dialog(int page);
// Print Options (306) for an output record (0: none, as from the menu):
// the dialog's result (1 OK, 0 Cancel).
int print_options_dialog(int record);
// Font Selection (287) on *font: 0 Cancel, 1 OK unchanged, 2 OK changed (the
// new font in *font). colour_mode picks one of the colour button's two modes.
int choose_font(font_spec* font, int colour_mode);

// The dialog procedures and the example control's window procedure
// ("Kavrel_font"), exported by name.
INT_PTR fontset_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR print_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR selfont_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT dispfont_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
