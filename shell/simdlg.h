// The simulation dialogs: Constant Changes (Gaming Changes during a game),
// Lookup Changes and the Plausitest results. The change dialogs edit the
// set-up copies: a typed value is checked by the changes files' own number
// parser, a bad one is refused with its field focused, and nothing reaches
// the copies until OK, when every change is taken at once.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <string>
#include <vector>

struct sim_output;

// Opens Constant Changes for the open model (Gaming Changes during a game,
// its game inputs listed with the constants), the element of symbol chosen
// (0: the first). Outside a game or Livesweep it enters set-up first. Non-zero
// when the dialog opened; it returns after OK or Cancel.
int constant_changes_dialog(std::uint32_t symbol);
// Opens Lookup Changes on a lookup of the open model (0: the first); refused
// during a game. Non-zero when the dialog opened.
int lookup_changes_dialog(std::uint32_t symbol);

// The game window: opened when a game starts, it shows "Time=%g" (field
// 656), the game inputs (in a model without any, its constants) with the
// decision for the next move, the interval a move covers, and the moves
// (Forward, Backward, End Game). Its rows are the game's gauge rows, which
// end_game frees: a game that ends empties it and hides it.
// show_game_window opens it or brings it up to date; close_game_window hides
// it (it is destroyed on the next opening or at shutdown).
void show_game_window();
void close_game_window();
// The window while it is open (null when closed).
HWND game_window();
// Brings the open game window forward and makes it the active window.
void activate_game_window();
// Takes the game window's typed decision and interval before a move: false
// after a message with the bad field focused.
bool take_game_window_fields();
// Destroys the window (shutdown).
void destroy_game_window();

// One behaviour test as the Plausitest dialog lists it.
struct plausitest_line {
    std::string element;
    bool held = true;
    double first_time = 0;
    long count = 0;
};
// Keeps the results of the Plausitest run that just ended (the engine's
// Plausitest hook); show_plausitest_dialog shows them.
void keep_plausitest_results(const sim_output& results);
// The kept results (tests) and their number of checks.
const std::vector<plausitest_line>& plausitest_lines(long* checks);
// Shows the Plausitest dialog: a summary line and one line per behaviour
// test, held or violated with the time of its first violation.
void show_plausitest_dialog();

// The SIMULATION PAUSE question as a dialog: the time the run is paused at,
// Continue (Enter) or Stop (Escape too, as Escape stops a run). 1 to stop.
int sim_pause_dialog(double time);
