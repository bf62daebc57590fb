// Where an axis puts its ticks over a value range, and which of them are
// major, carry a grid line, a tick mark or a label. The axes turn each
// planned tick into a tick element.
#pragma once

#include <vector>

namespace chart {

struct TickRunSettings {
    int x_mode = 3;     // the data model's x placement; 1 makes no zero tick
    double step = 1.0;  // distance between ticks
    int grid_every = 0; // every n-th tick gets its grid line (0: none)
    int label_every = 1;
    int major_every = 1; // every n-th tick is full length (0: none)
    bool hide_tick_marks = false;
    bool end_tick_at_max = true, label_max_tick = true;
    bool end_tick_at_min = true, label_min_tick = true;
};

struct PlannedTick {
    double value = 0;
    bool minor = false;
    bool mark = false;
    bool grid = false;
    bool label = false;
    int end = 0; // +1: the end tick at the maximum; -1: at the minimum
    bool operator==(const PlannedTick&) const = default;
};

// A range never yields more ticks than this: a step tiny against the range
// (or against the values themselves) would otherwise make millions.
inline constexpr int kMaxTicks = 1000;

// The zero tick (when the range holds 0), the ascending run from the start
// (0, or the minimum when above 0) below the maximum and the descending run
// from the start (0, or the maximum when below 0) above the minimum, each
// closed by its end tick. Nothing for an empty or non-finite range or a step
// not above 0.
std::vector<PlannedTick> plan_range_ticks(const TickRunSettings& s, double min, double max);

// Every n-th of `count` ticks from the first (n <= 0: none) carries a grid line.
std::vector<bool> grid_marks(int count, int every);

} // namespace chart
