// The view loader and its link checks.
#include "sketch/views.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include "foundation/bytes.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/references.h"
#include "sketch/geometry.h"

namespace {

constexpr auto get32 = &load_as<std::uint32_t>;
constexpr auto get16 = &load_as<std::uint16_t>;
constexpr auto geti16 = &load_as<std::int16_t>;

// Name order of the cause list: case ignored, quotes skipped.
bool name_less(const char* a, const char* b) {
    for (;;) {
        while (*a == '"') ++a;
        while (*b == '"') ++b;
        int ca = std::tolower(static_cast<unsigned char>(*a));
        int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || !ca) return ca < cb;
        ++a, ++b;
    }
}

bool drawable_symbol(symbol_id s) {
    if (!valid_symbol(s)) return false;
    const symbol_record* r = sym(s);
    return is_variable_type(r->type) && !(r->flags & sf_hidden);
}

// Decodes a stored element record of len bytes (checked by the model file's
// reader, and again here). False when it cannot be read.
bool decode_element(const std::uint8_t* e, std::uint32_t len, sketch_elem& out) {
    if (len < 4) return false;
    out = sketch_elem{};
    out.kind = static_cast<std::int8_t>(e[2]);
    out.runtime = e[3];
    if (out.kind == ek_connector) {
        if (len < 16) return false;
        out.tail = get16(e + 4);
        out.head = get16(e + 6);
        out.path = e[8];
        out.level = e[9];
        out.mark = e[10];
        out.width_code = static_cast<std::int8_t>(e[11]);
        out.style = e[12];
        int n = static_cast<std::int8_t>(e[13]);
        out.decoration = e[14];
        out.init_link = e[15];
        std::uint32_t at = 16;
        if (n < 1 || at + 4u * static_cast<std::uint32_t>(n) > len) return false;
        for (int i = 0; i < n; ++i, at += 4)
            out.points.push_back({geti16(e + at), geti16(e + at + 2)});
        if (out.style) {
            std::uint32_t extra = (out.style & 32) ? 44 : 12;
            if (at + extra > len) return false;
            out.line_colour = get32(e + at);
            if (out.style & 32) {
                std::memcpy(&out.font, e + at + 4, sizeof(font_spec));
                out.font.face[31] = 0;
            } else {
                std::memcpy(&out.font, e + at + 4, 8);
            }
            at += extra;
        }
        if (out.mark == 1) {
            const void* nul = at < len ? std::memchr(e + at, 0, len - at) : nullptr;
            if (!nul) return false;
            out.text.assign(reinterpret_cast<const char*>(e + at));
        }
        return true;
    }
    if (out.kind < ek_variable) return true;
    if (len < 24) return false;
    out.payload = get32(e + 4);
    out.x = geti16(e + 8);
    out.y = geti16(e + 10);
    out.w = geti16(e + 12);
    out.h = geti16(e + 14);
    out.shape = e[16];
    out.flags = e[17];
    out.level = e[18];
    out.style = e[19];
    out.label = e[20];
    out.line_width = static_cast<std::int8_t>(e[21]);
    out.link_lo = e[22];
    out.link_hi = e[23];
    std::uint32_t fixed = out.style == 0 ? 24 : (out.style & 32) ? 72 : 40;
    if (fixed > len) return false;
    if (fixed >= 40) {
        out.own_outline = get32(e + 24);
        out.own_fill = get32(e + 28);
        std::memcpy(&out.font, e + 32, 8);
    }
    if (fixed == 72) {
        std::memcpy(out.font.face, e + 40, 32);
        out.font.face[31] = 0;
    }
    if (out.kind == ek_text || (out.flags & ef_has_text)) {
        const void* nul = fixed < len ? std::memchr(e + fixed, 0, len - fixed) : nullptr;
        if (!nul) return false;
        out.text.assign(reinterpret_cast<const char*>(e + fixed));
    }
    return true;
}

