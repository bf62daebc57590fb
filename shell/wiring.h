// The one place where start-up connects the engine, the run readers and the
// shell: every hook the core subsystems leave for the windowed program is set
// here (install_program_hooks, called once by init_and_run before the main
// window exists; the hooks look main_wnd up when they run). The model
// open/close points of the value cache are model_opened / model_closing,
// called by shell_open_model and shutdown_ui.
#pragma once

#include <cstdint>

struct sim_output;

// Installs every hook (idempotent: each is a plain pointer set again):
//  reporter message display (show_message), password prompt
//           (ask_model_password_dialog);
//  engine   pump (work-in-progress window, wip_install_sim_hooks), SIMULATION
//           PAUSE, run command (install_run_driver), posted commands,
//           Livesweep timer / window message / refresh, Plausitest results,
//           the data-source reader over the run files;
//  runs     value cache Livesweep save step, delay-state sink, run-file
//           delete hook, runs-changed refresh of the title and bottom bar,
//           the cache-reset sketch redraw.
void install_program_hooks();

// The value cache around a model's life: made when a model opens, dropped
// before it closes.
void model_opened();
void model_closing();

// The hooks themselves (tests call them directly).
int shell_sim_pause(double time);
void shell_post_command(int id);
void shell_livesweep_timer(int timer_id, int ms);
void shell_window_message(std::uint32_t window, int message);
void shell_livesweep_refresh(int phase);
// What else shows the value cache in Livesweep (the graphs install it): told
// before each re-run (0), once the cache is reset, so that it reads the
// series it shows (the re-run then writes into them from its first save
// on), and after the re-run (1) to redraw. Unset: nothing more.
extern void (*livesweep_output_hook)(int phase);
void shell_plausitest_results(const sim_output& results);
void shell_runs_changed();
// The engine's window-command hook: the changes-file commands (646, 647) and
// the others of shell/simcmds.h.
int shell_window_command(int id, int parameter1, int parameter2);
