// The live sketch's painting: the static diagram kept in a retained bitmap
// per window, with only the live layer redrawn over it after a re-run.
#include "sketch/livepaint.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "model/model.h"
#include "platform/win.h"
#include "runs/cache.h"
#include "sim/simdata.h"
#include "sketch/behave.h"
#include "sketch/drawsketch.h"
#include "sketch/ioobjects.h"
#include "sketch/overrides.h"

namespace {

struct retained {
    std::string key;        // everything the static diagram was drawn from
    HBRUSH brush = nullptr; // a pattern of the diagram's pixels, for a clipped copy
};

std::map<HWND, retained>& store() {
    static std::map<HWND, retained> m;
    return m;
}

long redraws = 0;

// What each behaviour graph box of a window shows.
struct shown_box {
    RECT extent{};
    std::uint64_t inputs = 0;
    bool known = false; // drawn whole and untinted from those inputs
};
struct live_layer {
    bool whole = false; // every box was drawn since the graphs were shown
    std::map<std::int32_t, shown_box> boxes;
    std::set<std::int32_t> pending; // invalidated whole, not yet painted
};
std::map<HWND, live_layer>& layers() {
    static std::map<HWND, live_layer> m;
    return m;
}
bool live_refresh = false;
constexpr std::size_t few_boxes = 8;

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool covers(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

void release(retained& r) {
    if (r.brush) DeleteObject(r.brush);
    r = retained{};
}

template <typename T> void put(std::string& k, const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    k.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void put_text(std::string& k, const std::string& t) {
    put(k, t.size());
    k += t;
}
void put_font(std::string& k, const font_spec& f) {
    put(k, f.colour);
    put(k, f.size);
    put(k, f.style);
    k.append(f.face, strnlen(f.face, sizeof f.face));
    k += '\0';
}

// What paint_sketch draws from, as bytes: two equal keys paint the same
// pixels. The selection and hover state are not part of it (they are drawn
// over the diagram by the window).
std::string diagram_key(const sketch_state& s, const RECT& client) {
    std::string k;
    k.reserve(64 + s.view.elems.size() * 96);
    put(k, client);
    put(k, s.zoom);
    put(k, s.scroll_x);
    put(k, s.scroll_y);
    put(k, s.shown_level);
    put(k, s.symbols);
    put(k, s.header);
    put(k, GetSysColor(COLOR_WINDOW));
    // The marks of what may be changed and the objects' stand-ins follow the mode.
    const int marks = sim_phase == phase_setup ? 1 : livesweep_state == ls_on ? 2 : 0;
    put(k, marks);
    put(k, game_state);
    put(k, sketch_colour_mode(false));
    // Overrides held in Livesweep are marked.
    put(k, override_flags);
    if (override_flags) {
        const std::vector<std::uint8_t>& held = input_override_tables().marks;
        for (std::size_t i = 0; i < held.size(); ++i)
            if (held[i] == 2) put(k, i);
    }
    put(k, s.io_state);
    const view_rec& vr = s.view.rec;
    put(k, vr.background);
    put(k, vr.outline);
    put(k, vr.connector);
    put(k, vr.fill);
    put(k, vr.init_link_colour);
    put_font(k, vr.font);
    // One lock for all the names (each name's own lock then costs nothing).
    model_lock_guard lock(s.symbols, 0);
    for (const sketch_elem& e : s.view.elems) {
        put(k, e.kind);
        put(k, e.level);
        put(k, e.style);
        put_font(k, e.font);
        put(k, e.payload);
        put(k, e.x), put(k, e.y), put(k, e.w), put(k, e.h);
        put(k, e.shape), put(k, e.flags), put(k, e.label), put(k, e.line_width);
        put(k, static_cast<std::uint8_t>(e.runtime & ef_io_window));
        put(k, e.link_lo), put(k, e.link_hi);
        put(k, e.own_outline), put(k, e.own_fill);
        put_text(k, e.text);
        put(k, e.blob.size());
        put(k, e.tail), put(k, e.head), put(k, e.path), put(k, e.mark);
        put(k, e.width_code), put(k, e.decoration), put(k, e.init_link);
        put(k, e.points.size());
        for (const sketch_point& p : e.points) put(k, p);
        put(k, e.line_colour);
        put(k, e.arrow_x), put(k, e.arrow_y);
        put(k, e.arc_left), put(k, e.arc_top), put(k, e.arc_width), put(k, e.arc_height);
        put(k, e.start_x), put(k, e.start_y), put(k, e.sweep), put(k, e.end_x), put(k, e.end_y);
        // The names come from the model, which may have changed under the view.
        if (e.kind == ek_variable || e.kind == ek_valve || e.kind == ek_text)
            put_text(k, sketch_element_text(s, e));
        // A slider's name follows the subscript selection in the modes.
        if (e.kind == ek_text && (e.flags & ef_io_object) && e.label == io_input_slider)
            put_text(k, io_slider_name(s, e));
    }
    return k;
}

// Drops the bitmaps and layers of windows that are gone.
void sweep() {
    for (auto it = store().begin(); it != store().end();)
        if (!IsWindow(it->first)) {
            release(it->second);
            it = store().erase(it);
        } else {
            ++it;
        }
    for (auto it = layers().begin(); it != layers().end();)
        it = IsWindow(it->first) ? std::next(it) : layers().erase(it);
}

bool redraw(HDC dc, retained& r, const sketch_state& s, const RECT& client) {
    const int w = client.right - client.left, h = client.bottom - client.top;
    release(r);
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return false;
    HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
    if (!bitmap) {
        DeleteDC(mem);
        return false;
    }
    HGDIOBJ old = SelectObject(mem, bitmap);
    const RECT local{0, 0, w, h};
    if (client.left || client.top) {
        // The bitmap's corner is the client's.
        sketch_state shifted = s;
        shifted.scroll_x += client.left;
        shifted.scroll_y += client.top;
        paint_sketch(mem, shifted, local);
    } else {
        paint_sketch(mem, s, local);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
    // The brush keeps its own copy of the pixels: the bitmap can go.
    r.brush = CreatePatternBrush(bitmap);
    DeleteObject(bitmap);
    ++redraws;
    return r.brush != nullptr;
}

} // namespace

void paint_sketch_retained(HDC dc, HWND view, const sketch_state& s, const RECT& client) {
    const int w = client.right - client.left, h = client.bottom - client.top;
    if (!view || w <= 0 || h <= 0) {
        paint_sketch(dc, s, client);
        return;
    }
    sweep();
    retained& r = store()[view];
    std::string key = diagram_key(s, client);
    if (!r.brush || r.key != key) {
        if (!redraw(dc, r, s, client)) {
            release(r);
            paint_sketch(dc, s, client);
            return;
        }
        r.key = std::move(key);
        // Painting only a part (a few graph boxes) while the diagram
        // changed: the rest of the window needs the new diagram too.
        RECT clip{};
        if (GetClipBox(dc, &clip) != SIMPLEREGION || !covers(clip, client))
            InvalidateRect(view, nullptr, FALSE);
    }
    // The pattern starts at the client's corner; the copy is cut to the
    // part being painted by the context's clip.
    POINT org{};
    SetBrushOrgEx(dc, client.left, client.top, &org);
    FillRect(dc, &client, r.brush);
    SetBrushOrgEx(dc, org.x, org.y, nullptr);
}

void paint_live_graphs(HDC dc, HWND view, const sketch_state& s) {
    live_layer& layer = layers()[view];
    RECT client{}, clip{};
    GetClientRect(view, &client);
    const int kind = GetClipBox(dc, &clip);
    const bool whole = kind == SIMPLEREGION && covers(clip, client);
    if (!behavior_shown() || !value_cache_exists()) {
        layer = live_layer{};
        return;
    }
    std::vector<behavior_box> log;
    paint_behavior_graphs(dc, s, &log);
    if (whole) layer.boxes.clear();
    for (behavior_box& b : log) {
        // A box counts as shown only when all of it on the screen was drawn
        // now and not tinted (a tint goes at the next drawing).
        RECT seen{std::max(b.extent.left, client.left), std::max(b.extent.top, client.top),
                  std::min(b.extent.right, client.right), std::min(b.extent.bottom, client.bottom)};
        const bool all =
            whole || layer.pending.count(b.slot) || (kind == SIMPLEREGION && covers(clip, seen));
        shown_box& box = layer.boxes[b.slot];
        box.extent = b.extent;
        box.inputs = b.inputs;
        box.known = all && !b.flashed;
    }
    layer.pending.clear();
    if (whole) layer.whole = true;
}

void set_live_refresh(bool on) {
    live_refresh = on;
}

bool invalidate_live_changes(HWND view, const sketch_state& s) {
    if (!live_refresh || !view || !behavior_shown() || !value_cache_exists()) return false;
    auto layer_at = layers().find(view);
    auto kept = store().find(view);
    if (layer_at == layers().end() || !layer_at->second.whole || kept == store().end() ||
        !kept->second.brush)
        return false;
    RECT client{};
    GetClientRect(view, &client);
    if (kept->second.key != diagram_key(s, client)) return false;
    live_layer& layer = layer_at->second;
    std::set<std::int32_t> now;
    std::vector<RECT> dirty;
    for (const behavior_box& b : behavior_boxes(s)) {
        now.insert(b.slot);
        auto it = layer.boxes.find(b.slot);
        if (it != layer.boxes.end() && it->second.known && same_rect(it->second.extent, b.extent) &&
            it->second.inputs == b.inputs)
            continue;
        if (it != layer.boxes.end() && !same_rect(it->second.extent, b.extent))
            dirty.push_back(it->second.extent);
        dirty.push_back(b.extent);
        layer.pending.insert(b.slot);
    }
    // A box that no longer shows a graph goes back to the diagram.
    for (auto it = layer.boxes.begin(); it != layer.boxes.end();)
        if (!now.count(it->first)) {
            dirty.push_back(it->second.extent);
            it = layer.boxes.erase(it);
        } else {
            ++it;
        }
    // Drawing under a clip of many rectangles costs more than drawing the
    // few unchanged boxes among them again: past a handful, one rectangle
    // around them all.
    if (dirty.size() > few_boxes) {
        RECT all = dirty.front();
        for (const RECT& r : dirty) {
            all.left = std::min(all.left, r.left);
            all.top = std::min(all.top, r.top);
            all.right = std::max(all.right, r.right);
            all.bottom = std::max(all.bottom, r.bottom);
        }
        dirty.assign(1, all);
    }
    for (const RECT& r : dirty) InvalidateRect(view, &r, FALSE);
    return true;
}

long retained_sketch_redraws() {
    return redraws;
}