// The stored elements of one view, decoded (element 0 and unreadable ones
// kind 0). Pictures and attached blocks are copied into the element.
std::vector<sketch_elem> stored_elements(const view_rec& v) {
    std::vector<sketch_elem> out(v.count);
    if (!v.index || !v.data || !handle_valid(v.index) || !handle_valid(v.data)) return out;
    handle_lock<std::uint32_t> ix(v.index);
    handle_lock<std::uint8_t> data(v.data);
    std::uint32_t cells = handle_size(v.index) / 4, bytes = handle_size(v.data);
    for (std::uint32_t i = 1; i < v.count && i < cells; ++i) {
        std::uint64_t off = 4ull * ix.get()[i];
        if (off + 4 > bytes) continue;
        const std::uint8_t* e = data.get() + off;
        std::uint32_t len = get16(e);
        if (len > bytes - off || !decode_element(e, len, out[i])) {
            out[i] = sketch_elem{};
            continue;
        }
        sketch_elem& el = out[i];
        if (el.kind >= ek_bitmap && el.payload) {
            handle h = el.payload;
            if (handle_valid(h)) {
                handle_lock<std::uint8_t> b(h);
                el.blob.assign(b.get(), b.get() + handle_size(h));
            }
            el.payload = 0;
        }
    }
    return out;
}

struct loader {
    sketch_state& s;
    std::uint8_t sketch_flags = 0;
    std::map<int, std::vector<view_cause>> causes; // by effect element
    std::vector<std::uint32_t> visited; // generation of the check that visited each element
    std::uint32_t generation = 0;
    // The stored records of the view being copied and the shift of its
    // element numbers in the working copy.
    const std::vector<sketch_elem>* stored = nullptr;
    int shift = 0;

    bool hides(std::uint8_t bit) const { return (sketch_flags & bit) != 0; }

    sketch_elem& at(int n) { return s.view.elems[static_cast<std::size_t>(n)]; }

    // Whether a stored link from tail to an effect with these causes is one
    // the equations still have. Connectors into elements other than
    // variables are followed back to their variable causes, every one of
    // which must be accepted; each such element is visited once per check,
    // so a cycle of them ends, and an explicit stack keeps long chains off
    // the call stack.
    bool match_link_cause(int tail, std::vector<view_cause>& list, symbol_id head_symbol) {
        ++generation;
        std::vector<int> todo{tail};
        int n = static_cast<int>(stored->size());
        while (!todo.empty()) {
            int t = todo.back();
            todo.pop_back();
            if (t <= 0 || t >= s.view.count()) return false;
            t = pair_variable(s.view, t);
            const sketch_elem& e = at(t);
            if (e.kind > ek_variable && !e.primary()) return false;
            if (e.kind != ek_variable) {
                if (visited[static_cast<std::size_t>(t)] == generation) continue;
                visited[static_cast<std::size_t>(t)] = generation;
                // Every stored connector ending at the element, whether or
                // not the loader has reached it yet.
                for (int i = 1; i < n; ++i) {
                    const sketch_elem& c = (*stored)[static_cast<std::size_t>(i)];
                    if (c.kind != ek_connector || c.head < 1 || c.head >= n || c.tail < 1 ||
                        c.tail >= n || c.head + shift != t || (c.decoration & deco_added))
                        continue;
                    todo.push_back(c.tail + shift);
                }
                continue;
            }
            if (!match_variable(e.payload, list, head_symbol)) return false;
        }
        return true;
    }
    bool match_variable(symbol_id tail_symbol, std::vector<view_cause>& list,
                        symbol_id head_symbol) {
        if (tail_symbol == head_symbol) return true;
        for (view_cause& c : list) {
            if (c.symbol != tail_symbol) continue;
            if (c.matched) return true;
            if ((c.flags & 2) && hides(sk_hide_init_links)) return false;
            c.matched = true;
            return true;
        }
        return false;
    }

