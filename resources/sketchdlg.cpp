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
using template_parts::radio;
constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;

DialogTemplate slider_options() {
    DialogTemplate t = template_parts::frame(
        dlg_slider_options, template_parts::modal_popup | DS_CENTER, "Slider Options", 220, 168);
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

DialogTemplate input_options() {
    DialogTemplate t = template_parts::frame(
        dlg_input_options, template_parts::modal_popup | DS_CENTER, "Input Setting", 260, 214);
    t.items = {
        {WC_STATIC, idi_title, "", label, 7, 7, 246, 18},
        {WC_BUTTON, idi_override, "Override normal behavior", check, 7, 28, 160, 10},
        {WC_BUTTON, 650, "Step Change", radio | WS_GROUP | WS_TABSTOP, 13, 54, 108, 10},
        {WC_BUTTON, 646, "Ramp", radio, 13, 66, 108, 10},
        {WC_BUTTON, 644, "Pulse", radio, 13, 78, 108, 10},
        {WC_BUTTON, 645, "Pulse Train", radio, 13, 90, 108, 10},
        {WC_BUTTON, 647, "Sin Wave", radio, 13, 102, 108, 10},
        {WC_BUTTON, 649, "Square Wave", radio, 13, 114, 108, 10},
        {WC_BUTTON, 637, "Exponential Growth", radio, 13, 126, 108, 10},
        {WC_BUTTON, 632, "Exponential Decay", radio, 13, 138, 108, 10},
        {WC_BUTTON, 648, "Constant (with slider)", radio, 13, 150, 108, 10},
        {WC_STATIC, idi_label1, "From", label, 134, 46, 119, 9},
        {WC_EDIT, idi_p1, nullptr, edit | WS_GROUP, 134, 56, 80, 13},
        {WC_STATIC, idi_label2, "to", label, 134, 74, 119, 9},
        {WC_EDIT, idi_p2, nullptr, edit, 134, 84, 80, 13},
        {WC_STATIC, idi_label3, "at time", label, 134, 102, 119, 9},
        {WC_EDIT, idi_p3, nullptr, edit, 134, 112, 80, 13},
        {WC_STATIC, idi_label4, "", label, 134, 130, 119, 9},
        {WC_EDIT, idi_p4, nullptr, edit, 134, 140, 80, 13},
        {WC_BUTTON, idi_freeze, "Freeze Levels at initial values", check, 7, 174, 160, 10},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 188, 246, 1},
        {WC_BUTTON, IDOK, "OK", def_push, 149, 194, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", push, 203, 194, 50, 14},
        // The frame round the shape buttons, behind them.
        {WC_BUTTON, IDC_STATIC, "Input", template_parts::group, 7, 42, 120, 126},
    };
    return t;
}

} // namespace

void register_sketch_dialog_templates() {
    dlg_register_template(slider_options());
    dlg_register_template(input_options());
}
