// Templates of variable selection: the Variable page of the Control Panel
// (356) and the modal variable dialog (357). Both hold the same controls (the
// page has Select where the dialog has OK and Cancel, and no note line); the
// window code lays them out again whenever the page or dialog is resized.
#pragma once

enum : int { dlg_variable_dialog = 357 };

// Control ids (shared by both templates).
enum : int {
    idv_note = 1715,       // static: units and base value of the chosen variable (dialog)
    idv_exact = 1716,      // button: take the typed name as it stands
    idv_list = 1717,       // long list: the names listed
    idv_name = 1718,       // edit: a name or a pattern
    idv_select = 1719,     // button: make the name the workbench variable (page)
    idv_subscripts = 1721, // combo: "Subscripts", then ranges or elements for the name
    idv_type = 1722,       // combo: the 14 Type entries
    idv_name_label = 1723,
    idv_type_label = 1724,
    idv_size_grip = 1725, // made by the dialog (not in the template)
};

// Registers both templates (again after the registry was cleared).
void register_varselect_templates();
