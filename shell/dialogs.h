// Dialog utilities: every dialog of the program runs through run_dialog or
// create_modeless and is fitted by fit_dialog. Every dialog pumps messages
// before and after, so timers, the work-in-progress window and DDE keep
// running; the modal counter (shell/pump.h) tells other code that a modal
// interaction is in progress.
#pragma once

#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/win.h"

#include "foundation/names.h"
#include "shell/pump.h"

#include <cstdint>
#include <string>

// Nesting depth of dialogs run by run_dialog.
extern std::int16_t dialog_depth;

// The usable screen: its width and height in pixels (the extent the workbench
// measured at start-up, else the primary screen's).
int screen_w();
int screen_h();
// Non-zero while a modal dialog run by run_dialog is open (its depth).
int modal_depth();

// Resets the counters of this file after the program-level recovery (the
// dialogs themselves are destroyed by the caller): the dialog depth, the
// parameter list, the centre point.
void reset_dialog_state();

// ------------------------------------------------------------- dialogs ---

// The given window; else the active window when it is one of ours; else the
// main window.
HWND owner_window(HWND window);

// Runs a modal dialog from its template and returns its result (-1 when it
// could not be made). Pending messages are pumped first; the modal counter,
// busy_depth and the dialog depth are raised for its life (and lowered on
// every way out). param reaches the procedure as WM_INITDIALOG's lParam; while
// dialog_param_request is set, a list of |param| words (at most 4096) is also
// made for the procedure, found through dialog_params. After the dialog: when
// no owner was given, the active child is told it is active again; the centre
// point is cleared.
INT_PTR run_dialog(int template_id, HWND owner, DLGPROC proc, LPARAM param);
// The parameter list of the dialog being run (null when none) and its length.
extern std::int32_t* dialog_params;
extern int dialog_param_count;
// While set, run_dialog makes a parameter list even for parameter 0.
extern bool dialog_param_request;

// A modeless window's filter in the main loop's table (shell/pump.h; null:
// dialog-message handling): a window already there keeps its place and gets
// the new filter, unless `first` moves it to the front; a new one goes to the
// end, or to the front with `first`. remove_dialog_filter takes it out (an
// unknown window is ignored).
void add_dialog_filter(HWND window, loop_filter_fn filter, int first);
void remove_dialog_filter(HWND window);

// Modeless dialogs. create_modeless destroys the dialog held in *slot first,
// creates the new one, stores its handle in *slot and, with filter set,
// registers it at the front of the loop filters of shell/pump.h
// (dialog-message handling). destroy_modeless removes the filter, destroys the window and
// zeroes the slot.
HWND create_modeless(int template_id, DLGPROC proc, HWND parent, HWND* slot, int filter);
void destroy_modeless(HWND* slot);

// Gives a dialog the user's dialog font and rescales it and its controls to
// the new font (called from WM_INITDIALOG). Font mode -4: the small dialog
// font; 0 or below: the dialog font; 1 or above: the parent window's font. A
// negative mode other than -4 sets the font without resizing. When the result
// would not fit on the screen, the fallback font is tried; when that does not
// fit either, "Screen too small - try a smaller font on the next dialog" and
// the font dialog is offered for a new fallback font: OK while this is the
// only dialog open tries the new font; OK with other dialogs open says "You
// will need to cancel all open dialogs and try again" and Cancel ends the
// dialog, both with 0. Returns the font given, 0 when the dialog was ended.
HFONT fit_dialog(HWND dialog, int font_mode);
// The next fitted dialog (plain dialog font) is centred on this screen point.
void set_dialog_centre(int x, int y);
// The dialog fonts' descriptions ("face|points|style|"): the dialog font,
// the small font and the fallback font. Empty: the platform's dialog font.
// Changing one retires the font made from it: windows still using it keep
// a valid font until free_retired_dialog_fonts.
void set_dialog_font_specs(const char* dialog, const char* small, const char* fallback);
// The font dialog fit_dialog offers when even the fallback font makes a
// dialog too large for the screen (choose_font of shell/options.h): it edits
// the font and answers 0 on Cancel. Null: nothing is offered (Cancel).
using fallback_font_chooser = int (*)(font_spec* font, int colour_mode);
void set_fallback_font_chooser(fallback_font_chooser chooser);
// The description of a dialog font now: 0 dialog, 1 small, 2 fallback.
const std::string& dialog_font_spec(int which);
// Deletes the dialog fonts (shutdown), the retired ones too.
void free_dialog_fonts();
// Deletes the fonts retired by set_dialog_font_specs, once every window that
// used them has taken the new ones.
void free_retired_dialog_fonts();
// Gives an open dialog and all its controls the dialog font now described,
// without moving anything (after the description changed).
void refont_dialog(HWND dialog);

// The data of a dialog run with a pointer to it as its parameter. At
// WM_INITDIALOG, begin_dialog keeps the pointer with the dialog, fits the
// dialog (fit_dialog mode 0) and returns the data; dialog_data gives it back
// to every later message (null before WM_INITDIALOG).
template <class T> T* begin_dialog(HWND dialog, LPARAM param) {
    SetWindowLongPtr(dialog, DWLP_USER, param);
    fit_dialog(dialog, 0);
    return reinterpret_cast<T*>(param);
}
template <class T> T* dialog_data(HWND dialog) {
    return reinterpret_cast<T*>(GetWindowLongPtr(dialog, DWLP_USER));
}
