// The "Subscript Control" template. Dialog units, 7-unit margins and 14-unit
// buttons like the shell's other templates; the window code lays the controls
// out again when the panel is resized.
#include "resources/subpanel.h"

#include "platform/controls.h"
#include "platform/dlg.h"

void register_subpanel_template() {
    controls_register();
    constexpr DWORD push = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    DialogTemplate t;
    t.id = dlg_subscript_panel;
    t.caption = "Subscript Control";
    // A child of the container that floats above the build and output windows.
    t.style = WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPSIBLINGS | DS_SETFONT;
    t.font_face = "MS Sans Serif";
    t.x = 10;
    t.y = 10;
    t.cx = 150;
    t.cy = 170;
    t.items = {
        {WC_STATIC, idc_sp_range_label, "&Range:", WS_VISIBLE | SS_LEFT, 7, 9, 28, 8},
        {WC_COMBOBOX, idc_sp_range, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 36, 7, 107, 120},
        {WC_LISTBOX, idc_sp_elements, nullptr,
         WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_MULTIPLESEL |
             LBS_NOINTEGRALHEIGHT,
         7, 24, 136, 102},
        {WC_STATIC, idc_sp_summary, nullptr, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 7, 130, 136, 8},
        {WC_BUTTON, idc_sp_all, "&All", push, 7, 149, 40, 14},
        {WC_BUTTON, idc_sp_none, "&None", push, 52, 149, 40, 14},
        {WC_BUTTON, IDCANCEL, "Close", push, 103, 149, 40, 14},
    };
    dlg_register_template(t);
}
