// The history and error-log window ("Kavrel History and Error Log"): the
// lines of the error log in a scrolling window of the container. The log is
// read as outside data: any bytes, lines of any length (each shown up to 512
// characters); a missing or unreadable log gives a message and an empty
// window.
#pragma once

#include "platform/win.h"
#include "shell/history_read.h"

#include <string>
#include <vector>

// When the window is open: activates it. Else stores the placement given
// (-1 keeps the stored value), opens the window (shown when `show` is
// non-zero) and fills it from the error log, whose new lines it shows while
// it is open. A placement is fitted into the container. Close, Escape,
// Ctrl+W and File > Close (while it is the active child) close it; it is never
// maximised.
void history_window(int show, int x, int y, int w, int h);
// The open window (null when closed) and the lines it shows.
HWND history_hwnd();
const std::vector<std::string>& history_lines();

// The window procedure (exported by name).
LRESULT history_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
