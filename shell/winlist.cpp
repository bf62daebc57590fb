// Activating and cycling the container's windows, the Windows menu's list of
// build windows and the File menu's recent models.
#include "shell/winlist.h"

#include "foundation/ini.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "platform/menu.h"
#include "platform/messages.h"
#include "resources/menus.h"
#include "shell/bottombar.h"
#include "shell/floats.h"
#include "shell/menubar.h"
#include "shell/questions.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/upcalls.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace {

std::vector<HWND> window_list;
std::vector<std::string> recent;

// Placement of a window while it is shown maximised in the container.
struct saved_place {
    LONG style = 0;
    RECT rect{};
};
std::map<std::uint32_t, saved_place> saved_places;

std::string window_title(HWND w) {
    char buf[512];
    int n = GetWindowText(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Deletes every item after the item `last_id` of a menu.
void cut_menu_after(HMENU menu, UINT last_id) {
    if (!menu) return;
    int n = GetMenuItemCount(menu);
    int pos = -1;
    for (int i = 0; i < n; ++i)
        if (GetMenuItemID(menu, i) == last_id) pos = i;
    if (pos < 0) return;
    for (int i = GetMenuItemCount(menu) - 1; i > pos; --i) DeleteMenu(menu, i, MF_BYPOSITION);
}

void rebuild_window_menu() {
    cut_menu_after(windows_menu, cmd_keep_build_behind);
    if (!windows_menu || window_list.empty()) return;
    AppendMenu(windows_menu, MF_SEPARATOR, 0, nullptr);
    int n = static_cast<int>(window_list.size());
    for (int i = 0; i < n && i < 10; ++i)
        AppendMenu(windows_menu, MF_STRING, first_window_item + i,
                   menu_escape(window_title(window_list[i])).c_str());
    if (n > 10) AppendMenu(windows_menu, MF_STRING, more_windows_item, "More...");
}

void rebuild_recent_menu() {
    cut_menu_after(file_menu, cmd_exit);
    if (!file_menu || recent.empty()) return;
    AppendMenu(file_menu, MF_SEPARATOR, 0, nullptr);
    for (std::size_t i = 0; i < recent.size(); ++i) {
        std::string item = "&";
        item += std::to_string(i + 1);
        item += ' ';
        item += menu_escape(menu_path_text(recent[i].c_str()));
        AppendMenu(file_menu, MF_STRING, first_recent_item + i, item.c_str());
    }
}

std::string absolute_path(const char* path) {
    std::error_code ec;
    std::filesystem::path p(path);
    auto abs = std::filesystem::absolute(p, ec);
    if (ec) return path;
    return abs.lexically_normal().string();
}

void add_recent(const char* path) {
    while (*path == ' ' || *path == '\t') ++path;
    if (!*path) return;
    std::string p = absolute_path(path);
    auto it = std::find(recent.begin(), recent.end(), p);
    if (it != recent.end()) recent.erase(it);
    recent.insert(recent.begin(), p);
    if (recent.size() > static_cast<std::size_t>(recent_model_count))
        recent.resize(recent_model_count);
}

std::string recent_key(int n) {
    return "ModelsOld" + std::to_string(n);
}

// The kind of a container-level window by its procedure.
int kind_of(HWND w) {
    auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(w, GWLP_WNDPROC));
    if (proc == toolwrapper_proc) return kind_output;
    if (proc == sketch_parent_proc) return kind_build;
    return kind_text;
}

// The ancestor of w that is a direct child of the container (null when w
// does not lie in the container).
HWND container_level(HWND w) {
    if (!container_wnd) return nullptr;
    while (w && IsWindow(w)) {
        HWND parent = GetParent(w);
        if (parent == container_wnd) return w;
        if (!parent || w == main_wnd) return nullptr;
        w = parent;
    }
    return nullptr;
}

// The Control Panel, the Subscript Control and the history windows float in
// the container but are no windows of the model: they never become the
// active child, which would put their (empty) menus on the bar, send them
// the File commands and take the model's path off the bottom bar. The
// selection history is the exception: it is an output window (a tool frame)
// that only keeps its position with the floating ones, and activates,
// cycles and arranges as an output window.
bool is_floating_kind(int k) {
    return k != fw_sel_history;
}

bool is_floating(HWND w) {
    for (int k = 0; k < fw_count; ++k)
        if (is_floating_kind(k) && w && float_window(static_cast<float_kind>(k)) == w) return true;
    return false;
}

std::vector<HWND> container_children() {
    std::vector<HWND> out;
    if (!container_wnd) return out;
    for (HWND w = GetWindow(container_wnd, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (!is_floating(w)) out.push_back(w);
    return out;
}

bool counts_as(HWND w, int kind) {
    int k = kind_of(w);
    if (kind == kind_text) return k == kind_text && IsWindowVisible(w);
    return k == kind;
}

// Shows w in the container's maximised place (no caption or frame, the whole
// client area), giving the previous holder its saved style and placement.
void take_maximised_place(HWND w, HWND previous) {
    if (previous && previous != w && IsWindow(previous)) {
        auto it = saved_places.find(token_of(previous));
        if (it != saved_places.end()) {
            SetWindowLong(previous, GWL_STYLE, it->second.style | WS_VISIBLE);
            const RECT& r = it->second.rect;
            MoveWindow(previous, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
            saved_places.erase(it);
        }
    }
    if (!saved_places.count(token_of(w))) {
        saved_place sp;
        sp.style = GetWindowLong(w, GWL_STYLE);
        RECT r{};
        GetWindowRect(w, &r);
        POINT tl{r.left, r.top}, br{r.right, r.bottom};
        ScreenToClient(container_wnd, &tl);
        ScreenToClient(container_wnd, &br);
        sp.rect = RECT{tl.x, tl.y, br.x, br.y};
        saved_places[token_of(w)] = sp;
    }
    SetWindowLong(w, GWL_STYLE, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    RECT cr{};
    GetClientRect(container_wnd, &cr);
    MoveWindow(w, 0, 0, cr.right, cr.bottom, TRUE);
}

HWND current_output = nullptr;
HWND current_text = nullptr;

void make_active(HWND w) {
    HWND old = active_child;
    if (old && old != w && IsWindow(old)) SendMessage(old, WM_NCACTIVATE, FALSE, 0);
    active_child = nullptr;
    switch (kind_of(w)) {
    case kind_output:
        if (current_output != w && shell_opts.output_maximised)
            take_maximised_place(w, current_output);
        current_output = w;
        active_kind = kind_output;
        output_menu_bar();
        break;
    case kind_build:
        active_kind = kind_build;
        if (!IsWindowVisible(w)) { // minimised from its caption buttons
            ShowWindow(w, SW_SHOW);
            remove_window_menu_item(w);
        }
        if (menu_bar_mode() == 1) {
            // The output bar goes: its Edit menu, Lock/Unlock and Save As act
            // on an output window, not on the diagram. The bar of no output
            // window takes its place (the diagram puts its own menus in as it
            // is activated), and the bottom bar gets back the text the output
            // bar took.
            const std::string text = bottom_bar_text();
            rebuild_menu_bar();
            set_bottom_text(text.c_str());
        }
        if (build_wnd != w) {
            // A build window made without a caption of its own can only be
            // shown maximised (after a restore, the next one is again).
            if (!(GetWindowLong(w, GWL_STYLE) & WS_CAPTION)) shell_opts.build_maximised = 1;
            if (shell_opts.build_maximised) take_maximised_place(w, build_wnd);
            build_wnd = w;
        }
        show_build_bottom_bar(w);
        break;
    default:
        SendMessage(w, WM_ACTIVATE, WA_ACTIVE, 0);
        active_kind = kind_text;
        current_text = w;
        rebuild_menu_bar();
        break;
    }
    // Each kind has its own layer: a build window stays below the floating
    // windows, and with Keep Build Behind below the output windows too, so
    // graphs that follow a slider stay in sight while the diagram has the
    // mouse; output windows come up to just below the floating windows.
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    switch (kind_of(w)) {
    case kind_build:
        place_under_floats_b(w, 0, 0, 0, 0, keep);
        break;
    case kind_output:
        place_under_floats(w, 0, 0, 0, 0, keep);
        break;
    default:
        place_in_container(w, 0, 0, 0, 0, keep);
        break;
    }
    active_child = w;
    draw_caption_buttons(-1);
    SendMessage(w, WM_NCACTIVATE, TRUE, 0);
    SetFocus(w);
    UpdateWindow(w);
}

void lose_active_child() {
    if (!model_rec) return;
    int kind = active_kind;
    std::vector<HWND> kids = container_children();
    HWND found = nullptr;
    int want = (kind == kind_build || kind == kind_none) ? kind_build : kind;
    for (HWND w : kids)
        if (w != active_child && counts_as(w, want)) {
            found = w;
            break;
        }
    if (!found)
        for (HWND w : kids)
            if (w != active_child && IsWindowVisible(w)) {
                found = w;
                break;
            }
    if (found) {
        make_active(found);
        return;
    }
    if (active_child && IsWindow(active_child)) SendMessage(active_child, WM_NCACTIVATE, FALSE, 0);
    active_child = nullptr;
    active_kind = kind_none;
    rebuild_menu_bar();
}

void cycle(HWND from, int kind) {
    if (kind == 0) kind = active_kind;
    if (kind == 0) return;
    std::vector<HWND> of_kind;
    for (HWND w : container_children())
        if (counts_as(w, kind)) of_kind.push_back(w);
    if (of_kind.empty()) return;
    HWND target = nullptr;
    auto it = std::find(of_kind.begin(), of_kind.end(), from);
    if (it != of_kind.end() && it + 1 != of_kind.end())
        target = *(it + 1);
    else
        target = of_kind.front();
    HWND last = of_kind.back();
    HWND previous = active_child;
    if (target == previous) return;
    make_active(target);
    if (previous && IsWindow(previous) && previous != last)
        SetWindowPos(previous, last, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// kind 3 with next -1: the output window just above `from`, else the lowest.
void cycle_back(HWND from) {
    std::vector<HWND> outputs;
    for (HWND w : container_children())
        if (counts_as(w, kind_output)) outputs.push_back(w);
    if (outputs.empty()) return;
    auto it = std::find(outputs.begin(), outputs.end(), from);
    HWND target = (it != outputs.end() && it != outputs.begin()) ? *(it - 1) : outputs.back();
    if (target != active_child) make_active(target);
}

bool group_has_windows(int group) {
    switch (group) {
    case 1:
    case 3:
        for (HWND w : container_children())
            if (counts_as(w, group == 1 ? kind_build : kind_output)) return true;
        return false;
    case 2:
        for (int k = 0; k < fw_count; ++k) {
            if (!is_floating_kind(k)) continue;
            HWND f = float_window(static_cast<float_kind>(k));
            if (f && IsWindow(f) && IsWindowVisible(f)) return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace

int next_window_group(int kind) {
    int group = (kind % 3) + 1;
    for (int tries = 0; tries < 3; ++tries, group = (group % 3) + 1)
        if (group_has_windows(group)) return group;
    return 0;
}

std::string menu_escape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 4);
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

std::string menu_path_text(const char* path) {
    std::string p = path ? path : "";
    return p.size() > 50 ? p.substr(p.size() - 50) : p;
}

void activate_window(HWND window, int next, int kind) {
    if (!window && !next && !kind) {
        lose_active_child();
        return;
    }
    if (next == -1 && kind == kind_output) {
        cycle_back(window);
        return;
    }
    if (next) {
        cycle(window, kind);
        return;
    }
    if (kind) {
        // The active kind's following group first, then the two after it:
        // the first with windows comes forward.
        if (int group = next_window_group(active_kind)) arrange_windows(group);
        return;
    }
    if (!window || window == main_wnd) return;
    if (bottom_wnd && (window == bottom_wnd || IsChild(bottom_wnd, window))) return;
    HWND top = container_level(window);
    if (!top || top == active_child || is_floating(top)) return;
    make_active(top);
}

int add_window_menu_item(HWND window) {
    auto it = std::find(window_list.begin(), window_list.end(), window);
    int index;
    if (it != window_list.end()) {
        index = static_cast<int>(it - window_list.begin());
    } else {
        window_list.push_back(window);
        index = static_cast<int>(window_list.size()) - 1;
    }
    rebuild_window_menu();
    return first_window_item + index;
}

void remove_window_menu_item(HWND window) {
    auto it = std::find(window_list.begin(), window_list.end(), window);
    if (it == window_list.end()) return;
    window_list.erase(it);
    rebuild_window_menu();
}

std::vector<HWND> listed_windows() {
    return window_list;
}

void clear_window_list() {
    window_list.clear();
    saved_places.clear();
    current_output = current_text = nullptr;
    rebuild_window_menu();
}

void select_window_item(int id) {
    if (id >= first_window_item && id < more_windows_item) {
        std::size_t i = static_cast<std::size_t>(id - first_window_item);
        if (i < window_list.size() && IsWindow(window_list[i]))
            activate_window(window_list[i], 0, 0);
        return;
    }
    std::vector<HWND> windows;
    const char* prompt;
    if (id == more_windows_item) {
        for (HWND w : window_list)
            if (IsWindow(w)) windows.push_back(w);
        prompt = "Select Build Window";
    } else if (id == output_list_item) {
        for (HWND w : container_children())
            if (kind_of(w) == kind_output) windows.push_back(w);
        if (windows.empty()) {
            report(8, "No Output Windows Open");
            return;
        }
        prompt = "Select Output Window";
    } else {
        return;
    }
    if (windows.empty()) return;
    std::vector<std::string> titles;
    for (HWND w : windows) titles.push_back(window_title(w));
    std::vector<const char*> items;
    for (const auto& t : titles) items.push_back(t.c_str());
    int current = 0;
    for (std::size_t i = 0; i < windows.size(); ++i)
        if (windows[i] == active_child) current = static_cast<int>(i);
    int chosen = ask_list(prompt, items.data(), static_cast<int>(items.size()), current);
    if (chosen >= 0 && chosen < static_cast<int>(windows.size()))
        activate_window(windows[static_cast<std::size_t>(chosen)], 0, 0);
}

const char* recent_models(int op, int id, const char* path) {
    switch (op) {
    case 2: {
        recent.clear();
        for (int n = 0; n < recent_model_count; ++n) {
            const char* v = ini_value(recent_key(n).c_str());
            if (!v) continue;
            while (*v == ' ' || *v == '\t') ++v;
            if (*v && std::find(recent.begin(), recent.end(), v) == recent.end())
                recent.emplace_back(v);
        }
        rebuild_recent_menu();
        return recent.empty() ? nullptr : "";
    }
    case 1:
        if (path) add_recent(path);
        rebuild_recent_menu();
        return "";
    case 0: {
        int i = id - first_recent_item;
        if (i < 0 || i >= static_cast<int>(recent.size())) return nullptr;
        return scratch_strdup(recent[static_cast<std::size_t>(i)].c_str());
    }
    case -2:
        for (int n = 0; n < recent_model_count; ++n)
            ini_set(recent_key(n).c_str(), n < static_cast<int>(recent.size())
                                               ? recent[static_cast<std::size_t>(n)].c_str()
                                               : "");
        return "";
    default:
        return nullptr;
    }
}

std::vector<std::string> recent_model_paths() {
    return recent;
}

void clear_recent_models() {
    recent.clear();
    rebuild_recent_menu();
}
