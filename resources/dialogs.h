// Dialog templates of the shell's utilities: the question dialogs, the About
// box and the file choice dialog, registered with the dialog manager by
// number.
#pragma once

// Template numbers.
enum : int {
    dlg_ask_list = 353,
    dlg_ask_text = 354,
    dlg_ask_replace_one = 355,
    dlg_about = 359,
    dlg_export_size = 286,
    dlg_ask_replace_two = 382,
    dlg_password = 390,
    dlg_file_choice = 1536,
};

// Control ids of the file choice dialog (1536).
enum : int {
    fdc_dir = 1101,   // static: the directory shown
    fdc_list = 1120,  // list box: directories ("[name]") and files
    fdc_name = 1152,  // edit: file name (a relative name is taken in the shown directory)
    fdc_types = 1136, // combo box: the file types
    fdc_up = 1103,    // button: the parent directory
};

// Control ids of the question dialogs and the About box.
enum : int {
    idc_prompt = 1658,
    idc_answer = 1660,  // list box (353) or edit field (354, 355)
    idc_search = 1661,  // dialog 382: the first text
    idc_replace = 1659, // dialog 382: the second text
    idc_search_label = 514,
    idc_replace_label = 515,
    idc_about_version = 304,
    idc_password = 1662,      // dialog 390: the password edit
    idc_password_note = 1663, // dialog 390: why it is asked again
};

// Control ids of the export-size dialog (286).
enum : int {
    exs_full = 587,   // option: the laid-out size
    exs_height = 588, // edit: height
    exs_screen = 589, // option: the window's size on the screen
    exs_title = 590,  // static: "Export Size in Centimeters" or "... in Inches"
    exs_width = 591,  // edit: width
};

// Registers every template of this file (again after the registry was
// cleared). Safe to call more than once.
void register_dialog_templates();
