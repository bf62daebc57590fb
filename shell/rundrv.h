// The run driver: turns a simulation command (Simulate, Run Game, Plausitest,
// Start Livesweep, the toolbar's run button) into one run: checks the model,
// ends a game when asked, names the run and checks its run file, builds the
// run's command-line text, runs the simulation and loads the finished run as
// the first selected run. Installed as the engine's run-command hook.
#pragma once

#include <cstdint>

#include <string>

// 1 when a run was made and loaded (or the request was taken over), 0
// otherwise; *result receives the simulation's result. The modal counter
// (+1000) and busy_depth (+1) are raised for the run and lowered on every way
// out, an unwind included.
int run_command(int id, int setup_argument, int keep_mode, int* result);
// Installs run_command as the engine's run-command hook.
void install_run_driver();

// 1 when the current model can be simulated, else "Model has errors - cannot
// be simulated" (severity 8) and 0.
int model_can_simulate();
// The run's command-line text ("sim  " and the run name, then the switches),
// stored in the model record and returned (scratch memory).
char* sim_command_line();
// Leaves the simulation mode: quiet 0 leaves at once. 1 asks first where
// leaving loses something (Livesweep, a game); 0 when the user refused.
int leave_sim_mode(int ask);
// Whether set-up, a game or Livesweep is on (between runs).
bool in_sim_mode();

// The program-wide "-w" option: when set, the run's command-line text
// carries " -w " (before " -k ").
extern std::uint8_t run_option_w;
// The text of the DDE request being handled (null: none); a request whose
// text begins with "O" or "o" overwrites an existing run file without the
// question. The DDE server installs it.
using dde_pending_fn = const char* (*)();
void set_dde_pending_hook(dde_pending_fn hook);

// The simulation result of the last run_command (tests and the toolbar).
extern int last_run_result;

// The menus of the mode the simulation state calls for (normal, set-up,
// game, Livesweep): each item's state and text, the Stop item as the way
// out of a mode, and the menu bar redrawn.
void set_mode_menus(int mode);
// Shows the mode that is on at once: the menus, the toolbar's items and the
// title (which names the mode and how to leave it).
void show_mode();
