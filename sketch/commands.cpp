// The sketch frame's commands: selection, find, zoom and fit, hidden-element
// depth, the view list and the answers to the authoring edition's commands.
#include "sketch/commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "foundation/report.h"
#include "model/model.h"
#include "model/varnames.h"
#include "shell/controls/popuplist.h"
#include "shell/menucmd.h"
#include "shell/questions.h"
#include "sim/simdata.h"
#include "sketch/fontbar.h"
#include "sketch/keys.h"
#include "sketch/mouse.h"
#include "sketch/overlays.h"
#include "sketch/overrides.h"
#include "sketch/sliders.h"
#include "sketch/viewnav.h"
#include "sketch/views.h"

namespace {

// The symbol each view last searched for (Find Again goes on with it).
std::map<HWND, symbol_id>& search_symbols() {
    static std::map<HWND, symbol_id> map;
    return map;
}

bool live(const sketch_state& s) {
    return livesweep_state == ls_on && s.symbols && s.symbols == cur_model_symbols;
}

void client_size(HWND view, int* w, int* h) {
    RECT rc{};
    GetClientRect(view, &rc);
    *w = rc.right;
    *h = rc.bottom;
}

// After the shown level changed: the window, the bar and, in Livesweep, the
// sliders and the override marks follow.
void set_level(HWND view, sketch_state& s, int level) {
    s.shown_level = static_cast<std::int8_t>(std::clamp(level, 0, max_level));
    InvalidateRect(view, nullptr, FALSE);
    show_sketch_bar(s, GetParent(view));
    if (live(s)) {
        set_quick_sliders(view, s, 1);
        if (override_flags & 2) apply_input_overrides(&s, 1);
    }
}

void set_zoom(HWND view, sketch_state& s, int zoom) {
    if (zoom == s.zoom && !s.fit) return;
    set_sketch_zoom(view, zoom);
}

void fit(HWND view, sketch_state& s) {
    int w, h, zoom, sx, sy;
    client_size(view, &w, &h);
    fit_view_zoom(s, w, h, &zoom, &sx, &sy);
    set_sketch_zoom(view, zoom);
    scroll_sketch_to(view, sx, sy);
    if (live(s)) set_quick_sliders(view, s, 0);
}

void custom_zoom(HWND view, sketch_state& s) {
    const std::string current = std::to_string(s.zoom);
    for (;;) {
        const char* answer = ask_text("% of normal to zoom to", current.c_str());
        if (!answer) return;
        int zoom = 0;
        const int r = parse_zoom_answer(answer, &zoom);
        if (r == 0) return;
        if (r > 0) {
            set_zoom(view, s, zoom);
            return;
        }
    }
}

// The one selected variable element (0: none or several).
int one_selected_variable(const sketch_state& s) {
    int found = 0;
    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind != ek_variable || !(e.runtime & ef_selected)) continue;
        if (found) return 0;
        found = n;
    }
    return found;
}

void find_command(HWND view, sketch_state& s, int id) {
    if (!s.symbols || s.symbols != cur_model_symbols) return;
    symbol_id symbol = 0;
    int after = 0;
    if (id == skc_find_workbench) {
        symbol = workbench_var.var;
    } else if (id == skc_find_again) {
        if (const int n = one_selected_variable(s)) {
            symbol = s.view.elems[static_cast<std::size_t>(n)].payload;
            after = n;
        }
    }
    if (!symbol) {
        clear_selection(s);
        InvalidateRect(view, nullptr, FALSE);
        const char* answer = ask_text("Search Views for:", "");
        if (!answer || !*answer) return;
        const std::string name = answer;
        {
            model_lock_guard lock(s.symbols, 0);
            if (lock.ok()) symbol = find_symbol(name.c_str());
        }
        if (!symbol) {
            report(8, "Unable to find \"%s\" in any view", name.c_str());
            return;
        }
        search_symbols()[view] = symbol;
    }
    find_in_views(view, symbol, after);
}

void select_kind(HWND view, sketch_state& s, int command) {
    select_sketch_elements(s, true, command);
    InvalidateRect(view, nullptr, FALSE);
}

void select_visible(HWND view, sketch_state& s) {
    int w, h;
    client_size(view, &w, &h);
    const int zoom = s.zoom > 0 ? s.zoom : 100;
    s.band_x0 = static_cast<int>(static_cast<long>(s.scroll_x) * 100 / zoom);
    s.band_y0 = static_cast<int>(static_cast<long>(s.scroll_y) * 100 / zoom);
    s.band_x1 = static_cast<int>((static_cast<long>(s.scroll_x) + w) * 100 / zoom);
    s.band_y1 = static_cast<int>((static_cast<long>(s.scroll_y) + h) * 100 / zoom);
    select_sketch_elements(s, true, -1);
    s.band_shown = false;
    InvalidateRect(view, nullptr, FALSE);
}

