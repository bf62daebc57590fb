// Text windows: 100,000 lines appended to a text window that follows the
// end, then one paint of it; and the same appends without following (a tool
// writing a report before it is shown).
#include "tools/textwin.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/gdi.h"
#include "platform/win.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "tools/errwin.h"
#include "tools/output.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

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
    wc.lpfnWndProc = text_proc;
    wc.lpszClassName = "Kavrel_text";
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.style = 0;
    RegisterClass(&wc);
    main_wnd = CreateWindowEx(0, "Bench_main", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 800,
                              nullptr, nullptr, nullptr, nullptr);
    container_wnd = CreateWindowEx(0, "Bench_main", "", WS_CHILD | WS_VISIBLE, 0, 0, 1000, 800,
                                   main_wnd, nullptr, nullptr, nullptr);
    install_tools_hooks();
    install_text_hooks();
}

void append_lines(benchmark::State& state, int follow) {
    setup();
    for (auto _ : state) {
        handle rec = open_text_window("Bench", 10, 10, 600, 400, 0, nullptr);
        if (!rec) {
            state.SkipWithError("no window");
            return;
        }
        for (int i = 0; i < 100000; ++i)
            textwin_printf(0, rec, follow, "line %d: births = Population * birth rate\t%g", i,
                           i * 0.5);
        HWND w = nullptr;
        if (auto* r = static_cast<output_record*>(lock_handle(rec))) {
            w = r->window;
            unlock_handle(rec);
        }
        UpdateWindow(w);
        state.PauseTiming();
        SendMessage(w, WM_COMMAND, cmd_close_output, 0);
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        state.ResumeTiming();
    }
}

void BM_HundredThousandLinesFollowing(benchmark::State& state) {
    append_lines(state, 1);
}
BENCHMARK(BM_HundredThousandLinesFollowing)->Unit(benchmark::kMillisecond);

void BM_HundredThousandLinesUnshown(benchmark::State& state) {
    append_lines(state, 0);
}
BENCHMARK(BM_HundredThousandLinesUnshown)->Unit(benchmark::kMillisecond);

} // namespace
