// Stored element records for test and sample views.
#include "tests/support/view_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/model.h"
#include "model/trees.h"

namespace {

void put16(std::vector<std::uint8_t>& r, std::size_t at, int v) {
    auto u = static_cast<std::uint16_t>(v);
    std::memcpy(r.data() + at, &u, 2);
}
void put32(std::vector<std::uint8_t>& r, std::size_t at, std::uint32_t v) {
    std::memcpy(r.data() + at, &v, 4);
}

} // namespace

view_layout::view_layout(model_builder& b, const char* name, std::uint8_t flags) : b_(b) {
    view_ = b_.add_view(name);
    handle vb = get_header_word(b_.symbols(), mh_views);
    handle_lock<view_rec> v(vb);
    v.get()[view_].flags = flags;
}

int view_layout::raw(const std::vector<std::uint8_t>& record) {
    return b_.add_element(view_, record);
}

// An element record: the 24 fixed bytes, the look's 16 or 48 more when it has
// a style, then the text.
std::vector<std::uint8_t> view_layout::record(int kind, std::uint32_t payload, int x, int y, int w,
                                              int h, int shape, int flags, int label, const look& l,
                                              const std::string& text) {
    const bool has_text = !text.empty() || kind == ek_text;
    const std::size_t fixed = l.style & 32 ? 72 : l.style ? 40 : 24;
    std::vector<std::uint8_t> r(fixed + (has_text ? text.size() + 1 : 0));
    put16(r, 0, static_cast<int>(r.size()));
    r[2] = static_cast<std::uint8_t>(kind);
    put32(r, 4, payload);
    put16(r, 8, x);
    put16(r, 10, y);
    put16(r, 12, w);
    put16(r, 14, h);
    r[16] = static_cast<std::uint8_t>(shape);
    r[17] = static_cast<std::uint8_t>(flags | (has_text ? 4 : 0));
    r[19] = l.style;
    r[20] = static_cast<std::uint8_t>(label);
    r[21] = static_cast<std::uint8_t>(l.line_width);
    if (fixed >= 40) {
        put32(r, 24, l.outline);
        put32(r, 28, l.fill);
        put32(r, 32, l.font.colour);
        r[36] = l.font.size;
        r[37] = l.font.style;
    }
    if (fixed >= 72) std::memcpy(r.data() + 40, l.font.face, sizeof l.font.face);
    if (has_text) std::memcpy(r.data() + fixed, text.c_str(), text.size() + 1);
    return r;
}

int view_layout::element(int kind, std::uint32_t payload, int x, int y, int w, int h, int shape,
                         int flags, const std::string& text, int link, int label) {
    std::vector<std::uint8_t> r =
        record(kind, payload, x, y, w, h, shape, flags, label, look{}, text);
    if (link) {
        r[22] = static_cast<std::uint8_t>(link & 0xFF);
        r[23] = static_cast<std::uint8_t>(link >> 8);
    }
    return raw(r);
}

int view_layout::styled(int kind, std::uint32_t payload, int x, int y, int w, int h, int shape,
                        int label, const look& l, const std::string& text, int flags) {
    return raw(record(kind, payload, x, y, w, h, shape, flags, label, l, text));
}

int view_layout::picture(int kind, const std::vector<std::uint8_t>& block, int x, int y, int w,
                         int h) {
    handle data = new_handle(static_cast<std::uint32_t>(block.size()));
    if (!data) return 0;
    {
        handle_lock<std::uint8_t> p(data);
        std::memcpy(p.get(), block.data(), block.size());
    }
    {
        handle vb = get_header_word(b_.symbols(), mh_views);
        handle_lock<view_rec> v(vb);
        v.get()[view_].attached = 1;
    }
    return element(kind, data, x, y, w, h, 3, 0);
}

int view_layout::connector(int from, int to, int path, int width, const std::vector<int>& points) {
    int n = static_cast<int>(points.size() / 2);
    std::vector<std::uint8_t> r(16 + 4 * static_cast<std::size_t>(n));
    put16(r, 0, static_cast<int>(r.size()));
    r[2] = 1;
    put16(r, 4, from);
    put16(r, 6, to);
    r[8] = static_cast<std::uint8_t>(path);
    r[11] = static_cast<std::uint8_t>(width);
    r[13] = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        put16(r, 16 + 4 * static_cast<std::size_t>(i), points[2 * static_cast<std::size_t>(i)]);
        put16(r, 18 + 4 * static_cast<std::size_t>(i), points[2 * static_cast<std::size_t>(i) + 1]);
    }
    return raw(r);
}

int view_layout::stock(const char* name, int x, int y) {
    int e = element(ek_variable, b_.id(name), x, y, 40, 20, 3 | 64, 1 | 2);
    placed_.push_back({name, e, x, y});
    return e;
}

