// Planning an axis's ticks over a value range: their places and which are
// major or carry a grid line, a mark or a label.
#include "chart/tick_run.h"

#include <cmath>

namespace chart {

namespace {

// Counts ticks up to a limit; starts full so the first tick counted is one.
struct Counter {
    int limit;
    int count;
    explicit Counter(int l) : limit(l), count(l) {}
    // Advances and answers whether this tick is the n-th.
    bool advance() {
        if (limit <= 0) return false;
        if (++count >= limit) {
            count = 0;
            return true;
        }
        return false;
    }
    // Whether the next tick would be the n-th, without advancing.
    bool next() const { return limit > 0 && count + 1 >= limit; }
};

struct Run {
    const TickRunSettings& s;
    std::vector<PlannedTick>& out;

    void place(double value, Counter& major, Counter& grid, Counter& label) {
        PlannedTick t;
        t.value = value;
        t.minor = true;
        if (s.major_every >= 1 && major.advance()) t.minor = false;
        t.mark = !s.hide_tick_marks;
        t.grid = grid.advance();
        t.label = label.advance();
        out.push_back(t);
    }

    // One run from `start` in `direction` (+1 or -1) towards `limit`.
    void go(double start, double limit, int direction, bool zero_made, bool end_tick,
            bool label_end) {
        Counter major(s.major_every), grid(s.grid_every), label(s.label_every);
        long i = 0;
        if (zero_made) {
            // The zero tick was this run's first: count it, do not place it again.
            major.advance(), grid.advance(), label.advance();
            i = 1;
        }
        for (;; ++i) {
            double v = start + direction * static_cast<double>(i) * s.step;
            if (direction > 0 ? !(v < limit) : !(v > limit)) break;
            if (static_cast<int>(out.size()) >= kMaxTicks) return;
            place(v, major, grid, label);
        }
        if (!end_tick || static_cast<int>(out.size()) >= kMaxTicks) return;
        PlannedTick t;
        t.value = limit;
        t.minor = !(s.major_every >= 1 && major.next());
        t.mark = !s.hide_tick_marks;
        t.grid = grid.next();
        t.label = label.next() || label_end;
        t.end = direction;
        out.push_back(t);
    }
};

} // namespace

std::vector<PlannedTick> plan_range_ticks(const TickRunSettings& s, double min, double max) {
    std::vector<PlannedTick> out;
    if (!std::isfinite(min) || !std::isfinite(max) || !std::isfinite(s.step)) return out;
    if (!(max - min > 0) || !(s.step > 0)) return out;
    bool zero = s.x_mode != 1 && min <= 0 && max >= 0;
    if (zero) {
        PlannedTick t;
        t.mark = !s.hide_tick_marks;
        t.label = s.label_every > 0;
        t.grid = s.grid_every > 0;
        out.push_back(t);
    }
    Run run{s, out};
    bool zero_placed = zero;
    if (max > 0) {
        double start = min > 0 ? min : 0.0;
        std::size_t before = out.size();
        run.go(start, max, +1, zero && start == 0.0, s.end_tick_at_max, s.label_max_tick);
        if (start == 0.0 && out.size() > before) zero_placed = true;
    }
    if (min < 0) {
        // Both runs start at 0 when the range holds it: 0 stands once.
        double start = max < 0 ? max : 0.0;
        run.go(start, min, -1, zero_placed && start == 0.0, s.end_tick_at_min, s.label_min_tick);
    }
    return out;
}

std::vector<bool> grid_marks(int count, int every) {
    std::vector<bool> out(count > 0 ? static_cast<std::size_t>(count) : 0, false);
    if (every <= 0) return out;
    for (std::size_t i = 0; i < out.size(); i += static_cast<std::size_t>(every)) out[i] = true;
    return out;
}

} // namespace chart
