// Dialog utilities and message boxes: every dialog of the program runs through
// run_dialog or create_modeless and is fitted by fit_dialog; ShowWindow calls
// made during start-up are queued and played at its end; yes/no questions and
// the display of every reported message (show_message, the reporter's message
// hook) go through one place.
//
// Every box and dialog pumps messages before and after, so timers, the
// work-in-progress window and DDE keep running; the modal counter tells other
// code that a modal interaction (or a run, which raises it by 1000) is in
// progress.
#pragma once

#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/win.h"

#include <cstdint>

// ------------------------------------------------------------ counters ---

// The modal counter: raised around every dialog and box, and by 1000 for the
// whole of a simulation run. The session end and tooltips are refused while it
// is non-zero. Defined here (dlgutil.cpp).
extern std::int32_t modal_count;
// Nesting depth of dialogs run by run_dialog.
extern std::int16_t dialog_depth;

// Raises the modal counter by n for the life of the guard.
struct modal_guard {
    explicit modal_guard(std::int32_t n = 1) : n_(n) { modal_count += n_; }
    ~modal_guard() { modal_count -= n_; }
    modal_guard(const modal_guard&) = delete;
    modal_guard& operator=(const modal_guard&) = delete;

private:
    std::int32_t n_;
};

// Resets the counters of this file after the program-level recovery (the
// dialogs themselves are destroyed by the caller): modal counter, dialog
// depth, the box-up flag, the centre point.
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

// Modeless dialogs. create_modeless destroys the dialog held in *slot first,
// creates the new one, stores its handle in *slot and, with filter set,
// registers it at the front of the main loop's filters (dialog-message
// handling). destroy_modeless removes the filter, destroys the window and
// zeroes the slot.
HWND create_modeless(int template_id, DLGPROC proc, HWND parent, HWND* slot, int filter);
void destroy_modeless(HWND* slot);

// The main loop's filters: offered every message before it is translated
// and dispatched. A filter answers true when it took the message. A null
// function means dialog-message handling (IsDialogMessage) for the window.
using loop_filter_fn = bool (*)(HWND window, MSG* msg);
void add_loop_filter(HWND window, loop_filter_fn fn);
void remove_loop_filter(HWND window);
// Called by the main loop (and by pump_messages) for every message: true when
// a filter took it. Filters whose windows are gone are dropped.
bool run_loop_filters(MSG* msg);

// The start-up show queue. open_show_queue opens it (start-up); while it is
// open, show_window queues the pair and returns 88 (the work-in-progress
// window is always shown at once). show_window(0, -1) plays the queue in
// order, closes it, posts WM_USER to the main window and raises and
// activates it. With the queue closed: hiding the active child clears it
// first, then ShowWindow; the result is ShowWindow's.
void open_show_queue();
bool show_queue_open();
int show_window(HWND window, int command);

// Gives a dialog the user's dialog font and rescales it and its controls to
// the new font (called from WM_INITDIALOG). Font mode -4: the small dialog
// font; 0 or below: the dialog font; 1 or above: the parent window's font. A
// negative mode other than -4 sets the font without resizing. When the result
// would not fit on the screen, the fallback font is tried; when that does not
// fit either, "Screen too small - try a smaller font on the next dialog" and
// the dialog is ended with 0. Returns the font given, 0 when the dialog was
// ended.
HFONT fit_dialog(HWND dialog, int font_mode);
// The next fitted dialog (plain dialog font) is centred on this screen point.
void set_dialog_centre(int x, int y);
// The dialog fonts' descriptions ("face|points|style|"): the dialog font,
// the small font and the fallback font. Empty: the platform's dialog font.
// Changing one drops the font made from it.
void set_dialog_font_specs(const char* dialog, const char* small, const char* fallback);
// Deletes the dialog fonts (shutdown).
void free_dialog_fonts();

// ----------------------------------------------------- boxes and questions ---

// The questions of the program's own code (the reporter's question kinds
// are question_yes_no, ... in foundation/report.h).
// 1 for Yes, else 0. The question is formatted into a buffer sized from its
// arguments and shown captioned "Question from Kavrel".
int ask_yes_no(const char* format, ...) __attribute__((format(printf, 1, 2)));
// 1 Yes, 0 No, -1 Cancel (Escape answers Cancel).
int ask_yes_no_cancel(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The reporter's message hook (set_message_hook(show_message)). kind is the
// severity 0..10 or a question kind of foundation/report.h; caption as the
// reporter gives it. Severities below 6 go to the error window while it
// collects messages, else to the message list (see the seam below); 6 and
// above are shown in a box captioned by severity (one box at a time: while
// one is up, further ones are only logged). Questions return IDYES, IDNO,
// IDCANCEL or IDOK; messages return 0.
int show_message(int kind, const char* caption, const char* text);

// Where messages below severity 6 go until the error window and the text
// windows exist: the lines are kept here (at most the last 1000), each as the
// severity's prefix and the text.
const char* const* message_list_lines(int* count);
void clear_message_list();
// The text tools install this to take messages below severity 6 themselves
// (true: taken).
using low_message_fn = bool (*)(int severity, const char* prefix, const char* text);
void set_low_message_sink(low_message_fn fn);

// While set (an output window is being placed inside a sketch), only severity
// 10 is shown in a box.
extern bool placing_output_in_sketch;

// Small question dialogs. ask_text: dialog 354, the text in scratch memory or
// null on Cancel. ask_replace_text: with a second text dialog 382 (the two
// texts separated by a zero byte), without dialog 355. ask_list: dialog 353,
// the chosen index or -1 on Cancel.
char* ask_text(const char* prompt, const char* dflt);
char* ask_replace_text(HWND owner, const char* prompt, const char* text, const char* second);
int ask_list(const char* prompt, const char* const* items, int count, int current);

// The dialog procedures of the question dialogs (exported by name).
INT_PTR user_text_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR user_list_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
