// The start-up show queue: while the start-up builds the workbench, the
// windows it shows are queued and shown together at its end.
#pragma once

#include "platform/win.h"

// The start-up show queue. open_show_queue opens it (start-up); while it is
// open, show_window queues the pair and returns 88 (the work-in-progress
// window is always shown at once). show_window(0, -1) plays the queue in
// order, closes it, posts WM_USER to the main window and raises and
// activates it. With the queue closed: hiding the active child clears it
// first, then ShowWindow; the result is ShowWindow's.
void open_show_queue();
bool show_queue_open();
int show_window(HWND window, int command);
