// The window of the "Subscript Control" panel: a modeless dialog floating in
// the container that shows the subscript ranges of the open model and the
// elements of the chosen one, and changes the subscript selection through the
// panel's logic (model/subpanel.h). The logic owns the state; this window only
// shows it and hands the user's actions over.
#pragma once

#include "platform/dlg.h"
#include "platform/win.h"

// Connects the window to the panel's logic (create_subscript_panel then
// opens, hides and closes it; every change of the selection refreshes it).
// Called once at start-up; safe to call again.
void install_subscript_panel_window();
// Disconnects it (and destroys the window when it is up).
void remove_subscript_panel_window();

// The panel's dialog window (null while none).
HWND subscript_panel_hwnd();

// The dialog procedure (exported by name).
INT_PTR subscript_panel_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
