// Moving the selection in a sketch's working copy, and the working copy's
// undo and redo.
#include "sketch/moves.h"

#include <algorithm>

#include "sketch/geometry.h"

namespace {

std::int16_t clamp_unit(long v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
}

sketch_elem& elem(sketch_state& s, int n) {
    return s.view.elems[static_cast<std::size_t>(n)];
}

sketch_place place_of(const sketch_state& s, int n) {
    const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
    sketch_place p;
    p.n = n;
    if (e.kind == ek_connector)
        p.points = e.points;
    else
        p.x = e.x, p.y = e.y;
    return p;
}

bool valid(const sketch_state& s, int n) {
    return n > 0 && n < s.view.count();
}

// Puts the places back; connectors among them (and those of the elements
// among them) get their geometry again.
void restore(sketch_state& s, const std::vector<sketch_place>& places) {
    std::vector<std::uint8_t> touched(static_cast<std::size_t>(s.view.count()), 0);
    for (const sketch_place& p : places) {
        if (!valid(s, p.n)) continue;
        sketch_elem& e = elem(s, p.n);
        if (e.kind == ek_connector) {
            if (p.points.size() == e.points.size()) e.points = p.points;
        } else if (e.kind >= ek_variable) {
            e.x = p.x, e.y = p.y;
            extend_view_bounds(s, e.x, e.y, e.w, e.h);
        }
        touched[static_cast<std::size_t>(p.n)] = 1;
    }
    for (int i = 1; i < s.view.count(); ++i) {
        const sketch_elem& c = elem(s, i);
        if (c.kind != ek_connector) continue;
        const bool near = touched[static_cast<std::size_t>(i)] ||
                          (valid(s, c.tail) && touched[c.tail]) ||
                          (valid(s, c.head) && touched[c.head]);
        if (near) connector_geometry(s, i);
    }
}

} // namespace

const char* undo_name(int type) {
    switch (type) {
    case undo_move:
        return "Move";
    default:
        return "";
    }
}

bool selected_box(const sketch_state& s, int* left, int* top, int* right, int* bottom) {
    bool any = false;
    int l = 0, t = 0, r = 0, b = 0;
    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind < ek_variable || !(e.runtime & ef_selected)) continue;
        if (e.hidden() || e.level_value() > s.shown_level) continue;
        const int el = e.x - e.w, et = e.y - e.h, er = e.x + e.w, eb = e.y + e.h;
        if (!any) {
            l = el, t = et, r = er, b = eb;
            any = true;
        } else {
            l = std::min(l, el), t = std::min(t, et), r = std::max(r, er), b = std::max(b, eb);
        }
    }
    if (any) *left = l, *top = t, *right = r, *bottom = b;
    return any;
}

bool begin_selection_move(const sketch_state& s, selection_move* m) {
    *m = selection_move{};
    const int count = s.view.count();
    m->is_moved.assign(static_cast<std::size_t>(count), 0);
    for (int n = 1; n < count; ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        // The shared view's elements belong to every view: not this one's to
        // move. Hidden ones stay where they are, unseen.
        if (e.kind < ek_variable || !(e.runtime & ef_selected) || e.shared()) continue;
        if (e.hidden() || e.level_value() > s.shown_level) continue;
        m->moved.push_back(n);
        m->is_moved[static_cast<std::size_t>(n)] = static_cast<int>(m->moved.size());
    }
    if (m->moved.empty()) return false;
    for (int n = 1; n < count; ++n) {
        const sketch_elem& c = s.view.elems[static_cast<std::size_t>(n)];
        if (c.kind != ek_connector) continue;
        const bool tail = valid(s, c.tail) && m->is_moved[c.tail];
        const bool head = valid(s, c.head) && m->is_moved[c.head];
        if (!tail && !head) continue;
        m->connectors.push_back(n);
        m->arc.push_back(c.path_type() == path_arc && c.arc_width > 0 && !c.shared());
    }
    for (int n : m->moved) m->start.push_back(place_of(s, n));
    for (int n : m->connectors) m->start.push_back(place_of(s, n));
    return true;
}

