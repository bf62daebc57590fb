// Drawing speed of the layer on a window-sized image: line segments (the
// sketch's connectors and graph curves) and short texts (names and labels).
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

void ensure_app() {
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_gdi_draw";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

void BM_LineSegments(benchmark::State& state) {
    ensure_app();
    QImage img(1600, 1000, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    HPEN pen = CreatePen(PS_SOLID, static_cast<int>(state.range(0)), RGB(0, 0, 160));
    SelectObject(dc, pen);
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> x(0, 1599), y(0, 999);
    std::vector<POINT> pts(10001);
    for (auto& p : pts) p = POINT{x(rng), y(rng)};
    for (auto _ : state) {
        MoveToEx(dc, pts[0].x, pts[0].y, nullptr);
        for (int i = 1; i <= 10000; ++i) LineTo(dc, pts[i].x, pts[i].y);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    gdi_delete_image_dc(dc);
}
BENCHMARK(BM_LineSegments)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// The floor under BM_LineSegments: the same 10,000 long lines drawn by one
// QPainter straight onto the image, without the platform in between. What
// is left between the two is the platform's cost per call; the rest is
// rasterising lines some 600 pixels long.
void BM_LineSegmentsPainterOnly(benchmark::State& state) {
    ensure_app();
    QImage img(1600, 1000, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> x(0, 1599), y(0, 999);
    std::vector<QPoint> pts(10001);
    for (auto& p : pts) p = QPoint(x(rng), y(rng));
    QPainter painter(&img);
    painter.setPen(QPen(QColor(0, 0, 160), static_cast<int>(state.range(0))));
    for (auto _ : state)
        for (int i = 1; i <= 10000; ++i)
            painter.drawLine(pts[static_cast<std::size_t>(i) - 1],
                             pts[static_cast<std::size_t>(i)]);
    painter.end();
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_LineSegmentsPainterOnly)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// A graph curve: many short steps across a plot, as a polyline of LineTo
// calls; the cost per call is what a paint of thousands of points pays.
void BM_CurveSegments(benchmark::State& state) {
    ensure_app();
    QImage img(1200, 800, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 1200, 800)));
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 160));
    SelectObject(dc, pen);
    std::vector<POINT> pts(10001);
    for (int i = 0; i <= 10000; ++i)
        pts[static_cast<std::size_t>(i)] =
            POINT{40 + i * 1100 / 10000, 400 + static_cast<int>(300 * std::sin(i / 500.0))};
    for (auto _ : state) {
        MoveToEx(dc, pts[0].x, pts[0].y, nullptr);
        for (int i = 1; i <= 10000; ++i)
            LineTo(dc, pts[static_cast<std::size_t>(i)].x, pts[static_cast<std::size_t>(i)].y);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    gdi_delete_image_dc(dc);
}
BENCHMARK(BM_CurveSegments)->Unit(benchmark::kMillisecond);

// The same curve as one Polyline call, through a window's update region of
// two rectangles (as a partly covered graph repaints).
void BM_CurvePolyline(benchmark::State& state) {
    ensure_app();
    QImage img(1200, 800, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(
        &img, nullptr, QRegion(QRect(0, 0, 1200, 500)) + QRegion(QRect(0, 500, 700, 300)));
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 160));
    SelectObject(dc, pen);
    std::vector<POINT> pts(10001);
    for (int i = 0; i <= 10000; ++i)
        pts[static_cast<std::size_t>(i)] =
            POINT{40 + i * 1100 / 10000, 400 + static_cast<int>(300 * std::sin(i / 500.0))};
    for (auto _ : state) Polyline(dc, pts.data(), static_cast<int>(pts.size()));
    state.SetItemsProcessed(state.iterations() * 10000);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    gdi_delete_image_dc(dc);
}
BENCHMARK(BM_CurvePolyline)->Unit(benchmark::kMillisecond);

void BM_Texts(benchmark::State& state) {
    ensure_app();
    QImage img(1600, 1000, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    HFONT f = CreateFont(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    const char* names[] = {"Population", "births", "death rate", "Inventory", "shipments"};
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            const char* t = names[i % 5];
            TextOut(dc, (i * 37) % 1500, (i * 53) % 980, t, static_cast<int>(std::strlen(t)));
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
    gdi_delete_image_dc(dc);
}
BENCHMARK(BM_Texts)->Unit(benchmark::kMillisecond);

void BM_MeasureTexts(benchmark::State& state) {
    ensure_app();
    HDC dc = gdi_create_screen_dc();
    HFONT f = CreateFont(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    SelectObject(dc, f);
    SIZE sz;
    for (auto _ : state)
        for (int i = 0; i < 1000; ++i)
            benchmark::DoNotOptimize(GetTextExtentPoint32(dc, "Population", 10, &sz));
    state.SetItemsProcessed(state.iterations() * 1000);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
    gdi_delete_image_dc(dc);
}
BENCHMARK(BM_MeasureTexts)->Unit(benchmark::kMillisecond);

} // namespace
