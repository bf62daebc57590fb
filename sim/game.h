// Gaming: a run advances interval by interval; between intervals the player
// changes constants and game inputs in the setup copies, and each interval
// ends with the run file written again (complete up to that time). Game
// variables (type 19) are computed in the initial pass only and then hold the
// player's decisions.
#pragma once

#include "foundation/types.h"
#include "sim/runtypes.h"

// The gauge rows of the game window (a table the game's dialog fills: handle
// and row count); end_game frees them.
extern handle game_gauges;
extern int game_gauge_count;

// The interval set by the game's dialog (0: the model's GAME INTERVAL
// constant, else SAVEPER).
extern double game_interval;

// Starts a game: the initial pass and the first interval; the run file is
// written. The run's result (sim_done when the interval was run).
int start_game(const sim_options& options);
// Runs the next interval with the changes of the setup copies put in; the
// game ends by itself after the last step. The run's result.
int continue_game();
// Moves the game back by its last interval: the game is made again from its
// start with the decisions of every earlier interval, and the run file is
// written again up to that time. sim_refused at the first interval's end
// (nothing to go back to) or without a game; the run's result otherwise.
int game_back();
// The time the game stands at (0 without a game).
double game_time();
// Ends the game and frees its run; game_state becomes 0. Called while an
// interval runs (from the pump), the game ends when the interval does.
void end_game();
// The game interval in units of time (see game_interval).
double read_game_interval(int argument);
// Whether a game is in progress (between start_game and end_game).
bool game_in_progress();
// The run the game in progress writes: the run name it was started under and
// its run file (status sim_refused; empty names when no game is in progress).
run_result game_run();
