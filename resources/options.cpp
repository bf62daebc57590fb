// The option dialogs' templates. Dialog units on a 7-unit margin with 14-unit
// buttons, as the shell's other templates. Group boxes come last in each
// table: the first control lies on top, and a frame must not cover what it
// holds.
#include "resources/options.h"
#include "resources/template_parts.h"

#include "platform/controls.h"
#include "platform/dlg.h"

namespace {

constexpr DWORD popup_dialog = template_parts::modal_popup | DS_CENTER;
using template_parts::check;
using template_parts::def_push;
using template_parts::push;
using template_parts::radio;
constexpr DWORD first_radio = radio | WS_GROUP | WS_TABSTOP;
using template_parts::group;
constexpr DWORD label = WS_VISIBLE | SS_LEFT;
using template_parts::edit;
constexpr DWORD left_push = push | BS_LEFT;

DialogTemplate popup(int id, const char* caption, short cx, short cy) {
    return template_parts::frame(id, popup_dialog, caption, cx, cy);
}

DialogTemplate options_dialog() {
    DialogTemplate t = popup(dlg_options, "Global Option Settings", 300, 236);
    t.items = {
        {WC_BUTTON, ido_markers, "Show Line Markers on Graph Lines", check, 7, 7, 140, 10},
        {WC_BUTTON, ido_refresh, "Continually Refresh Sketches", check, 7, 20, 140, 10},
        {WC_BUTTON, ido_far_east, "Tune case sensitivity for far-eastern", check, 7, 33, 140, 10},
        {WC_BUTTON, ido_autocenter, "Autocenter", first_radio, 161, 15, 60, 10},
        {WC_BUTTON, ido_pagemarks, "Pagemarks", radio, 227, 15, 60, 10},
        {WC_BUTTON, ido_no_pagemarks, "No Pagemarks", radio, 161, 31, 70, 10},
        {WC_STATIC, 517, "Row", label, 14, 67, 18, 8},
        {WC_EDIT, ido_row, nullptr, edit | WS_GROUP, 34, 65, 30, 12},
        {WC_STATIC, 518, "Col", label, 78, 67, 18, 8},
        {WC_EDIT, ido_col, nullptr, edit, 98, 65, 30, 12},
        {WC_BUTTON, ido_test, "Test", first_radio, 161, 64, 50, 10},
        {WC_BUTTON, ido_color, "Color", radio, 215, 64, 40, 10},
        {WC_BUTTON, ido_mono, "Monochrome", radio, 161, 80, 60, 10},
        {WC_BUTTON, ido_solid, "Only solid lines", check | WS_GROUP, 225, 80, 64, 10},
        {WC_BUTTON, ido_font_normal, "Normal - M", left_push, 14, 117, 272, 14},
        {WC_BUTTON, ido_font_equation, "Equation Editor - M", left_push, 14, 134, 272, 14},
        {WC_BUTTON, ido_font_compressed, "Compressed - M", left_push, 14, 151, 272, 14},
        {WC_BUTTON, ido_font_tool, "Tool Font Face - M", left_push, 14, 168, 272, 14},
        {WC_BUTTON, ido_font_bottom, "Bottom Menu Font - M", left_push, 14, 185, 272, 14},
        {WC_BUTTON, IDOK, "OK", def_push, 186, 215, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 243, 215, 50, 14},
        {WC_BUTTON, 515, "Sketch View Positioning", group, 155, 4, 138, 44},
        {WC_BUTTON, 516, "Excel R1C1 Letters", group, 7, 52, 140, 34},
        {WC_BUTTON, 519, "Color for Display, Print && Clipboard", group, 155, 52, 138, 46},
        {WC_BUTTON, 523, "Fonts for Dialog Boxes and Font Face for Tool Output", group, 7, 104, 286,
         104},
    };
    return t;
}

DialogTemplate print_options_dialog() {
    DialogTemplate t = popup(dlg_print_options, "Print Options", 320, 238);
    t.items = {
        {WC_BUTTON, idp_all, "All", first_radio, 13, 16, 140, 10},
        {WC_BUTTON, idp_selection, "Selection", radio, 13, 30, 140, 10},
        {WC_BUTTON, idp_multiple, "Multiple", radio, 13, 44, 140, 10},
        {WC_BUTTON, idp_best, "Best Choice", first_radio, 169, 16, 120, 10},
        {WC_BUTTON, idp_portrait, "Portrait Always", radio, 169, 30, 120, 10},
        {WC_BUTTON, idp_landscape, "Landscape Always", radio, 169, 44, 120, 10},
        {WC_STATIC, 517, "Title", label, 7, 68, 30, 8},
        {WC_EDIT, idp_title, nullptr, edit | WS_GROUP, 40, 66, 273, 12},
        {WC_STATIC, 519, "Comment", label, 13, 97, 34, 8},
        {WC_EDIT, idp_comment, nullptr, edit, 50, 95, 257, 12},
        {WC_BUTTON, idp_date, "Time && Date", check, 13, 113, 70, 10},
        {WC_STATIC, 520, "At corner of", label, 110, 114, 48, 8},
        {WC_BUTTON, idp_page, "Page", first_radio, 160, 113, 40, 10},
        {WC_BUTTON, idp_graph, "Graph", radio, 204, 113, 40, 10},
        {WC_BUTTON, idp_print_at, "Print at", check | WS_GROUP, 13, 147, 42, 10},
        {WC_EDIT, idp_percent, nullptr, edit, 56, 145, 30, 12},
        {WC_STATIC, 524, "% (graphs at 100%)", label, 89, 147, 80, 8},
        {WC_BUTTON, idp_fill, "Fill Printed Page", check, 175, 147, 80, 10},
        {WC_BUTTON, idp_fit, "Fit View to Page", check, 175, 161, 80, 10},
        {WC_BUTTON, idp_set_size, "Set output size", check, 13, 163, 70, 10},
        {WC_BUTTON, idp_width_check, "Width", check, 13, 177, 34, 10},
        {WC_EDIT, idp_width, nullptr, edit, 48, 175, 40, 12},
        {WC_BUTTON, idp_height_check, "Height", check, 96, 177, 36, 10},
        {WC_EDIT, idp_height, nullptr, edit, 133, 175, 40, 12},
        {WC_BUTTON, idp_open_on_print, "Open on printing", WS_TABSTOP | BS_AUTOCHECKBOX, 175, 177,
         80, 10},
        {WC_STATIC, 523, "Selected Printer", label, 7, 200, 60, 8},
        {WC_COMBOBOX, idp_printer, nullptr, WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
         70, 198, 186, 100},
        {WC_BUTTON, idp_setup, "Setup...", push, 263, 197, 50, 14},
        {WC_BUTTON, IDOK, "OK", def_push, 206, 217, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 263, 217, 50, 14},
        {WC_BUTTON, 515, "Selection", group, 7, 4, 150, 56},
        {WC_BUTTON, 516, "Orientation", group, 163, 4, 150, 56},
        {WC_BUTTON, 518, "Print Info for Bottom Left", group, 7, 84, 306, 46},
        {WC_BUTTON, 521, "Sketch/Graph Sizing", group, 7, 134, 306, 58},
    };
    return t;
}

DialogTemplate font_dialog() {
    DialogTemplate t = popup(dlg_font_select, "Font Selection", 260, 190);
    t.items = {
        {WC_STATIC, 514, "Face:", label, 7, 7, 40, 8},
        {WC_EDIT, idf_face, nullptr, edit, 7, 17, 130, 12},
        {WC_LISTBOX, idf_faces, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_SORT |
             LBS_NOINTEGRALHEIGHT,
         7, 31, 130, 82},
        {WC_STATIC, 515, "Size (Points)", label, 145, 7, 60, 8},
        {WC_COMBOBOX, idf_size, nullptr, WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN, 145,
         17, 50, 100},
        {WC_BUTTON, idf_bold, "Bold", check, 145, 36, 60, 10},
        {WC_BUTTON, idf_italic, "Italic", check, 145, 49, 60, 10},
        {WC_BUTTON, idf_underline, "Underline", check, 145, 62, 60, 10},
        {WC_BUTTON, idf_strike, "Strikethrough", check, 145, 75, 70, 10},
        {WC_STATIC, 516, "Color", label, 145, 93, 30, 8},
        {"Kavrel_colorbutton", idf_colour, nullptr, WS_VISIBLE | WS_TABSTOP, 178, 90, 30, 14},
        {"Kavrel_font", idf_example, nullptr, WS_VISIBLE, 13, 129, 234, 31},
        {WC_BUTTON, IDOK, "OK", def_push, 146, 170, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 203, 170, 50, 14},
        {WC_BUTTON, 517, "Example", group, 7, 118, 246, 46},
    };
    return t;
}

DialogTemplate units_dialog() {
    DialogTemplate t = popup(dlg_units, "Units Equivalences", 250, 172);
    t.items = {
        {WC_STATIC, 514, "Units that mean the same, separated by commas (Dollar,$,Dollars):", label,
         7, 7, 236, 8},
        {WC_EDIT, idu_edit, nullptr, edit, 7, 18, 236, 12},
        {WC_LISTBOX, idu_list, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7,
         36, 170, 108},
        {WC_BUTTON, idu_add, "Add Editing", push, 184, 36, 59, 14},
        {WC_BUTTON, idu_modify, "Modify Selected", push, 184, 54, 59, 14},
        {WC_BUTTON, idu_delete, "Delete Selected", push, 184, 72, 59, 14},
        {WC_BUTTON, idu_get_default, "Use Default", push, 184, 96, 59, 14},
        {WC_BUTTON, idu_set_default, "Make Default", push, 184, 114, 59, 14},
        {WC_BUTTON, idu_strictest, "Use strictest", check, 7, 152, 80, 10},
        {WC_BUTTON, IDOK, "OK", def_push, 136, 150, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 193, 150, 50, 14},
    };
    return t;
}

} // namespace

void register_option_templates() {
    controls_register();
    dlg_register_template(options_dialog());
    dlg_register_template(print_options_dialog());
    dlg_register_template(font_dialog());
    dlg_register_template(units_dialog());
}
