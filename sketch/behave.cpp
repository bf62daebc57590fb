// Behaviour graphs in the sketch: each variable's miniature graph over time,
// its remembered vertical range, labels and the box tint on a change.
#include "sketch/behave.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "draw/prims.h"
#include "foundation/names.h"
#include "foundation/types.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "runs/cache.h"
#include "sim/simdata.h"
#include "sketch/overrides.h"

behavior_options behavior_opts;

namespace {

bool display_on = false;

// The remembered ranges of the open model's value slots. Kept apart from the
// value cache, which Livesweep resets before every re-run: a range must
// outlive those resets or the graphs would jump during a drag.
std::unordered_map<int, behavior_range>& ranges() {
    static std::unordered_map<int, behavior_range> map;
    return map;
}
handle ranges_model = 0;

bool declared(float v) {
    return !is_na(v) && std::isfinite(v);
}

} // namespace

behavior_range compute_behavior_range(double mn, double mx, bool with_symbol, float declared_min,
                                      float declared_max, behavior_range& remembered,
                                      behavior_flash* flash) {
    if (flash) *flash = flash_none;
    const behavior_options& o = behavior_opts;
    if (o.range_mode == 255) remembered = behavior_range{};
    // A flat series gets a band around its value.
    if (mx <= mn) {
        mx = mx <= 0 ? mx + 0.1 : mx * 1.1;
        mn = mn <= 0 ? mn - 0.1 : mn * 0.9;
    }
    if (o.include_zero) {
        if (mn > 0)
            mn = 0;
        else if (mx < 0)
            mx = 0;
    }
    const bool outside = !remembered.exists() || mn < remembered.lo || mx > remembered.hi;
    const bool grew = outside;
    bool fixed_lo = false, fixed_hi = false;
    if (with_symbol) {
        if (declared(declared_max) && declared_max >= mx) mx = declared_max, fixed_hi = true;
        if (declared(declared_min) && declared_min <= mn) mn = declared_min, fixed_lo = true;
    }
    const double f = o.margin > 1.0f ? static_cast<double>(o.margin) : 1.0;
    if (f > 1.0) {
        if (!o.include_zero) {
            const double d = (mx - mn) * (f - 1) * 0.5;
            if (!fixed_hi) mx += d;
            if (!fixed_lo) mn -= d;
        } else {
            if (!fixed_hi) mx *= f;
            if (!fixed_lo) mn *= f;
        }
    }
    const bool shrank = with_symbol && remembered.exists() &&
                        (mx - mn) * f < remembered.hi - remembered.lo &&
                        !(fixed_lo && fixed_hi && mn == remembered.lo && mx == remembered.hi);
    behavior_range used{mn, mx};
    if (outside || shrank) {
        if (o.range_mode == 0) {
            if (remembered.exists() && o.flash) {
                behavior_opts.rescaled = true;
                if (flash) *flash = grew ? flash_grew : flash_shrank;
            }
        } else if (remembered.exists()) {
            used = remembered;
        }
        remembered = used;
        return used;
    }
    // Inside the remembered range: keep drawing with it, so the graph holds
    // still; only a declared end moves it.
    if (fixed_lo) remembered.lo = mn;
    if (fixed_hi) remembered.hi = mx;
    return remembered;
}

namespace {

// behavior_round's body, here for the point loop below to have it inline.
inline long round_half_away(double x) {
    // x minus its truncation is exact below 2^52, so the comparisons with a
    // half decide exactly as the library does.
    // Without branches: which way a point rounds is as good as random, and
    // a mispredicted branch per coordinate cost more than the arithmetic.
    const long r = static_cast<long>(x);
    const double f = x - static_cast<double>(r);
    return r + static_cast<long>(f >= 0.5) - static_cast<long>(f <= -0.5);
}

} // namespace

long behavior_round(double x) {
    return round_half_away(x);
}

bool behavior_extremes(const float* values, int count, double* mn, double* mx) {
    // In float and without branches, so the loop runs in vector registers:
    // every float converts to double exactly and in order, and of equal
    // values the first is kept, as the comparisons in double did.
    float lo = std::numeric_limits<float>::infinity(), hi = -lo;
    for (int i = 0; i < count; ++i) {
        const float v = values[i];
        const bool ok = v != NA && std::fabs(v) <= FLT_MAX;
        lo = ok && v < lo ? v : lo;
        hi = ok && v > hi ? v : hi;
    }
    if (!(lo <= hi)) return false;
    *mn = std::min(*mn, static_cast<double>(lo));
    *mx = std::max(*mx, static_cast<double>(hi));
    return true;
}

