// The shell's process-wide state and its reset to the start-up values.
#include "shell/state.h"

HINSTANCE hinst = nullptr;

HWND main_wnd = nullptr;
HWND tools_wnd = nullptr;
HWND toolbar_wnd = nullptr;
HWND tooltip_wnd = nullptr;
HWND bottom_wnd = nullptr;
HWND container_wnd = nullptr;
HWND size_box_wnd = nullptr;
HWND active_child = nullptr;
HWND build_wnd = nullptr;

std::uint8_t active_kind = kind_none;
std::uint8_t float_opts = 0;
shell_options shell_opts;

HMENU main_menu = nullptr;
HMENU file_menu = nullptr;
HMENU view_menu = nullptr;
HMENU edit_menu = nullptr;
HMENU insert_menu = nullptr;
HMENU windows_menu = nullptr;
HMENU output_edit_menu = nullptr;
HMENU changes_menu = nullptr;

HCURSOR arrow_cursor = nullptr;
HCURSOR wait_cursor = nullptr;
HCURSOR cursor_300 = nullptr;

int screen_right = 0;
int screen_bottom = 0;
int pixels_per_inch_x = 96;
int pixels_per_inch_y = 96;
int caption_state = 0;
bool keep_hourglass = false;
bool game_window_open = false;

void reset_shell_state() {
    main_wnd = tools_wnd = toolbar_wnd = tooltip_wnd = bottom_wnd = nullptr;
    container_wnd = size_box_wnd = active_child = build_wnd = nullptr;
    active_kind = kind_none;
    float_opts = 0;
    shell_opts = shell_options{};
    main_menu = file_menu = view_menu = edit_menu = insert_menu = windows_menu = nullptr;
    output_edit_menu = changes_menu = nullptr;
    arrow_cursor = wait_cursor = cursor_300 = nullptr;
    caption_state = 0;
    keep_hourglass = false;
    game_window_open = false;
}
