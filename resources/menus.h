// Menu templates of the workbench, registered with the menu layer by number:
// the main menu (105), the output windows' Edit menu (112) and the changes
// menu (115), and the diagram's Edit (110), View (111) and Layout (114)
// menus.
#pragma once

enum : int { menu_main = 105, menu_output_edit = 112, menu_changes = 115 };
enum : int { menu_sketch_edit = 110, menu_sketch_view = 111, menu_sketch_layout = 114 };
// Position of the depth pop-up in the diagram's View menu.
inline constexpr int sketch_depth_popup = 4;

// Command ids of the main menu (ids from 500 up go to menu_command; lower
// ids belong to the active child window).
enum : int {
    cmd_publish = 433,
    cmd_save = 487,
    cmd_print = 488,
    cmd_copy = 489,
    cmd_paste = 490,
    cmd_cut = 491,
    cmd_close = 492,
    cmd_save_as = 494,
    cmd_simulate = 501,
    cmd_keep_build_behind = 502,
    cmd_close_sketches = 503,
    cmd_pop_build = 504,
    cmd_next_window = 509,
    cmd_about = 518,
    cmd_ignored = 522,
    cmd_new_model = 523,
    cmd_open_model = 524,
    cmd_print_options = 525,
    cmd_exit = 526,
    cmd_options = 529,
    cmd_pop_output = 530,
    cmd_ctrl_t = 531,
    cmd_ctrl_u = 532,
    cmd_build_535 = 535,
    cmd_ctrl_l = 536,
    cmd_toolbar_run = 538,
    cmd_run_game = 539,
    cmd_livesweep = 542,
    cmd_close_all_output = 563,
    cmd_control_panel = 564,
    cmd_error_history = 565,
    cmd_selection_history = 566,
    cmd_subscript_control = 567,
    cmd_output_list = 572,
    cmd_plausitest = 573,
    cmd_release_notes = 574,
    cmd_read_changes = 575,
    cmd_write_changes = 576,
    cmd_stop_simulation = 580,
    cmd_build_582 = 582,
    cmd_build_583 = 583,
    cmd_online_forum = 584,
    cmd_newer_releases = 585,
    cmd_setup = 586,            // Simulation Setup
    cmd_constant_changes = 587, // Constant Changes (Gaming Changes during a game)
    cmd_lookup_changes = 588,
    cmd_model_notes = 591,      // the model settings pages: notes and password,
    cmd_model_display = 592,    // the diagram's display flags,
    cmd_model_references = 593, // the reference datasets
    cmd_units_equivalences = 594,
    cmd_caption_minimise = 595, // the maximised build window's caption buttons
    cmd_caption_restore = 596,
    cmd_instructions = 599,
};
// The Tools menu: one item per tool of the palette's row, in order, each
// running its tool as a click on its button does (Ctrl+1 .. Ctrl+0 are the
// first ten items' shortcuts).
inline constexpr int cmd_tool_first = 900;
inline constexpr int tool_menu_most = 64;

// Positions of the main menu's pop-ups.
enum : int {
    popup_file = 0,
    popup_view = 1,
    popup_edit = 2,
    popup_insert = 3,
    popup_model = 4,
    popup_options = 5,
    popup_windows = 6,
    popup_tools = 7,
    popup_help = 8,
};

// Registers the templates (again after the registry was cleared).
void register_menu_templates();
