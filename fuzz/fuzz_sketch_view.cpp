// Fuzz target: model bytes through the model store's reader, then every view
// loaded into a sketch's working copy (link checks, geometry), hit tested and
// an element moved, as the sketch window does on opening and dragging.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "sketch/geometry.h"
#include "sketch/views.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = [] {
        init_vocabulary();
        set_report_stream(std::fopen("/dev/null", "w"));
        set_message_hook([](int, const char*, const char*) { return 1; });
        return true;
    }();
    (void)ready;
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
