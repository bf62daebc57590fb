// The Variable page (356) and the variable dialog (357). Positions here are
// only the first layout: the window code places the controls by the size the
// page or dialog has.
#include "resources/varselect.h"
#include "resources/panel.h"
#include "resources/template_parts.h"

#include "platform/controls.h"
#include "platform/dlg.h"

namespace {

using template_parts::def_push;
using template_parts::edit;
using template_parts::push;
constexpr DWORD label = WS_VISIBLE | SS_LEFT;
constexpr DWORD list = WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL;
constexpr DWORD drop_list = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;

DialogTemplate page() {
    // Small enough to fit the panel's first size whole.
    DialogTemplate t = template_parts::frame(dlg_page_variable, WS_CHILD | DS_CONTROL | DS_SETFONT,
                                             nullptr, 200, 112);
    t.items = {
        {"Kavrel_longlist", idv_list, nullptr, list, 4, 4, 192, 58},
        // Each label comes just before its control: a label's mnemonic
        // hands the keyboard to the control after it.
        {WC_STATIC, idv_name_label, "&Name or Pattern", label, 4, 66, 100, 8},
        {WC_EDIT, idv_name, nullptr, edit, 4, 76, 112, 12},
        {WC_COMBOBOX, idv_subscripts, nullptr, drop_list, 60, 76, 56, 100},
        {WC_STATIC, idv_type_label, "&Type", label, 120, 66, 76, 8},
        {WC_COMBOBOX, idv_type, nullptr, drop_list, 120, 76, 76, 140},
        {WC_BUTTON, idv_select, "&Select", def_push, 4, 94, 50, 14},
        {WC_BUTTON, idv_exact, "&Exact", push, 75, 94, 50, 14},
    };
    return t;
}

DialogTemplate dialog() {
    DialogTemplate t = template_parts::frame(dlg_variable_dialog,
                                             WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                                 DS_MODALFRAME | DS_SETFONT,
                                             "Modify Equation for", 236, 200);
    t.items = {
        {"Kavrel_longlist", idv_list, nullptr, list, 7, 7, 222, 118},
        {WC_STATIC, idv_name_label, "&Name or Pattern", label, 7, 130, 100, 8},
        {WC_EDIT, idv_name, nullptr, edit, 7, 140, 90, 12},
        {WC_COMBOBOX, idv_subscripts, nullptr, drop_list, 101, 140, 55, 130},
        {WC_STATIC, idv_type_label, "&Type", label, 160, 130, 69, 8},
        {WC_COMBOBOX, idv_type, nullptr, drop_list, 160, 140, 69, 140},
        {WC_STATIC, idv_note, nullptr, label | SS_NOPREFIX, 7, 158, 222, 8},
        {WC_BUTTON, IDOK, "OK", def_push, 7, 176, 50, 14},
        {WC_BUTTON, idv_exact, "&Exact", push, 93, 176, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 179, 176, 50, 14},
    };
    return t;
}

} // namespace

void register_varselect_templates() {
    dlg_register_template(page());
    dlg_register_template(dialog());
}
