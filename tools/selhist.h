// The Variable Selection History window: a text window in the container that
// gets a line with each new workbench variable while it is open. Its frame's
// placement is kept in the "SelDim" settings row and, while open, saved as the
// "Sel History" window position, so it comes back at the next start.
#pragma once

#include "foundation/types.h"

// The history window's record (0 when closed).
extern handle sel_history;

// When the window is open it is brought forward. Otherwise each given value
// other than -1 (x, y, width, height of the frame in the container) becomes
// its placement, and with `open` the window is opened there (a stored width or
// height below 1: the text window's default size, automatic place).
void show_selection_history(int open, int x, int y, int width, int height);

// Installs the window as the shell's selection history (menu command and the
// saved position's opener) and as a listener of the text windows' release
// (call once at start-up, after install_text_hooks).
void install_selection_history();
