// The benchmark models written directly in C++, the yardstick the engine's
// figures are given against. Each returns a value so the work is not dropped.
#pragma once

#include <algorithm>
#include <vector>

// The 50-variable scalar model (ten levels, four auxiliaries each), 100,000
// Euler steps in float with double intermediates, as the engine computes.
inline float scalar_model_direct() {
    static volatile float kv = 0.001f;
    float L[10], k[10], a[10], b[10], c[10], f[10];
    for (int i = 0; i < 10; ++i) {
        L[i] = 10;
        k[i] = kv * static_cast<float>(i + 1);
    }
    for (int step = 0; step <= 100000; ++step) {
        for (int i = 0; i < 10; ++i) {
            a[i] = static_cast<float>(static_cast<double>(L[i]) * k[i]);
            b[i] = static_cast<float>(a[i] + static_cast<double>(L[(i + 1) % 10]) * 0.0001);
            c[i] = static_cast<float>(b[i] - static_cast<double>(L[i]) * 0.0002);
            f[i] = static_cast<float>(c[i] / (1 + static_cast<double>(a[i]) * a[i]));
        }
        if (step == 100000) break;
        for (int i = 0; i < 10; ++i) L[i] += f[i];
    }
    return L[0];
}

// The sectors model of bench_sim_native written out: sectors copies of 150
// levels, each with a ratio x = L / 50 and an inflow of one of four shapes (a
// lookup of the ratio, MIN, IF THEN ELSE, MAX), 400 Euler steps of 0.5 with
// every second step saved, in double with values stored as floats.
struct sectors_direct {
    int n;
    std::vector<float> k, L, x, f, rows;
    explicit sectors_direct(int sectors) : n(150 * sectors) {
        for (int s = 0; s < sectors; ++s)
            for (int i = 0; i < 150; ++i) k.push_back(0.02f + 0.0001f * static_cast<float>(i));
        x.resize(k.size());
        f.resize(k.size());
    }
    static double table(double v) {
        static const double px[] = {0, 0.5f, 1, 1.5f, 2, 3},
                            py[] = {0.5f, 0.8f, 1, 1.15f, 1.25f, 1.3f};
        if (v <= px[0]) return py[0];
        if (v >= px[5]) return py[5];
        int j = 1;
        while (px[j] < v) ++j;
        return py[j - 1] + (v - px[j - 1]) * (py[j] - py[j - 1]) / (px[j] - px[j - 1]);
    }
    void auxiliaries() {
        for (int u = 0; u < n; ++u) x[u] = static_cast<float>(static_cast<double>(L[u]) / 50);
        for (int u = 0; u < n; ++u) {
            int i = u % 150, next = u - i + (i + 1) % 150;
            double kk = k[u], l1 = L[next], xi = x[u], r;
            if (i % 4 == 0)
                r = kk * l1 * table(xi);
            else if (i % 4 == 1)
                r = kk * std::min(l1, 60.0);
            else if (i % 4 == 2)
                r = kk * (xi > 1 ? l1 * static_cast<double>(0.9f) : l1);
            else
                r = kk * l1 * std::max(1 - xi, static_cast<double>(0.2f));
            f[u] = static_cast<float>(r);
        }
    }
    float run() {
        rows.clear();
        L.assign(k.size(), 40);
        for (int step = 0;; ++step) {
            auxiliaries();
            if (step % 2 == 0) {
                rows.insert(rows.end(), L.begin(), L.end());
                rows.insert(rows.end(), x.begin(), x.end());
                rows.insert(rows.end(), f.begin(), f.end());
            }
            if (step == 400) break;
            for (int u = 0; u < n; ++u) {
                double rate = static_cast<double>(f[u]) - static_cast<double>(L[u]) * k[u] * x[u];
                L[u] += 0.5f * static_cast<float>(rate);
            }
        }
        return L[0];
    }
};

// The 100 x 100 stock ring (add_stock_ring: 100 stocks over 100 cells, each
// flowing toward the next, (next - me) * rate), 1,000 Euler steps of 1 with
// the first and last saved.
struct stock_ring_direct {
    std::vector<float> stock = std::vector<float>(10000), flow = std::vector<float>(10000), rows;
    float run(float rate) {
        std::fill(stock.begin(), stock.end(), 1.0f);
        rows.clear();
        for (int step = 0; step <= 1000; ++step) {
            for (int v = 0; v < 100; ++v) {
                const float* next = stock.data() + ((v + 1) % 100) * 100;
                const float* me = stock.data() + v * 100;
                float* f = flow.data() + v * 100;
                for (int c = 0; c < 100; ++c)
                    f[c] = static_cast<float>((static_cast<double>(next[c]) - me[c]) * rate);
            }
            if (step == 0 || step == 1000) rows.insert(rows.end(), stock.begin(), stock.end());
            if (step == 1000) break;
            for (int i = 0; i < 10000; ++i)
                stock[static_cast<std::size_t>(i)] += flow[static_cast<std::size_t>(i)];
        }
        return rows.back();
    }
};