int view_layout::variable(const char* name, int x, int y, int shape) {
    int e = element(ek_variable, b_.id(name), x, y, 0, 0, shape | 64, 1);
    placed_.push_back({name, e, x, y});
    return e;
}

int view_layout::shadow(const char* name, int x, int y) {
    int e = element(ek_variable, b_.id(name), x, y, 0, 0, 0, 0);
    placed_.push_back({std::string("<") + name, e, x, y});
    return e;
}

int view_layout::cloud(int x, int y) {
    return element(ek_text, 1, x, y, 12, 10, 0, 1 | 2, " ");
}

int view_layout::flow(const char* name, int from, int to, int x, int y) {
    // The valve may be the tail of its outflow pipe into a cloud.
    int valve = element(ek_valve, b_.id(name), x, y, 0, 0, 5 | 32, 1 | 2);
    int var = element(ek_variable, b_.id(name), x, y + 22, 0, 0, 32 | 64, 1, {}, 0, 1);
    placed_.push_back({name, var, x, y});
    // Pipes: orthogonal arrows of a flow width code; into the valve without
    // an arrowhead.
    connector(from, valve, 4 | 32, 24, {x, y});
    connector(valve, to, 4, 24, {x, y});
    return var;
}

int view_layout::arrow(int from, int to, int bend) {
    placed* a = nullptr;
    placed* b = nullptr;
    for (placed& p : placed_) {
        if (p.element == from) a = &p;
        if (p.element == to) b = &p;
    }
    arrows_.emplace_back(from, to);
    if (!bend || !a || !b) {
        int mx = a && b ? (a->x + b->x) / 2 : 0, my = a && b ? (a->y + b->y) / 2 : 0;
        return connector(from, to, 0, 0, {mx, my});
    }
    int dx = b->x - a->x, dy = b->y - a->y;
    double len = std::max(1.0, std::sqrt(double(dx) * dx + double(dy) * dy));
    int hx = (a->x + b->x) / 2 + static_cast<int>(-dy / len * bend);
    int hy = (a->y + b->y) / 2 + static_cast<int>(dx / len * bend);
    return connector(from, to, 1, 0, {hx, hy});
}

void view_layout::arrows_from_causes() {
    b_.finish();
    std::vector<std::pair<int, int>> wanted;
    std::vector<symbol_id> ids;
    for (const placed& p : placed_)
        ids.push_back(b_.id(p.name[0] == '<' ? p.name.c_str() + 1 : p.name.c_str()));
    {
        model_lock_guard lock(b_.symbols(), 1);
        for (std::size_t e = 0; e < placed_.size(); ++e) {
            if (placed_[e].name[0] == '<' || !ids[e]) continue;
            symbol_id causes[64];
            int n = symbol_causes(ids[e], causes, 64);
            for (int i = 0; i < n; ++i)
                for (std::size_t c = 0; c < placed_.size(); ++c)
                    if (ids[c] == causes[i])
                        wanted.emplace_back(placed_[c].element, placed_[e].element);
        }
    }
    int k = 0;
    for (auto [from, to] : wanted) {
        if (std::find(arrows_.begin(), arrows_.end(), std::make_pair(from, to)) != arrows_.end())
            continue;
        arrow(from, to, (k++ % 2) ? 30 : 0);
    }
}

int view_layout::text_box(const char* text, int x, int y, int view_link) {
    return element(ek_text, 0, x, y, 0, 0, 8, 0, text, view_link);
}

int view_layout::input_slider(const char* name, int x, int y, const char* range) {
    // The variable by number, its subscripts (when given) kept as text.
    const std::string full = name;
    const std::size_t open = full.find('[');
    const std::string var = full.substr(0, open);
    const std::string subs = open == std::string::npos ? std::string() : full.substr(open);
    std::string text = std::to_string(b_.id(var.c_str())) + "," + subs + "|" + range;
    return element(ek_text, 0, x, y, 80, 20, 3, 1 | 8, text, 0, 0);
}

int view_layout::output_graph(const char* graph, int x, int y, int w, int h) {
    return element(ek_text, 0, x, y, w, h, 3, 1 | 8, std::string("0,") + graph, 0, 1);
}

int view_layout::element_of(const char* name) const {
    for (const placed& p : placed_)
        if (p.name == name) return p.element;
    return 0;
}

void lay_out_stock_ring(model_builder& b) {
    view_layout v(b, "Ring");
    v.variable("rate", 40, 20);
    for (int i = 0; i < 100; ++i) {
        int x = 140 + (i % 10) * 260, y = 80 + (i / 10) * 120;
        std::string n = std::to_string(i);
        int cloud = v.cloud(x - 110, y);
        int stock = v.stock(("stock " + n).c_str(), x + 60, y);
        v.flow(("flow " + n).c_str(), cloud, stock, x - 40, y);
        v.text_box(("cell group " + n).c_str(), x + 60, y + 40);
    }
    v.arrows_from_causes();
}
