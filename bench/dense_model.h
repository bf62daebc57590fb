// The dense world-size model of bench_sim_speed and bench_sim_native, as a
// model built for the engine and written out in C++.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/model.h"
#include "model/order.h"
#include "tests/support/model_builder.h"

namespace dense {

inline std::string num(int i) {
    return std::to_string(i);
}

// The table's value at x, in double (the lookups' own interpolation).
inline double lookup_at(const std::vector<std::pair<float, float>>& t, double x) {
    if (x <= t.front().first) return t.front().second;
    if (x >= t.back().first) return t.back().second;
    std::size_t k = 1;
    while (t[k].first < x) ++k;
    double x0 = t[k - 1].first, x1 = t[k].first, y0 = t[k - 1].second, y1 = t[k].second;
    return y0 + (x - x0) * (y1 - y0) / (x1 - x0);
}

// A denser model of the same size: sectors of 10 levels, each level with a
// ratio and an inflow whose equations hold several operands, a lookup in
// one auxiliary of ten (two tables a sector), MIN, IF THEN ELSE and MAX; the
// levels form one ring across the sectors. 400 Euler steps of 0.5, every
// step saved; the C++ keeps the levels at every step. 15 sectors hold 150
// levels, 300 auxiliaries, 450 constants and 30 lookups.
inline constexpr int dense_levels = 10;
inline constexpr float d_start = 0, d_end = 200, d_step = 0.5f;

inline float dk_of(int g) {
    return 0.02f + 0.0001f * static_cast<float>(g % 97);
}
inline float dt_of(int g) {
    return 40.0f + static_cast<float>(g % 37);
}
inline float dd_of(int g) {
    return 0.1f + 0.01f * static_cast<float>(g % 11);
}
inline std::vector<std::pair<float, float>> dense_table(int j) {
    const float a = 0.01f * static_cast<float>(j % 13);
    return {{0, 0.4f + a}, {0.5f, 0.75f}, {1, 1}, {1.5f, 1.2f + a}, {2, 1.3f}, {3, 1.35f}};
}

struct dense_model {
    model_builder b{"dense world size"};
    sim_program p;
    int n;
    explicit dense_model(int sectors) : n(sectors * dense_levels) {
        init_vocabulary();
        b.control(d_start, d_end, d_step, d_step);
        for (int g = 0; g < n; ++g) {
            b.constant(("k" + num(g)).c_str(), dk_of(g));
            b.constant(("t" + num(g)).c_str(), dt_of(g));
            b.constant(("d" + num(g)).c_str(), dd_of(g));
        }
        for (int j = 0; j < 2 * sectors; ++j) b.lookup(("tbl" + num(j)).c_str(), dense_table(j));
        for (int g = 0; g < n; ++g) {
            const std::string G = num(g), L = "L" + G, x = "x" + G, f = "f" + G, k = "k" + G,
                              t = "t" + G, d = "d" + G, L1 = "L" + num((g + 1) % n),
                              L2 = "L" + num((g + 2) % n);
            b.level(L.c_str(), (f + " - " + L + " * " + k + " * " + x).c_str(),
                    (t + " * 0.8").c_str());
            b.aux(x.c_str(),
                  ("(" + L + " + " + L1 + " * 0.5) / (" + t + " * 1.5) - 0.1 * " + d).c_str());
            std::string e;
            switch (g % 5) {
            case 0:
                e = k + " * " + L1 + " * tbl" + num(g / 5) + "(" + x + ") - " + L + " * " + d +
                    " * 0.01";
                break;
            case 1:
                e = k + " * (" + L1 + " - " + L + " * 0.5) + " + d + " * MIN(" + x + ", 1.2)";
                break;
            case 2:
                e = k + " * IF THEN ELSE(" + x + " > 1, " + L1 + " * 0.9, " + L1 + " + " + d +
                    ") - " + L + " * 0.001";
                break;
            case 3:
                e = "(" + k + " * " + L1 + " + " + d + " * " + x + ") * MAX(1 - " + x + ", 0.2)";
                break;
            default:
                e = k + " * (" + L1 + " + " + L2 + ") * 0.5 / (1 + " + x + " * " + x + ")";
            }
            b.aux(f.c_str(), e.c_str());
        }
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

// The dense model written out, in double with values stored as floats.
struct dense_direct {
    int n;
    std::vector<float> k, t, d, L, x, f, rows;
    std::vector<std::vector<std::pair<float, float>>> tables;
    explicit dense_direct(int sectors) : n(sectors * dense_levels) {
        for (int g = 0; g < n; ++g) {
            k.push_back(dk_of(g));
            t.push_back(dt_of(g));
            d.push_back(dd_of(g));
        }
        for (int j = 0; j < 2 * sectors; ++j) tables.push_back(dense_table(j));
        L.resize(static_cast<std::size_t>(n));
        x.resize(L.size());
        f.resize(L.size());
    }
    void auxiliaries() {
        for (int g = 0; g < n; ++g) {
            auto u = static_cast<std::size_t>(g);
            double l1 = L[static_cast<std::size_t>((g + 1) % n)];
            x[u] = static_cast<float>((L[u] + l1 * double{0.5f}) / (t[u] * double{1.5f}) -
                                      double{0.1f} * d[u]);
        }
        for (int g = 0; g < n; ++g) {
            auto u = static_cast<std::size_t>(g);
            double kk = k[u], l = L[u], l1 = L[static_cast<std::size_t>((g + 1) % n)], xi = x[u],
                   dd = d[u], r;
            switch (g % 5) {
            case 0:
                r = kk * l1 * lookup_at(tables[u / 5], xi) - l * dd * double{0.01f};
                break;
            case 1:
                r = kk * (l1 - l * 0.5) + dd * std::min(xi, double{1.2f});
                break;
            case 2:
                r = kk * (xi > 1 ? l1 * double{0.9f} : l1 + dd) - l * double{0.001f};
                break;
            case 3:
                r = (kk * l1 + dd * xi) * std::max(1 - xi, double{0.2f});
                break;
            default:
                r = kk * (l1 + L[static_cast<std::size_t>((g + 2) % n)]) * 0.5 / (1 + xi * xi);
            }
            f[u] = static_cast<float>(r);
        }
    }
    void run() {
        rows.clear();
        for (std::size_t u = 0; u < L.size(); ++u)
            L[u] = static_cast<float>(double{t[u]} * double{0.8f});
        const long steps = std::lround((d_end - d_start) / d_step);
        rows.reserve(static_cast<std::size_t>(steps + 1) * L.size());
        for (long s = 0;; ++s) {
            auxiliaries();
            rows.insert(rows.end(), L.begin(), L.end());
            if (s == steps) break;
            for (std::size_t u = 0; u < L.size(); ++u) {
                float rate = static_cast<float>(double{f[u]} - double{L[u]} * k[u] * x[u]);
                L[u] += d_step * rate;
            }
        }
    }
};

} // namespace dense

using dense::dense_direct;
using dense::dense_model;
