// The start-up show queue (see showqueue.h).
#include "shell/showqueue.h"

#include "shell/state.h"
#include "shell/winlist.h"
#include "shell/wip.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

// -1 open and empty, 0 closed, n > 0 entries waiting.
std::int32_t queue_count = 0;
std::vector<std::pair<HWND, int>>& show_queue() {
    static std::vector<std::pair<HWND, int>> q;
    return q;
}

} // namespace

void open_show_queue() {
    show_queue().clear();
    queue_count = -1;
}

bool show_queue_open() {
    return queue_count != 0;
}

int show_window(HWND window, int command) {
    if (!window && command == -1) {
        if (queue_count == 0) return 0;
        std::vector<std::pair<HWND, int>> q;
        q.swap(show_queue());
        queue_count = 0;
        for (const auto& [w, c] : q)
            if (IsWindow(w)) ShowWindow(w, c);
        if (main_wnd && IsWindow(main_wnd)) {
            PostMessage(main_wnd, WM_USER, 0, 0);
            BringWindowToTop(main_wnd);
            SetActiveWindow(main_wnd);
        }
        return 1;
    }
    if (queue_count != 0 && window != wip_wnd) {
        show_queue().emplace_back(window, command);
        queue_count = static_cast<std::int32_t>(show_queue().size());
        return 88;
    }
    if (command == SW_HIDE && window && window == active_child) activate_window(nullptr, 0, 0);
    return ShowWindow(window, command);
}
