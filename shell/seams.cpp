// The least behaviour of the calls into parts not built yet; see seams.h.
#include "shell/seams.h"

void close_all_tool_windows(int) {}
LRESULT toolwrapper_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
LRESULT editwrapper_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
LRESULT text_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
LRESULT spread_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}

handle find_sketch_window(const char*, int, int) {
    return 0;
}
int close_sketch_windows(handle) {
    return 1;
}
int query_close_sketch_windows(handle) {
    return 1;
}
void unlock_sketch() {}
void free_sketch_bitmaps() {}
LRESULT sketch_parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
LRESULT sketch_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
LRESULT qslider_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}

int init_mfc_app() {
    return 1;
}
void exit_mfc_app() {}

void arrange_windows(int) {}
void run_palette_tool(HWND, int, int, int, int) {}
// The palette re-runs its locked tools on the new workbench variable; with no
// palette there are none.
void rerun_locked_tools() {}
bool toolset_loaded() {
    return true;
}
int read_toolset(const char*, int) {
    return 1;
}
void free_toolset(int) {}

void selection_history(int, int, int, int, int) {}

int ask_save_graph_sets(int) {
    return 1;
}

void dde_quit_spreadsheets(int) {}

void refresh_sketch_values() {}
