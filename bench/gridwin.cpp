// The grid window: 10,000 rows of 100 cells added to a shown window and its
// first paint; the copy of those rows as text and BIFF2 to the clipboard.
#include "tools/gridwin.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/gdi.h"
#include "platform/win.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "tools/output.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform_ensure_application();
    set_message_hook([](int, const char*, const char*) { return 0; });
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "Bench_main";
    RegisterClass(&wc);
    wc.lpfnWndProc = toolwrapper_proc;
    wc.lpszClassName = "Kavrel_toolwrap";
    wc.style = CS_DBLCLKS;
    RegisterClass(&wc);
    wc.lpfnWndProc = spread_proc;
    wc.lpszClassName = "Kavrel_spread";
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.style = 0;
    RegisterClass(&wc);
    main_wnd = CreateWindowEx(0, "Bench_main", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 800,
                              nullptr, nullptr, nullptr, nullptr);
    container_wnd = CreateWindowEx(0, "Bench_main", "", WS_CHILD | WS_VISIBLE, 0, 0, 1000, 800,
                                   main_wnd, nullptr, nullptr, nullptr);
    install_tools_hooks();
    install_grid_window();
}

HWND window_of(handle rec) {
    HWND w = nullptr;
    if (auto* r = static_cast<output_record*>(lock_handle(rec))) {
        w = r->window;
        unlock_handle(rec);
    }
    return w;
}

void close(handle rec) {
    SendMessage(window_of(rec), WM_COMMAND, cmd_close_output, 0);
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

handle filled() {
    handle rec = open_spread_window("Bench", 10, 10, 800, 600, nullptr, 30, 10, 0);
    std::vector<float> v(100);
    for (int i = 0; i < 100; ++i) v[static_cast<std::size_t>(i)] = 1000.0f + i * 0.25f;
    for (int r = 0; r < 10000; ++r) {
        const std::string label = "Population[region" + std::to_string(r) + "]";
        spread_add_row(rec, label.c_str(), nullptr, v.data(), nullptr, 100, true, nullptr, 0,
                       r % 12 + 1);
    }
    return rec;
}

void BM_GridWindowTenThousandRowsPainted(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        handle rec = filled();
        UpdateWindow(window_of(rec));
        state.PauseTiming();
        close(rec);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_GridWindowTenThousandRowsPainted)->Unit(benchmark::kMillisecond);

void BM_GridWindowCopy(benchmark::State& state) {
    setup();
    handle rec = filled();
    for (auto _ : state) benchmark::DoNotOptimize(spread_copy(rec));
    close(rec);
}
BENCHMARK(BM_GridWindowCopy)->Unit(benchmark::kMillisecond);

} // namespace
