// The shell's side of the tool windows: see toolset_hooks.h.
#include "shell/toolset_hooks.h"

#include "shell/upcalls.h"

tool_window_hooks_t tool_window_hooks;

void close_all_tool_windows(int flag) {
    if (tool_window_hooks.close_all) tool_window_hooks.close_all(flag);
}

LRESULT toolwrapper_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (tool_window_hooks.toolwrapper) return tool_window_hooks.toolwrapper(w, m, wp, lp);
    return DefWindowProc(w, m, wp, lp);
}

LRESULT text_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (tool_window_hooks.text) return tool_window_hooks.text(w, m, wp, lp);
    return DefWindowProc(w, m, wp, lp);
}

// The edit and dialog frames hold a window that does all the work.
LRESULT editwrapper_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
