// The message pump, the modal counter and the loop filters (see pump.h).
#include "shell/pump.h"

#include "foundation/memory.h"
#include "platform/dlg.h"
#include "shell/upcalls.h"
#include "sim/simdata.h"

#include <algorithm>
#include <vector>

std::int32_t modal_count = 0;
MSG current_msg{};

namespace {

struct loop_filter {
    HWND window;
    loop_filter_fn fn;
};
std::vector<loop_filter>& filters() {
    static std::vector<loop_filter> f;
    return f;
}

} // namespace

void add_loop_filter(HWND window, loop_filter_fn fn) {
    add_loop_filter_at(window, fn, true);
}

void add_loop_filter_at(HWND window, loop_filter_fn fn, bool first) {
    auto& f = filters();
    auto it =
        std::find_if(f.begin(), f.end(), [&](const loop_filter& x) { return x.window == window; });
    if (it != f.end() && !first) {
        it->fn = fn; // keeps its place
        return;
    }
    if (it != f.end()) f.erase(it);
    if (first)
        f.insert(f.begin(), loop_filter{window, fn});
    else
        f.push_back(loop_filter{window, fn});
}

void remove_loop_filter(HWND window) {
    auto& f = filters();
    f.erase(std::remove_if(f.begin(), f.end(),
                           [&](const loop_filter& x) { return x.window == window; }),
            f.end());
}

bool run_loop_filters(MSG* msg) {
    auto& f = filters();
    f.erase(std::remove_if(f.begin(), f.end(),
                           [](const loop_filter& x) { return !IsWindow(x.window); }),
            f.end());
    // A copy: a filter may add or remove filters while it runs.
    std::vector<loop_filter> now = f;
    for (const loop_filter& x : now) {
        if (!IsWindow(x.window)) continue;
        if (x.fn ? x.fn(x.window, msg) : IsDialogMessage(x.window, msg) != 0) return true;
    }
    return false;
}

void reset_pump_state() {
    modal_count = 0;
    filters().clear();
}

void pump_messages() {
    modal_guard modal;
    busy_guard busy;
    for (int pass = 0; pass < 2; ++pass) {
        MSG msg{};
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) { // the outer loop's business
                PostQuitMessage(static_cast<int>(msg.wParam));
                unlock_sketch();
                return;
            }
            current_msg = msg;
            UINT m = msg.message;
            if (m != WM_KEYDOWN && m != WM_KEYUP && m != WM_SYSKEYDOWN) {
                DispatchMessage(&msg);
            } else if (m == WM_KEYDOWN && sim_phase >= phase_running &&
                       (msg.wParam == VK_ESCAPE ||
                        ((msg.wParam == 'C' || msg.wParam == VK_OEM_PERIOD) &&
                         (GetKeyState(VK_CONTROL) & 0x8000) != 0))) {
                stop_request = 1;
            } else if (!run_loop_filters(&msg)) {
                DispatchMessage(&msg);
            }
            unlock_sketch();
        }
    }
}
