// Template of the lookup editor (dialog 297): a lookup's points as a graph
// and as a table of 11 rows, the plot range, and the point buttons.
#pragma once

enum : int { dlg_lookup_editor = 297 };

// Control ids.
enum : int {
    idl_caption1 = 814, // first caption (the lookup's name and comment)
    idl_caption3 = 824, // third caption, else the units
    idl_caption2 = 827,
    idl_head_x = 519, // "Input"
    idl_head_y = 520, // "Output"
    idl_row_x = 829,  // 829..839: x of the 11 visible rows
    idl_row_y = 845,  // 845..855: y of the 11 visible rows
    idl_new_label = 521,
    idl_new_x = 840,
    idl_new_y = 856,
    idl_scroll = 844, // scrolls the rows; enabled from 12 points on
    idl_graph = 818,  // "Kavrel_lookup": the graph area
    idl_x_min = 842,  // combo boxes of the plot range
    idl_x_max = 841,
    idl_y_min = 858,
    idl_y_max = 857,
    idl_cursor_x = 843, // "x=..." under the cursor
    idl_cursor_y = 859,
    idl_reset_scaling = 822,
    idl_clear_points = 811, // toggles with "Add Points"
    idl_clear_all = 812,
    idl_cur_to_ref = 823,
    idl_ref_to_cur = 826,
    idl_clear_ref = 813,
    idl_ok = 819,
    idl_cancel = 809,
    idl_print = 820,
    // Commands without a control: Ctrl+C and Ctrl+V on the graph area.
    idl_copy = 816,
    idl_paste = 817,
};
inline constexpr int lookup_rows = 11;

void register_lookup_editor_template();
