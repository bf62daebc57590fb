// Dialog templates of the Control Panel (278) and its pages: Variable (356),
// Time Axis (347), Scaling (316), Datasets (281) and Graphs (294).
#pragma once

enum : int {
    dlg_control_panel = 278,
    dlg_page_variable = 356,
    dlg_page_time_axis = 347,
    dlg_page_scaling = 316,
    dlg_page_datasets = 281,
    dlg_page_graphs = 294,
};

// The panel (278).
enum : int {
    idc_keep_on_top = 466, // "Keep on top"
    idc_size_grip = 467,
    idc_save = 487,
    idc_close = 492, // "Close"
    idc_tabs = 468,  // the tab control (made by the panel)
};

// Time Axis (347).
enum : int {
    idt_frame = 718,
    idt_base_label = 516,
    idt_base = 740,  // combo: the time base variable
    idt_reset = 727, // "Reset to Full Range"
    idt_scaler = 728,
    idt_start_label = 517,
    idt_start_left = 732,
    idt_start_right = 733,
    idt_start = 734,
    idt_special_label = 518,
    idt_special_left = 729,
    idt_special_right = 730,
    idt_special = 731,
    idt_end_label = 519,
    idt_end_left = 719,
    idt_end_right = 720,
    idt_end = 721,
};

// Scaling (316).
enum : int {
    ids_hdiv = 736,
    ids_vdiv = 739,
    ids_line0 = 1095,
    ids_line1 = 1091,
    ids_line_special = 1092,
    ids_raw = 1093,
    ids_rounded = 1094,
    ids_include0 = 726,
    ids_colorize = 722,
    ids_buffer = 724,
    ids_no_change = 725,
    ids_freeze = 723,
};

// Graphs (294).
enum : int {
    idg_wip = 1654,     // "Open WIP Graph on Sim"
    idg_list = 1650,    // the custom graphs of the model's graph set
    idg_modify = 1651,  // "Modify..."
    idg_copy = 1641,    // "Copy..."
    idg_new = 1652,     // "New..."
    idg_display = 1653, // "Display"
    idg_delete = 1642,  // "Delete"
    idg_reorder = 1657, // "Reorder..."
};

// Registers the panel's templates (again after the registry was cleared);
// the Variable page is registered with the variable dialog (varselect.h).
void register_panel_templates();
