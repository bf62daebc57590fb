// The keys a sketch view acts on: each is a command posted to its frame
// (the sketch's own commands), or one of the simulation actions.
#pragma once

// The frame's commands: previous and next view, close.
enum : int { sketch_cmd_previous_view = 327, sketch_cmd_next_view = 328, sketch_cmd_close = 492 };
// Other commands of the sketch frame that keys post.
enum : int {
    skc_select_all = 315,
    skc_context = 329,  // a right click on empty space: the context actions
    skc_zoom_fit = 371, // View: Fit to Screen
    skc_find = 360,
    skc_find_workbench = 361,
    skc_find_again = 362,
    skc_ctrl_i = 365,
    skc_ctrl_h = 402,
    skc_hide_level = 403,
    skc_hide = 420,
    skc_undo = 424,
    skc_redo = 425,
    skc_show_behavior = 430,
    skc_save = 487,
    skc_print = 488,
    skc_copy = 489,
    skc_paste = 490,
    skc_cut = 491,
    skc_ctrl_t = 531,
    skc_ctrl_u = 532,
};
// Simulation actions, handed to post_sim_command as (value - skc_sim_base).
inline constexpr int skc_sim_base = -100;
// Escape: clear the selection.
inline constexpr int skc_escape = -1;

// The action of a key down: a frame command, skc_escape, a simulation action
// (skc_sim_base + code), or 0 for a key the view does not take.
// level_limit: a level limit is shown (H then shows the hidden levels).
int sketch_key_command(int vk, bool ctrl, bool shift, bool level_limit);
