// The workbench's title and the bottom bar's text (see title.h).
#include "shell/title.h"

#include "foundation/names.h"
#include "model/context.h"
#include "model/model.h"
#include "platform/menu.h"
#include "platform/win.h"
#include "shell/bottombar.h"
#include "shell/state.h"
#include "sim/game.h"
#include "sim/simdata.h"

namespace {

std::string bottom_text;
std::string edit_name; // the file being edited ("" none)

} // namespace

std::string main_title_text(const char* variable_text) {
    std::string model;
    if (!model_rec || model_rec->state == 2) {
        model = "No Model Open";
    } else {
        const char* name = current_model_name();
        model = (name && *name) ? name : "Unnamed";
        if (shell_opts.short_names && model.size() > 25) model = model.substr(model.size() - 25);
    }
    std::string var;
    if (variable_text) {
        var = variable_text;
    } else if (model_rec) {
        var = ctx_text(model_rec, model_rec->title_var);
    }
    std::string mode = mode_title_text();
    if (!edit_name.empty()) return "Kavrel:" + model + " Edit:" + edit_name + " Var:" + var + mode;
    return "Kavrel:" + model + " Var:" + var + mode;
}

std::string mode_title_text() {
    if (!model_rec || model_rec->state == 2) return "";
    if (livesweep_state == ls_on) return " - Livesweep (Stop Simulation to leave)";
    if (game_state && game_in_progress())
        return " - Game at time " + std::string(format_number(game_time(), 0, nullptr)) +
               " (Stop Simulation ends it)";
    if (sim_phase == phase_setup) return " - Simulation Setup (Esc or Stop Simulation to leave)";
    return "";
}

void set_main_title(const char* variable_text) {
    if (variable_text && model_rec)
        model_rec->title_var = ctx_set_text(model_rec, model_rec->title_var, variable_text);
    if (main_wnd) SetWindowText(main_wnd, main_title_text(variable_text).c_str());
}

void set_title_edit_name(const char* name) {
    std::string now = name ? name : "";
    if (now == edit_name) return;
    edit_name = now;
    if (main_wnd) SetWindowText(main_wnd, main_title_text(nullptr).c_str());
}

const std::string& title_edit_name() {
    return edit_name;
}

void set_bottom_text(const char* text) {
    bottom_text = text ? text : "";
    // The active diagram keeps its own bar (views, Show, the font buttons): a
    // new text, such as the one a finished run sets, waits until no build
    // window is active.
    restore_bottom_bar();
}

const std::string& bottom_bar_text() {
    return bottom_text;
}

void restore_bottom_bar() {
    if (active_kind == kind_build && build_wnd && IsWindow(build_wnd))
        show_build_bottom_bar(build_wnd);
    else
        set_bottom_bar(bm_text, bottom_text.c_str(), bottom_no_command);
}