    // Copies the stored elements of one view into the working copy from
    // element first on; connectors are checked after every element is in.
    void copy_view(const view_rec& v, int first, bool shared, bool keep_flags) {
        std::vector<sketch_elem> stored = stored_elements(v);
        int n = static_cast<int>(stored.size());
        this->stored = &stored;
        shift = first - 1;
        // Elements first.
        for (int i = 1; i < n; ++i) {
            sketch_elem& e = stored[static_cast<std::size_t>(i)];
            if (e.kind < ek_variable) continue;
            if (!keep_flags) e.runtime = 0;
            if (shared) e.runtime |= ef_shared;
            e.level = normalise_level(e.level);
            if (e.kind == ek_variable || e.kind == ek_valve) {
                bool needs = e.kind == ek_variable;
                if (needs && !drawable_symbol(e.payload)) {
                    e = sketch_elem{};
                } else if (e.kind == ek_variable) {
                    symbol_record* r = sym(e.payload);
                    if (r->hint == 0) {
                        if (e.shape & shape_pair)
                            r->hint = hint_valve_flow;
                        else if (e.shape_code() == 3)
                            r->hint = hint_level_like;
                    }
                    if (r->type == st_lookup && hides(sk_hide_lookups)) e.level |= level_hidden;
                    if (!e.primary() && hides(sk_hide_shadows)) e.level |= level_hidden;
                }
            } else if (e.kind == ek_text) {
                if (e.flags & ef_io_object) {
                    e.payload = 0;
                    s.io_state = 1;
                    // The leading symbol number of an object's text must name a
                    // variable of the model (0: none).
                    std::string shown;
                    if (!io_object_text(s.symbols, e.text, &shown)) {
                        report(3, "Dropped an input/output object with a bad variable number");
                        e = sketch_elem{};
                    }
                } else if (e.payload > 50) {
                    e.payload = 0;
                }
            }
            at(first + i - 1) = std::move(e);
        }
        // Valve pairs: the valve keeps its bit only when a variable with the
        // bit follows it; both are then done.
        for (int i = first; i < first + n - 1; ++i) {
            sketch_elem& e = at(i);
            if (!(e.shape & shape_pair)) continue;
            if (e.kind == ek_valve && i + 1 < first + n - 1) {
                sketch_elem& next = at(i + 1);
                if (next.kind == ek_variable && next.payload && (next.shape & shape_pair)) {
                    ++i;
                    continue;
                }
            }
            e.shape = static_cast<std::uint8_t>(e.shape & ~shape_pair);
        }
        // Primary variables get their cause lists.
        for (int i = first; i < first + n - 1; ++i) {
            const sketch_elem& e = at(i);
            if (e.kind == ek_variable && e.primary() && !causes.count(i))
                causes[i] = collect_causes(e.payload);
        }
        // Connectors.
        for (int i = 1; i < n; ++i) {
            sketch_elem& c = stored[static_cast<std::size_t>(i)];
            if (c.kind != ek_connector) continue;
            int number = first + i - 1;
            if (c.tail < 1 || c.tail >= n || c.head < 1 || c.head >= n) {
                report(3, "Dropped a connector whose ends are not in its view");
                continue;
            }
            int tail = c.tail + shift, head = c.head + shift;
            const sketch_elem& t = at(tail);
            if (t.kind < ek_variable) continue;
            // A valve pair's valve must stand for a primary flow variable; a
            // connector into any element other than a variable (pipes into
            // valves, links to text boxes) needs a tail that allows it.
            const sketch_elem& h = at(head);
            const sketch_elem& hv = at(pair_variable(s.view, head));
            if (h.kind < ek_variable || (hv.kind == ek_variable && !hv.primary())) continue;
            bool initial = false;
            if (h.kind == ek_variable) {
                if (!h.payload || !h.primary()) continue;
                auto it = causes.find(head);
                if (it == causes.end()) continue;
                if (!(c.decoration & deco_added)) {
                    if (!match_link_cause(tail, it->second, h.payload)) continue;
                }
                int tv = pair_variable(s.view, tail);
                for (const view_cause& vc : it->second)
                    if (vc.symbol == at(tv).payload && (vc.flags & 2)) initial = true;
            } else if (!(t.flags & ef_tail_ok)) {
                continue;
            }
            sketch_elem templ = c;
            if (!keep_flags) templ.runtime = 0;
            if (shared) templ.runtime |= ef_shared;
            templ.level = normalise_level(templ.level);
            if ((initial && hides(sk_hide_init_links)) || at(tail).hidden())
                templ.level |= level_hidden;
            add_link_element(s, tail, head, &templ, number, initial);
        }
    }

