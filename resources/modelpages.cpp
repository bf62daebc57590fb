// The model settings pages and the reorder dialog. Dialog units on a 7-unit
// margin with 14-unit buttons, as the shell's other templates. The pages are
// whole dialogs of their own (each with OK and Cancel and its own caption),
// so any one of them can be offered on its own. Group boxes come last: a
// frame must not cover what it holds.
#include "resources/modelpages.h"
#include "resources/template_parts.h"

#include "platform/controls.h"
#include "platform/dlg.h"

namespace {

constexpr DWORD popup_dialog = template_parts::modal_popup | DS_CENTER;
using template_parts::check;
using template_parts::def_push;
using template_parts::group;
using template_parts::push;
constexpr DWORD label = WS_VISIBLE | SS_LEFT;
using template_parts::edit;

DialogTemplate popup(int id, const char* caption, short cx, short cy) {
    return template_parts::frame(id, popup_dialog, caption, cx, cy);
}

DialogTemplate notes_page() {
    DialogTemplate t = popup(dlg_model_notes, model_notes_caption, 320, 262);
    t.items = {
        {WC_STATIC, 516, "Model Notes", label, 7, 7, 100, 8},
        {WC_EDIT, idm_notes, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
             ES_WANTRETURN,
         7, 18, 306, 80},
        {WC_BUTTON, idm_show_notes, "Display model notes when model is opened", check, 7, 102, 200,
         10},
        {WC_STATIC, 514, "Password", label, 14, 132, 40, 8},
        {WC_EDIT, idm_password, nullptr, edit | ES_PASSWORD, 56, 130, 90, 12},
        {WC_STATIC, 515, "Verify", label, 160, 132, 30, 8},
        {WC_EDIT, idm_verify, nullptr, edit | ES_PASSWORD, 192, 130, 90, 12},
        {WC_STATIC, 517,
         "Enter and verify a password.  This will be required to open the model (.kmf format "
         "only).  Leave blank to just open.",
         label, 14, 146, 292, 18},
        {WC_STATIC, idm_info, nullptr, label, 14, 184, 292, 34},
        {WC_BUTTON, idm_to_changes, "Model->Cin", push, 7, 241, 56, 14},
        {WC_BUTTON, idm_to_data, "Model->Data", push, 69, 241, 56, 14},
        {WC_BUTTON, IDOK, "OK", def_push, 206, 241, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 263, 241, 50, 14},
        {WC_BUTTON, 519, "Password", group, 7, 118, 306, 52},
        {WC_BUTTON, 518, "Model Info", group, 7, 174, 306, 50},
    };
    return t;
}

DialogTemplate flags_page() {
    DialogTemplate t = popup(dlg_model_flags, model_flags_caption, 260, 130);
    t.items = {
        {WC_BUTTON, idm_show_init_causes, "Show initial causes on model diagrams", check, 7, 7, 246,
         10},
        {WC_BUTTON, idm_show_lookups, "Show Lookup variables on model diagrams", check, 7, 21, 246,
         10},
        {WC_BUTTON, idm_show_shadows, "Show <shadow> variables on model diagrams", check, 7, 35,
         246, 10},
        {WC_BUTTON, idm_no_livesweep_drag, "Suppress Livesweep during slider moves (big models)",
         check, 7, 49, 246, 10},
        {WC_BUTTON, idm_disk_livesweep, "Use disk storage for all Livesweep Results (big models)",
         check, 7, 63, 246, 10},
        {WC_BUTTON, idm_far_east, "Model uses far eastern (2 byte) characters", check, 7, 77, 246,
         10},
        {WC_BUTTON, idm_hard_underbar, "Use hard underbar _ (do not convert to space)", check, 7,
         91, 246, 10},
        {WC_BUTTON, IDOK, "OK", def_push, 146, 109, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 203, 109, 50, 14},
    };
    return t;
}

DialogTemplate refs_page() {
    DialogTemplate t = popup(dlg_model_refs, model_refs_caption, 300, 200);
    t.items = {
        {WC_LISTBOX, idm_ref_list, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 7,
         198, 90},
        {WC_BUTTON, idm_ref_delete, "Delete Selected", push, 212, 7, 81, 14},
        {WC_BUTTON, idm_ref_modify, "Modify Selected", push, 212, 25, 81, 14},
        {WC_BUTTON, idm_ref_add, "Add Editing", push, 212, 104, 81, 14},
        {WC_STATIC, 514, "For the reference", label, 7, 106, 80, 8},
        {WC_EDIT, idm_ref_name, nullptr, edit, 7, 117, 198, 12},
        {WC_STATIC, 515, "use the file (no path if in same directory as model)", label, 7, 135, 226,
         8},
        {WC_EDIT, idm_ref_file, nullptr, edit, 7, 146, 198, 12},
        {WC_BUTTON, idm_ref_choose, "Choose...", push, 212, 145, 81, 14},
        {WC_BUTTON, IDOK, "OK", def_push, 186, 179, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 243, 179, 50, 14},
    };
    return t;
}

DialogTemplate reorder_dialog() {
    DialogTemplate t = popup(dlg_reorder, "Reorder", 200, 190);
    t.items = {
        {WC_STATIC, idr_title, "Reorder Custom Graphs", label, 7, 7, 186, 8},
        {"Kavrel_longlist", idr_list, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | 0x0002 /* reorderable */, 7, 19, 186,
         120},
        {WC_STATIC, idr_hint,
         "Drag the entry you want to move to the new position it should occupy.", label, 7, 144,
         186, 18},
        {WC_BUTTON, IDOK, "OK", def_push, 86, 169, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 143, 169, 50, 14},
    };
    return t;
}

} // namespace

void register_model_page_templates() {
    dlg_register_template(notes_page());
    dlg_register_template(flags_page());
    dlg_register_template(refs_page());
    dlg_register_template(reorder_dialog());
}
