// The working copy's records and the operations that add elements.
#include "sketch/sketch.h"

#include <algorithm>
#include <cstring>

#include "foundation/report.h"

void set_view_defaults(view_rec& rec) {
    rec.background = 0xFFFFFFFFu;
    rec.outline = 0x00000000u;
    rec.connector = 0x00FF0000u;
    rec.fill = 0xFFFFFFFFu;
    rec.init_link_colour = 0x00C0C0C0u;
    // The default sketch font: what the diagram is drawn in without a font
    // of its own (8-point sans, black), so the bottom bar names it.
    rec.font = font_spec{};
    rec.font.size = 8;
    std::memcpy(rec.font.face, "Sans", 5);
}

std::uint8_t normalise_level(std::uint8_t stored) {
    int value = std::min<int>(stored & level_mask, max_level);
    return static_cast<std::uint8_t>(value | (stored & level_hidden));
}

bool grow_elem_index(working_view& v, int needed) {
    if (needed < 0) needed = 0;
    if (v.count() + needed > max_view_elements) {
        report(8, "Too many objects in view - no more than %d can be added", max_view_elements);
        return false;
    }
    if (v.count() + needed < v.rec.capacity) return true;
    if (v.rec.capacity > index_warning_cells)
        report(8, "Too many objects in view-losing index-save and simplify");
    int capacity = std::min(v.rec.capacity + needed + 20, max_view_elements + 1);
    // The capacity field is 16 bits: the last cell past 65,535 is never needed.
    v.rec.capacity = static_cast<std::uint16_t>(std::min(capacity, 0xFFFF));
    return true;
}

int add_sketch_element(working_view& v, int kind, int x, int y, std::uint32_t payload, int shape,
                       int flags, int number) {
    if (number < 0 || number >= v.count()) {
        report(10, "Element %d is not in the view (%d elements)", number, v.count());
        return 0;
    }
    if (number == 0) {
        if (!grow_elem_index(v, 1)) return 0;
        number = v.count();
        v.elems.emplace_back();
    }
    sketch_elem e;
    e.kind = static_cast<std::int8_t>(kind);
    e.x = static_cast<std::int16_t>(std::clamp(x, -32768, 32767));
    e.y = static_cast<std::int16_t>(std::clamp(y, -32768, 32767));
    e.payload = payload;
    e.shape = static_cast<std::uint8_t>(shape < 0 ? 8 : shape);
    e.flags = static_cast<std::uint8_t>(flags);
    e.label = 255;
    if (kind == ek_variable && !(flags & ef_primary)) {
        e.style = 3;
        e.own_outline = 0x00808080u;
        e.font.colour = 0x00808080u;
    }
    v.elems[static_cast<std::size_t>(number)] = std::move(e);
    v.rec.count = static_cast<std::uint16_t>(v.count());
    return number;
}

bool extend_view_bounds(sketch_state& s, int x, int y, int half_width, int half_height) {
    bool changed = false;
    auto lower = [&](std::int32_t& bound, int value) {
        if (value < bound) bound = value, changed = true;
    };
    auto raise = [&](std::int32_t& bound, int value) {
        if (value > bound) bound = value, changed = true;
    };
    lower(s.min_x, x - half_width);
    lower(s.min_y, y - half_height);
    raise(s.max_x, x + half_width);
    raise(s.max_y, y + half_height);
    return changed;
}

int add_link_element(sketch_state& s, int tail, int head, const sketch_elem* templ, int number,
                     bool initial) {
    working_view& v = s.view;
    if (number < 0 || number >= v.count()) {
        report(10, "Connector %d is not in the view (%d elements)", number, v.count());
        return 0;
    }
    if (number == 0) {
        if (!grow_elem_index(v, 1)) return 0;
        number = v.count();
        v.elems.emplace_back();
    }
    sketch_elem c;
    if (templ) {
        c = *templ;
        c.blob.clear();
    }
    if (c.points.empty()) c.points.push_back({});
    c.kind = ek_connector;
    c.tail = static_cast<std::uint16_t>(tail);
    c.head = static_cast<std::uint16_t>(head);
    c.init_link = initial ? 1 : 0;
    if (!c.text.empty()) c.mark = 1;
    for (const sketch_point& p : c.points) extend_view_bounds(s, p.x, p.y, 0, 0);
    v.elems[static_cast<std::size_t>(number)] = std::move(c);
    v.rec.count = static_cast<std::uint16_t>(v.count());
    return number;
}

int find_symbol_element(const working_view& v, symbol_id symbol, bool allow_shadow) {
    int shadow = 0;
    for (int i = 1; i < v.count(); ++i) {
        const sketch_elem& e = v.elems[static_cast<std::size_t>(i)];
        if (e.kind != ek_variable || e.payload != symbol) continue;
        if (e.primary()) return i;
        shadow = i;
    }
    return allow_shadow ? shadow : 0;
}

int pair_variable(const working_view& v, int n) {
    if (n <= 0 || n + 1 >= v.count()) return n;
    if (v.elems[static_cast<std::size_t>(n)].is_valve_pair()) return n + 1;
    return n;
}