    // Adds the links that the equations have and the view lacks, for the
    // elements from first on.
    void add_missing(int first, int last, bool add_causes) {
        const sketch_metrics& m = workbench_metrics();
        int level = std::min<int>(s.shown_level + 1, max_level);
        for (int i = first; i < last; ++i) {
            auto it = causes.find(i);
            if (it == causes.end()) continue;
            for (view_cause& c : it->second) {
                if (c.matched) continue;
                int hide = 0;
                if (sym(c.symbol)->type == st_lookup && hides(sk_hide_lookups))
                    hide = 2;
                else if ((c.flags & 2) && hides(sk_hide_init_links))
                    hide = 1;
                int from = find_symbol_element(s.view, c.symbol, hide != 0);
                const sketch_elem& effect = at(i);
                int ex = effect.x;
                long ey = long{effect.y} + m.line_height + effect.h;
                std::int16_t eh = effect.h;
                if (!from) {
                    bool has_eq = sym(c.symbol)->eqn != 0;
                    from = add_sketch_element(
                        s.view, ek_variable, ex, static_cast<int>(std::clamp(ey, -32768L, 32767L)),
                        c.symbol, 0, has_eq ? ef_tail_ok : ef_tail_ok | ef_primary, 0);
                    if (!from) return;
                    s.layout_changed = true;
                    sketch_elem& e = at(from);
                    if (hide == 2) e.runtime |= ef_selected, e.level |= level_hidden;
                    if (add_causes)
                        e.level = static_cast<std::uint8_t>((e.level & ~level_mask) | level);
                    (void)eh;
                }
                sketch_elem templ;
                templ.decoration = deco_added;
                if (hide == 2) templ.runtime |= ef_selected;
                if (add_causes) templ.level = static_cast<std::uint8_t>(level);
                if (hide) templ.level |= level_hidden;
                if (!add_link_element(s, from, i, &templ, 0, (c.flags & 2) != 0)) return;
                c.matched = true;
            }
        }
    }
};

} // namespace

std::vector<view_cause> collect_causes(symbol_id symbol) {
    std::vector<view_cause> out;
    if (!valid_symbol(symbol) || sym(symbol)->type == st_range || !model_eqs) return out;
    std::map<symbol_id, std::uint8_t> found;
    std::set<symbol_id> plain;
    std::uint32_t cell = sym(symbol)->eqn;
    std::uint32_t eq_cells = reinterpret_cast<const bhead*>(model_eqs)->cur;
    for (int guard = 0; cell && cell + 5 <= eq_cells && guard < 100000; ++guard) {
        equation_record* e = eq_at(cell);
        expr_node* nodes = eq_nodes(e);
        auto add = [&](int node, symbol_id var, bool init_part) {
            if (!drawable_symbol(var) || var == symbol) return;
            std::uint8_t f = nodes[node].code != nc_ref ? 1 : 0;
            auto [it, fresh] =
                found.try_emplace(var, static_cast<std::uint8_t>(f | (init_part ? 2 : 0)));
            if (!fresh) {
                it->second |= f;
                if (!init_part) it->second &= static_cast<std::uint8_t>(~2);
            }
        };
        for_each_reference(e, false, true, [&](int node, symbol_id var) { add(node, var, false); });
        for_each_reference(e, true, true, [&](int node, symbol_id var) {
            if (!found.count(var)) add(node, var, true);
        });
        cell = e->next;
    }
    for (auto& [s, f] : found) out.push_back({s, f, false});
    std::sort(out.begin(), out.end(), [](const view_cause& a, const view_cause& b) {
        return name_less(sym_name(a.symbol), sym_name(b.symbol));
    });
    return out;
}

