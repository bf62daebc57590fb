// The shell's dialog templates. Sizes are in dialog units (a quarter of the
// average character width, an eighth of the character height), laid out on a
// 7-unit margin with 14-unit buttons, as native dialogs of this size are.
#include "resources/dialogs.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/lookupdlg.h"
#include "resources/modelpages.h"
#include "resources/options.h"
#include "resources/panel.h"
#include "resources/simdlg.h"
#include "resources/sketchdlg.h"
#include "resources/template_parts.h"
#include "resources/varselect.h"

namespace {

constexpr DWORD popup_dialog = template_parts::modal_popup;
constexpr DWORD visible = WS_VISIBLE;
using template_parts::def_push;
using template_parts::push;
constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
using template_parts::edit;

// A modal pop-up with a caption in the dialogs' font; extra_style is added to
// the common style.
DialogTemplate popup(int id, const char* caption, DWORD extra_style, short cx, short cy) {
    return template_parts::frame(id, popup_dialog | extra_style, caption, cx, cy);
}

DialogTemplate ask_list_dialog() {
    DialogTemplate t = popup(dlg_ask_list, "Kavrel", WS_THICKFRAME | DS_CENTER, 186, 150);
    t.items = {
        {WC_STATIC, idc_prompt, "Enter A response", label, 7, 7, 172, 18},
        {WC_LISTBOX, idc_answer, nullptr,
         visible | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 28,
         172, 94},
        {WC_BUTTON, IDOK, "OK", def_push, 33, 129, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 103, 129, 50, 14},
    };
    return t;
}

DialogTemplate ask_text_dialog(int id) {
    DialogTemplate t = popup(id, "Kavrel", DS_CENTER, 226, 72);
    t.items = {
        {WC_STATIC, idc_prompt, "Enter A response", label, 7, 7, 212, 18},
        {WC_EDIT, idc_answer, nullptr, edit, 7, 29, 212, 13},
        {WC_BUTTON, IDOK, "OK", def_push, 115, 51, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 169, 51, 50, 14},
    };
    return t;
}

DialogTemplate ask_replace_dialog() {
    DialogTemplate t = popup(dlg_ask_replace_two, "Kavrel", 0, 226, 96);
    t.items = {
        {WC_STATIC, idc_prompt, "Enter A response", label, 7, 7, 212, 18},
        {WC_STATIC, idc_search_label, "Search for:", label, 7, 32, 50, 8},
        {WC_EDIT, idc_search, nullptr, edit, 60, 30, 159, 13},
        {WC_STATIC, idc_replace_label, "Replace with:", label, 7, 52, 50, 8},
        {WC_EDIT, idc_replace, nullptr, edit, 60, 50, 159, 13},
        {WC_BUTTON, IDOK, "OK", def_push, 115, 75, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 169, 75, 50, 14},
    };
    return t;
}

DialogTemplate password_dialog() {
    DialogTemplate t = popup(dlg_password, "Password", DS_CENTER, 226, 86);
    t.items = {
        {WC_STATIC, idc_prompt, "This model is protected by a password.\nEnter the &password:",
         WS_VISIBLE | SS_LEFT, 7, 7, 212, 18},
        {WC_EDIT, idc_password, nullptr, edit | ES_PASSWORD, 7, 28, 212, 13},
        {WC_STATIC, idc_password_note, "", label, 7, 45, 212, 10},
        {WC_BUTTON, IDOK, "OK", def_push, 115, 65, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 169, 65, 50, 14},
    };
    return t;
}

DialogTemplate export_size_dialog() {
    DialogTemplate t = popup(dlg_export_size, "Export Size", DS_CENTER, 180, 112);
    using template_parts::radio;
    t.items = {
        {WC_STATIC, exs_title, "Export Size in Inches", label, 7, 7, 166, 10},
        {WC_BUTTON, exs_full, "Full Size", radio | WS_GROUP | WS_TABSTOP, 7, 22, 166, 12},
        {WC_BUTTON, exs_screen, "Screen Size", radio, 7, 36, 166, 12},
        {WC_STATIC, IDC_STATIC, "&Width:", WS_VISIBLE | SS_LEFT, 7, 56, 40, 10},
        {WC_EDIT, exs_width, nullptr, edit | WS_GROUP, 50, 54, 60, 13},
        {WC_STATIC, IDC_STATIC, "&Height:", WS_VISIBLE | SS_LEFT, 7, 74, 40, 10},
        {WC_EDIT, exs_height, nullptr, edit, 50, 72, 60, 13},
        {WC_BUTTON, IDOK, "OK", def_push, 69, 92, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 123, 92, 50, 14},
    };
    return t;
}

DialogTemplate about_dialog() {
    DialogTemplate t = popup(dlg_about, "About Kavrel", DS_CENTER, 220, 94);
    t.items = {
        {WC_STATIC, idc_about_version, "Kavrel Viewer", WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 7, 10,
         206, 10},
        {WC_STATIC, IDC_STATIC, "A viewer and simulator for system-dynamics models.",
         WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 7, 28, 206, 10},
        {WC_STATIC, IDC_STATIC, "Open a model, simulate it, and study its runs.",
         WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 7, 42, 206, 10},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 62, 206, 1},
        {WC_BUTTON, IDOK, "OK", def_push, 85, 72, 50, 14},
    };
    return t;
}

DialogTemplate file_choice_dialog() {
    DialogTemplate t = popup(dlg_file_choice, "Open", DS_CENTER, 280, 184);
    t.items = {
        // The label and the folder share one line: the same box, the text
        // centred in it, as the Up button is.
        {WC_STATIC, IDC_STATIC, "Look &in:", (label & ~SS_NOPREFIX) | SS_CENTERIMAGE, 7, 7, 38, 12},
        {WC_STATIC, fdc_dir, nullptr,
         WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN | SS_CENTERIMAGE, 48, 7, 181, 12},
        {WC_BUTTON, fdc_up, "&Up", push, 233, 6, 40, 14},
        {WC_LISTBOX, fdc_list, nullptr,
         visible | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 25,
         266, 112},
        {WC_STATIC, IDC_STATIC, "File &name:", WS_VISIBLE | SS_LEFT, 7, 146, 52, 8},
        {WC_EDIT, fdc_name, nullptr, edit, 62, 144, 156, 13},
        {WC_STATIC, IDC_STATIC, "Files of &type:", WS_VISIBLE | SS_LEFT, 7, 166, 52, 8},
        {WC_COMBOBOX, fdc_types, nullptr, visible | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 62,
         164, 156, 100},
        {WC_BUTTON, IDOK, "&Open", def_push, 223, 143, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 223, 163, 50, 14},
    };
    return t;
}

} // namespace

void register_dialog_templates() {
    controls_register();
    dlg_register_template(ask_list_dialog());
    dlg_register_template(ask_text_dialog(dlg_ask_text));
    dlg_register_template(ask_text_dialog(dlg_ask_replace_one));
    dlg_register_template(ask_replace_dialog());
    dlg_register_template(password_dialog());
    dlg_register_template(about_dialog());
    dlg_register_template(export_size_dialog());
    dlg_register_template(file_choice_dialog());
    register_option_templates();
    register_model_page_templates();
    register_panel_templates();
    register_varselect_templates();
    register_sim_dialog_templates();
    register_lookup_editor_template();
    register_sketch_dialog_templates();
}
