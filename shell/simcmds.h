// The simulation-control commands that need the program's windows: choosing
// the next run's name and the integration technique, reading and writing
// changes files, putting the current slider back, saving the Livesweep run
// to a run file; and the game's toolbar texts (its time and the amount to
// move). Installed as the engine's window-command hook by the run driver.
#pragma once

#include "platform/win.h"

#include <string>
#include <vector>

// The commands of the engine's window-command hook (see sim/control.h) but
// the changes-file ones, which the wiring hands to shell/changescmd.h.
int shell_sim_window_command(int id, int parameter1, int parameter2);

// The run names the run-name chooser offers: the run files (".kdf") in the
// folder where runs are written, without the extension, sorted (no case).
std::vector<std::string> run_names_on_disk();
// The names of the integration techniques, in run_setup::method order.
const char* method_name(int method);

// Shows the game's time in the toolbar (the table's "Game time" without a
// game) and the interval in the amount-to-move field.
void show_game_time();
// Takes the amount-to-move field as the game interval: empty or unchanged
// keeps it; a positive number becomes it. false (after a message naming the
// field) for anything else.
bool take_game_amount();
// The amount-to-move field (null: no toolbar).
HWND game_amount_field();
