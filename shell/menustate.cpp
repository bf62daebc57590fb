#include "shell/menustate.h"

#include "model/model.h"
#include "platform/menu.h"
#include "resources/menus.h"
#include "shell/state.h"
#include "sim/simdata.h"

void update_menu_states() {
    if (!main_menu) return;
    const bool model = model_is_open();
    const bool running = sim_phase >= phase_initialising;
    // The Livesweep item says what choosing it does now.
    ModifyMenu(main_menu, cmd_livesweep, MF_BYCOMMAND | MF_STRING, cmd_livesweep,
               livesweep_state == 2 ? "Stop &Livesweep\tCtrl+B" : "St&art Livesweep\tCtrl+B");
    auto set = [](int id, bool on) {
        EnableMenuItem(main_menu, static_cast<UINT>(id),
                       MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    };
    for (int id : {cmd_close, cmd_save, cmd_save_as, cmd_publish, cmd_print, cmd_simulate,
                   cmd_livesweep, cmd_run_game, cmd_plausitest})
        set(id, model && !running);
    set(cmd_stop_simulation, running);
    // No project pages exist yet: the web items stay grey.
    set(cmd_online_forum, false);
    set(cmd_newer_releases, false);
}

bool menu_item_enabled(int id) {
    if (!main_menu) return true;
    UINT st = GetMenuState(main_menu, static_cast<UINT>(id), MF_BYCOMMAND);
    if (st == static_cast<UINT>(-1)) return true; // not a menu item: nothing greys it
    return (st & (MF_GRAYED | MF_DISABLED)) == 0;
}
