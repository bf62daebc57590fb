// The sketch dialogs' templates (see sketchdlg.h), in dialog units on the
// 7-unit margin as the other templates.
#include "resources/sketchdlg.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/template_parts.h"

namespace {

using template_parts::check;
using template_parts::def_push;
using template_parts::edit;
using template_parts::push;
constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;

DialogTemplate slider_options() {
    DialogTemplate t = template_parts::frame(dlg_slider_options, template_parts::modal_popup,
                                             "Slider Options", 220, 168);
    t.items = {
        {WC_STATIC, idq_title, "", label, 7, 7, 206, 18},
        {WC_STATIC, IDC_STATIC, "&Value:", WS_VISIBLE | SS_LEFT, 7, 30, 50, 9},
        {WC_EDIT, idq_value, nullptr, edit, 60, 28, 80, 13},
        {WC_STATIC, IDC_STATIC, "M&inimum:", WS_VISIBLE | SS_LEFT, 7, 48, 50, 9},
        {WC_EDIT, idq_min, nullptr, edit, 60, 46, 80, 13},
        {WC_STATIC, IDC_STATIC, "M&aximum:", WS_VISIBLE | SS_LEFT, 7, 66, 50, 9},
        {WC_EDIT, idq_max, nullptr, edit, 60, 64, 80, 13},
        {WC_STATIC, IDC_STATIC, "I&ncrement:", WS_VISIBLE | SS_LEFT, 7, 84, 50, 9},
        {WC_EDIT, idq_increment, nullptr, edit, 60, 82, 80, 13},
        {WC_BUTTON, idq_permanent, "Make slider changes permanent (modify model)", check, 7, 102,
         206, 10},
        {WC_STATIC, idq_subscript_label, "Set subscript:", label, 146, 30, 67, 9},
        {WC_LISTBOX, idq_subscripts, nullptr, WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 146,
         41, 67, 40},
        {WC_BUTTON, idq_changes, "&Changes...", WS_TABSTOP | BS_PUSHBUTTON, 146, 84, 67, 14},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 120, 206, 1},
        {WC_BUTTON, IDOK, "OK", def_push, 109, 128, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 163, 128, 50, 14},
    };
    return t;
}

} // namespace

void register_sketch_dialog_templates() {
    dlg_register_template(slider_options());
}
