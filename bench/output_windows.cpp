// Output windows: 200 framed tool windows opened in a 1600 x 1000 container
// (cascaded) and closed again; and the built-in tool set read and painted
// into the tools palette.
#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/gdi.h"
#include "platform/win.h"
#include "shell/palette.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "tools/output.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

LRESULT bench_tool_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND && LOWORD(wp) == cmd_close_output) {
        handle rec = record_of(w);
        unlist_output_window(rec);
        destroy_tool_window(w);
        free_output_record(rec);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

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
    wc.lpfnWndProc = bench_tool_proc;
    wc.lpszClassName = "Bench_tool";
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.style = 0;
    RegisterClass(&wc);
    wc.lpfnWndProc = tools_proc;
    wc.lpszClassName = "Kavrel_tools";
    wc.cbWndExtra = 0;
    RegisterClass(&wc);
    main_wnd = CreateWindowEx(0, "Bench_main", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 1650, 1000,
                              nullptr, nullptr, nullptr, nullptr);
    container_wnd = CreateWindowEx(0, "Bench_main", "", WS_CHILD | WS_VISIBLE, 50, 0, 1600, 1000,
                                   main_wnd, nullptr, nullptr, nullptr);
    tools_wnd = CreateWindowEx(0, "Kavrel_tools", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 1000,
                               main_wnd, nullptr, nullptr, nullptr);
    install_tools_hooks();
    toolset_changed_hook = palette_toolset_changed;
}

void BM_TwoHundredFramedWindows(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        cascade_x = cascade_y = 0;
        for (int i = 0; i < 200; ++i) {
            handle rec = new_output_record(64, 5);
            HWND w = open_output_window(rec, "Bench_tool", "Output", -1, -1, 300, 200, 0);
            if (!w) {
                state.SkipWithError("no window");
                return;
            }
            SetWindowLongPtr(w, 0, static_cast<LONG_PTR>(rec));
            auto* r = static_cast<output_record*>(lock_handle(rec));
            r->window = w;
            unlock_handle(rec);
        }
        close_all_tool_windows(1);
    }
}
BENCHMARK(BM_TwoHundredFramedWindows)->Unit(benchmark::kMillisecond);

void BM_BuiltInSetIntoThePaletteWindow(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        free_toolset(0);
        read_toolset(nullptr, 0);
        UpdateWindow(tools_wnd);
    }
    free_toolset(0);
}
BENCHMARK(BM_BuiltInSetIntoThePaletteWindow)->Unit(benchmark::kMicrosecond);

} // namespace
