// Fuzz target: model bytes through the model store's reader, then every view
// loaded into a sketch's working copy (link checks, geometry), painted as the
// sketch window paints it (stored bitmaps and metafiles included, whole and
// zoomed in on each picture), hit tested and an element moved, as the sketch
// window does on opening and dragging.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <QImage>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "sketch/drawsketch.h"
#include "sketch/geometry.h"
#include "sketch/views.h"
#include "tests/driver/headless.h"

namespace {

// The view painted over a small image as the window paints it.
void paint(const sketch_state& s) {
    constexpr int side = 96;
    QImage img(side, side, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    paint_sketch(dc, s, RECT{0, 0, side, side});
    gdi_delete_image_dc(dc);
}

} // namespace

// The application and its fonts are set up before any input, so their
// one-time allocations are not taken for leaks of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::start_gui("fuzz_sketch_view");
    init_vocabulary();
    set_report_stream(std::fopen("/dev/null", "w"));
    set_message_hook([](int, const char*, const char*) { return 1; });
    sketch_state s;
    paint(s);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    model_pair m = read_model_bytes(data, size, "fuzz.kmf");
    if (!m.symbols) {
        free_scratch();
        return 0;
    }
    int views = static_cast<int>(get_header_word(m.symbols, mh_view_count) & 0xFFFF);
    {
        sketch_state s;
        s.symbols = m.symbols;
        s.header = m.header;
        // A model without views gets one; otherwise each view once.
        for (int v = 0; v < (views ? views : 1) && v < 64; ++v) {
            if (load_view(s, v, 1, true, 0, false) < 0) break;
            const handle saved = cur_model_symbols;
            cur_model_symbols = s.symbols;
            paint(s);
            // Each picture once more, scrolled to and zoomed so it covers
            // the image.
            int pictures = 0;
            for (std::size_t i = 1; i < s.view.elems.size() && pictures < 8; ++i) {
                const sketch_elem& e = s.view.elems[i];
                if (e.kind != ek_bitmap && e.kind != ek_metafile) continue;
                ++pictures;
                sketch_state z = s;
                z.zoom = 400;
                z.scroll_x = (e.x - e.w) * 4;
                z.scroll_y = (e.y - e.h) * 4;
                paint(z);
            }
            cur_model_symbols = saved;
            int cx = (s.min_x + s.max_x) / 2, cy = (s.min_y + s.max_y) / 2;
            s.mode = 24;
            hit_test(s, 1, cx, cy, true);
            if (s.hover) move_element(s, s.hover, cx + 7, cy - 5);
            symbol_id last = 0;
            for (int i = 1; i < s.view.count(); ++i) {
                const sketch_elem& e = s.view.elems[static_cast<std::size_t>(i)];
                if (e.kind >= ek_variable) hit_test(s, 2, e.x + e.w, e.y + e.h, false);
                if (e.kind == ek_variable && e.payload && last && i < 64) {
                    int width, mark;
                    std::uint32_t colour;
                    find_link_style(m.symbols, last, e.payload, &width, &colour, &mark);
                }
                if (e.kind == ek_variable) last = e.payload;
            }
        }
    }
    free_model(m.header, m.symbols);
    free_scratch();
    return 0;
}

// The system's font configuration library keeps its caches until exit; they
// are not leaks of ours (read by the leak checker of sanitizer builds).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
