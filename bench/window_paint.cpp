// Repaint speed of a 1600 x 1000 window through the window layer:
// InvalidateRect + UpdateWindow with the class background erase and a paint
// pass drawing into the backing image, and the cost of a queued message.
#include "platform/gdi.h"
#include "platform/win.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

HBRUSH fill_brush = nullptr;
HPEN line_pen = nullptr;

LRESULT paint_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        for (int i = 0; i < 20; ++i) {
            RECT r{i * 80, 100, i * 80 + 60, 160};
            FillRect(dc, &r, fill_brush);
        }
        HGDIOBJ old = SelectObject(dc, line_pen);
        for (int i = 0; i < 200; ++i) {
            MoveToEx(dc, 0, i * 5, nullptr);
            LineTo(dc, 1599, 999 - i * 5);
        }
        SelectObject(dc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

HWND make_window(const char* cls, WNDPROC proc) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform_ensure_application();
    if (!fill_brush) {
        fill_brush = CreateSolidBrush(RGB(200, 220, 255));
        line_pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 128));
    }
    WNDCLASS wc{};
    wc.lpfnWndProc = proc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    wc.lpszClassName = cls;
    RegisterClass(&wc);
    return CreateWindowEx(0, cls, "bench", WS_POPUP | WS_VISIBLE, 0, 0, 1600, 1000, nullptr,
                          nullptr, nullptr, nullptr);
}

void BM_FullRepaint(benchmark::State& state) {
    HWND h = make_window("Bench_paint", paint_proc);
    for (auto _ : state) {
        InvalidateRect(h, nullptr, TRUE);
        UpdateWindow(h);
    }
    DestroyWindow(h);
    state.SetItemsProcessed(state.iterations() * 1600 * 1000);
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

void BM_EraseOnlyRepaint(benchmark::State& state) {
    HWND h = make_window("Bench_erase", DefWindowProc);
    for (auto _ : state) {
        InvalidateRect(h, nullptr, TRUE);
        UpdateWindow(h);
    }
    DestroyWindow(h);
}
BENCHMARK(BM_EraseOnlyRepaint)->Unit(benchmark::kMillisecond);

void BM_PostedMessageRoundTrip(benchmark::State& state) {
    HWND h = make_window("Bench_queue", DefWindowProc);
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    for (auto _ : state) {
        PostMessage(h, WM_USER, 1, 2);
        PeekMessage(&m, nullptr, WM_USER, WM_USER, PM_REMOVE);
        DispatchMessage(&m);
    }
    DestroyWindow(h);
}
BENCHMARK(BM_PostedMessageRoundTrip);

} // namespace
