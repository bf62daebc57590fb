// Greying the main menu's commands that cannot act now, and the guard that
// marks the model busy while a command works on it.
#include "shell/menustate.h"

#include "model/model.h"
#include "platform/menu.h"
#include "resources/menus.h"
#include "shell/palette.h"
#include "shell/state.h"
#include "shell/winlist.h"
#include "sim/simdata.h"

#include <string>

namespace {

int commands_under_way = 0;

} // namespace

bool touches_model(int id) {
    switch (id) {
    case cmd_close:
    case cmd_simulate:
    case cmd_new_model:
    case cmd_open_model:
    case cmd_toolbar_run:
    case cmd_run_game:
    case cmd_livesweep:
    case cmd_plausitest:
    case cmd_read_changes:
    case cmd_write_changes:
    case cmd_setup:
    case cmd_constant_changes:
    case cmd_lookup_changes:
    case cmd_model_notes:
    case cmd_model_display:
    case cmd_model_references:
        return true;
    default:
        return id >= first_recent_item && id < first_recent_item + recent_model_count;
    }
}

bool model_busy() {
    return commands_under_way > 0 || sim_phase == phase_preparing ||
           sim_phase >= phase_initialising;
}

model_command_guard::model_command_guard() {
    ++commands_under_way;
}

model_command_guard::~model_command_guard() {
    --commands_under_way;
}

void update_menu_states() {
    if (!main_menu) return;
    const bool model = model_is_open();
    const bool running = sim_phase >= phase_initialising;
    const bool busy = model_busy();
    // The Livesweep item says what choosing it does now.
    ModifyMenu(main_menu, cmd_livesweep, MF_BYCOMMAND | MF_STRING, cmd_livesweep,
               livesweep_state == ls_on ? "Stop &Livesweep	Ctrl+B"
                                        : "St&art Livesweep	Ctrl+B");
    auto set = [](int id, bool on) {
        EnableMenuItem(main_menu, static_cast<UINT>(id),
                       MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    };
    for (int id :
         {cmd_close, cmd_save, cmd_save_as, cmd_publish, cmd_print, cmd_simulate, cmd_livesweep,
          cmd_run_game, cmd_plausitest, cmd_model_notes, cmd_model_display, cmd_model_references})
        set(id, model && !busy);
    // An output window prints without a model: its graph or table outlives
    // the model it was made from.
    if (!model && !busy && active_kind == kind_output && active_child && IsWindow(active_child))
        set(cmd_print, true);
    for (int id : {cmd_new_model, cmd_open_model, cmd_read_changes, cmd_write_changes})
        set(id, !busy);
    for (int id = first_recent_item; id < first_recent_item + recent_model_count; ++id)
        set(id, !busy); // items not there yet are left alone
    // Stop also leaves set-up, a game or Livesweep.
    set(cmd_stop_simulation,
        running || (model && (livesweep_state == ls_on || game_state || sim_phase == phase_setup ||
                              sim_phase == phase_livesweep_ready)));
    // Set-up is its own mode; the change dialogs also serve a game (not its
    // lookups) and Livesweep, which re-runs after them.
    set(cmd_setup, model && !busy && livesweep_state != ls_on && !game_state);
    set(cmd_constant_changes, model && !busy);
    set(cmd_lookup_changes, model && !busy && !game_state);
    // No project pages exist yet: the web items stay grey.
    set(cmd_online_forum, false);
    set(cmd_newer_releases, false);
    // The Tools pop-up lists the palette's row as it is now.
    if (HMENU tools = GetSubMenu(main_menu, popup_tools)) {
        char title[16] = {};
        GetMenuString(main_menu, popup_tools, title, sizeof title, MF_BYPOSITION);
        if (std::string(title) == "&Tools") {
            fill_tools_menu(tools);
            for (int k = 0; k < tool_menu_most; ++k) set(cmd_tool_first + k, !busy);
        }
    }
}

bool menu_item_enabled(int id) {
    if (!main_menu) return true;
    UINT st = GetMenuState(main_menu, static_cast<UINT>(id), MF_BYCOMMAND);
    if (st == static_cast<UINT>(-1)) return true; // not a menu item: nothing greys it
    return (st & (MF_GRAYED | MF_DISABLED)) == 0;
}
