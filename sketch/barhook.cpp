// The bottom bar's view hook over the sketch windows (see barhook.h).
#include "sketch/barhook.h"

#include "sketch/fontbar.h"
#include "sketch/sketchwin.h"

namespace {

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

void install_sketch_bar_values() {
    bottom_view_hook = values_of;
}
