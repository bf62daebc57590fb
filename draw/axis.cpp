// Axis scaling (see axis.h).
#include "draw/axis.h"

#include "foundation/types.h"

#include <algorithm>
#include <cmath>
#include <vector>

bool is_round_step(double step) {
    if (!(step > 0) || !std::isfinite(step)) return false;
    const double p = std::pow(10.0, std::floor(std::log10(step)));
    const double m = step / p;
    for (double r : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (std::fabs(m - r) < 1e-6 * r) return true;
    return false;
}

bool round_axis_steps(double lo, double hi, int wanted, int min_count, int max_count, bool lo_open,
                      bool hi_open, round_scale* out) {
    const double span = hi - lo;
    if (!out || !std::isfinite(lo) || !std::isfinite(hi) || !(span > 0) || !std::isfinite(span) ||
        min_count < 1 || max_count < min_count || max_count > 1000)
        return false;
    bool found = false;
    double best_spread = 0;
    int best_off = 0;
    // Steps from a tenth of the finest the counts allow, through four decades.
    const double base = std::pow(10.0, std::floor(std::log10(span / max_count)) - 1);
    double scale = base;
    for (int decade = 0; decade < 4; ++decade, scale *= 10)
        for (double r : {1.0, 2.0, 2.5, 5.0}) {
            const double s = r * scale;
            const double a = lo_open ? std::floor(lo / s + 1e-9) * s : lo;
            const double q = (hi - a) / s;
            int n = 0;
            if (hi_open) {
                n = static_cast<int>(std::ceil(q - 1e-9));
            } else {
                n = static_cast<int>(std::llround(q));
                if (std::fabs(q - n) > 1e-6 * std::max(1.0, q)) continue;
            }
            // A set low end other than a multiple of the step would put
            // every number off the round values.
            if (!lo_open && std::fabs(lo / s - std::round(lo / s)) > 1e-6) continue;
            if (hi_open) n = std::max(n, min_count);
            if (n < min_count || n > max_count) continue;
            const double b = hi_open ? a + n * s : hi;
            const double spread = b - a;
            const int off = std::abs(n - wanted);
            const bool better = !found || spread < best_spread - 1e-9 * span ||
                                (spread < best_spread + 1e-9 * span &&
                                 (off < best_off || (off == best_off && n < out->divisions)));
            if (!better) continue;
            found = true;
            best_spread = spread;
            best_off = off;
            *out = round_scale{a, b, n};
        }
    return found;
}

double nice_number(double x, double step, int down) {
    if (!std::isfinite(x)) return x;
    double m = 1;
    if (x > 0 && step > 0 && x > 10 * step) {
        while (step > 0.9999) {
            step /= 10;
            x /= 10;
            m *= 10;
        }
        if (x < 1000000) return down ? m * std::trunc(x) : m * std::trunc(x + 1);
        return m * x;
    }
    if (x > 0 && x < 1) {
        while (x < 1) {
            x *= 10;
            m *= 0.1;
        }
    }
    while (x > 1) {
        x /= 10;
        m *= 10;
    }
    if (!down) {
        if (x > 0.8) return m;
        if (x > 0.6) return 0.8 * m;
        if (x > 0.4) return 0.6 * m;
        if (x > 0.2) return 0.4 * m;
        return 0.2 * m;
    }
    if (x > 0.8) return 0.8 * m;
    if (x > 0.6) return 0.6 * m;
    if (x > 0.4) return 0.4 * m;
    if (x > 0.2) return 0.2 * m;
    return 0.1 * m;
}

void nice_axis_range(double min, double max, double* out_min, double* out_max) {
    double lo, hi;
    if (!(min >= -axis_unset) || !(max <= axis_unset)) { // also NaN
        *out_min = -axis_unset;
        *out_max = axis_unset;
        return;
    }
    if (min >= 0) {
        lo = (max <= 0 || 2 * min < max) ? 0 : nice_number(min, max - min, 1);
        hi = nice_number(max, max - min, 0);
    } else if (max <= 0) {
        double a = -min, b = -max;
        hi = -((a > 0 && 2 * b >= a) ? nice_number(b, 0, 1) : 0);
        lo = -nice_number(a, 0, 0);
    } else {
        double a = -min, b = max;
        if (a <= b && 0.3 * b <= a)
            a = b;
        else if (a > b && 0.3 * a <= b)
            b = a;
        hi = nice_number(b, 0, 0);
        lo = -nice_number(a, 0, 0);
    }
    if (lo < -axis_unset) lo = -axis_unset;
    if (hi > axis_unset) hi = axis_unset;
    if (hi - lo > axis_unset) {
        lo /= 2;
        hi /= 2;
    }
    *out_min = lo;
    *out_max = hi;
}

bool axis_value_ok(double v) {
    return std::isfinite(v) && !is_na(v);
}

namespace {

double span(double lo, double hi) {
    double s = hi - lo;
    return s == 0 || !std::isfinite(s) ? 1 : s;
}

std::int16_t limit(double p) {
    if (std::isnan(p)) return static_cast<std::int16_t>(axis_pos_limit);
    return static_cast<std::int16_t>(
        std::clamp(p, double{-axis_pos_limit}, double{axis_pos_limit}));
}

} // namespace

std::int16_t axis_x_pos(double x, double lo, double hi) {
    return limit((x - lo) * 10000 / span(lo, hi));
}

std::int16_t axis_y_pos(double y, double lo, double hi) {
    return limit((hi - y) * 10000 / span(lo, hi));
}

void sort_series_at(const float** runs, int n, int i) {
    for (int gap = n / 2; gap > 0; gap /= 2)
        for (int k = gap; k < n; ++k)
            for (int j = k - gap; j >= 0 && runs[j][i] > runs[j + gap][i]; j -= gap)
                std::swap(runs[j], runs[j + gap]);
}

int map_series_with_bands(const float* times, const float* values, int n, const float* const* runs,
                          int run_count, double x_min, double x_max, double y_min, double y_max,
                          std::int16_t* x_out, std::int16_t* y_out, int stride,
                          std::int32_t* bounds, int bound_count, int mean_flag) {
    if (!times || !values || n <= 0 || !x_out || !y_out) return 0;
    if (run_count < 0 || !runs) run_count = 0;
    std::vector<const float*> sorted(runs, runs + run_count);
    auto row = [&](int r) { return y_out + static_cast<std::ptrdiff_t>(r) * stride; };
    int k = 0;
    for (int i = 0; i < n && k < stride; ++i) {
        double t = times[i], v = values[i];
        if (!axis_value_ok(t) || !axis_value_ok(v) || t < x_min || t > x_max) continue;
        x_out[k] = axis_x_pos(t, x_min, x_max);
        std::int16_t own = axis_y_pos(v, y_min, y_max);
        row(0)[k] = own;
        if (mean_flag) {
            // With no runs the mean is the series itself.
            double sum = 0;
            for (int j = 0; j < run_count; ++j) sum += runs[j][i];
            row(1)[k] = run_count ? axis_y_pos(sum / run_count, y_min, y_max) : own;
        }
        if (bound_count <= 0 || !bounds) {
            for (int j = 0; j < run_count; ++j)
                row(2 + j)[k] = axis_y_pos(runs[j][i], y_min, y_max);
        } else {
            if (run_count > 0) sort_series_at(sorted.data(), run_count, i);
            for (int b = bound_count - 1; b >= 0; --b) {
                bounds[b] = std::clamp(bounds[b], 0, 1000);
                int h = (1000 - bounds[b]) / 2;
                if (run_count == 0) { // no runs: the band collapses onto the series
                    row(2 * b + 2)[k] = own;
                    row(2 * b + 3)[k] = own;
                    continue;
                }
                long long last = run_count - 1;
                const float* lower = sorted[static_cast<std::size_t>(last * h / 1000)];
                const float* upper = sorted[static_cast<std::size_t>(last * (1000 - h) / 1000)];
                row(2 * b + 2)[k] = axis_y_pos(lower[i], y_min, y_max);
                row(2 * b + 3)[k] = axis_y_pos(upper[i], y_min, y_max);
            }
        }
        ++k;
    }
    return k;
}

namespace {

struct box {
    double x_min = 0, x_max = 1, y_min = 0, y_max = 1;
} clip;

bool inside(double x, double y) {
    return x >= clip.x_min && x <= clip.x_max && y >= clip.y_min && y <= clip.y_max;
}

std::int16_t px(double x) {
    return axis_x_pos(x, clip.x_min, clip.x_max);
}
std::int16_t py(double y) {
    return axis_y_pos(y, clip.y_min, clip.y_max);
}

} // namespace

void set_clip_box(double x_min, double x_max, double y_min, double y_max) {
    clip = box{x_min, x_max, y_min, y_max};
}

int clip_segment(double prev_x, double prev_y, double cur_x, double cur_y, axis_point out[2]) {
    // t = 0 at the current point, 1 at the previous one.
    const double dx = prev_x - cur_x, dy = prev_y - cur_y;
    if ((prev_y > clip.y_max && cur_y > clip.y_max) ||
        (prev_y < clip.y_min && cur_y < clip.y_min) ||
        (prev_x > clip.x_max && cur_x > clip.x_max) || (prev_x < clip.x_min && cur_x < clip.x_min))
        return 0;
    double t0 = 1, t1 = 0;
    int prev_xb = 0, prev_yb = 0, cur_xb = 0, cur_yb = 0; // 0: none, else the boundary position
    if (prev_y > clip.y_max) {
        t0 = (clip.y_max - cur_y) / dy;
        prev_yb = -1;
    } else if (prev_y < clip.y_min) {
        t0 = (clip.y_min - cur_y) / dy;
        prev_yb = 10001;
    }
    if (cur_y > clip.y_max) {
        t1 = (clip.y_max - cur_y) / dy;
        cur_yb = -1;
    } else if (cur_y < clip.y_min) {
        t1 = (clip.y_min - cur_y) / dy;
        cur_yb = 10001;
    }
    auto x_cross = [&](double bound) { return (bound - cur_x) / dx; };
    if (prev_x > clip.x_max || prev_x < clip.x_min) {
        bool right = prev_x > clip.x_max;
        double t = x_cross(right ? clip.x_max : clip.x_min);
        if (t < t0) {
            t0 = t;
            prev_xb = right ? 10001 : -1;
            prev_yb = 0;
        }
    }
    if (cur_x > clip.x_max || cur_x < clip.x_min) {
        bool right = cur_x > clip.x_max;
        double t = x_cross(right ? clip.x_max : clip.x_min);
        if (t > t1) {
            t1 = t;
            cur_xb = right ? 10001 : -1;
            cur_yb = 0;
        }
    }
    if (!(t1 <= t0)) return 0;
    auto place = [&](double t, int xb, int yb, axis_point& p) {
        double x = (1 - t) * cur_x + t * prev_x, y = (1 - t) * cur_y + t * prev_y;
        p.x = xb ? static_cast<std::int16_t>(xb) : px(x);
        p.y = yb ? static_cast<std::int16_t>(yb) : py(y);
    };
    place(t0, prev_xb, prev_yb, out[0]);
    place(t1, cur_xb, cur_yb, out[1]);
    return 1;
}

int map_xy_series(const float* xs, const float* ys, int n, double x_min, double x_max, double y_min,
                  double y_max, std::int16_t* x_out, std::int16_t* y_out, int mode, int max_points,
                  int* stopped) {
    set_clip_box(x_min, x_max, y_min, y_max);
    int k = 0, i = 0;
    auto full = [&](int room) { return max_points > 0 && k + room > max_points; };
    auto add = [&](std::int16_t x, std::int16_t y) {
        x_out[k] = x;
        y_out[k] = y;
        ++k;
    };
    bool hit_limit = false;
    if (!xs || !ys || !x_out || !y_out || n <= 0) {
        if (stopped) *stopped = 0;
        return 0;
    }
    if (mode > 0) {
        for (; i < n; ++i) {
            double x = xs[i], y = ys[i];
            if (!axis_value_ok(x) || !axis_value_ok(y) || !inside(x, y)) continue;
            if (full(1)) {
                hit_limit = true;
                break;
            }
            add(px(x), py(y));
        }
        if (stopped) *stopped = i;
        return k;
    }
    bool in = true, have_prev = false;
    double prev_x = 0, prev_y = 0, last_y = 0;
    for (; i < n; ++i) {
        double x = xs[i], y = ys[i];
        if (!axis_value_ok(x) || !axis_value_ok(y)) continue; // left out, not a gap
        bool now_in = inside(x, y);
        axis_point seg[2];
        if (in && now_in) {
            if (full(1)) {
                hit_limit = true;
                break;
            }
            add(px(x), py(y));
        } else if (in && !now_in) {
            if (have_prev && clip_segment(prev_x, prev_y, x, y, seg)) {
                if (full(1)) {
                    hit_limit = true;
                    break;
                }
                add(seg[1].x, seg[1].y);
            }
            in = false;
        } else if (!in && now_in) {
            if (full(2)) {
                hit_limit = true;
                break;
            }
            if (have_prev && clip_segment(prev_x, prev_y, x, y, seg)) add(seg[0].x, seg[0].y);
            add(px(x), py(y));
            in = true;
        } else if (have_prev && clip_segment(prev_x, prev_y, x, y, seg)) {
            if (full(2)) {
                hit_limit = true;
                break;
            }
            add(seg[0].x, seg[0].y);
            add(seg[1].x, seg[1].y);
        }
        prev_x = x;
        prev_y = y;
        last_y = y;
        have_prev = true;
    }
    if (mode == -1 && !in && !hit_limit && !full(1))
        add(10000, static_cast<std::int16_t>(last_y >= y_min ? 0 : 10000));
    if (stopped) *stopped = i;
    return k;
}