int load_view(sketch_state& s, int view, int step, bool add_causes, int mode, bool keep_flags) {
    s.view = working_view{};
    s.current_view = -1;
    s.io_state = 0;
    s.undo.clear();
    s.undo_done = 0;
    s.readout = 0;
    if (!s.symbols) return -1;
    // Choosing the view.
    std::vector<view_rec> recs;
    auto read_views = [&]() {
        recs.clear();
        handle vb = get_header_word(s.symbols, mh_views);
        std::uint32_t n = get_header_word(s.symbols, mh_view_count) & 0xFFFF;
        if (!vb || !handle_valid(vb)) return;
        n = std::min<std::uint32_t>(n, handle_size(vb) / sizeof(view_rec));
        handle_lock<view_rec> b(vb);
        recs.assign(b.get(), b.get() + n);
    };
    read_views();
    int n = static_cast<int>(recs.size());
    auto named = [&](int i) {
        return i >= 0 && i < n && recs[static_cast<std::size_t>(i)].name[0];
    };
    int chosen = -1;
    if (view >= 0 && n > 0) {
        if (view >= n) view = 0;
        if (named(view)) {
            chosen = view;
        } else if (step && view >= 1) {
            for (int i = view + step; i >= 0 && i < n; i += step)
                if (named(i)) {
                    chosen = i;
                    break;
                }
        }
        for (int i = 0; chosen < 0 && i < n; ++i)
            if (named(i)) chosen = i;
    }
    if (chosen < 0) {
        // A new view: an unused slot is reused, else the block grows.
        for (int i = 0; i < n; ++i)
            if (!named(i)) {
                chosen = i;
                break;
            }
        std::string name = "View " + std::to_string((chosen < 0 ? n : chosen) + 1);
        if (chosen < 0) {
            chosen = add_view(s.symbols, name.c_str());
        } else {
            handle vb = get_header_word(s.symbols, mh_views);
            handle_lock<view_rec> b(vb);
            std::strncpy(b.get()[chosen].name, name.c_str(), 51);
            if (b.get()[chosen].count < 1) b.get()[chosen].count = 1;
        }
        read_views();
        n = static_cast<int>(recs.size());
        if (chosen < 0 || chosen >= n) return -1;
    }
    const view_rec& rec = recs[static_cast<std::size_t>(chosen)];
    // The shared view comes first unless the chosen view is it or declines it.
    int shared_view = -1;
    if (!(rec.flags & 3))
        for (int i = 0; i < n; ++i)
            if (named(i) && (recs[static_cast<std::size_t>(i)].flags & 1)) {
                shared_view = i;
                break;
            }
    int shared =
        shared_view >= 0 ? std::max(recs[static_cast<std::size_t>(shared_view)].count - 1, 0) : 0;
    s.loading = true;
    s.current_view = chosen;
    s.view.rec = rec;
    s.view.rec.index = s.view.rec.data = 0;
    int count = std::max<int>(rec.count, 1);
    if (count + shared > max_view_elements) {
        report(8, "Too many objects in view - the shared view is left out");
        shared_view = -1, shared = 0;
    }
    s.view.rec.capacity = static_cast<std::uint16_t>(
        std::min(rec.capacity < count ? count + shared + 20 : rec.capacity + shared, 0xFFFF));
    s.view.elems.assign(static_cast<std::size_t>(count + shared), sketch_elem{});
    s.view.rec.count = static_cast<std::uint16_t>(count + shared);
    s.min_x = s.min_y = 30000;
    s.max_x = s.max_y = -30000;

    model_lock_guard lock(s.symbols, 1);
    if (!lock.ok()) {
        s.loading = false;
        return -1;
    }
    loader l{s, static_cast<std::uint8_t>(model_hdr->w[mh_sketch_flags] & 0xFF), {}, {}};
    l.visited.assign(s.view.elems.size(), 0);
    if (shared_view >= 0)
        l.copy_view(recs[static_cast<std::size_t>(shared_view)], 1, true, keep_flags);
    l.copy_view(rec, 1 + shared, false, keep_flags);
    if (!rec.font.face[0]) set_view_defaults(s.view.rec);
    if (rec.zoom == 5)
        s.fit = true;
    else if (rec.zoom >= 10 && rec.zoom <= 500)
        s.zoom = rec.zoom, s.fit = false;
    l.add_missing(1 + shared, s.view.count(), add_causes);
    model_hdr->w[mh_sketch_flags] &= ~0xFF00u;

    // Sizes, shapes and connector geometry.
    for (int i = 1; i < s.view.count(); ++i) {
        sketch_elem& e = s.view.elems[static_cast<std::size_t>(i)];
        if (e.kind < ek_variable) continue;
        int type = e.kind == ek_variable && valid_symbol(e.payload) ? sym(e.payload)->type : 0;
        element_size(s, i, type);
        extend_view_bounds(s, e.x, e.y, e.w, e.h);
    }
    bool changed = s.layout_changed;
    for (int i = 1; i < s.view.count(); ++i) {
        sketch_elem& c = s.view.elems[static_cast<std::size_t>(i)];
        if (c.kind != ek_connector) continue;
        connector_geometry(s, i);
        for (const sketch_point& p : c.points) extend_view_bounds(s, p.x, p.y, 0, 0);
    }
    // Computing geometry is not a change of the layout.
    s.layout_changed = changed;
    if (mode == 0) s.scroll_x = s.scroll_y = 0;
    s.loading = false;
    return chosen;
}

bool io_object_text(handle symbols, const std::string& stored, std::string* out) {
    const char* t = stored.c_str();
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(t, &end, 10);
    if (end == t || errno || number < 0) return false;
    std::string rest = *end == ',' ? std::string(end + 1) : std::string(end);
    if (number == 0) {
        *out = rest;
        return true;
    }
    model_lock_guard lock(symbols, 0);
    if (!lock.ok() || !drawable_symbol(static_cast<symbol_id>(number))) return false;
    *out = std::string(sym_name(static_cast<symbol_id>(number))) + rest;
    return true;
}

