// The bottom bar's build table from a sketch window (see fontbar.h).
#include "sketch/fontbar.h"

#include "foundation/memory.h"
#include "model/constants.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "shell/state.h"

#include <algorithm>
#include <cstring>

namespace {

COLORREF shown_colour(std::uint32_t c) {
    return c == 0xFFFFFFFFu ? RGB(0, 0, 0) : static_cast<COLORREF>(c & 0xFFFFFF);
}

} // namespace

bottom_view_values sketch_bar_values(const sketch_state& s) {
    const view_rec& r = s.view.rec;
    bottom_view_values v;
    v.view_name.assign(r.name, strnlen(r.name, sizeof r.name));
    v.shown_level = s.shown_level;
    v.face.assign(r.font.face, strnlen(r.font.face, sizeof r.font.face));
    v.size = r.font.size;
    v.style = r.font.style & 15u;
    v.text_colour = shown_colour(r.font.colour);
    v.outline_colour = shown_colour(r.outline);
    v.connector_colour = shown_colour(r.connector);
    return v;
}

bottom_view_values element_bar_values(const sketch_state& s, int n, bool* own) {
    bottom_view_values v = sketch_bar_values(s);
    if (own) *own = false;
    if (n <= 0 || n >= s.view.count()) return v;
    const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
    if (own) *own = e.style != 0;
    if (e.kind == ek_connector) {
        if (e.style & 1) v.connector_colour = shown_colour(e.line_colour);
    } else if (e.style & 1) {
        v.outline_colour = shown_colour(e.own_outline);
    }
    if (e.style & 32) v.face.assign(e.font.face, strnlen(e.font.face, sizeof e.font.face));
    if (e.style & 8) v.size = e.font.size;
    if (e.style & 2) v.text_colour = shown_colour(e.font.colour);
    if (e.style & 16) v.style = e.font.style & 15u;
    return v;
}

int show_element_font(sketch_state& s, HWND frame, int n) {
    bool own = false;
    const bottom_view_values v = element_bar_values(s, n, &own);
    if (frame && frame == build_wnd && active_kind == kind_build) set_bottom_view_values(v);
    s.bar_element_font = true;
    return own ? 1 : 0;
}

void show_sketch_bar(const sketch_state& s, HWND frame) {
    if (frame && frame == build_wnd && active_kind == kind_build)
        set_bottom_view_values(sketch_bar_values(s));
}

std::vector<std::pair<int, std::string>> listed_views(handle symbols) {
    std::vector<std::pair<int, std::string>> out;
    if (!symbols) return out;
    handle vb = get_header_word(symbols, mh_views);
    if (!vb || !handle_valid(vb)) return out;
    std::uint32_t n = get_header_word(symbols, mh_view_count) & 0xFFFF;
    n = std::min<std::uint32_t>(n, handle_size(vb) / sizeof(view_rec));
    handle_lock<view_rec> recs(vb);
    if (!recs) return out;
    for (std::uint32_t i = 0; i < n; ++i) {
        const view_rec& r = recs.get()[i];
        if (!r.name[0] || (r.flags & 1)) continue;
        out.emplace_back(static_cast<int>(i), std::string(r.name, strnlen(r.name, sizeof r.name)));
    }
    return out;
}

std::vector<std::string> depth_texts() {
    std::vector<std::string> t{"Hide"};
    for (int i = 1; i < max_level; ++i) t.push_back("Depth " + std::to_string(i));
    t.emplace_back("Show");
    return t;
}
