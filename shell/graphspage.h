// The Control Panel's Graphs page: the option to open the work-in-progress
// graph on simulation, and the custom graphs of the model's graph set, each
// shown by Display or a double click.
#pragma once

#include "platform/win.h"

INT_PTR user_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// Refills a Graphs page's list from the open model's graph set.
void refill_graphs_page(HWND page);