std::string slider_range_problem(double min, double max, double step) {
    // The slider computes and writes 32-bit floats: the range is judged as
    // those, since what the model gets (and Write Changes saves) must read
    // back as the number it was.
    const double most = std::numeric_limits<float>::max();
    const double least = std::numeric_limits<float>::min(); // the smallest normal
    auto too_big = [&](double v) { return !std::isfinite(v) || std::fabs(v) > most; };
    auto denormal = [&](double v) { return v != 0 && std::fabs(v) < least; };
    if (too_big(min) || too_big(max) || too_big(step))
        return "a limit or the step is beyond the numbers a value can hold";
    if (step < 0) return "the step is below 0";
    if (denormal(min) || denormal(max) || denormal(step))
        return "a limit or the step is too near 0 to be kept exactly";
    const float lo = static_cast<float>(min), hi = static_cast<float>(max);
    if (!(lo < hi)) return "the minimum is not below the maximum";
    const double span = static_cast<double>(hi) - static_cast<double>(lo);
    if (span > most) return "the distance from the minimum to the maximum is too large";
    // About seven digits: a span below that of its limits has no values in
    // between, and every position of the slider would give the same one.
    const double size =
        std::max(std::fabs(static_cast<double>(lo)), std::fabs(static_cast<double>(hi)));
    if (span < least || span < size * 1e-6)
        return "the range is too narrow for the digits a value holds";
    if (step > 0 && span / step > 1e7) return "the step is too small for the range";
    return {};
}

int read_slider_range(const std::string& text, double* min, double* max, double* step,
                      std::string* why) {
    std::size_t bar = text.find('|');
    if (bar == std::string::npos) return 0;
    auto refuse = [&](const char* reason) {
        if (why) *why = reason;
        return -1;
    };
    const char* p = text.c_str() + bar + 1;
    double v[3];
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        errno = 0;
        v[i] = std::strtod(p, &end);
        if (end == p) return refuse("it is not three numbers: minimum, maximum and step");
        if (!std::isfinite(v[i]) || errno == ERANGE)
            return refuse("a limit or the step is beyond the numbers a value can hold");
        p = end;
        while (*p == ' ') ++p;
        if (i < 2) {
            if (*p != ',') return refuse("it is not three numbers: minimum, maximum and step");
            ++p;
        }
    }
    const std::string problem = slider_range_problem(v[0], v[1], v[2]);
    if (!problem.empty()) {
        if (why) *why = problem;
        return -1;
    }
    *min = v[0], *max = v[1], *step = v[2];
    return 1;
}

bool slider_range(const std::string& text, double* min, double* max, double* step) {
    return read_slider_range(text, min, max, step, nullptr) == 1;
}

bool find_link_style(handle symbols, symbol_id cause, symbol_id effect, int* width,
                     std::uint32_t* colour, int* mark) {
    std::vector<view_rec> recs;
    handle vb = get_header_word(symbols, mh_views);
    std::uint32_t n = get_header_word(symbols, mh_view_count) & 0xFFFF;
    if (!vb || !handle_valid(vb)) return false;
    n = std::min<std::uint32_t>(n, handle_size(vb) / sizeof(view_rec));
    {
        handle_lock<view_rec> b(vb);
        recs.assign(b.get(), b.get() + n);
    }
    for (const view_rec& v : recs) {
        std::vector<sketch_elem> el = stored_elements(v);
        int count = static_cast<int>(el.size());
        auto variable_of = [&](int i, symbol_id s) {
            return i > 0 && i < count && el[static_cast<std::size_t>(i)].kind == ek_variable &&
                   el[static_cast<std::size_t>(i)].payload == s;
        };
        for (const sketch_elem& c : el) {
            if (c.kind != ek_connector || !variable_of(c.tail, cause) ||
                !variable_of(c.head, effect))
                continue;
            *width = c.width_code;
            *colour = (c.style & 1) ? c.line_colour : v.connector;
            *mark =
                c.mark == 1 ? static_cast<unsigned char>(c.text.empty() ? 0 : c.text[0]) : c.mark;
            return true;
        }
    }
    return false;
}
