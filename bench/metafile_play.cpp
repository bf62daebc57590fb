// Playing pictures: a busy picture of ours (shapes, lines, text, objects made
// and deleted) recorded in both formats, and the pictures other programs wrote
// (paths, point-drawing records, text in code pages), each played onto a
// window-sized image.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdlib>
#include <string>

namespace {

void ensure_app() {
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_metafile_play";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

// The drawing of a busy model diagram: boxes, circles, connectors and names,
// with a pen and a brush made for each group.
void draw_busy(HDC dc) {
    HFONT font =
        CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    for (int g = 0; g < 40; ++g) {
        HPEN pen = CreatePen(PS_SOLID, g % 3, RGB(g * 5, 0, 120));
        HBRUSH brush = CreateSolidBrush(RGB(200, 220 - g, 255));
        SelectObject(dc, pen);
        SelectObject(dc, brush);
        for (int k = 0; k < 10; ++k) {
            int x = (g % 8) * 190 + k * 3, y = (g / 8) * 190 + k * 15;
            Rectangle(dc, x, y, x + 60, y + 30);
            Ellipse(dc, x + 70, y, x + 100, y + 30);
            POINT line[4] = {{x, y + 40}, {x + 40, y + 60}, {x + 80, y + 45}, {x + 120, y + 70}};
            Polyline(dc, line, 4);
            TextOut(dc, x + 4, y + 8, "Stock", 5);
        }
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(pen);
        DeleteObject(brush);
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

HENHMETAFILE busy_emf() {
    RECT frame{0, 0, 42333, 26458}; // 1600 x 1000 pixels in 0.01 mm
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, &frame, nullptr);
    draw_busy(rec);
    return CloseEnhMetaFile(rec);
}

HMETAFILE busy_wmf() {
    HDC rec = CreateMetaFile(nullptr);
    draw_busy(rec);
    return CloseMetaFile(rec);
}

void play_emf_onto(benchmark::State& state, HENHMETAFILE emf) {
    QImage img(1600, 1000, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    RECT r{0, 0, 1600, 1000};
    for (auto _ : state)
        if (!PlayEnhMetaFile(dc, emf, &r)) state.SkipWithError(gdi_last_error());
    gdi_delete_image_dc(dc);
}

void play_wmf_onto(benchmark::State& state, HMETAFILE wmf, int ext_x, int ext_y) {
    QImage img(1600, 1000, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    if (ext_x > 0) {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, ext_x, ext_y, nullptr);
        SetViewportExtEx(dc, 1600, 1000, nullptr);
    }
    for (auto _ : state)
        if (!PlayMetaFile(dc, wmf)) state.SkipWithError(gdi_last_error());
    gdi_delete_image_dc(dc);
}

void BM_PlayOurEmf(benchmark::State& state) {
    ensure_app();
    HENHMETAFILE emf = busy_emf();
    play_emf_onto(state, emf);
    DeleteEnhMetaFile(emf);
}
BENCHMARK(BM_PlayOurEmf)->Unit(benchmark::kMillisecond);

void BM_PlayOurWmf(benchmark::State& state) {
    ensure_app();
    HMETAFILE wmf = busy_wmf();
    play_wmf_onto(state, wmf, 0, 0);
    DeleteMetaFile(wmf);
}
BENCHMARK(BM_PlayOurWmf)->Unit(benchmark::kMillisecond);

std::string data_file(const char* name) {
    return std::string(KAVREL_SOURCE_DIR) + "/tests/platform/data/" + name;
}

// The pictures other programs wrote: shapes and text from two drawing
// programs, as enhanced (arg 0) and Windows (arg 1) metafiles.
void BM_PlayForeign(benchmark::State& state) {
    ensure_app();
    static const char* names[] = {"lo_shapes", "lo_text", "ink_shapes", "ink_text"};
    bool emf = state.range(1) == 0;
    std::string file = data_file(names[state.range(0)]) + (emf ? ".emf" : ".wmf");
    if (emf) {
        if (HENHMETAFILE pic = GetEnhMetaFile(file.c_str())) {
            play_emf_onto(state, pic);
            DeleteEnhMetaFile(pic);
            return;
        }
    } else if (HMETAFILE pic = GetMetaFile(file.c_str())) {
        play_wmf_onto(state, pic, 20000, 12500);
        DeleteMetaFile(pic);
        return;
    }
    state.SkipWithError(gdi_last_error());
}
BENCHMARK(BM_PlayForeign)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace
