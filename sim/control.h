// The simulation-control commands: the ids of the Simulate, Setup, Stop, game,
// Plausitest, toolbar-run and Livesweep commands, their dispatch to the run
// driver (a hook the shell fills) and the posting of a command to the main
// window (another hook).
#pragma once

// Command ids of sim_control_command.
enum sim_command_id : int {
    sc_setup = 629,    // enter simulation set-up
    sc_simulate = 630, // simulate (continue a game while one runs)
    sc_stop = 631,     // stop the running simulation (the break flag)
    sc_end_game = 632, // the program's own: ends a game without a question
    sc_start_game = 633,
    sc_pick_run_name = 634, // choose the next run's name among the run files
    sc_continue_game = 638, // Move Forward
    sc_game_back = 639,     // Move Backward: the game goes back one interval
    sc_plausitest = 640,
    sc_toolbar_run = 641,
    sc_pick_method = 643, // choose the integration technique
    sc_livesweep = 645,   // Livesweep on or off
    sc_read_changes = 646,
    sc_overrides_off = 648, // switch the input overrides off
    sc_write_changes = 647,
    sc_reset_slider = 649, // the current slider back to the model's value
    sc_reset_all = 650,    // every constant and lookup back to the model's
    sc_save_run_as = 651,  // Livesweep: write the run shown to a run file
};

// Ids the run driver (run_command) is called with.
enum run_command_id : int {
    rc_simulate = 500,
    rc_optimise = 534,
    rc_toolbar = 538,
    rc_game = 539,
    rc_livesweep = 542,
    rc_plausitest = 573,
    rc_game_back = 639,
};

// The run driver of the shell: run_command(id, setup argument, keep-mode
// flag, result out); 1 when a run was made and loaded.
using run_command_fn = int (*)(int id, int setup_argument, int keep_mode, int* result);
void set_run_command_hook(run_command_fn hook);
// Posts a menu command to the main window (the shell's PostMessage).
using post_command_fn = void (*)(int id);
void set_post_command_hook(post_command_fn hook);
// Called for sc_overrides_off (the sketch switches its overrides off); null:
// the engine clears override_flags itself.
using overrides_off_fn = void (*)();
void set_overrides_off_hook(overrides_off_fn hook);
// Asked before Reset all while input overrides are in force: true when the
// user agrees to switch them off (the sketch asks); null: Reset all goes on.
using reset_all_ask_fn = bool (*)();
void set_reset_all_ask_hook(reset_all_ask_fn hook);
// Called to end a game (the shell installs end_game); null: the engine's
// end_game ends it.
using end_game_fn = void (*)();
void set_end_game_hook(end_game_fn hook);

// Serves the commands that need the shell's windows (a choice, a file name,
// the current slider): 634, 643, 646, 647, 649 and 651; it answers as
// sim_control_command does.
using window_command_fn = int (*)(int id, int parameter1, int parameter2);
void set_window_command_hook(window_command_fn hook);

// Runs a simulation-control command. The run driver's result for the run
// commands; 1 when a state command was carried out; 0 when refused or when
// the id is not served.
int sim_control_command(int id, int parameter1, int parameter2);
// Posts a simulation-control action to the main window: 0 set-up (629),
// 1 simulate (630), or continue the game (638) while a game runs, 3 Livesweep
// on or off (645). 1 when posted; 0 for another code or without a hook.
int post_sim_command(int code);
// Enters simulation set-up: the setup copies are made when missing and
// sim_phase becomes 2. 0 when refused (no model, errors in the model).
int enter_setup_mode(int unused);
