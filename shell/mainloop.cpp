// The main message loop (maintain, re-entered by every modal wait) and the
// accelerator keys it takes before dispatching.
#include "shell/mainloop.h"
#include "shell/controlpanel.h"

#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/messages.h"
#include "resources/menus.h"
#include "shell/controls/tooltip.h"
#include "shell/floats.h"
#include "shell/menustate.h"
#include "shell/palette.h"
#include "shell/pump.h"
#include "shell/state.h"
#include "shell/toolbar.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"
#include "sim/game.h"
#include "sim/simdata.h"

std::int32_t maintain_result = 0;

namespace {

// Level k (1..max_loop_depth) of the loop; index 0 unused.
struct loop_level {
    std::int32_t id = 0;
    bool go = false;      // the level's "continue" flag
    bool pending = false; // end_maintain reached it while a deeper level ran
    std::int32_t pending_result = 0;
};
loop_level levels[max_loop_depth + 1];
int depth = 0;

bool is_key_message(UINT m) {
    return m == WM_KEYDOWN || m == WM_KEYUP || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
}

bool ctrl_down() {
    return (GetKeyState(VK_CONTROL) & 0x8000) != 0;
}
bool shift_down() {
    return (GetKeyState(VK_SHIFT) & 0x8000) != 0;
}

void post_command(int id) {
    if (main_wnd) PostMessage(main_wnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// A shortcut of a menu item acts as the item does: not while it is grey.
void post_menu_command(int id) {
    update_menu_states();
    if (menu_item_enabled(id)) post_command(id);
}

// Ctrl+key accelerators of the loop; true when the key was one of them.
bool ctrl_accelerator(const MSG* msg) {
    int vk = static_cast<int>(msg->wParam);
    // In the Control Panel the page keys turn its pages, as in any
    // tabbed dialog.
    if ((vk == VK_TAB || vk == VK_NEXT || vk == VK_PRIOR) && panel_has_focus()) {
        next_control_tab(vk == VK_PRIOR || (vk == VK_TAB && shift_down()) ? -1 : 1);
        return true;
    }
    switch (vk) {
    case VK_TAB:
        if (shift_down())
            activate_window(active_child, 0, 1);
        else
            activate_window(active_child, 1, 0);
        return true;
    case 'L':
        // Nothing serves command 536 in this edition: the key is taken
        // silently rather than answered with a Stop box.
        return true;
    case 'T':
    case 'U':
        // Served by the sketch frame (as its own keyboard filter posts them);
        // with no build window active the keys are silent.
        if (active_child && active_child == build_wnd && active_kind == kind_build)
            PostMessage(build_wnd, WM_COMMAND, vk == 'T' ? cmd_ctrl_t : cmd_ctrl_u, 0);
        return true;
    case 'N':
        post_menu_command(cmd_new_model);
        return true;
    case 'O':
        post_menu_command(cmd_open_model);
        return true;
    case 'Q':
        post_command(cmd_exit);
        return true;
    case 'S':
        post_menu_command(cmd_save);
        return true;
    case 'W':
        post_menu_command(cmd_close);
        return true;
    case 'P':
        post_menu_command(cmd_print);
        return true;
    case 'R':
        post_menu_command(cmd_simulate);
        return true;
    case 'B':
        post_menu_command(cmd_livesweep);
        return true;
    default:
        break;
    }
    // Ctrl+1 .. Ctrl+9, Ctrl+0: the first ten tools, as their items of the
    // Tools menu (with Shift, the refusal to lock a tool).
    if (vk >= '0' && vk <= '9') {
        const int index = vk == '0' ? 9 : vk - '1';
        if (shift_down())
            run_palette_tool(nullptr, 0, index, 0, 1);
        else
            post_menu_command(cmd_tool_first + index);
        return true;
    }
    return false;
}

struct depth_guard {
    depth_guard(std::int32_t id) {
        ++depth;
        levels[depth] = loop_level{id, true, false, 0};
    }
    ~depth_guard() {
        levels[depth] = loop_level{};
        --depth;
    }
    depth_guard(const depth_guard&) = delete;
    depth_guard& operator=(const depth_guard&) = delete;
};

} // namespace

int maintain_depth() {
    return depth;
}

void reset_main_loop() {
    for (auto& l : levels) l = loop_level{};
    depth = 0;
}

void loop_handle_message(MSG* msg) {
    current_msg = *msg;
    UINT m = msg->message;
    if (!is_key_message(m)) {
        if ((m == WM_LBUTTONDOWN || m == WM_NCLBUTTONDOWN) && msg->hwnd &&
            msg->hwnd != active_child && !(active_child && IsChild(active_child, msg->hwnd))) {
            activate_window(msg->hwnd, 0, 0);
            UpdateWindow(msg->hwnd);
            if (float_opts || game_window_open) set_float_anchor(msg->hwnd);
        }
        if (tooltip_state() && ((m >= WM_NCLBUTTONDOWN && m <= WM_NCLBUTTONDOWN + 8) ||
                                (m >= WM_LBUTTONDOWN && m <= WM_MOUSEWHEEL)))
            hide_tooltip(0);
        DispatchMessage(msg);
        return;
    }
    if (tooltip_state() > 0) hide_tooltip(1);
    int vk = static_cast<int>(msg->wParam);
    if (m == WM_KEYDOWN && ctrl_down() && ctrl_accelerator(msg)) {
        DefWindowProc(msg->hwnd, m, msg->wParam, msg->lParam);
        return;
    }
    if (m == WM_KEYDOWN && vk == VK_ESCAPE && sim_phase == phase_setup && !game_state &&
        livesweep_state != ls_on) {
        // Escape leaves simulation set-up (asking about unused changes).
        post_command(cmd_stop_simulation);
        return;
    }
    if (vk == VK_F1 || vk == VK_HELP) {
        post_command(cmd_instructions);
        return;
    }
    if (m == WM_SYSKEYDOWN || m == WM_SYSKEYUP) {
        if (HWND pressed = pressed_button_window())
            SendMessage(pressed, m, msg->wParam, msg->lParam);
        if (main_wnd) {
            msg->hwnd = main_wnd;
            current_msg.hwnd = main_wnd;
            TranslateMessage(msg);
            DefWindowProc(main_wnd, m, msg->wParam, msg->lParam);
        }
        return;
    }
    if (run_loop_filters(msg)) return;
    DispatchMessage(msg);
}

void maintain(std::int32_t id) {
    if (depth >= max_loop_depth) {
        report(10, "SS.Nesting too deep in maintain");
        return;
    }
    depth_guard guard(id);
    int mine = depth;
    for (;;) {
        loop_level& level = levels[mine];
        if (level.pending) { // ended while a deeper level ran
            level.go = false;
            maintain_result = level.pending_result;
        }
        if (!level.go) break;
        MSG msg{};
        BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got < 0) {
            // The queue failed: stop dispatching instead of spinning on it.
            report(10, "SS.Message queue failure in maintain");
            levels[mine].go = false;
            maintain_result = -1;
            break;
        }
        if (got == 0) {
            report(10, "Unexpected exit from Kavrel");
        } else {
            loop_handle_message(&msg);
        }
        release_scratch_if_idle();
    }
}

void end_maintain(std::int32_t id, std::int32_t result) {
    if (depth <= 0) return;
    if (levels[depth].id == id) {
        levels[depth].go = false;
        maintain_result = result;
        return;
    }
    // An outer level: it ends as soon as it regains control.
    for (int k = depth - 1; k >= 1; --k) {
        if (levels[k].id == id && levels[k].go) {
            levels[k].pending = true;
            levels[k].pending_result = result;
            return;
        }
    }
}