void view_list(HWND view, sketch_state& s) {
    const auto views = s.symbols ? listed_views(s.symbols) : decltype(listed_views(0)){};
    std::vector<std::string> names;
    int current = -1;
    for (const auto& [number, name] : views) {
        if (number == s.current_view) current = static_cast<int>(names.size());
        names.push_back(name);
    }
    names.emplace_back("**New**");
    std::vector<const char*> p;
    for (const std::string& t : names) p.push_back(t.c_str());
    const int chosen = popup_list(p.data(), nullptr, static_cast<int>(p.size()), current);
    if (chosen < 0 || chosen >= static_cast<int>(names.size()) || names[chosen].empty()) return;
    if (chosen < static_cast<int>(views.size())) {
        show_sketch_view(view, views[static_cast<std::size_t>(chosen)].first, 0);
        return;
    }
    if (!s.symbols || s.symbols != cur_model_symbols) return;
    // A new view: made by loading view -1 into a scratch state, so the
    // window's own state changes only by showing it.
    sketch_state fresh;
    fresh.symbols = s.symbols;
    fresh.header = s.header;
    fresh.zoom = s.zoom;
    const int made = load_view(fresh, -1, 0, false, 0, false);
    if (made < 0) return;
    // The new view looks like the one it was made from.
    handle vb = get_header_word(s.symbols, mh_views);
    if (vb && handle_valid(vb) &&
        static_cast<std::uint32_t>(made) < handle_size(vb) / sizeof(view_rec)) {
        handle_lock<view_rec> recs(vb);
        if (recs) {
            view_rec& r = recs.get()[made];
            const view_rec& from = s.view.rec;
            r.background = from.background;
            r.outline = from.outline;
            r.connector = from.connector;
            r.fill = from.fill;
            r.font = from.font;
            r.init_link_colour = from.init_link_colour;
            r.zoom = from.zoom;
        }
    }
    show_sketch_view(view, made, 0);
}

} // namespace

bool content_bounds(const sketch_state& s, RECT* out) {
    long l = 30000, t = 30000, r = -30000, b = -30000;
    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind >= ek_variable) {
            l = std::min<long>(l, e.x - e.w);
            r = std::max<long>(r, e.x + e.w);
            t = std::min<long>(t, e.y - e.h);
            b = std::max<long>(b, e.y + e.h);
        } else if (e.kind == ek_connector) {
            for (const sketch_point& p : e.points) {
                l = std::min<long>(l, p.x);
                r = std::max<long>(r, p.x);
                t = std::min<long>(t, p.y);
                b = std::max<long>(b, p.y);
            }
        }
    }
    if (l > r || t > b) return false;
    if (out)
        *out = RECT{static_cast<int>(l), static_cast<int>(t), static_cast<int>(r),
                    static_cast<int>(b)};
    return true;
}

void fit_view_zoom(const sketch_state& s, int w, int h, int* zoom, int* scroll_x, int* scroll_y) {
    RECT c;
    if (!content_bounds(s, &c)) {
        // An empty view: nothing to fit (not the 30000 bounds of no content).
        *zoom = 100;
        *scroll_x = *scroll_y = 0;
        return;
    }
    const double cw = std::max<long>(1, c.right - c.left), ch = std::max<long>(1, c.bottom - c.top);
    double factor = 1;
    if (cw > w - 20) factor = std::min(factor, (w - 20) / cw);
    if (ch > h - 20) factor = std::min(factor, (h - 20) / ch);
    *zoom = factor >= 1 ? 100 : std::max(10, static_cast<int>(factor * 100));
    const long z = *zoom;
    *scroll_x = static_cast<int>(c.left * z / 100 - (w - static_cast<long>(cw) * z / 100) / 2);
    *scroll_y = static_cast<int>(c.top * z / 100 - (h - static_cast<long>(ch) * z / 100) / 2);
}

int parse_zoom_answer(const char* text, int* zoom) {
    if (!text) return 0;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    if (!*text) return 0;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    while (end && std::isspace(static_cast<unsigned char>(*end))) ++end;
    if (errno || end == text || (end && *end) || v < 10 || v > 500) {
        report(8, "Enter a %% between 10 and 500");
        return -1;
    }
    *zoom = static_cast<int>(v);
    return 1;
}

int next_shown_level(const sketch_state& s, bool more) {
    const int level = s.shown_level;
    if (more && level >= max_level) {
        report(8, "All hidden elements are showing");
        return max_level;
    }
    if (!more && level <= 0) {
        report(8, "No hidden elements showing");
        return 0;
    }
    if (s.mode == 15 || s.mode == 23) return more ? level + 1 : level - 1;
    int best = more ? max_level : 0;
    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind != ek_connector && e.kind < ek_variable) continue;
        const int l = e.level_value();
        if (more && l > level) best = std::min(best, l);
        if (!more && l < level) best = std::max(best, l);
    }
    return best;
}

