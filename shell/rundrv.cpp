// The run driver (see rundrv.h).
#include "shell/rundrv.h"

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/constants.h"
#include "model/context.h"
#include "model/model.h"
#include "model/trees.h"
#include "platform/menu.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/dialogs.h"
#include "shell/filechoice.h"
#include "shell/menustate.h"
#include "shell/msgbox.h"
#include "shell/pump.h"
#include "shell/simcmds.h"
#include "shell/simdlg.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/currentrun.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/run.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <string>

int last_run_result = 0;
std::uint8_t run_option_w = 0;

namespace {
dde_pending_fn dde_pending = nullptr;
} // namespace

void set_dde_pending_hook(dde_pending_fn hook) {
    dde_pending = hook;
}

namespace {

// The counters a run raises: the modal counter by 1000 and busy_depth by 1.
// They come down exactly once: when after_run takes the run over, or on any
// other way out of run_command (a Livesweep re-run, a refusal, an unwind).
class run_counters {
public:
    run_counters() = default;
    ~run_counters() { lower(); }
    run_counters(const run_counters&) = delete;
    run_counters& operator=(const run_counters&) = delete;
    void raise() {
        if (raised_) return;
        modal_count += 1000;
        ++busy_depth;
        raised_ = true;
    }
    void lower() {
        if (!raised_) return;
        modal_count -= 1000;
        --busy_depth;
        raised_ = false;
        // A run that ends by an unwind leaves no panel or collecting error
        // window behind either.
        wip_message(0, nullptr);
        err_window_on = 0;
    }

private:
    bool raised_ = false;
};

const char* setup_text(std::uint32_t cell) {
    const char* t = ctx_text(model_rec, cell);
    return t ? t : "";
}

// The current run name: the run setup's, else the last run's, else "Current".
std::string run_name() {
    const char* n = setup_text(model_rec->setup.run_name);
    if (!*n) n = run_name_or_current(model_rec);
    return n ? n : "Current";
}

// A run request while Livesweep is on: the engine's re-run (from the initial
// state with the setup copies, into the value cache's shown-run arrays),
// deferred by the engine while another re-run is busy. No run file is loaded:
// the values reach the graphs and sketch through the cache.
int livesweep_rerun_now(int* result) {
    run_counters counters;
    counters.raise();
    int accepted = livesweep_rerun(0, 2, 0);
    if (result) *result = accepted ? sim_done : sim_refused;
    if (accepted) last_run_result = sim_done;
    return accepted ? 1 : 0;
}

// The selected run whose values the re-runs replace on the sketch and in the
// graphs: the run of the name being made when it is selected, else the first
// selected run. With no run loaded at all (Livesweep straight after opening a
// model) the re-runs would have nothing to stand in for and nothing would
// show: the run of the present values is made first under the run name being
// made, written and loaded as a plain Simulate makes it (asking the same
// question about an existing run file), and shown. When that run is not made
// (the user keeps the existing file, or it cannot be written) false: the mode
// must not start, since it would have nothing to show.
bool choose_livesweep_run() {
    if (!model_rec) return false;
    if (model_rec->run_count <= 0) {
        char* name = scratch_strdup(run_name_or_current(model_rec));
        if (check_dataset_name(&name, 0) < 0) {
            report(6,
                   "Livesweep was not started: it needs a run to show, and %s was kept. Give "
                   "the run another name or load a run, then start Livesweep again.",
                   dataset_path(set_extension(name, fk_run, 1)));
            return false;
        }
        const std::string file = dataset_path(set_extension(name, fk_run, 1));
        const std::string run = set_extension(file_name_part(name), fk_none, 1);
        const int r = livesweep_write_run(file.c_str(), run.c_str());
        if (!sim_result_written(r)) {
            if (r != sim_write_failed) report(8, "Problems encountered in the simulation");
            report(6, "Livesweep was not started: the run it shows could not be made.");
            return false;
        }
        if (!load_runs(model_rec, 1, file.c_str(), 0, 0) || model_rec->run_count <= 0) {
            report(6, "Livesweep was not started: the run it shows could not be loaded from %s.",
                   file.c_str());
            return false;
        }
        refresh_sketch_values();
        reset_item_pool();
    }
    int slot = model_rec->run_count > 0 ? 0 : -1;
    const int made = find_run(dataset_path(run_name_or_current(model_rec)));
    for (int k = 0; made >= 0 && k < model_rec->run_count && k < max_selected_runs; ++k)
        if (model_rec->runs[k].run == made) {
            slot = k;
            break;
        }
    reset_value_cache(slot, 0, 0);
    return true;
}

// Whether the open model has a behaviour-test constraint.
bool model_has_constraints() {
    if (!lock_model(0)) return false;
    bool found = false;
    for (int i = 0; i < model_alpha_count && !found; ++i)
        found = sym(model_alpha[i])->type == st_constraint;
    unlock_model(0);
    return found;
}

// Steps 1 to 10 of a run request; step 11 (the run itself) is done by
// run_command under its counters. -1 refused, 0 nothing run, 1 ready to run.
int prepare_run(int id, int argument, std::uint8_t& old_phase, std::string& checked_name) {
    const bool game_step = id == rc_game || id == rc_game_back;
    // 1. A game in progress ends first (when the user agrees).
    if (game_state && !game_step) {
        if (game_window_open && !ask_yes_no("Do you want to end the current game??")) {
            // The game goes on: the player is taken back to its window.
            activate_game_window();
            return -1;
        }
        sim_control_command(sc_end_game, 0, 0);
    }
    // 2.
    if (!model_can_simulate()) return -1;
    // A Plausitest of a model without behaviour tests would write a run that
    // checks nothing: say so before asking about its run file.
    if (id == rc_plausitest && !model_has_constraints()) {
        report(6, "The model has no behaviour tests (constraints) to check.");
        return -1;
    }
    // The game's own steps go on in the run file the game started with.
    const bool continuing = game_step && game_in_progress();
    if (id == rc_game_back && !continuing) return -1;
    if (continuing && id == rc_game && !take_game_amount()) return -1;
    // 3. The run's flags and kind.
    model_rec->run_optimise = id == rc_optimise ? 1 : 0;
    model_rec->run_toolbar = id == rc_toolbar ? 1 : 0;
    override_flags = 0;
    run_kind = game_step             ? rk_game
               : id == rc_plausitest ? rk_plausitest
               : id == rc_livesweep  ? rk_livesweep
                                     : rk_ordinary;
    // 4. The setup copies.
    old_phase = sim_phase;
    sim_phase = phase_preparing;
    if (!ensure_setup_copy(argument)) {
        sim_phase = old_phase == phase_setup ? phase_setup : phase_idle;
        return -1;
    }
    // 5. The run name and its run file. Nothing is written on entering
    // Livesweep, and a game's next step writes on into its own file: neither
    // asks about overwriting.
    std::string name = continuing ? game_run().run_name : run_name();
    char* slot = scratch_strdup(name.c_str());
    const bool writes_now = !continuing && !(id == rc_livesweep && livesweep_state != ls_on);
    // A DDE request that says "O" (overwrite) has answered the question.
    const char* request = dde_pending ? dde_pending() : nullptr;
    const bool dde_overwrite = request && (request[0] == 'O' || request[0] == 'o');
    if (check_dataset_name(&slot, writes_now && !dde_overwrite ? 0 : 1) < 0) {
        sim_phase = old_phase;
        return -1;
    }
    // 6.
    checked_name = set_extension(slot, fk_run, 1);
    model_rec->setup.run_name =
        ctx_set_text(model_rec, model_rec->setup.run_name, checked_name.c_str());
    // 7.
    sim_command_line();
    // 8. The toolbar names the run being made.
    if (shell_opts.toolbar) apply_run_name(1);
    // 9. Livesweep: the first request enters the mode (the engine compiles
    // the model once for the re-runs).
    if (id == rc_livesweep && livesweep_state != ls_on) {
        if (!enter_livesweep(0)) {
            sim_phase = old_phase;
            return -1;
        }
        if (!choose_livesweep_run()) {
            leave_livesweep();
            sim_phase = old_phase == phase_setup ? phase_setup : phase_idle;
            return -1;
        }
        last_run_result = sim_done;
        return 0;
    }
    // 10.
    return 1;
}

// The after-run steps; the counters were lowered by the caller. The run file
// the engine wrote is loaded. 1 when the run was loaded. told: the failed
// writes reported before the run.
int after_run(int id, const run_result& run, unsigned long told) {
    int result = run.status;
    wip_message(0, nullptr);
    err_window_on = 0;
    if (result == sim_given_up) return 0;
    // A run stopped by the user with its results kept (2) is what the user
    // asked for: it is loaded like a finished run. A run ended by an error
    // (3) was written as far as it got and replaced the old run file of that
    // name: it is loaded too, so the runs shown match the files on disk, and
    // the problem is reported. A run whose file could not be written (4)
    // loads nothing; the writer named the file and the system's reason, and
    // only a writer that said nothing is made up for here.
    if (result == sim_write_failed && write_failures_reported() == told)
        report_write_failure(run.run_file.c_str(), 0, "the run file");
    else if (result > 1 && result != sim_stopped_saved && result != sim_write_failed)
        report(8, "Problems encountered in the simulation");
    if (!run.written()) return 0;
    const char* file = run.run_file.c_str();
    int loaded;
    if (id == rc_game || id == rc_game_back) {
        // The last interval ended the game: nothing waits for decisions.
        if (game_in_progress()) game_state = 4;
        loaded = load_runs(model_rec, 1, file, 0, 0);
    } else {
        loaded = load_runs(model_rec, (id == rc_simulate || id == rc_toolbar) ? 1 : 0, file, 0, 0);
    }
    // 6. What shows runs: the Datasets page follows the run list (its
    // runs-changed hook), the sketch's input and output objects, the item
    // pool of the model text.
    refresh_sketch_values();
    reset_item_pool();
    return loaded ? 1 : 0;
}

} // namespace

