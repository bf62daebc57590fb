// The lookup editor's template (see lookupdlg.h); dialog units on the 7-unit
// margin as the other templates.
#include "resources/lookupdlg.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/template_parts.h"

#include <vector>

namespace {

using template_parts::edit;
using template_parts::push;
constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD range_combo = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN;

DialogTemplate lookup_editor() {
    DialogTemplate t = template_parts::frame(
        dlg_lookup_editor, template_parts::modal_popup | DS_CENTER, "Lookup For", 336, 236);
    std::vector<DialogItem> items = {
        {WC_STATIC, idl_caption1, "", label, 7, 4, 322, 9},
        {WC_STATIC, idl_caption2, "", label, 7, 14, 200, 9},
        {WC_STATIC, idl_caption3, "", label, 210, 14, 119, 9},
        {WC_STATIC, idl_head_x, "Input", label, 7, 26, 40, 9},
        {WC_STATIC, idl_head_y, "Output", label, 50, 26, 40, 9},
    };
    for (int r = 0; r < lookup_rows; ++r) {
        const short y = static_cast<short>(36 + r * 13);
        items.push_back({WC_EDIT, idl_row_x + r, nullptr, edit, 7, y, 42, 12});
        items.push_back({WC_EDIT, idl_row_y + r, nullptr, edit, 50, y, 42, 12});
    }
    const DialogItem rest[] = {
        {WC_SCROLLBAR, idl_scroll, nullptr, WS_VISIBLE | SBS_VERT, 93, 36, 9, 142},
        {WC_STATIC, idl_new_label, "New", label, 7, 182, 40, 9},
        {WC_EDIT, idl_new_x, nullptr, edit, 7, 192, 42, 12},
        {WC_EDIT, idl_new_y, nullptr, edit, 50, 192, 42, 12},
        {"Kavrel_lookup", idl_graph, nullptr, WS_VISIBLE | WS_BORDER, 108, 26, 160, 166},
        {WC_STATIC, idl_cursor_x, "x=0", label, 108, 195, 78, 9},
        {WC_STATIC, idl_cursor_y, "y=0", label, 190, 195, 78, 9},
        {WC_STATIC, 514, "X-min:", label, 274, 28, 56, 9},
        {WC_COMBOBOX, idl_x_min, nullptr, range_combo, 274, 38, 56, 60},
        {WC_STATIC, 515, "X-max:", label, 274, 54, 56, 9},
        {WC_COMBOBOX, idl_x_max, nullptr, range_combo, 274, 64, 56, 60},
        {WC_STATIC, 516, "Y-min:", label, 274, 80, 56, 9},
        {WC_COMBOBOX, idl_y_min, nullptr, range_combo, 274, 90, 56, 60},
        {WC_STATIC, 517, "Y-max:", label, 274, 106, 56, 9},
        {WC_COMBOBOX, idl_y_max, nullptr, range_combo, 274, 116, 56, 60},
        {WC_BUTTON, idl_reset_scaling, "Reset Scaling", push, 274, 136, 56, 14},
        {WC_STATIC, IDC_STATIC, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 7, 210, 322, 1},
        {WC_BUTTON, idl_clear_points, "Clear Points", push, 7, 216, 50, 14},
        {WC_BUTTON, idl_clear_all, "Clear All Points", push, 60, 216, 58, 14},
        {WC_BUTTON, idl_cur_to_ref, "Cur->Ref", push, 121, 216, 40, 14},
        {WC_BUTTON, idl_ref_to_cur, "Ref->Cur", push, 164, 216, 40, 14},
        {WC_BUTTON, idl_clear_ref, "Clear Reference", push, 207, 216, 58, 14},
        {WC_BUTTON, idl_ok, "OK", push, 274, 160, 56, 14},
        {WC_BUTTON, idl_cancel, "Cancel", push, 274, 178, 56, 14},
        {WC_BUTTON, idl_print, "Print", push, 274, 194, 56, 14},
        // Enter and Esc land here: the editor moves the focus on Enter.
        {WC_BUTTON, IDOK, "", BS_DEFPUSHBUTTON, 0, 0, 1, 1},
        {WC_BUTTON, IDCANCEL, "", BS_PUSHBUTTON, 0, 0, 1, 1},
    };
    items.insert(items.end(), std::begin(rest), std::end(rest));
    t.items = std::move(items);
    return t;
}

} // namespace

void register_lookup_editor_template() {
    dlg_register_template(lookup_editor());
}
