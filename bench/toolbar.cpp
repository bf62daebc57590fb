// Speed of one full toolbar paint (every normal item, bevels, grooves and
// images) through the window layer, on a workbench-wide toolbar.
#include "shell/toolbar.h"
#include "platform/win.h"
#include "resources/menus.h"
#include "shell/mainwnd.h"
#include "shell/state.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void BM_ToolbarPaint(benchmark::State& state) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform_ensure_application();
    hinst = handle_from_token<HINSTANCE>(1);
    register_menu_templates();
    register_classes(hinst);
    HWND bar = CreateWindow("Kavrel_toolbar", "", WS_POPUP | WS_VISIBLE, 0, 0, 1280, toolbar_height,
                            nullptr, nullptr, hinst, nullptr);
    for (auto _ : state) {
        InvalidateRect(bar, nullptr, TRUE);
        UpdateWindow(bar);
    }
    DestroyWindow(bar);
    state.SetItemsProcessed(state.iterations() * static_cast<long>(toolbar_list().size()));
}
BENCHMARK(BM_ToolbarPaint)->Unit(benchmark::kMicrosecond);

} // namespace
