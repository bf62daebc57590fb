// Reads arbitrary bytes as the texts of a graph definition: an axis label
// list for each axis, a band spec and a colour. Whatever is kept must be
// placeable: positions within the square, bands within 0..1000, counts bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "graphs/draw/graphtexts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    for (bool x : {true, false}) {
        axis_labels l = parse_axis_labels(text.c_str(), x);
        if (l.ok) {
            if (l.labels.size() < 2 || l.labels.size() > graph_text_max_labels) std::abort();
            if (!(l.max > l.min)) std::abort();
            for (const axis_label& a : l.labels)
                if (a.pos < 0 || a.pos > 10000) std::abort();
        } else if (!l.labels.empty()) {
            std::abort();
        }
    }
    auto bands = parse_band_spec(text.c_str());
    if (bands.size() > graph_text_max_bands) std::abort();
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (bands[i].per_mille < 0 || bands[i].per_mille > 1000) std::abort();
        if (i && bands[i].per_mille > bands[i - 1].per_mille) std::abort();
        if (bands[i].colour > 0xFFFFFF) std::abort();
    }
    if (parse_rgb_bars(text.c_str(), 0x01000000) > 0x01000000) std::abort();
    return 0;
}
