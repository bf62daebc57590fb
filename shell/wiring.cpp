// Start-up wiring of the core hooks (see wiring.h).
#include "shell/wiring.h"

#include "foundation/names.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/subpanel.h"
#include "runs/cache.h"
#include "runs/readback.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "runs/simdata_adapter.h"
#include "shell/changescmd.h"
#include "shell/controlpanel.h"
#include "shell/datasets.h"
#include "shell/dialogs.h"
#include "shell/modelsettings.h"
#include "shell/msgbox.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/password.h"
#include "shell/rundrv.h"
#include "shell/simcmds.h"
#include "shell/simdlg.h"
#include "shell/state.h"
#include "shell/subpanel_wnd.h"
#include "shell/title.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/run.h"
#include "sim/setup.h"
#include "sim/simdata.h"

namespace {

bool main_window_alive() {
    return main_wnd && IsWindow(main_wnd);
}

} // namespace

int shell_sim_pause(double time) {
    // Stop ends the run; the engine then asks whether to keep its results.
    return sim_pause_dialog(time);
}

void shell_post_command(int id) {
    if (main_window_alive()) PostMessage(main_wnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

void shell_livesweep_timer(int timer_id, int ms) {
    if (!main_window_alive()) return;
    if (ms > 0)
        SetTimer(main_wnd, static_cast<UINT_PTR>(timer_id), static_cast<UINT>(ms), nullptr);
    else
        KillTimer(main_wnd, static_cast<UINT_PTR>(timer_id));
}

void shell_window_message(std::uint32_t window, int message) {
    HWND w = handle_from_token<HWND>(window);
    if (w && IsWindow(w)) SendMessage(w, static_cast<UINT>(message), 0, 0);
}

void (*livesweep_output_hook)(int phase) = nullptr;

void shell_livesweep_refresh(int phase) {
    // Before a re-run the shown run's arrays are kept: the re-run writes its
    // values over them from the first point on (its initial values may have
    // changed too). Dropping them here left the re-run nothing to write into, so the
    // sketch and the graphs went on showing the old run. Only a cache that
    // does not show a run yet is prepared afresh.
    if (phase == 0 && (!value_cache_exists() || shown_run_slot() < 0))
        reset_value_cache(shown_run_slot(), 0, 1);
    else if (phase != 0)
        refresh_sketch_values();
    if (livesweep_output_hook) livesweep_output_hook(phase);
    if (phase == 0) set_cache_points_counter(0);
}

void shell_plausitest_results(const sim_output& results) {
    // The dialog shows every behaviour test once the run is over (not while
    // it runs); each violation also goes to the message list.
    keep_plausitest_results(results);
    if (results.violations.empty()) {
        report(5, "Plausitest: every constraint held (%ld checks)", results.constraint_checks);
        return;
    }
    report(5, "Plausitest: %zu constraint(s) violated", results.violations.size());
    for (const constraint_violation& v : results.violations)
        report(5, "Plausitest: %s failed %ld time(s), first at time %s", v.element.c_str(), v.count,
               format_number(v.first_time, 0, nullptr));
}

int shell_window_command(int id, int p1, int p2) {
    switch (id) {
    case sc_read_changes:
        return read_additional_changes();
    case sc_write_changes:
        return write_changes_command();
    default:
        return shell_sim_window_command(id, p1, p2);
    }
}

void shell_runs_changed() {
    set_main_title(nullptr);
    set_bottom_text(model_is_open() ? current_model_name() : "");
    refresh_time_axis();
    refresh_datasets_page();
    refresh_loaded_runs_list();
}

namespace {
// Set once the shell has closed what belongs to the open model, until a model
// is opened: the model store's close hook then finds nothing left to do.
bool model_closed_here = false;

// A new subscript selection: the locked tools show it, and the diagram's
// sliders move to the elements it picks.
void subscript_selection_changed() {
    rerun_locked_tools();
    refresh_sketch_values();
}

void model_being_replaced(handle, handle) {
    model_closing();
}
} // namespace

void model_opened() {
    model_closed_here = false;
    if (model_is_open()) reset_value_cache(-1, 1, 1);
    refresh_time_axis();
    if (graph_set_slots.model_opened) graph_set_slots.model_opened();
    fill_graph_list(); // the new model's custom graphs
    // The Datasets page, shown or only hidden with the panel, lists the new
    // model's runs and folder, never the closed model's.
    refresh_datasets_page();
    refresh_loaded_runs_list();
}

void model_closing() {
    if (model_closed_here) return;
    model_closed_here = true;
    // A game runs over the model it was started with: it ends with it.
    if (game_in_progress()) end_game();
    close_game_window(); // its rows were the game's
    release_run_storage();
    reset_value_cache(-1, 2, 1);
}

void install_program_hooks() {
    // Reporter: every message and question is shown by the shell; a protected
    // model asks for its password in a dialog.
    set_message_hook(show_message);
    set_password_hook(ask_model_password_dialog);
    // The palette follows the tool set it shows.
    toolset_changed_hook = palette_toolset_changed;

    // Model store: the Subscript Control window over the selection logic; a
    // change of the selection re-runs the locked tools, as a new workbench
    // variable does, and the diagram's objects follow it; a model replaced on any road closes its
    // game, run storage and value cache (once: the Open road has done it already).
    install_subscript_panel_window();
    set_subscript_change_hook(subscript_selection_changed);
    set_close_model_hook(model_being_replaced);

    // Control Panel: its save command.
    set_panel_save_hook(save_model_and_settings);

    // Engine.
    wip_install_sim_hooks(); // the pump: work-in-progress window + pump_messages
    set_sim_pause_hook(shell_sim_pause);
    install_run_driver(); // the run-command hook
    set_end_game_hook(end_game);
    // Dialogs too large for the screen offer the font dialog.
    set_fallback_font_chooser(choose_font);
    set_window_command_hook(shell_window_command);
    set_post_command_hook(shell_post_command);
    set_livesweep_timer_hook(shell_livesweep_timer);
    set_window_message_hook(shell_window_message);
    set_livesweep_refresh_hook(shell_livesweep_refresh);
    set_plausitest_hook(shell_plausitest_results);
    install_run_data_source_reader();
    // Run readers.
    install_cache_livesweep_hook();
    set_delay_state_sink(accept_run_delays);
    install_run_delete_hook();
    set_runs_changed_hook(shell_runs_changed);
    set_cache_refresh_hook(refresh_sketch_values);
}