int find_symbol_after(const sketch_state& s, symbol_id symbol, int after) {
    for (int n = std::max(after, 0) + 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind == ek_variable && e.payload == symbol) return n;
    }
    return 0;
}

bool find_in_views(HWND view, symbol_id symbol, int after) {
    sketch_state* s = sketch_of(view);
    if (!s || !symbol || !s->symbols) return false;
    int found = find_symbol_after(*s, symbol, after);
    if (!found) {
        // The other views in order from the next one, round to the current.
        const auto views = listed_views(s->symbols);
        std::size_t at = 0;
        while (at < views.size() && views[at].first != s->current_view) ++at;
        for (std::size_t k = 1; k <= views.size() && !found; ++k) {
            const int number = views[(at + k) % views.size()].first;
            if (number == s->current_view) continue;
            sketch_state probe;
            probe.symbols = s->symbols;
            probe.header = s->header;
            if (load_view(probe, number, 0, false, 0, false) != number) continue;
            if (!find_symbol_after(probe, symbol, 0)) continue;
            show_sketch_view(view, number, 0);
            s = sketch_of(view);
            if (!s || s->current_view != number) return false;
            found = find_symbol_after(*s, symbol, 0);
        }
    }
    if (!found) {
        std::string name;
        {
            model_lock_guard lock(s->symbols, 0);
            if (lock.ok() && valid_symbol(symbol)) name = sym_name(symbol);
        }
        report(8, "Unable to find \"%s\" in any view", name.c_str());
        return false;
    }
    clear_selection(*s);
    set_selected(*s, found, true);
    s->selection = 1;
    s->last_selected = static_cast<std::uint16_t>(found);
    // What is found is chosen, as a click on it would: the next tool works on it.
    make_workbench_variable(*s, found);
    s = sketch_of(view);
    if (!s) return true;
    // Scrolled so the element sits in the middle of the client.
    const sketch_elem& e = s->view.elems[static_cast<std::size_t>(found)];
    int w, h;
    client_size(view, &w, &h);
    scroll_sketch_to(view, static_cast<int>(static_cast<long>(e.x) * s->zoom / 100 - w / 2),
                     static_cast<int>(static_cast<long>(e.y) * s->zoom / 100 - h / 2));
    InvalidateRect(view, nullptr, FALSE);
    return true;
}

bool sketch_frame_command(HWND view, int id) {
    sketch_state* s = sketch_of(view);
    if (!s) return false;
    switch (id) {
    case sel_all:
    case sel_main:
    case sel_aux:
    case sel_arrows:
    case sel_levels:
    case sel_rates:
    case sel_shadows:
        select_kind(view, *s, id);
        return true;
    case skc_view_list:
        view_list(view, *s);
        return true;
    case skc_select_visible:
        select_visible(view, *s);
        return true;
    case skc_find:
    case skc_find_workbench:
    case skc_find_again:
        find_command(view, *s, id);
        return true;
    case skc_ctrl_i:
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return true;
    case skc_zoom_200:
    case skc_zoom_100:
    case skc_zoom_75:
    case skc_zoom_50: {
        static const int zooms[] = {200, 100, 75, 50};
        set_zoom(view, *s, zooms[id - skc_zoom_200]);
        return true;
    }
    case skc_zoom_fit:
        fit(view, *s);
        return true;
    case skc_zoom_custom:
        custom_zoom(view, *s);
        return true;
    case skc_depth_list: {
        const auto texts = depth_texts();
        std::vector<const char*> p;
        for (const std::string& t : texts) p.push_back(t.c_str());
        const int chosen = popup_list(p.data(), nullptr, static_cast<int>(p.size()),
                                      std::clamp<int>(s->shown_level, 0, max_level));
        if (chosen >= 0 && chosen <= max_level) set_level(view, *s, chosen);
        return true;
    }
    case skc_show_more:
    case skc_show_less:
        set_level(view, *s, next_shown_level(*s, id == skc_show_more));
        return true;
    // The authoring edition's editing commands (undo, redo, save, paste, cut,
    // the Ctrl+H, Ctrl+T and Ctrl+U tools, the view list's Enter, Save As and
    // Publish of the File menu, which reach the active diagram) answer as
    // the workbench's unserved commands do.
    case skc_ctrl_h:
    case skc_undo:
    case skc_redo:
    case skc_save:
    case skc_paste:
    case skc_cut:
    case skc_ctrl_t:
    case skc_ctrl_u:
    case 319:
    case 494: // File > Save As: the diagram is never written by the viewer
    case 433: // File > Publish
        not_available(id);
        return true;
    default:
        if (id >= skc_depth_first && id <= skc_depth_last) {
            set_level(view, *s, id - skc_depth_first);
            return true;
        }
        return false;
    }
}
