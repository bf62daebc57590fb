// The simulation dialogs' templates (see simdlg.h); dialog units on the
// 7-unit margin with 14-unit buttons, as the other templates.
#include "resources/simdlg.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/template_parts.h"

namespace {

using template_parts::def_push;
using template_parts::edit;
using template_parts::push;
constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD list = WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY;

DialogTemplate popup(int id, const char* caption, short cx, short cy) {
    return template_parts::frame(id, template_parts::modal_popup | DS_CENTER, caption, cx, cy);
}

DialogTemplate constant_changes() {
    DialogTemplate t = popup(dlg_constant_changes, "Constant Changes", 250, 186);
    t.items = {
        {WC_STATIC, ids_note, "Changes for the next run (* changed):", label, 7, 7, 236, 9},
        {WC_LISTBOX, ids_list, nullptr, list, 7, 18, 236, 100},
        {WC_STATIC, IDC_STATIC, "&Value:", WS_VISIBLE | SS_LEFT, 7, 126, 34, 9},
        {WC_EDIT, ids_value, nullptr, edit, 44, 124, 92, 13},
        {WC_BUTTON, ids_set, "&Set", push, 141, 123, 48, 14},
        {WC_BUTTON, ids_reset, "&Model value", push, 193, 123, 50, 14},
        {WC_STATIC, ids_model_value, "", label, 44, 141, 199, 9},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 157, 236, 1},
        {WC_BUTTON, IDOK, "OK", def_push, 139, 165, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 193, 165, 50, 14},
    };
    return t;
}

DialogTemplate lookup_changes() {
    DialogTemplate t = popup(dlg_lookup_changes, "Lookup Changes", 220, 190);
    t.items = {
        {WC_STATIC, IDC_STATIC, "&Lookup:", WS_VISIBLE | SS_LEFT, 7, 9, 34, 9},
        {WC_COMBOBOX, ids_lookup, nullptr, WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
         44, 7, 169, 120},
        {WC_STATIC, ids_note, "&Points, one a line (x, y):", WS_VISIBLE | SS_LEFT, 7, 26, 206, 9},
        {WC_EDIT, ids_points, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
             ES_WANTRETURN,
         7, 37, 206, 112},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 161, 206, 1},
        {WC_BUTTON, ids_graph, "&Graph...", push, 7, 169, 50, 14},
        {WC_BUTTON, IDOK, "OK", def_push, 109, 169, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 163, 169, 50, 14},
    };
    return t;
}

DialogTemplate game_window() {
    DialogTemplate t = template_parts::frame(
        dlg_game, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_CENTER, "Game", 214, 182);
    t.items = {
        {WC_STATIC, ids_game_time, "Time=0", label, 7, 7, 200, 10},
        {WC_STATIC, ids_note, "Decisions for the next move (* changed):", label, 7, 21, 200, 9},
        {WC_LISTBOX, ids_list, nullptr, list, 7, 32, 200, 70},
        {WC_STATIC, IDC_STATIC, "&Value:", WS_VISIBLE | SS_LEFT, 7, 111, 36, 9},
        {WC_EDIT, ids_value, nullptr, edit, 46, 109, 100, 13},
        {WC_BUTTON, ids_set, "&Set", push, 151, 108, 56, 14},
        {WC_STATIC, IDC_STATIC, "&Interval:", WS_VISIBLE | SS_LEFT, 7, 129, 36, 9},
        {WC_EDIT, ids_game_interval, nullptr, edit, 46, 127, 100, 13},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 149, 200, 1},
        {WC_BUTTON, ids_game_forward, "Move &Forward", def_push, 7, 157, 64, 14},
        {WC_BUTTON, ids_game_back, "Move &Backward", push, 75, 157, 64, 14},
        {WC_BUTTON, ids_game_end, "&End Game", push, 143, 157, 64, 14},
    };
    return t;
}

DialogTemplate sim_pause() {
    DialogTemplate t = popup(dlg_sim_pause, "Simulation Paused", 200, 64);
    t.items = {
        {WC_STATIC, ids_pause_text, "", label, 7, 9, 186, 20},
        {WC_BUTTON, IDOK, "&Continue", def_push, 89, 43, 50, 14},
        {WC_BUTTON, ids_pause_stop, "&Stop", push, 143, 43, 50, 14},
    };
    return t;
}

DialogTemplate plausitest() {
    DialogTemplate t = popup(dlg_plausitest, "Plausitest", 270, 170);
    t.items = {
        {WC_STATIC, ids_pt_summary, "", label, 7, 7, 256, 18},
        {WC_LISTBOX, ids_pt_list, nullptr, list | WS_HSCROLL, 7, 28, 256, 112},
        {WC_BUTTON, IDOK, "OK", def_push, 213, 149, 50, 14},
    };
    return t;
}

} // namespace

void register_sim_dialog_templates() {
    dlg_register_template(constant_changes());
    dlg_register_template(lookup_changes());
    dlg_register_template(game_window());
    dlg_register_template(plausitest());
    dlg_register_template(sim_pause());
}
