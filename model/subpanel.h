// The "Subscript Control" panel: which elements of each subscript range are
// selected for the tools. This is the panel's logic over the subscript
// selection of the model context (context.h); the window that shows it is
// registered through a hook by the platform layer, so the logic works (and is
// tested) without one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/subscript_selection.h"

// Opens, shows or (with -1 in all five arguments) closes the panel. show 1
// opens it (or brings it forward) at x, y, w, h (each -1: the remembered
// placement); 0 hides it. Returns 1 when the panel is open afterwards.
int create_subscript_panel(int show, int x, int y, int w, int h);
bool subscript_panel_open();
// The panel's exit check: always agrees (the selection is kept as it is).
int subscript_panel_exit_check();
// The remembered placement (x, y, w, h; -1 unset), and keeping it up to date
// when the user moves or sizes the panel's window.
void subscript_panel_rect(int rect[4]);
void subscript_panel_set_rect(const int rect[4]);
// After another model became the current one (a listener of close_model's
// switch, from the first time the panel is opened or a range chosen): the
// panel shows a range of the new model (none without one) and refreshes.
void subpanel_model_changed();

// The window side: called when the panel is to be shown (show 1), hidden (0)
// or destroyed (-1), with the placement; and after every change of the
// selection so the window can refresh. Either may be null.
struct subscript_panel_window {
    void (*show)(int show, int x, int y, int w, int h);
    void (*changed)();
};
void set_subscript_panel_window(const subscript_panel_window* window);
// Called after every change of the selection made through the panel (the
// shell re-runs its locked tools); null: none.
void set_subscript_change_hook(void (*hook)());

// The subscript ranges of the current model, alphabetically.
std::vector<symbol_id> subpanel_ranges();
// The range shown (0 none) and choosing another; 0 for a symbol that is no
// range. Opening the panel shows the first range of the workbench variable,
// else the first range of the model.
symbol_id subpanel_range();
int subpanel_set_range(symbol_id range);

struct subpanel_item {
    symbol_id element;
    std::string name;
    bool selected;
};
// The elements of the range shown with their selection.
std::vector<subpanel_item> subpanel_items();
// Changes of the shown range's selection; each returns 1 on success, 0 when
// no range is shown or the position is outside it.
int subpanel_toggle(int position);
int subpanel_select_all(bool on);
int subpanel_select_span(int first, int last);
// A short text of a range's selection: "All", "None", the element when one is
// selected, else "k of n".
std::string subpanel_summary(symbol_id range);
