// The bottom bar's build table from a sketch window (see fontbar.h).
#include "sketch/fontbar.h"

#include "sketch/sketchwin.h"

#include <cstring>

namespace {

COLORREF shown_colour(std::uint32_t c) {
    return c == 0xFFFFFFFFu ? RGB(0, 0, 0) : static_cast<COLORREF>(c & 0xFFFFFF);
}

bool values_of(HWND frame, bottom_view_values* out) {
    // The bar is told the frame; the sketch lives with the view inside it.
    const sketch_state* s = sketch_of(frame);
    for (HWND c = GetWindow(frame, GW_CHILD); !s && c; c = GetWindow(c, GW_HWNDNEXT))
        s = sketch_of(c);
    if (!s || !out) return false;
    *out = sketch_bar_values(*s);
    return true;
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

void install_sketch_bar_values() {
    bottom_view_hook = values_of;
}
