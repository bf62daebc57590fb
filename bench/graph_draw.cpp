// The drawing layer under a line graph's load: 16 curves of 10,000 points
// mapped from values and drawn into a 1200 x 800 window-sized image.
#include "draw/axis.h"
#include "draw/drawing.h"
#include "draw/prims.h"
#include "platform/gdi_internal.h"
#include "tests/driver/driver.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <cmath>
#include <vector>

namespace {

constexpr int runs = 16, points = 10000;

struct series_data {
    std::vector<float> t;
    std::vector<std::vector<float>> v;
    series_data() : t(points), v(runs, std::vector<float>(points)) {
        for (int i = 0; i < points; ++i) {
            t[static_cast<std::size_t>(i)] = static_cast<float>(i) * 0.01f;
            for (int r = 0; r < runs; ++r)
                v[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)] =
                    static_cast<float>(1000 + 50 * r + 400 * std::sin(i / (300.0 + 20 * r)));
        }
    }
};

const series_data& data() {
    static series_data d;
    return d;
}

void BM_MapSeries(benchmark::State& state) {
    const series_data& d = data();
    std::vector<std::int16_t> x(points), y(static_cast<std::size_t>(points) * 2);
    for (auto _ : state)
        for (int r = 0; r < runs; ++r)
            benchmark::DoNotOptimize(map_series_with_bands(
                d.t.data(), d.v[static_cast<std::size_t>(r)].data(), points, nullptr, 0, 0, 100, 0,
                2000, x.data(), y.data(), points, nullptr, 0, 0));
    state.SetItemsProcessed(state.iterations() * runs * points);
}
BENCHMARK(BM_MapSeries)->Unit(benchmark::kMillisecond);

void BM_CurvesRepaint(benchmark::State& state) {
    test_driver::start();
    const series_data& d = data();
    std::vector<std::vector<std::int16_t>> xs(runs), ys(runs);
    for (int r = 0; r < runs; ++r) {
        auto& x = xs[static_cast<std::size_t>(r)];
        auto& y = ys[static_cast<std::size_t>(r)];
        x.resize(points);
        y.resize(points);
        map_series_with_bands(d.t.data(), d.v[static_cast<std::size_t>(r)].data(), points, nullptr,
                              0, 0, 100, 0, 2000, x.data(), y.data(), points, nullptr, 0, 0);
    }
    QImage img(1200, 800, QImage::Format_RGB32);
    for (auto _ : state) {
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 1200, 800)));
        {
            draw_pass pass(dc, dc);
            fill_box(12, 60, 40, 1140, 740);
            for (int r = 0; r < runs; ++r)
                draw_curve(nullptr, r, 1, 60, 40, 1140, 740, xs[static_cast<std::size_t>(r)].data(),
                           ys[static_cast<std::size_t>(r)].data(), points, 0, false, true);
        }
        gdi_delete_image_dc(dc);
    }
    state.SetItemsProcessed(state.iterations() * runs * points);
}
BENCHMARK(BM_CurvesRepaint)->Unit(benchmark::kMillisecond);

// A work-in-progress update: each of 16 curves gets its newest segment drawn
// on the window's kept context, the rest of the picture left as it is.
void BM_WipSegments(benchmark::State& state) {
    test_driver::start();
    std::vector<std::int16_t> xs(points), ys(points);
    for (int i = 0; i < points; ++i) {
        xs[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i);
        ys[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(5000 + (i * 37) % 3000);
    }
    QImage img(1200, 800, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 1200, 800)));
    int n = 3;
    for (auto _ : state) {
        draw_pass pass(dc, dc);
        for (int r = 0; r < runs; ++r)
            draw_curve(nullptr, r, 1, 60, 40, 1140, 740, xs.data(), ys.data(), n, 0, true, true);
        if (++n > points) n = 3;
    }
    gdi_delete_image_dc(dc);
    state.SetItemsProcessed(state.iterations() * runs);
}
BENCHMARK(BM_WipSegments)->Unit(benchmark::kMicrosecond);

} // namespace
