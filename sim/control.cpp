// The simulation-control commands (see control.h).
#include "sim/control.h"

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
void set_end_game_hook(end_game_fn hook) {
    end_game_hook = hook;
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
    case sc_continue_game:
        return run(rc_game, p1, p2);
    case sc_end_game:
        if (!game_state) return 0;
        if (end_game_hook)
            end_game_hook();
        else
            game_state = 0;
        return 1;
    case sc_plausitest:
        return run(rc_plausitest, p1, p2);
    case sc_toolbar_run:
        return run(rc_toolbar, p1, p2);
    case sc_livesweep:
        if (livesweep_state == 2) {
            // Livesweep off: the working copies stay for the next set-up.
            leave_livesweep();
            return 1;
        }
        return run(rc_livesweep, p1, p2);
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