behavior_range& remembered_behavior_range(int slot) {
    if (ranges_model != cur_model_symbols) {
        ranges().clear();
        ranges_model = cur_model_symbols;
    }
    return ranges()[slot];
}

namespace {

struct run_series {
    int run;
    int count;
    const float* times;
    const float* values;
};

// The plot rectangle after the name and the scale labels were drawn around it.
void draw_behavior_labels(HDC dc, int slot, const behavior_range& r, double t0, double t1,
                          RECT& box) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    const int line = std::max<int>(tm.tmHeight, 1);
    std::string name;
    {
        model_lock_guard lock(cur_model_symbols, 0);
        if (lock.ok())
            if (const char* n = offset_name(slot)) name = n;
    }
    if (!name.empty()) {
        RECT t{box.left, box.top + 1, box.right, box.top + 1 + line};
        DrawText(dc, name.c_str(), static_cast<int>(name.size()), &t,
                 DT_CENTER | DT_SINGLELINE | DT_NOCLIP);
        box.top += line + 1;
    }
    const std::string hi = format_number(r.hi, 0, nullptr);
    const std::string lo = format_number(r.lo, 0, nullptr);
    char a[32], b[32];
    std::snprintf(a, sizeof a, "%g", t0);
    std::snprintf(b, sizeof b, "%g", t1);
    SIZE shi{}, slo{};
    GetTextExtentPoint32(dc, hi.c_str(), static_cast<int>(hi.size()), &shi);
    GetTextExtentPoint32(dc, lo.c_str(), static_cast<int>(lo.size()), &slo);
    box.left += std::max(shi.cx, slo.cx) + 2;
    RECT th{box.left - 300, box.top, box.left - 1, box.top + line};
    DrawText(dc, hi.c_str(), static_cast<int>(hi.size()), &th,
             DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
    const int bottom = box.bottom - line - 5;
    RECT tl{box.left - 300, bottom - line, box.left - 1, bottom};
    DrawText(dc, lo.c_str(), static_cast<int>(lo.size()), &tl,
             DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
    RECT ta{box.left, bottom + 2, box.right, bottom + 2 + line};
    DrawText(dc, a, static_cast<int>(std::strlen(a)), &ta, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
    DrawText(dc, b, static_cast<int>(std::strlen(b)), &ta, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
    box.bottom = bottom;
}

} // namespace

void tint_behavior_box(HDC dc, COLORREF colour, int left, int top, int right, int bottom,
                       bool on_screen) {
    HBRUSH b = CreateSolidBrush(colour);
    HGDIOBJ old = SelectObject(dc, b);
    if (on_screen) {
        // The same exclusive-or of the box with the colour, filled by the
        // painter in one go instead of pixel by pixel as a raster operation.
        HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
        const int mix = SetROP2(dc, R2_XORPEN);
        Rectangle(dc, left, top, right + 1, bottom + 1);
        SetROP2(dc, mix);
        SelectObject(dc, old_pen);
    } else {
        PatBlt(dc, left, top, right - left, bottom - top, PATINVERT);
    }
    SelectObject(dc, old);
    DeleteObject(b);
}

behavior_flash draw_behavior_graph(HDC dc, const symbol_record* sym, int slot, int left, int top,
                                   int right, int bottom, bool with_labels, bool on_screen) {
    if (slot < 0 || right <= left || bottom <= top || !model_rec) return flash_none;
    const int shown = shown_run_slot();
    const int runs = std::clamp(std::max<int>(model_rec->run_count, shown + 1), 0, 16);
    std::vector<run_series> series;
    // The extremes in double over finite values only: a run of nothing but
    // missing values has no say in the range.
    double mn = DBL_MAX, mx = -DBL_MAX;
    for (int run = 0; run < runs; ++run) {
        const float *t = nullptr, *v = nullptr;
        const int n = cached_series(slot, &t, &v, run);
        if (n <= 1 || !t || !v) continue;
        if (behavior_extremes(v, n, &mn, &mx)) series.push_back({run, n, t, v});
    }
    const double t0 = model_rec->start, t1 = model_rec->end;
    if (series.empty() || !(t0 < t1)) return flash_none;
    const float dmin = sym ? as_float(sym->min) : NA, dmax = sym ? as_float(sym->max) : NA;
    behavior_flash flash = flash_none;
    behavior_range r = compute_behavior_range(mn, mx, sym != nullptr, dmin, dmax,
                                              remembered_behavior_range(slot), &flash);
    if (!(r.lo < r.hi) || !std::isfinite(r.hi - r.lo)) return flash_none;
    RECT box{left, top, right, bottom};
    if (flash != flash_none)
        tint_behavior_box(dc, flash == flash_grew ? RGB(0, 64, 64) : RGB(64, 64, 0), left, top,
                          right, bottom, on_screen);
    if (with_labels) draw_behavior_labels(dc, slot, r, t0, t1, box);
    if (box.right <= box.left || box.bottom <= box.top) return flash;
    const double w = box.right - box.left, h = box.bottom - box.top;
    HPEN axis = CreatePen(PS_SOLID, 1, colour_table[13]);
    HGDIOBJ old_pen = SelectObject(dc, axis);
    // The two axes in one call (the same pixels as two lines from the top).
    const POINT axes[3] = {{box.left, box.top}, {box.left, box.bottom}, {box.right, box.bottom}};
    Polyline(dc, axes, 3);
    MoveToEx(dc, box.right, box.bottom, nullptr);
    if (r.lo < 0 && r.hi > 0) {
        const int zy = box.bottom - static_cast<int>(std::lround(-r.lo / (r.hi - r.lo) * h));
        MoveToEx(dc, box.left, zy, nullptr);
        LineTo(dc, box.right, zy);
    }
    const bool clip = behavior_opts.range_mode != 0;
    int saved = 0;
    if (clip) {
        saved = SaveDC(dc);
        IntersectClipRect(dc, box.left, box.top, box.right + 1, box.bottom + 1);
    }
    // The shown run goes last, on top of the others.
    std::stable_sort(series.begin(), series.end(),
                     [shown](const run_series& a, const run_series& b) {
                         if ((a.run == shown) != (b.run == shown)) return b.run == shown;
                         return a.run > b.run;
                     });
    std::vector<POINT> pts;
    for (const run_series& s : series) {
        HPEN pen = CreatePen(PS_SOLID, 1, table_colour(s.run % 12));
        SelectObject(dc, pen);
        pts.clear();
        for (int i = 0; i < s.count; ++i) {
            const double t = s.times[i], v = s.values[i];
            if (t < t0 || t > t1 || is_na(s.values[i]) || !std::isfinite(v)) continue;
            const double px = box.left + (t - t0) / (t1 - t0) * w;
            const double py = box.bottom - (v - r.lo) / (r.hi - r.lo) * h;
            // Far outside values are held near the box so the device's
            // coordinates stay in range; the clip (or the eye) does the rest.
            POINT p{static_cast<LONG>(round_half_away(std::clamp(px, -1e6, 1e6))),
                    static_cast<LONG>(round_half_away(std::clamp(py, -1e6, 1e6)))};
            if (!pts.empty() && pts.back().x == p.x && pts.back().y == p.y) continue;
            pts.push_back(p);
        }
        if (pts.size() == 1) pts.push_back(pts.front());
        if (!pts.empty()) Polyline(dc, pts.data(), static_cast<int>(pts.size()));
        SelectObject(dc, axis);
        DeleteObject(pen);
    }
    SelectObject(dc, old_pen);
    DeleteObject(axis);
    if (clip) RestoreDC(dc, saved);
    return flash;
}

bool behavior_shown() {
    return livesweep_state == ls_on || display_on;
}
void set_behavior_display(bool on) {
    display_on = on;
}
bool behavior_display() {
    return display_on;
}

namespace {

// Whether an input override supplies the value of a variable's first slot.
bool override_held_slot(int type, std::int32_t slot) {
    if (!override_flags || type > st_last_with_slots || slot < 0) return false;
    const std::vector<std::uint8_t>& held = input_override_tables().marks;
    return static_cast<std::size_t>(slot) < held.size() &&
           held[static_cast<std::size_t>(slot)] == 2;
}

struct graph_item {
    const sketch_elem* e;
    symbol_record sym;
};

// The variables of s's view that show a behaviour graph.
std::vector<graph_item> graph_items(const sketch_state& s) {
    std::vector<graph_item> items;
    if (!s.symbols || s.symbols != cur_model_symbols) return items;
    model_lock_guard lock(s.symbols, 0);
    if (!lock.ok()) return items;
    for (const sketch_elem& e : s.view.elems) {
        if (e.kind != ek_variable || !e.payload || e.hidden() || e.level_value() > s.shown_level ||
            !valid_symbol(e.payload))
            continue;
        const symbol_record* p = ::sym(e.payload);
        if (!p || p->slot < 0 || p->type == st_none) continue;
        // Constants and other fixed values have nothing to show over time,
        // unless an override supplies the value (it then varies as an
        // auxiliary does).
        if (p->type > st_last_dynamic && !override_held_slot(p->type, p->slot)) continue;
        items.push_back({&e, *p});
    }
    return items;
}

} // namespace

std::vector<std::int32_t> behavior_graph_slots(const sketch_state& s) {
    std::vector<std::int32_t> slots;
    for (const graph_item& it : graph_items(s)) slots.push_back(it.sym.slot);
    return slots;
}

namespace {

// A running 64-bit hash of words (a multiply and a shift per word).
struct input_hash {
    std::uint64_t h = 0x243F6A8885A308D3ull;
    void word(std::uint64_t w) {
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    template <typename T> void put(const T& v) {
        static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= 8);
        std::uint64_t w = 0;
        std::memcpy(&w, &v, sizeof v);
        word(w);
    }
    // Times and values together, a pair of floats to a word, in four running
    // lanes folded in at the end: the multiplies of one lane wait for each
    // other, those of four lanes do not (a re-run's refresh and repaint hash
    // every point of every graph on the view).
    void series(const float* t, const float* v, int n) {
        word(static_cast<std::uint64_t>(n));
        auto pair = [t, v](int i) {
            std::uint32_t a = 0, b = 0;
            std::memcpy(&a, t + i, 4);
            std::memcpy(&b, v + i, 4);
            return static_cast<std::uint64_t>(a) << 32 | b;
        };
        auto mix = [](std::uint64_t x, std::uint64_t w) {
            x = (x ^ w) * 0xFF51AFD7ED558CCDull;
            return x ^ (x >> 29);
        };
        std::uint64_t lane[4] = {h, h + 1, h + 2, h + 3};
        int i = 0;
        for (; i + 4 <= n; i += 4)
            for (int k = 0; k < 4; ++k) lane[k] = mix(lane[k], pair(i + k));
        for (; i < n; ++i) lane[0] = mix(lane[0], pair(i));
        for (std::uint64_t x : lane) word(x);
    }
};

// The box of an item in device units, and the pixels its graph may touch:
// the curves reach the right and bottom edges inclusive.
RECT item_box(const sketch_state& s, const sketch_elem& e) {
    const int zoom = s.zoom > 0 ? s.zoom : 100;
    auto px = [zoom](int v, int scroll) {
        return static_cast<int>(std::lround(v * zoom / 100.0)) - scroll;
    };
    return RECT{px(e.x - e.w, s.scroll_x), px(e.y - e.h, s.scroll_y), px(e.x + e.w, s.scroll_x),
                px(e.y + e.h, s.scroll_y)};
}
RECT extent_of(const RECT& box) {
    return RECT{box.left - 1, box.top - 1, box.right + 2, box.bottom + 2};
}

// What draw_behavior_graph reads for an item drawn without labels.
std::uint64_t graph_inputs(const graph_item& it, const RECT& box) {
    input_hash k;
    k.put(box.left), k.put(box.top), k.put(box.right), k.put(box.bottom);
    if (!model_rec) return k.h;
    const int shown = shown_run_slot();
    const int runs = std::clamp(std::max<int>(model_rec->run_count, shown + 1), 0, 16);
    k.put(shown);
    k.put(runs);
    k.put(model_rec->start);
    k.put(model_rec->end);
    k.put(as_float(it.sym.min));
    k.put(as_float(it.sym.max));
    k.put(behavior_opts.range_mode);
    k.put(behavior_opts.include_zero);
    k.put(behavior_opts.flash);
    k.put(behavior_opts.margin);
    k.put(colour_table[13]);
    const behavior_range& r = remembered_behavior_range(it.sym.slot);
    k.put(r.lo);
    k.put(r.hi);
    for (int run = 0; run < runs; ++run) {
        const float *t = nullptr, *v = nullptr;
        const int n = cached_series(it.sym.slot, &t, &v, run);
        k.put(n);
        if (n <= 1 || !t || !v) continue;
        k.put(table_colour(run % 12));
        k.series(t, v, n);
    }
    return k.h;
}

} // namespace

void paint_behavior_graphs(HDC dc, const sketch_state& s, std::vector<behavior_box>* log) {
    if (!behavior_shown() || !value_cache_exists()) return;
    for (const graph_item& it : graph_items(s)) {
        const RECT box = item_box(s, *it.e);
        const RECT extent = extent_of(box);
        if (log && !RectVisible(dc, &extent)) continue;
        const behavior_flash f = draw_behavior_graph(dc, &it.sym, it.sym.slot, box.left, box.top,
                                                     box.right, box.bottom, false, log != nullptr);
        if (log) log->push_back({it.sym.slot, extent, graph_inputs(it, box), f != flash_none});
    }
}

std::vector<behavior_box> behavior_boxes(const sketch_state& s) {
    std::vector<behavior_box> boxes;
    if (!behavior_shown() || !value_cache_exists()) return boxes;
    for (const graph_item& it : graph_items(s)) {
        const RECT box = item_box(s, *it.e);
        boxes.push_back({it.sym.slot, extent_of(box), graph_inputs(it, box), false});
    }
    return boxes;
}