int model_can_simulate() {
    if (!model_is_open() || (get_header_word(cur_model_symbols, mh_flags) & mfl_has_errors)) {
        report(8, "Model has errors - cannot be simulated");
        return 0;
    }
    return 1;
}

char* sim_command_line() {
    if (!model_rec) return scratch_strdup("");
    const run_setup& s = model_rec->setup;
    std::string t = "sim  " + std::string(setup_text(s.run_name));
    auto part = [&](const char* sw, std::uint32_t cell) {
        const char* v = setup_text(cell);
        if (*v) t += std::string(sw) + v;
    };
    if (s.i_flag) t += " -I";
    part(" -c ", s.changes);
    if (model_rec->run_optimise) t += std::string(" -o ") + setup_text(s.opt_file);
    part(" -p ", s.payoff);
    if (s.r_flag) t += " -r ";
    part(" -d ", s.data_sources);
    part(" -a ", s.a_text);
    part(" -b ", s.b_text);
    part(s.s_over_b ? " -s " : " -b ", s.sens);
    if (run_option_w) t += " -w ";
    if (s.k_flag) t += " -k ";
    model_rec->run_command = ctx_set_text(model_rec, model_rec->run_command, t.c_str());
    return scratch_strdup(t.c_str());
}

bool in_sim_mode() {
    return livesweep_state == ls_on || game_state || sim_phase == phase_setup ||
           sim_phase == phase_livesweep_ready;
}

