// The reorder dialog: the user drags entries of a list into a new order.
#pragma once

#include "platform/dlg.h"
#include "platform/win.h"

#include <cstdint>

// What the caller gives the dialog, and the order it gets back: for every
// new position, the index the entry had in `texts`.
struct reorder_params {
    const char* title;        // the line above the list ("Reorder Custom Graphs")
    std::int32_t* order;      // out: count entries, written on OK only
    const char* const* texts; // the entries in their present order
    int count;
};

// The dialog's procedure (exported by name); WM_INITDIALOG's lParam is a
// reorder_params pointer.
INT_PTR reorder_list_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Runs the reorder dialog: 1 when the user pressed OK (params.order holds the
// new order), 0 on Cancel, -1 when it could not be shown.
int reorder_list(reorder_params& params);
