// The workbench: the window classes of the program, the main window with its
// toolbar, tools palette, container, bottom bar and size box, their layout,
// the shared system colours and brushes, and the workbench's window
// procedure. Its title and the bottom bar's text are set through
// shell/title.h.
#pragma once

#include "platform/gdi.h"
#include "platform/win.h"

#include <string>

// Registers every window class in order; 1 on success, else the failing
// class's (negative) code; -36 when the chart library's application object
// cannot be made.
int register_classes(HINSTANCE instance);
// Unregisters the classes (all but "Kavrel_guage"), ends the chart library's
// application object and frees the shared brushes and the loaded menus.
void unregister_classes();
// The class names with their codes, in registration order (tests).
struct class_entry {
    int code;
    const char* name;
};
const class_entry* window_class_table(int* count);
// Tests: makes registration of the class with this code fail (0: none).
void fail_class_registration(int code);

// Creates the workbench and its children, loads menus and cursors, builds the
// recent-models entries and shows the workbench maximised (through the
// deferred show queue during start-up). The workbench, null on failure.
HWND create_main_window();
// Lays the workbench's children out on WM_SIZE.
void layout_frame(HWND window);
// The system colour set, re-read at start-up and on WM_SYSCOLORCHANGE.
struct system_colours {
    COLORREF face, shadow, button_text, window, window_text, highlight, highlight_text;
    HBRUSH shadow_brush, face_brush, window_brush, highlight_brush;
};
extern system_colours sys_colours;
void refresh_system_colours();
// A resource bitmap redrawn in the system colours (black to button text,
// light grey to button face); null when the resource is missing.
HBITMAP make_system_bitmap(int resource_id);

// Window procedures (exported by name).
LRESULT parent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT container_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT tools_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Answers every message with 0 (the procedures of dialogs this edition lacks).
LRESULT seq_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The window procedure of "Kavrel_graphics", installed by the graphs at
// start-up; null: the default handling.
extern LRESULT (*graphics_window_hook)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The DDE server sits above the shell: it points these at its code at
// start-up. initiate answers WM_DDE_INITIATE sent to the workbench, proc is
// the procedure of "Kavrel_ddeserver", opened and closing bracket the
// workbench's life (the server listens for other programs in between).
// Unset: no answer, the default handling, nothing to start or stop.
struct dde_server_hook_set {
    void (*initiate)(HWND client, LPARAM lparam) = nullptr;
    WNDPROC proc = nullptr;
    void (*opened)(HWND workbench) = nullptr;
    void (*closing)() = nullptr;
};
extern dde_server_hook_set dde_server_hooks;
