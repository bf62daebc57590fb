// The shell's calls up to the libraries above it, each forwarding to its hook
// (the least behaviour while the hook is unset), and the analysis-tool rows'
// stand-in setups; see upcalls.h and shell/toolset.h.
#include "shell/upcalls.h"

#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "shell/toolset.h"

#include <cstring>
#include <string>

WNDPROC spread_window_hook = nullptr;
LRESULT spread_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return spread_window_hook ? spread_window_hook(w, m, wp, lp) : DefWindowProc(w, m, wp, lp);
}

sketch_window_hooks sketch_hooks;

handle find_sketch_window(const char* name, int mode, int flags) {
    return sketch_hooks.find ? sketch_hooks.find(name, mode, flags) : 0;
}
int close_sketch_windows(handle record) {
    return sketch_hooks.close ? sketch_hooks.close(record) : 1;
}
int query_close_sketch_windows(handle record) {
    return sketch_hooks.query_close ? sketch_hooks.query_close(record) : 1;
}
void unlock_sketch() {}
void free_sketch_bitmaps() {
    if (sketch_hooks.shutdown) sketch_hooks.shutdown();
}
LRESULT sketch_parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return sketch_hooks.frame_proc ? sketch_hooks.frame_proc(w, m, wp, lp)
                                   : DefWindowProc(w, m, wp, lp);
}
LRESULT sketch_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return sketch_hooks.view_proc ? sketch_hooks.view_proc(w, m, wp, lp)
                                  : DefWindowProc(w, m, wp, lp);
}
LRESULT qslider_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return sketch_hooks.slider_proc ? sketch_hooks.slider_proc(w, m, wp, lp)
                                    : DefWindowProc(w, m, wp, lp);
}

chart_app_hooks chart_app;

int init_mfc_app() {
    return chart_app.init ? chart_app.init() : 1;
}
void exit_mfc_app() {
    if (chart_app.exit) chart_app.exit();
}

graph_set_slot_hooks graph_set_slots;

int ask_save_graph_sets(int flag) {
    return graph_set_slots.ask_save ? graph_set_slots.ask_save(flag) : 1;
}

lookup_editor_hook_set lookup_editor_hooks;

int open_lookup_editor(const char* name) {
    return lookup_editor_hooks.edit ? lookup_editor_hooks.edit(name) : 0;
}

LRESULT lookup_class_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return lookup_editor_hooks.graph_proc ? lookup_editor_hooks.graph_proc(w, m, wp, lp)
                                          : DefWindowProc(w, m, wp, lp);
}

LRESULT (*ctext_window_hook)(HWND, UINT, WPARAM, LPARAM) = nullptr;

LRESULT ctext_class_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return ctext_window_hook ? ctext_window_hook(w, m, wp, lp) : DefWindowProc(w, m, wp, lp);
}

void (*dde_quit_spreadsheets_hook)(int force) = nullptr;
void dde_quit_spreadsheets(int force) {
    if (dde_quit_spreadsheets_hook) dde_quit_spreadsheets_hook(force);
}

void refresh_sketch_values() {
    if (sketch_hooks.refresh) sketch_hooks.refresh();
}

// ------------------------------------------------ stand-in tool setups ---