int leave_sim_mode(int ask) {
    // 1. The run-name field no longer names the next run.
    apply_run_name(0);
    bool livesweep = livesweep_state == ls_on;
    bool in_mode =
        livesweep || game_state || sim_phase == phase_setup || sim_phase == phase_livesweep_ready;
    // 2. Leaving loses something: ask first.
    // Set-up with changes no run has taken asks whether to keep them for
    // the next run (Cancel stays in set-up).
    bool discard_setup = true;
    if (in_mode && ask && !livesweep && !game_state && setup_has_changes()) {
        int keep = ask_yes_no_cancel("The changes made in simulation setup have not been used by "
                                     "a run yet.\nKeep them for the next run?");
        if (keep < 0) {
            if (build_wnd && IsWindow(build_wnd)) activate_window(build_wnd, 0, 0);
            return 0;
        }
        discard_setup = keep == 0;
    } else if (in_mode && ask) {
        bool yes = livesweep    ? ask_yes_no("Do you want to leave Livesweep mode?")
                   : game_state ? ask_yes_no("Do you want to end the game?")
                                : ask_yes_no("Do you want to stop simulation setup?");
        if (!yes) {
            if (build_wnd && IsWindow(build_wnd)) activate_window(build_wnd, 0, 0);
            return 0;
        }
    }
    if (game_state && !ask) return 1; // a game continues between its intervals
    // 3. Livesweep ends with a last run, written to the run file this time
    // (the re-runs wrote none) and loaded; its name becomes the last run's.
    if (livesweep && ask) {
        sim_control_command(sc_livesweep, 0, 0);
        int result = 0;
        run_command(rc_simulate, 0, 1, &result);
        if (model_rec && sim_result_written(result)) {
            std::string name = set_extension(run_name().c_str(), fk_run, 1);
            model_rec->last_run_name =
                ctx_set_text(model_rec, model_rec->last_run_name, name.c_str());
        }
    }
    // 4. Back to normal: the phase and the set-up, the toolbar, a game.
    bool leaving_setup = sim_phase == phase_setup || sim_phase == phase_livesweep_ready;
    if (livesweep_state != ls_on && sim_phase < phase_initialising) sim_phase = phase_idle;
    if (leaving_setup && ask && discard_setup) clear_setup();
    if (game_state) sim_control_command(sc_end_game, 0, 0);
    show_sim_controls(tm_normal);
    apply_run_name(0); // the last Livesweep run named itself there
    show_game_time();
    // The modes' own texts leave the bottom bar: the active window's items
    // come back (a quiet leave after an ordinary run left no mode). The
    // diagram follows too: a run from set-up refreshed its sliders while the
    // mode still held, and they would stay bound to their constants.
    if (in_mode) {
        restore_bottom_bar();
        refresh_sketch_values();
    }
    set_main_title(nullptr); // the title no longer names the mode
    return 1;
}

