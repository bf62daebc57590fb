// The template of the "Subscript Control" panel: a floating dialog with the
// subscript ranges in a drop-down list, the chosen range's elements in a
// list where each click selects or deselects one, and buttons for all, none
// and closing. Registered with the dialog manager by number.
#pragma once

// Template number (unused by the other templates of the program).
enum : int { dlg_subscript_panel = 1545 };

// Control ids.
enum : int {
    idc_sp_range_label = 2101,
    idc_sp_range = 2102,    // combo box: the ranges, each with its selection summary
    idc_sp_elements = 2103, // list box (multiple selection): the elements of the range
    idc_sp_all = 2104,      // selects every element
    idc_sp_none = 2105,     // deselects every element
    idc_sp_summary = 2106,  // static: the summary of the shown range
};

// Registers the template (again after the registry was cleared). Safe to call
// more than once.
void register_subpanel_template();
