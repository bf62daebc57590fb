// Templates of the simulation dialogs: Constant Changes (also Gaming Changes
// during a game, with the game inputs listed first), Lookup Changes (a lookup's
// points as a table, one point a line), the game window and the Plausitest
// results.
#pragma once

enum : int {
    dlg_constant_changes = 400,
    dlg_lookup_changes = 401,
    dlg_game = 402, // the game window (modeless)
    dlg_plausitest = 403,
    dlg_sim_pause = 404,
};

// Control ids.
enum : int {
    ids_list = 1740,          // list box: the elements ("* " before a changed one)
    ids_value = 1741,         // edit: the chosen element's value
    ids_set = 1742,           // button: takes the typed value for the chosen element
    ids_model_value = 1743,   // static: the model's own value of the chosen element
    ids_reset = 1744,         // button: the chosen element back to the model's value
    ids_note = 1745,          // static: what the dialog changes
    ids_lookup = 1750,        // combo box (drop-down list): the lookups
    ids_points = 1751,        // multi-line edit: "x, y" a line
    ids_graph = 1758,         // button: the lookup editor for the lookup shown
    ids_game_time = 656,      // static: "Time=%g"
    ids_game_interval = 1752, // edit: the amount of time a move covers
    ids_game_forward = 1753,
    ids_game_back = 1754,
    ids_game_end = 1755,
    ids_pause_text = 1756, // static: where the run is paused
    ids_pause_stop = 1757, // button: stop the run (Continue is IDOK)
    ids_pt_summary = 1760, // static: the Plausitest summary line
    ids_pt_list = 1761,    // list box: one line per behaviour test
};

void register_sim_dialog_templates();