int run_command(int id, int setup_argument, int keep_mode, int* result) {
    if (result) *result = 0;
    if (!model_is_open()) return 0;
    if (livesweep_state == ls_on) return livesweep_rerun_now(result);
    run_counters counters;
    std::uint8_t old_phase = sim_phase;
    // However the run ends, the phase it was prepared in is not left behind.
    struct phase_restore {
        std::uint8_t& old;
        ~phase_restore() {
            if (sim_phase == phase_preparing) sim_phase = old;
        }
    } restore_phase{old_phase};
    std::string name;
    int prepared = prepare_run(id, setup_argument, old_phase, name);
    if (prepared < 1) {
        if (sim_phase == phase_idle || sim_phase == phase_preparing) {
            sim_phase = phase_idle;
            leave_sim_mode(0);
        }
        err_window_on = 0;
        return prepared < 0 ? 0 : 1;
    }
    // 11. The run, with the counters raised for the whole of it.
    if (id == rc_game && !game_in_progress()) game_state = 1;
    err_window_on = -1;
    // The error window is titled by the run it collects for.
    set_error_title(file_name_part(set_extension(name.c_str(), fk_none, 1)));
    counters.raise();
    wip_message(-1, "Simulating %s", file_name_part(set_extension(name.c_str(), fk_none, 1)));
    unsigned long told = write_failures_reported();
    keep_plausitest_results(sim_output{});
    run_result run;
    if (id == rc_game_back) {
        run = game_run();
        run.status = game_back();
    } else {
        run = run_simulation(&model_rec->setup);
    }
    last_run_result = run.status;
    if (result) *result = run.status;
    counters.lower();
    if (sim_phase == phase_preparing) sim_phase = old_phase;
    int loaded = after_run(id, run, told);
    if (id == rc_game || id == rc_game_back) show_game_time();
    // The behaviour tests and their results, once the run is over.
    if (id == rc_plausitest && sim_result_written(run.status)) show_plausitest_dialog();
    if (!game_state && !keep_mode) leave_sim_mode(0);
    return loaded > 0 ? 1 : 0;
}

void install_run_driver() {
    set_run_command_hook(run_command);
    set_toolbar_leave_hook(leave_sim_mode);
}

void set_mode_menus(int) {
    // The items follow the engine's state bytes, which say more than the
    // mode number (a game waiting, Livesweep entering).
    update_menu_states();
    if (main_wnd && main_menu) DrawMenuBar(main_wnd);
}

void show_mode() {
    toolbar_follow_mode();
    set_mode_menus(toolbar_mode());
    set_main_title(nullptr);
    // The sketch follows the mode: Livesweep's sliders and behaviour graphs
    // come and go with it.
    refresh_sketch_values();
}
