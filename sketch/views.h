// Loading a view of the model into a sketch's working copy: choosing the
// view (making one when the model has none), merging the shared view,
// checking the stored links against the equations and adding the missing
// ones, then measuring elements and connectors.
#pragma once

#include "sketch/sketch.h"

// Model header word mh_sketch_flags, byte 0.
enum : std::uint8_t { sk_hide_init_links = 2, sk_hide_lookups = 4, sk_hide_shadows = 64 };

// Loads view number `view` (-1: a new view) into s's working copy. step
// (-1, 0, 1) moves past unnamed slots; add_causes puts added causes one level
// above the shown level; mode 0 scrolls to the origin; keep_flags keeps the
// stored run-time flags. The view loaded, -1 when there is no model.
int load_view(sketch_state& s, int view, int step, bool add_causes, int mode, bool keep_flags);

// A cause of a variable as the view loader sees it.
struct view_cause {
    symbol_id symbol = 0;
    std::uint8_t flags = 0; // 1 not a plain reference, 2 only in an initial-value part
    bool matched = false;
};
// The causes of a variable, each once, sorted by name (case ignored, quotes
// skipped). Needs the model locked with nodes.
std::vector<view_cause> collect_causes(symbol_id symbol);
