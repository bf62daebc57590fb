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
// The output record the last confirmed Print Options were chosen for (0:
// none): "Selection" holds for that window only.
extern int print_choice_record;
// Font Selection (287) on *font: 0 Cancel, 1 OK unchanged, 2 OK changed (the
// new font in *font). colour_mode picks one of the colour button's two modes.
int choose_font(font_spec* font, int colour_mode);

// The dialog procedures and the example control's window procedure
// ("Kavrel_font"), exported by name.
INT_PTR fontset_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR print_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR selfont_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The units equivalences (dialog 352): at most max_units_equivalences lines of
// units that mean the same ("Dollar,$,Dollars"), kept in the settings file
// under "Units0", "Units1", ...; "Use strictest" under "UnitsStrictest"; the
// user's default list under "UnitsDefault0", ... (a built-in list until
// then). The settings file is read when the dialog opens ("Unable to access"
// when it cannot be) and written on OK. No command of this edition opens it.
inline constexpr int max_units_equivalences = 32;
INT_PTR unitset_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// Runs dialog 352; 1 when OK wrote the list.
int units_equivalences_dialog();

// A sketch-settings page: OK and Cancel go to the dialog two levels up (the
// sheet the page sits in); button ids_sketch_font chooses the font whose
// font_spec the page was given as its creation parameter, and shows it. No
// command of this edition opens such a page.
inline constexpr int ids_sketch_font = 1306;
INT_PTR sketchset_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT dispfont_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