void apply_selection_move(sketch_state& s, selection_move& m, int dx, int dy) {
    if (m.is_moved.size() != static_cast<std::size_t>(s.view.count())) return; // another view
    m.dx = dx;
    m.dy = dy;
    const std::size_t ne = m.moved.size();
    for (std::size_t i = 0; i < ne; ++i) {
        sketch_elem& e = elem(s, m.moved[i]);
        e.x = clamp_unit(static_cast<long>(m.start[i].x) + dx);
        e.y = clamp_unit(static_cast<long>(m.start[i].y) + dy);
        extend_view_bounds(s, e.x, e.y, e.w, e.h);
    }
    for (std::size_t k = 0; k < m.connectors.size(); ++k) {
        const int n = m.connectors[k];
        sketch_elem& c = elem(s, n);
        const std::vector<sketch_point>& from = m.start[ne + k].points;
        if (from.size() != c.points.size()) continue;
        const bool tail = valid(s, c.tail) && m.is_moved[c.tail];
        const bool head = valid(s, c.head) && m.is_moved[c.head];
        if (tail && head) {
            // Both ends go: the whole path goes with them.
            for (std::size_t p = 0; p < from.size(); ++p)
                c.points[p] = {clamp_unit(static_cast<long>(from[p].x) + dx),
                               clamp_unit(static_cast<long>(from[p].y) + dy)};
        } else if (m.arc[k] && !from.empty()) {
            // One end goes: the arc keeps its bend about the end that stays.
            const int end = tail ? c.tail : c.head;
            const sketch_elem& moving = elem(s, end);
            const sketch_elem& other = elem(s, tail ? c.head : c.tail);
            const sketch_place& was = m.start[static_cast<std::size_t>(m.is_moved[end] - 1)];
            c.points = from;
            c.points[0] =
                keep_bend(s, from[0], {other.x, other.y}, {was.x, was.y}, {moving.x, moving.y});
        } else {
            c.points = from;
        }
        connector_geometry(s, n);
    }
}

bool finish_selection_move(sketch_state& s, selection_move& m) {
    if (m.moved.empty() || (m.dx == 0 && m.dy == 0) ||
        m.is_moved.size() != static_cast<std::size_t>(s.view.count()))
        return false;
    sketch_undo_step step;
    step.type = undo_move;
    step.before = m.start;
    for (const sketch_place& p : m.start) step.after.push_back(place_of(s, p.n));
    s.undo.resize(s.undo_done);
    s.undo.push_back(std::move(step));
    s.undo_done = s.undo.size();
    m = selection_move{};
    return true;
}

void cancel_selection_move(sketch_state& s, selection_move& m) {
    if (m.is_moved.size() == static_cast<std::size_t>(s.view.count())) restore(s, m.start);
    m = selection_move{};
}

bool sketch_undo(sketch_state& s) {
    if (s.undo_done == 0 || s.undo_done > s.undo.size()) return false;
    --s.undo_done;
    restore(s, s.undo[s.undo_done].before);
    return true;
}

bool sketch_redo(sketch_state& s) {
    if (s.undo_done >= s.undo.size()) return false;
    restore(s, s.undo[s.undo_done].after);
    ++s.undo_done;
    return true;
}

std::string undo_menu_text(const sketch_state& s, bool redo, bool* enabled) {
    const sketch_undo_step* step = nullptr;
    if (redo && s.undo_done < s.undo.size()) step = &s.undo[s.undo_done];
    if (!redo && s.undo_done > 0 && s.undo_done <= s.undo.size()) step = &s.undo[s.undo_done - 1];
    if (enabled) *enabled = step != nullptr;
    std::string text = redo ? "&Redo" : "&Undo";
    if (step && *undo_name(step->type)) text += std::string(" ") + undo_name(step->type);
    return text + (redo ? "\t(Ctrl+Y)" : "\t(Ctrl+Z)");
}
