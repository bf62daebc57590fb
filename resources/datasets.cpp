// The Datasets page's template: see datasets.h.
#include "resources/datasets.h"

#include "resources/template_parts.h"

#include "platform/controls.h"

DialogTemplate datasets_page_template(int id) {
    constexpr DWORD list = WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY |
                           LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT;
    using template_parts::push;
    DialogTemplate t =
        template_parts::frame(id, WS_CHILD | DS_CONTROL | DS_SETFONT, nullptr, 208, 126);
    t.items = {
        {WC_BUTTON, idd_available_info, "Available - Info..", push, 2, 2, 90, 14},
        {WC_BUTTON, idd_loaded_info, "Loaded - Info..", push, 116, 2, 90, 14},
        {WC_LISTBOX, idd_available, nullptr, list, 2, 18, 90, 88},
        {WC_LISTBOX, idd_loaded, nullptr, list, 116, 18, 90, 88},
        {WC_BUTTON, idd_load, ">>", push, 96, 44, 16, 14},
        {WC_BUTTON, idd_unload, "<<", push, 96, 62, 16, 14},
        {WC_BUTTON, idd_delete, "Delete", push, 2, 108, 90, 14},
        {WC_BUTTON, idd_load_from, "Load From...", push, 116, 108, 90, 14},
    };
    return t;
}
