// The reorder dialog over a reorderable long list: the list keeps the order
// array while the user drags, and OK copies it out.
#include "shell/reorder.h"

#include "resources/modelpages.h"
#include "shell/controls/longlist.h"
#include "shell/dialogs.h"

INT_PTR reorder_list_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* p = begin_dialog<reorder_params>(dialog, lparam);
        if (!p) return TRUE;
        if (p->title) SetDlgItemText(dialog, idr_title, p->title);
        if (p->texts && p->count > 0)
            longlist_set_items(GetDlgItem(dialog, idr_list), p->texts, p->count);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: {
            auto* p = dialog_data<reorder_params>(dialog);
            if (p && p->order)
                SendDlgItemMessage(dialog, idr_list, ll_get_order, 0,
                                   reinterpret_cast<LPARAM>(p->order));
            EndDialog(dialog, 1);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int reorder_list(reorder_params& params) {
    return static_cast<int>(
        run_dialog(dlg_reorder, nullptr, reorder_list_proc, reinterpret_cast<LPARAM>(&params)));
}
