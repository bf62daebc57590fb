// The Control Panel's templates. The panel is a resizable child of the
// container; its pages are child dialogs laid into the tab control's display
// area, so their own sizes only set the least room their controls need.
#include "resources/panel.h"
#include "resources/datasets.h"
#include "resources/template_parts.h"

#include "platform/controls.h"
#include "platform/dlg.h"

namespace {

constexpr DWORD page_style = WS_CHILD | DS_CONTROL | DS_SETFONT;
using template_parts::check;
using template_parts::group;
using template_parts::push;
using template_parts::radio;
constexpr DWORD label = WS_VISIBLE | SS_LEFT;
using template_parts::edit;
constexpr DWORD combo = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN;

DialogTemplate base(int id, DWORD style, const char* caption, short cx, short cy) {
    return template_parts::frame(id, style, caption, cx, cy);
}

DialogTemplate panel() {
    DialogTemplate t =
        base(dlg_control_panel,
             WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN | DS_SETFONT,
             "Control Panel", 220, 170);
    t.items = {
        {WC_BUTTON, idc_keep_on_top, "Keep on top", check, 2, 154, 60, 10},
        {WC_BUTTON, idc_close, "Close", push, 150, 152, 50, 14},
    };
    return t;
}

DialogTemplate time_axis_page() {
    DialogTemplate t = base(dlg_page_time_axis, page_style, nullptr, 208, 132);
    t.items = {
        {WC_STATIC, idt_base_label, "Time Base", label, 8, 10, 40, 8},
        {WC_COMBOBOX, idt_base, nullptr, combo, 50, 8, 90, 80},
        {WC_BUTTON, idt_reset, "Reset to Full Range", push, 8, 28, 80, 14},
        {"Kavrel_scaler", idt_scaler, nullptr, WS_VISIBLE, 8, 48, 192, 20},
        {WC_STATIC, idt_start_label, "Start Time", label, 8, 78, 50, 8},
        {WC_BUTTON, idt_start_left, "<-", push, 60, 76, 16, 12},
        {WC_BUTTON, idt_start_right, "->", push, 78, 76, 16, 12},
        {WC_EDIT, idt_start, nullptr, edit, 98, 76, 60, 12},
        {WC_STATIC, idt_special_label, "Special Time", label, 8, 94, 50, 8},
        {WC_BUTTON, idt_special_left, "<-", push, 60, 92, 16, 12},
        {WC_BUTTON, idt_special_right, "->", push, 78, 92, 16, 12},
        {WC_EDIT, idt_special, nullptr, edit, 98, 92, 60, 12},
        {WC_STATIC, idt_end_label, "End Time", label, 8, 110, 50, 8},
        {WC_BUTTON, idt_end_left, "<-", push, 60, 108, 16, 12},
        {WC_BUTTON, idt_end_right, "->", push, 78, 108, 16, 12},
        {WC_EDIT, idt_end, nullptr, edit, 98, 108, 60, 12},
        {WC_BUTTON, idt_frame, nullptr, group, 4, 0, 200, 128},
    };
    return t;
}

DialogTemplate scaling_page() {
    // Laid out to fit the panel's first size whole; a smaller panel scrolls.
    DialogTemplate t = base(dlg_page_scaling, page_style, nullptr, 208, 126);
    t.items = {
        {WC_STATIC, 514, "Horizontal Divisions", label, 8, 8, 70, 8},
        {WC_COMBOBOX, ids_hdiv, nullptr, combo, 80, 6, 30, 80},
        {WC_STATIC, 515, "Vertical Divisions", label, 8, 24, 70, 8},
        {WC_COMBOBOX, ids_vdiv, nullptr, combo, 80, 22, 30, 80},
        {WC_BUTTON, ids_line0, "Add line at 0", check, 8, 40, 90, 10},
        {WC_BUTTON, ids_line1, "Add line at 1", check, 8, 51, 90, 10},
        {WC_BUTTON, ids_line_special, "Add line at special time", check, 8, 62, 100, 10},
        {WC_BUTTON, ids_raw, "Raw", radio | WS_GROUP | WS_TABSTOP, 124, 18, 60, 10},
        {WC_BUTTON, ids_rounded, "Rounded", radio, 124, 30, 60, 10},
        {WC_BUTTON, ids_include0, "Include 0", check | WS_GROUP, 14, 86, 50, 10},
        {WC_BUTTON, ids_colorize, "Colorize", check, 14, 97, 50, 10},
        {WC_STATIC, 518, "Buffer Mult", label, 14, 110, 40, 8},
        {WC_EDIT, ids_buffer, nullptr, edit, 56, 108, 30, 12},
        {WC_BUTTON, ids_no_change, "No change on drag", check, 100, 86, 80, 10},
        {WC_BUTTON, ids_freeze, "Freeze", check, 100, 97, 60, 10},
        {WC_BUTTON, 516, "Vertical Scaling", group, 118, 6, 80, 40},
        {WC_BUTTON, 517, "Livesweep Settings", group, 8, 76, 190, 48},
    };
    return t;
}

DialogTemplate graphs_page() {
    DialogTemplate t = base(dlg_page_graphs, page_style, nullptr, 200, 120);
    constexpr DWORD list =
        WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_EXTENDEDSEL;
    t.items = {
        {WC_BUTTON, idg_wip, "Open WIP Graph on Sim", check, 6, 4, 100, 10},
        {WC_LISTBOX, idg_list, nullptr, list, 6, 16, 188, 64},
        {WC_BUTTON, idg_display, "Display", push, 6, 84, 44, 14},
        {WC_BUTTON, idg_modify, "Modify...", push, 54, 84, 44, 14},
        {WC_BUTTON, idg_copy, "Copy...", push, 102, 84, 44, 14},
        {WC_BUTTON, idg_new, "New...", push, 150, 84, 44, 14},
        {WC_BUTTON, idg_delete, "Delete", push, 6, 102, 44, 14},
        {WC_BUTTON, idg_reorder, "Reorder...", push, 54, 102, 44, 14},
    };
    return t;
}

} // namespace

void register_panel_templates() {
    dlg_register_template(panel());
    dlg_register_template(time_axis_page());
    dlg_register_template(scaling_page());
    dlg_register_template(datasets_page_template(dlg_page_datasets));
    dlg_register_template(graphs_page());
}
