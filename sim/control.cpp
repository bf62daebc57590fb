// The simulation-control commands (see control.h).
#include "sim/control.h"

#include "foundation/report.h"
#include "model/model.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"

namespace {
run_command_fn run_hook = nullptr;
post_command_fn post_hook = nullptr;
overrides_off_fn overrides_hook = nullptr;
end_game_fn end_game_hook = nullptr;
reset_all_ask_fn reset_all_ask_hook = nullptr;
window_command_fn window_hook = nullptr;

int run(int id, int p1, int p2) {
    if (!run_hook) return 0;
    int result = 0;
    return run_hook(id, p1, p2, &result);
}
} // namespace

void set_run_command_hook(run_command_fn hook) {
    run_hook = hook;
}
void set_post_command_hook(post_command_fn hook) {
    post_hook = hook;
}
void set_overrides_off_hook(overrides_off_fn hook) {
    overrides_hook = hook;
}
void set_reset_all_ask_hook(reset_all_ask_fn hook) {
    reset_all_ask_hook = hook;
}
void set_end_game_hook(end_game_fn hook) {
    end_game_hook = hook;
}

void set_window_command_hook(window_command_fn hook) {
    window_hook = hook;
}

int enter_setup_mode(int) {
    if (!cur_model_symbols) return 0;
    if (!ensure_setup_copy(0)) return 0;
    sim_phase = phase_setup;
    return 1;
}

int sim_control_command(int id, int p1, int p2) {
    switch (id) {
    case sc_setup:
        return enter_setup_mode(0);
    case sc_simulate:
        return run(game_state ? rc_game : rc_simulate, p1, p2);
    case sc_stop:
        if (sim_phase < phase_initialising) return 0;
        stop_request = 1;
        return 1;
    case sc_start_game:
        return run(rc_game, p1, p2);
    case sc_continue_game:
        return game_state ? run(rc_game, p1, p2) : 0;
    case sc_game_back:
        return game_state ? run(rc_game_back, p1, p2) : 0;
    case sc_end_game:
        if (!game_state) return 0;
        // Without the shell's hook the engine ends the game itself: clearing
        // only the state byte would leave the session (its run and gauges)
        // alive, still in progress, while the command said it had ended.
        if (end_game_hook)
            end_game_hook();
        else
            end_game();
        return 1;
    case sc_plausitest:
        return run(rc_plausitest, p1, p2);
    case sc_toolbar_run:
        return run(rc_toolbar, p1, p2);
    case sc_livesweep:
        if (livesweep_state == ls_on) {
            // Livesweep off: the working copies stay for the next set-up.
            leave_livesweep();
            return 1;
        }
        return run(rc_livesweep, p1, p2);
    case sc_reset_all:
        // Every on-screen change goes; Livesweep shows the model as it is.
        if (!setup_copies()) return 0;
        // Overrides in force hold values a reset would not bring back: they
        // end first, when the user agrees.
        if ((override_flags & 1) && reset_all_ask_hook) {
            if (!reset_all_ask_hook()) return 0;
            sim_control_command(sc_overrides_off, 0, 0);
        }
        clear_setup();
        if (livesweep_state == ls_on || sim_phase == phase_setup) {
            // The mode goes on over fresh copies of the model's values.
            if (!ensure_setup_copy(0)) {
                report(8, "Reset all not available on incomplete model");
                return 0;
            }
            if (livesweep_state == ls_on) livesweep_rerun(0, 2, 0);
        }
        return 1;
    case sc_pick_run_name:
    case sc_pick_method:
    case sc_read_changes:
    case sc_write_changes:
    case sc_reset_slider:
    case sc_save_run_as:
        return window_hook ? window_hook(id, p1, p2) : 0;
    case sc_overrides_off:
        if (overrides_hook)
            overrides_hook();
        else
            override_flags = 0;
        return 1;
    default:
        return 0;
    }
}

int post_sim_command(int code) {
    if (!post_hook) return 0;
    switch (code) {
    case 0:
        post_hook(sc_setup);
        return 1;
    case 1:
        post_hook(game_state ? sc_continue_game : sc_simulate);
        return 1;
    case 3:
        post_hook(sc_livesweep);
        return 1;
    default:
        return 0;
    }
}