namespace {

// The option fields this subsystem knows, laid out in file order.
constexpr toptset_field tree_table[] = {
    {0, tf_int},    {4, tf_byte},   {5, tf_byte},   {6, tf_byte},   {7, tf_byte},   {8, tf_byte},
    {9, tf_byte},   {10, tf_byte},  {11, tf_byte},  {12, tf_byte},  {13, tf_byte},  {14, tf_byte},
    {16, tf_font},  {56, tf_font},  {96, tf_font},  {136, tf_font}, {176, tf_font}, {216, tf_int},
    {220, tf_byte}, {221, tf_byte}, {222, tf_byte}, {-1, 0},
};
constexpr toptset_field outline_table[] = {
    {0, tf_int},   {4, tf_byte},  {5, tf_byte},  {6, tf_byte},  {7, tf_byte},
    {8, tf_byte},  {9, tf_byte},  {10, tf_byte}, {11, tf_byte}, {12, tf_byte},
    {13, tf_byte}, {14, tf_byte}, {16, tf_font}, {-1, 0},
};
constexpr toptset_field document_table[] = {
    {0, tf_byte},  {1, tf_byte},  {2, tf_byte},  {3, tf_byte},  {4, tf_byte},  {5, tf_byte},
    {6, tf_byte},  {7, tf_byte},  {8, tf_byte},  {9, tf_byte},  {10, tf_byte}, {11, tf_byte},
    {12, tf_byte}, {13, tf_byte}, {14, tf_byte}, {15, tf_byte}, {16, tf_byte}, {17, tf_byte},
    {18, tf_byte}, {19, tf_byte}, {20, tf_int},  {24, tf_font}, {-1, 0},
};
constexpr toptset_field table_table[] = {
    {0, tf_byte},   {1, tf_byte},  {2, tf_byte},   {3, tf_byte},  {4, tf_byte},   {5, tf_byte},
    {6, tf_byte},   {7, tf_byte},  {8, tf_byte},   {9, tf_byte},  {10, tf_byte},  {11, tf_byte},
    {12, tf_font},  {52, tf_int},  {56, tf_int},   {60, tf_byte}, {64, tf_float}, {68, tf_float},
    {72, tf_float}, {76, tf_byte}, {80, tf_float}, {84, tf_byte}, {85, tf_byte},  {86, tf_byte},
    {88, tf_float}, {92, 8},       {-1, 0},
};

struct standin_kind {
    int size;                    // option block bytes
    const toptset_field* fields; // null: the line is kept as text
    int lines;                   // option lines read (0 none)
    std::uint32_t icon;
};

// Running a tool whose kind is not built yet says so, as the menus' and the
// toolbar's unbuilt commands do, instead of doing nothing.
void standin_action(handle tool) {
    report(6, "%s is not built yet in this version of Kavrel Viewer.", tool_name(tool).c_str());
}

// A kind without a field table keeps its lines' texts; their cells are the
// first words of its (otherwise zero) option block.
int standin_setup(const standin_kind& k, int mode, handle tool, std::string* out,
                  const char* text) {
    if (!tool) return k.size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return k.size;
        std::memset(tool_options(r), 0, static_cast<std::size_t>(k.size));
        r->icon = k.icon;
        r->action = tool_action_id(standin_action);
        unlock_tool(tool);
        if (!text) return k.size;
        for (int i = 0; i < k.lines && read_line(0); ++i) {
            if (k.fields) {
                r = lock_tool(tool);
                read_toptset(line_buf, tool_options(r), static_cast<std::uint32_t>(k.size),
                             k.fields);
                unlock_tool(tool);
                continue;
            }
            std::string line = line_buf;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            std::int32_t cell = tool_add_text(tool, line.c_str());
            r = lock_tool(tool);
            std::memcpy(static_cast<char*>(tool_options(r)) + 4 * i, &cell, 4);
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        for (int i = 0; i < k.lines; ++i) {
            tool_record* r = lock_tool(tool);
            if (!r) break;
            if (k.fields) {
                write_toptset(out, tool_options(r), static_cast<std::uint32_t>(k.size), k.fields);
                unlock_tool(tool);
                continue;
            }
            std::int32_t cell;
            std::memcpy(&cell, static_cast<char*>(tool_options(r)) + 4 * i, 4);
            unlock_tool(tool);
            *out += tool_text(tool, cell);
            *out += '\n';
        }
    }
    return k.size;
}

} // namespace

const toptset_field* standin_field_table(int row) {
    switch (row) {
    case 0:
        return tree_table;
    case 1:
        return outline_table;
    case 3:
        return document_table;
    case 4:
        return table_table;
    default:
        return nullptr;
    }
}

int seam_tree_setup(int mode, handle tool, std::string* out, const char* text) {
    int size = standin_setup({224, tree_table, 1, 0x2D0000}, mode, tool, out, text);
    if (tool && mode == 0) {
        tool_record* r = lock_tool(tool);
        std::uint8_t kind = static_cast<std::uint8_t*>(tool_options(r))[4];
        r->icon = kind == 2 ? 0x1E0090 : kind == 1 ? 0x2D0010 : 0x2D0000;
        unlock_tool(tool);
    }
    return size;
}
int seam_outline_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({56, outline_table, 1, 0xF0090}, mode, tool, out, text);
}
int seam_loops_setup(int mode, handle tool, std::string* out, const char* text) {
    standin_setup({0, nullptr, 0, 0xF0080}, mode, tool, out, text);
    return 0;
}
int seam_document_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({64, document_table, 1, 48}, mode, tool, out, text);
}
int seam_table_setup(int mode, handle tool, std::string* out, const char* text) {
    int size = standin_setup({120, table_table, 1, 0x2D0030}, mode, tool, out, text);
    if (tool && mode == 0) {
        tool_record* r = lock_tool(tool);
        if (static_cast<std::uint8_t*>(tool_options(r))[60]) r->icon = 0x2D0070;
        unlock_tool(tool);
    }
    return size;
}
int seam_stats_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({144, nullptr, 1, 0x2D0040}, mode, tool, out, text);
}
int seam_graph_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({280, nullptr, 4, 0xF0050}, mode, tool, out, text);
}
int seam_strip_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({156, nullptr, 1, 0x1E0000}, mode, tool, out, text);
}
int seam_bar_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({112, nullptr, 1, 16}, mode, tool, out, text);
}
int seam_sens_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({224, nullptr, 1, 0x2D0080}, mode, tool, out, text);
}
int seam_gantt_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({52, nullptr, 1, 0xF0010}, mode, tool, out, text);
}
int seam_units_setup(int mode, handle tool, std::string* out, const char* text) {
    standin_setup({0, nullptr, 0, 0x2D0050}, mode, tool, out, text);
    return 0;
}
int seam_runs_compare_setup(int mode, handle tool, std::string* out, const char* text) {
    return standin_setup({60, nullptr, 1, 32}, mode, tool, out, text);
}
