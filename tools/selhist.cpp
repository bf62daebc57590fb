// The Variable Selection History window: see selhist.h.
#include "tools/selhist.h"

#include "foundation/memory.h"
#include "shell/floats.h"
#include "shell/settings_rows.h"
#include "shell/toolset_hooks.h"
#include "shell/varselect.h"
#include "tools/output.h"
#include "tools/textwin.h"

#include <algorithm>

handle sel_history = 0;

namespace {

constexpr const char* history_title = "Variable Selection History";

void (*next_release_listener)(handle record) = nullptr;

void add_line(const char* line) {
    if (sel_history && line && *line) textwin_append(sel_history, 1, line);
}

// The frame's placement in the container (the rectangle the settings keep).
bool frame_place(handle record, int place[4]) {
    RECT client{};
    if (!get_output_rect(record, &client)) return false;
    auto* r = static_cast<output_record*>(lock_handle(record));
    HWND w = r ? r->window : nullptr;
    if (r) unlock_handle(record);
    HWND frame = w ? GetParent(w) : nullptr;
    RECT outer{};
    if (!frame || !GetWindowRect(frame, &outer)) return false;
    place[0] = client.left;
    place[1] = client.top;
    place[2] = outer.right - outer.left;
    place[3] = outer.bottom - outer.top;
    return true;
}

HWND history_frame() {
    auto* r = static_cast<output_record*>(lock_handle(sel_history));
    HWND w = r ? r->window : nullptr;
    if (r) unlock_handle(sel_history);
    return w ? GetParent(w) : nullptr;
}

// A text window's data is going: when it is the history's, its placement is
// kept and the window forgotten.
void record_released(handle record) {
    if (record && record == sel_history) {
        int place[4];
        if (frame_place(record, place)) std::copy(place, place + 4, opts.sel_dim);
        set_selection_history_sink(nullptr);
        set_float_window(fw_sel_history, nullptr);
        sel_history = 0;
    }
    if (next_release_listener) next_release_listener(record);
}

// The history belongs to no tool: a tool's pending one-shots are put aside
// while it opens, so it neither takes over that tool's window nor uses its
// placement, and the current output stays the tool's.
struct aside_oneshots {
    handle output = cur_output;
    handle tool = opening_tool;
    preset_rect_t rect = preset_rect;
    HWND present = present_wnd;
    HWND parent = io_parent_wnd;
    aside_oneshots() {
        opening_tool = 0;
        preset_rect = {};
        present_wnd = nullptr;
        io_parent_wnd = nullptr;
    }
    ~aside_oneshots() {
        cur_output = output;
        opening_tool = tool;
        preset_rect = rect;
        present_wnd = present;
        io_parent_wnd = parent;
    }
    aside_oneshots(const aside_oneshots&) = delete;
    aside_oneshots& operator=(const aside_oneshots&) = delete;
};

} // namespace

void show_selection_history(int open, int x, int y, int width, int height) {
    if (sel_history) {
        // Forward even when it is the active child already but covered (by
        // the Control Panel, say), yet under the windows kept on top.
        activate_record_window(sel_history);
        if (HWND frame = history_frame()) {
            SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            place_under_floats(frame, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        return;
    }
    const int given[4] = {x, y, width, height};
    for (int i = 0; i < 4; ++i)
        if (given[i] != -1) opts.sel_dim[i] = given[i];
    if (!open) return;
    // The stored rectangle is the frame's; the text window inside it is
    // smaller by the sizing border and the caption strip.
    int tw = 0, th = 0, px = -1, py = -1;
    if (opts.sel_dim[2] > 0 && opts.sel_dim[3] > 0) {
        tw = std::max(1, opts.sel_dim[2] - 2 * GetSystemMetrics(SM_CXFRAME));
        th = std::max(1, opts.sel_dim[3] - 2 * GetSystemMetrics(SM_CYFRAME) - caption_height);
        px = std::max(0, opts.sel_dim[0]);
        py = std::max(0, opts.sel_dim[1]);
    }
    handle h = 0;
    {
        aside_oneshots aside;
        h = open_text_window(history_title, px, py, tw, th, 0, nullptr);
    }
    if (!h) return;
    sel_history = h;
    set_float_window(fw_sel_history, history_frame());
    set_selection_history_sink(add_line);
}

void install_selection_history() {
    tool_window_hooks.selection_history = show_selection_history;
    if (text_record_released != record_released) {
        next_release_listener = text_record_released;
        text_record_released = record_released;
    }
}
