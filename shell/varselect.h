// Variable selection: choosing the workbench variable (model/varnames.h) by
// name, pattern, type or group in the Variable page of the Control Panel
// (template 356) or in the modal variable dialog (357), or from a span of text
// (select_var_text). A new workbench variable goes into the workbench's title,
// to the selection history when one listens, and re-runs the palette's locked
// tools.
//
// Both windows share one procedure (variable_proc); the page is told apart by
// having no OK button. Listing fills the long list of the open dialog, else
// of the open page.
#pragma once

#include "model/constants.h"
#include "platform/win.h"

#include <string>
#include <vector>

// --------------------------------------------------------------- settings ---

// Which variables the lists show: 1 every variable; 0 leaves out those
// hidden from listings (sf_hidden); 2 (the dialog without its all-variables
// argument) also those hidden from the variable lists (sf_hidden_1).
extern std::uint8_t varsel_list_mode;
enum : std::uint8_t { lm_unhidden = 0, lm_all = 1, lm_neither_hidden = 2 };

// The Type list: entries of symbol_type_table (model/model.h). The group entry
// (type code st_group) and its index.
inline constexpr int type_entry_count = 14;
int type_entry_of(int type_code); // the index of a type code, -1 when none
int group_type_entry();

// ---------------------------------------------------------------- choosing ---

// Option flags of choose_variable.
enum : int {
    cv_subscripts = 1,  // the Subscripts box is shown even with no initial name
    cv_with_ranges = 2, // pattern listing includes subscript ranges
};

// Runs the variable dialog: title (null keeps "Modify Equation for"), a
// pattern to list first (null or "": the remembered one; kept for the dialog's
// life and the previous one restored after), a type code to list (st_group:
// group mode, which returns the text as typed; -1 or an unknown code: none),
// all_variables 0 leaves out both kinds of hidden variables, flags (cv_*), and
// the name to show first (null: none). Returns the chosen name (scratch; the
// normalised name with any subscripts as typed) or null on Cancel. With no
// model open: "Open or start a new model first." and null.
const char* choose_variable(const char* title, const char* pattern, int type_code,
                            int all_variables, int flags, const char* initial_name);

// The procedure of the page (356) and the dialog (357).
INT_PTR variable_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The open page (null while none) and the open dialog (null while none).
extern HWND varsel_page;
extern HWND varsel_dialog;

// ----------------------------------------------------------------- listing ---

// Loads names into the long list of the open dialog (else page) and selects
// the Type entry when type_index >= 0. No names: the list is cleared (and so
// disabled). Returns the count shown.
int set_varsel_list(const char* const* names, int count, int type_index);
// Names of symbol ids, applying the list mode, into set_varsel_list; the
// count shown.
int list_symbols(const symbol_id* ids, int count, int type_index);
// Lists every variable of a Type entry ("All": every listed variable;
// "Orphan": those on no view of the model's diagram). The count.
int list_by_type(int type_index);
// Lists every variable whose name matches a pattern ("*" any run, "?" one
// character; case, blank and underscore as in names), subscript ranges too
// when asked; "Sorry no matches for %s" when none. The count.
int list_by_pattern(const char* pattern, bool with_ranges);

// The symbols the listing functions would show, without a window (sorted by
// name; the list mode is applied when they are listed). type_code as
// symbol_type_table's codes.
std::vector<symbol_id> symbols_of_type(int type_code);
std::vector<symbol_id> symbols_matching(const char* pattern, bool with_ranges);
// The member variables of a group; the variables that have a range (or a
// sub-range of it) among their dimensions.
std::vector<symbol_id> group_members(symbol_id group);
std::vector<symbol_id> range_users(symbol_id range);

// -------------------------------------------------------- the workbench var ---

// Makes the variable named in text[start, end) the workbench variable: one
// pair of round brackets and blanks around it are stripped, the name
// normalised (unless it begins with "." or "#"), a shadow's angle brackets
// dropped; its subscripts must fit the variable's dimensions (an element or a
// range of each). A subscript range lists the variables that use it, a group
// its members, into the open page or dialog ("The subscript %s is not used",
// "The group %s has no members" when none). Returns 1 when a workbench
// variable was set; 0 leaves it unchanged.
int select_var_text(const char* text, int start, int end);
// Sets the workbench variable (subs: one element or range per dimension, or
// none) and tells everyone who follows it: the title, the selection history,
// the palette's locked tools.
void set_workbench_var(symbol_id var, const symbol_id* subs, int nsubs);
// The workbench variable as text: its name, then its chosen subscripts in
// square brackets separated by commas; "" when there is none.
std::string workbench_var_text();

// The selection history: a listener given each new workbench variable's text
// (the history window installs one while it is open; null: none).
using selection_history_fn = void (*)(const char* line);
void set_selection_history_sink(selection_history_fn fn);
// The Variable Selection History window (menu command 566 and the saved
// position's opener): brought forward when open; else each value other than
// -1 becomes its placement (x, y, width, height of its frame), and with `show`
// it opens there. The window is the tools' text window, reached through
// tool_window_hooks; without it only the placement is kept.
void selection_history(int show, int x, int y, int w, int h);

// The note the dialog shows for a variable: "Units: ..." and, for a constant
// with a number for its equation, "Base model value: %g" ("" when neither).
std::string variable_note(symbol_id var);

// Forgets the remembered pattern and the windows (tests and shutdown).
void reset_varselect_state();
