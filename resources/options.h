// Dialog templates of the option dialogs: Options (302), Print Options (306),
// Font Selection (287) and the units equivalences (352). Registered with the dialog manager by
// number.
#pragma once

// Template numbers.
enum : int {
    dlg_font_select = 287,
    dlg_options = 302,
    dlg_print_options = 306,
    dlg_units = 352,
};

// Units equivalences (352).
enum : int {
    idu_add = 1633,         // "Add Editing"
    idu_delete = 1634,      // "Delete Selected"
    idu_edit = 1635,        // the equivalence being edited
    idu_list = 1636,        // the equivalences
    idu_set_default = 1637, // "Make Default": the list becomes the default
    idu_modify = 1638,      // "Modify Selected"
    idu_get_default = 1639, // "Use Default": the default list replaces the list
    idu_strictest = 1640,   // "Use strictest"
};

// Options (302).
enum : int {
    ido_markers = 766,    // "Show Line Markers on Graph Lines"
    ido_refresh = 1301,   // "Continually Refresh Sketches"
    ido_far_east = 1486,  // case sensitivity for far-eastern characters
    ido_autocenter = 885, // sketch view positioning
    ido_pagemarks = 890,
    ido_no_pagemarks = 889,
    ido_row = 717,  // R1C1 row letter (a '*' after it: DDE only)
    ido_col = 716,  // R1C1 column letter
    ido_test = 770, // colour from the device
    ido_color = 761,
    ido_mono = 764,
    ido_solid = 767,       // only solid lines
    ido_font_normal = 616, // the font buttons: "label - face, size pt"
    ido_font_equation = 617,
    ido_font_compressed = 615,
    ido_font_tool = 630, // the tool font face
    ido_font_bottom = 614,
};

// Print Options (306).
enum : int {
    idp_all = 973,
    idp_selection = 951,
    idp_multiple = 950,
    idp_best = 962,
    idp_portrait = 965,
    idp_landscape = 961,
    idp_title = 971,
    idp_comment = 970,
    idp_date = 954,
    idp_page = 963,
    idp_graph = 958,
    idp_print_at = 972,
    idp_percent = 964,
    idp_fill = 955,
    idp_fit = 956,
    idp_set_size = 969,
    idp_width_check = 953,
    idp_width = 974,
    idp_height_check = 952,
    idp_height = 959,
    idp_open_on_print = 967,
    idp_printer = 966,
    idp_setup = 968,
};

// Font Selection (287).
enum : int {
    idf_face = 606,  // edit: the face
    idf_faces = 607, // list: the font list
    idf_size = 610,  // combo: points
    idf_bold = 604,
    idf_italic = 608,
    idf_underline = 612,
    idf_strike = 611,
    idf_vertical = 613,
    idf_colour = 605,  // colour button
    idf_example = 609, // the example ("Kavrel_font")
};

// Registers the three templates (again after the registry was cleared).
void register_option_templates();
