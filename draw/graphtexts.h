// Texts of graph definitions read here: axis label lists ("v=label?...") and
// band specs ("%g=%d|%d|%d,..."), and "r|g|b" colours. They come from files,
// so every reader bounds what it keeps and refuses what it cannot place.
#pragma once

#include "platform/gdi.h"

#include <cstdint>
#include <string>
#include <vector>

// At most this many labels or bands are kept from one text.
inline constexpr int graph_text_max_labels = 1024;
inline constexpr int graph_text_max_bands = 16;

struct axis_label {
    double value = 0;
    std::string text;
    std::int16_t pos = 0; // 0..10000 along the axis (y: from the top)
};
struct axis_labels {
    bool ok = false; // false: the list is ignored (fewer than 2 pieces, no range)
    double min = 0, max = 0;
    std::vector<axis_label> labels;
};
// Pieces split at "?" (leading ones skipped), each "value=label" (no "=": an
// empty label); a value that does not read is 0. Positions from min to max
// (x_axis) or from max at the top (y). Non-finite values refuse the list.
axis_labels parse_axis_labels(const char* text, bool x_axis);

struct band_spec {
    int per_mille = 0; // percent x 10 + 0.5, 0..1000
    COLORREF colour = 0;
};
// A comma-separated list of "percent=r|g|b"; pieces that do not read are
// skipped, percent is limited to 0..100 and components to 0..255; sorted by
// width, widest first. Empty for an empty or unreadable text.
std::vector<band_spec> parse_band_spec(const char* text);
// "r|g|b" (components limited to 0..255); `fallback` when it does not read.
COLORREF parse_rgb_bars(const char* text, COLORREF fallback);
