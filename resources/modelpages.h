// Dialog templates of the model settings pages (notes and password, display
// flags, reference datasets) and of the reorder dialog. Registered with the
// dialog manager by number.
#pragma once

// Template numbers.
enum : int {
    dlg_model_notes = 299,
    dlg_reorder = 308,
    dlg_model_settings = 373, // the pages as one dialog (not offered)
    dlg_model_flags = 378,
    dlg_model_refs = 380,
};

// Notes and password page (299).
enum : int {
    idm_notes = 861,
    idm_info = 860,
    idm_show_notes = 863,
    idm_password = 867,
    idm_verify = 875,
    idm_to_changes = 873, // "Model->Cin"
    idm_to_data = 874,    // "Model->Data"
};

// Display flags page (378).
enum : int {
    idm_show_init_causes = 870,
    idm_show_lookups = 871,
    idm_show_shadows = 872,
    idm_no_livesweep_drag = 866,
    idm_disk_livesweep = 862,
    idm_far_east = 864,
    idm_hard_underbar = 865,
};

// Reference datasets page (380).
enum : int {
    idm_ref_list = 1732,
    idm_ref_delete = 1729,
    idm_ref_modify = 1733,
    idm_ref_add = 1728,
    idm_ref_name = 1734,
    idm_ref_file = 1730,
    idm_ref_choose = 1731,
};

// Reorder dialog (308).
enum : int {
    idr_title = 1014,
    idr_list = 1013,
    idr_hint = 516,
};

// Each page is offered on its own and carries the name of the menu item
// that opens it, so a user tells the three apart.
inline constexpr const char* model_notes_caption = "Model Notes and Password";
inline constexpr const char* model_flags_caption = "Diagram Display";
inline constexpr const char* model_refs_caption = "Reference Datasets";

// Registers the templates (again after the registry was cleared).
void register_model_page_templates();
