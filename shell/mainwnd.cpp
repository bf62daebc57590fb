// The workbench's window classes, the main window and its children (toolbar,
// palette, container, bottom bar), their layout, brushes and procedures.
#include "shell/mainwnd.h"

#include "foundation/memory.h"
#include "platform/controls.h"
#include "platform/menu.h"
#include "platform/messages.h"
#include "resources/bitmaps.h"
#include "resources/menus.h"
#include "shell/bottombar.h"
#include "shell/controls/buttons.h"
#include "shell/controls/colorpick.h"
#include "shell/controls/gauge.h"
#include "shell/controls/longlist.h"
#include "shell/controls/scaler.h"
#include "shell/controls/slider.h"
#include "shell/controls/tooltip.h"
#include "shell/exitcheck.h"
#include "shell/mainloop.h"
#include "shell/mainplace.h"
#include "shell/menucmd.h"
#include "shell/menustate.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/pump.h"
#include "shell/showqueue.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"
#include "shell/wip.h"
#include "sim/livesweep.h"

#include <cstring>

system_colours sys_colours{};

LRESULT (*graphics_window_hook)(HWND, UINT, WPARAM, LPARAM) = nullptr;
dde_server_hook_set dde_server_hooks;

namespace {

// Codes and classes in registration order.
struct class_def {
    int code;
    const char* name;
    WNDPROC proc;
    UINT style;
    int extra;
    int background; // 0 none, 1 window, 2 face, 3 tooltip
    int icon;
    bool menu;
    bool cursor; // the arrow as class cursor
    bool hourglass;
};

// The DDE client's class: the data links give each of its windows their own
// procedure when they make it, so the class does the default handling.
LRESULT default_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}
// The graphs sit above the shell: their window procedure comes through a hook.
LRESULT graphics_class_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return graphics_window_hook ? graphics_window_hook(w, m, wp, lp) : DefWindowProc(w, m, wp, lp);
}
LRESULT ddeserver_class_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return dde_server_hooks.proc ? dde_server_hooks.proc(w, m, wp, lp)
                                 : DefWindowProc(w, m, wp, lp);
}

const class_def class_defs[] = {
    {-1, "Kavrel_workbench", parent_proc, 0, 0, 1, 101, true, true, false},
    {-3, "Kavrel_wip", wip_proc, 0, 0, 0, 0, false, false, true},
    {-4, "Kavrel_container", container_proc, 0, 4, 1, 0, false, true, false},
    {-5, "Kavrel_bottom", bottom_proc, 0, 0, 2, 0, false, true, false},
    {-6, "Kavrel_toolwrap", toolwrapper_proc, CS_DBLCLKS, 0, 0, 0, false, true, false},
    {-6, "Kavrel_dialogwrap", editwrapper_proc, CS_DBLCLKS, 0, 0, 0, false, true, false},
    {-6, "Kavrel_editwrap", editwrapper_proc, CS_DBLCLKS, 0, 0, 0, false, true, false},
    {-7, "Kavrel_active_toolset", seq_proc, 0, 4, 2, 0, false, true, false},
    {-8, "Kavrel_choice_toolset", seq_proc, 0, 0, 2, 0, false, true, false},
    {-9, "Kavrel_tools", tools_proc, 0, 4, 2, 0, false, true, false},
    {-10, "Kavrel_bitbutton", bitbutton_proc, 0, 8, 2, 0, false, true, false},
    {-11, "Kavrel_colorbutton", colorbutton_proc, 0, 6, 2, 0, false, true, false},
    {-12, "Kavrel_text", text_proc, 0, 8, 1, 0, false, true, false},
    {-13, "Kavrel_spread", spread_proc, 0, 8, 1, 0, false, true, false},
    {-15, "Kavrel_graphics", graphics_class_proc, 0, 8, 0, 0, false, true, false},
    {-16, "Kavrel_scaler", scale_proc, 0, 0, 2, 0, false, true, false},
    {-17, "Kavrel_color", coloring_proc, 0, 0, 2, 0, false, true, false},
    {-18, "Kavrel_font", dispfont_proc, 0, 0, 2, 0, false, true, false},
    {-19, "Kavrel_lookup", lookup_class_proc, 0, 0, 1, 0, false, false, false},
    {-20, "Kavrel_guage", guage_proc, 0, 0, 1, 0, false, true, false},
    {-22, "Kavrel_ctext", ctext_class_proc, 0, 4, 2, 0, false, true, false},
    {-23, "Kavrel_vslider", vslider_proc, 0, 4, 0, 0, false, true, false},
    {-235, "Kavrel_qslider", qslider_proc, 0, 4, 0, 0, false, true, false},
    {-25, "Kavrel_sketch_mother", sketch_parent_proc, 0, 8, 1, 106, false, true, false},
    {-27, "Kavrel_sketch", sketch_proc, CS_OWNDC | CS_DBLCLKS, 8, 0, 0, false, true, false},
    {-28, "Kavrel_ddeserver", ddeserver_class_proc, 0, 0, 1, 0, false, true, false},
    {-29, "Kavrel_ddeclient", default_proc, 0, 0, 1, 0, false, true, false},
    {-30, "Kavrel_longlist", longlist_proc, CS_DBLCLKS, 8, 1, 0, false, true, false},
    {-34, "Kavrel_toolbar", vtoolbar_proc, 0, 0, 2, 0, false, true, false},
    {-35, "Kavrel_tooltip", vtooltip_proc, 0, 4, 3, 0, false, true, false},
};
constexpr int class_count = sizeof class_defs / sizeof class_defs[0];
class_entry class_entries[class_count];
int failing_code = 0;
bool classes_registered = false;

HICON workbench_icon = nullptr;
HICON sketch_icon = nullptr;

HBRUSH background_brush(int kind) {
    switch (kind) {
    case 1:
        return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    case 2:
        return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1));
    case 3:
        return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_INFOBK + 1));
    default:
        return nullptr;
    }
}

void delete_brushes() {
    for (HBRUSH* b : {&sys_colours.shadow_brush, &sys_colours.face_brush, &sys_colours.window_brush,
                      &sys_colours.highlight_brush}) {
        if (*b) DeleteObject(*b);
        *b = nullptr;
    }
}

void fill(HDC dc, int l, int t, int r, int b, HBRUSH brush) {
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, brush);
}

HBRUSH shadow_brush() {
    return sys_colours.shadow_brush ? sys_colours.shadow_brush : GetSysColorBrush(COLOR_BTNSHADOW);
}

// The sunken line along the top of the workbench and the bottom bar.
void draw_top_edge(HDC dc, int right) {
    fill(dc, 0, 0, right, 1, shadow_brush());
    fill(dc, 0, 1, right, 2, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

} // namespace

const class_entry* window_class_table(int* count) {
    for (int i = 0; i < class_count; ++i)
        class_entries[i] = {class_defs[i].code, class_defs[i].name};
    if (count) *count = class_count;
    return class_entries;
}

void fail_class_registration(int code) {
    failing_code = code;
}

int register_classes(HINSTANCE instance) {
    for (const class_def& d : class_defs) {
        WNDCLASS wc{};
        wc.style = d.style;
        wc.lpfnWndProc = d.proc;
        wc.cbWndExtra = d.extra;
        wc.hInstance = instance;
        if (d.icon) {
            HICON icon = LoadIcon(instance, MAKEINTRESOURCE(d.icon));
            wc.hIcon = icon;
            if (d.icon == 101) workbench_icon = icon;
            if (d.icon == 106) sketch_icon = icon;
        }
        if (d.hourglass)
            wc.hCursor = LoadCursor(nullptr, IDC_WAIT);
        else if (d.cursor)
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = background_brush(d.background);
        wc.lpszMenuName = d.menu ? MAKEINTRESOURCE(menu_main) : nullptr;
        wc.lpszClassName = d.name;
        if (d.code == failing_code || !RegisterClass(&wc)) return d.code;
    }
    classes_registered = true;
    // Without the chart library's application object the program runs on;
    // chart graphs are then drawn as plain line graphs.
    init_mfc_app();
    return 1;
}

void unregister_classes() {
    exit_mfc_app();
    if (workbench_icon) DestroyIcon(workbench_icon);
    if (sketch_icon) DestroyIcon(sketch_icon);
    workbench_icon = sketch_icon = nullptr;
    if (classes_registered) {
        for (const class_def& d : class_defs)
            if (std::strcmp(d.name, "Kavrel_guage") != 0) UnregisterClass(d.name, hinst);
        classes_registered = false;
    }
    delete_brushes();
    if (output_edit_menu) DestroyMenu(output_edit_menu);
    if (changes_menu) DestroyMenu(changes_menu);
    output_edit_menu = changes_menu = nullptr;
}

void refresh_system_colours() {
    sys_colours.face = GetSysColor(COLOR_BTNFACE);
    sys_colours.shadow = GetSysColor(COLOR_BTNSHADOW);
    sys_colours.button_text = GetSysColor(COLOR_BTNTEXT);
    sys_colours.window = GetSysColor(COLOR_WINDOW);
    sys_colours.window_text = GetSysColor(COLOR_WINDOWTEXT);
    sys_colours.highlight = GetSysColor(COLOR_HIGHLIGHT);
    sys_colours.highlight_text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    delete_brushes();
    sys_colours.shadow_brush = CreateSolidBrush(sys_colours.shadow);
    sys_colours.face_brush = CreateSolidBrush(sys_colours.face);
    sys_colours.window_brush = CreateSolidBrush(sys_colours.window);
    sys_colours.highlight_brush = CreateSolidBrush(sys_colours.highlight);
}

HBITMAP make_system_bitmap(int resource_id) {
    // The program's own bitmaps are painted in the button colours; others
    // come from the resources, and a missing one gives null.
    if (HBITMAP painted = paint_resource_bitmap(resource_id, GetSysColor(COLOR_BTNFACE),
                                                GetSysColor(COLOR_BTNTEXT)))
        return painted;
    return LoadBitmap(hinst, MAKEINTRESOURCE(resource_id));
}

HWND create_main_window() {
    InitCommonControls();
    arrow_cursor = LoadCursor(nullptr, IDC_ARROW);
    wait_cursor = LoadCursor(nullptr, IDC_WAIT);
    cursor_300 = LoadCursor(hinst, MAKEINTRESOURCE(300));
    if (!cursor_300) cursor_300 = arrow_cursor;
    shell_opts.build_maximised = 1;

    main_place place = initial_main_place();
    const RECT& pr = place.rect;
    main_wnd = CreateWindow("Kavrel_workbench", "Kavrel", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            pr.left, pr.top, pr.right - pr.left, pr.bottom - pr.top, nullptr,
                            nullptr, hinst, nullptr);
    if (!main_wnd) return nullptr;
    remember_main_place(main_wnd);

    screen_right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen_bottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    HDC screen = GetDC(nullptr);
    if (screen_right <= 0 || screen_bottom <= 0) {
        screen_right = GetDeviceCaps(screen, HORZRES);
        screen_bottom = GetDeviceCaps(screen, VERTRES);
    }
    pixels_per_inch_x = GetDeviceCaps(screen, LOGPIXELSX);
    pixels_per_inch_y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    RECT rc{};
    GetClientRect(main_wnd, &rc);
    size_box_wnd =
        CreateWindow(WC_SCROLLBAR, "", WS_CHILD | SBS_SIZEBOX | SBS_SIZEBOXBOTTOMRIGHTALIGN, 0, 0,
                     rc.right, rc.bottom, main_wnd, nullptr, hinst, nullptr);
    tools_wnd = CreateWindow(
        "Kavrel_tools", "", WS_CHILD | (shell_opts.palette != 2 ? WS_VISIBLE : 0), 0, 0,
        palette_cell_w * 2 + 4, palette_cell_h * 10 + 4, main_wnd, nullptr, hinst, nullptr);
    toolbar_wnd = CreateWindow("Kavrel_toolbar", "", WS_CHILD, 0, 0, rc.right, toolbar_height,
                               main_wnd, nullptr, hinst, nullptr);
    tooltip_wnd = CreateWindow("Kavrel_tooltip", "", WS_POPUP | WS_BORDER, 0, 0, 10, 10, main_wnd,
                               nullptr, hinst, nullptr);
    bottom_wnd = CreateWindow("Kavrel_bottom", "", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                              rc.bottom - bottom_height, rc.right, bottom_height, main_wnd, nullptr,
                              hinst, nullptr);
    container_wnd = CreateWindow("Kavrel_container", "",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                 rc.right, rc.bottom, main_wnd, nullptr, hinst, nullptr);
    if (!tools_wnd || !toolbar_wnd || !bottom_wnd || !container_wnd) {
        DestroyWindow(main_wnd);
        main_wnd = nullptr;
        return nullptr;
    }

    main_menu = GetMenu(main_wnd);
    file_menu = GetSubMenu(main_menu, popup_file);
    view_menu = GetSubMenu(main_menu, popup_view);
    edit_menu = GetSubMenu(main_menu, popup_edit);
    insert_menu = GetSubMenu(main_menu, popup_insert);
    windows_menu = GetSubMenu(main_menu, popup_windows);
    output_edit_menu = LoadMenu(hinst, MAKEINTRESOURCE(menu_output_edit));
    changes_menu = LoadMenu(hinst, MAKEINTRESOURCE(menu_changes));

    recent_models(2, 0, nullptr);
    free_toolset(0);
    free_palette_bitmap();
    set_main_title(nullptr);
    show_window(main_wnd, place.maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    layout_frame(main_wnd);
    UpdateWindow(main_wnd);
    if (dde_server_hooks.opened) dde_server_hooks.opened(main_wnd);
    return main_wnd;
}

void layout_frame(HWND window) {
    if (!container_wnd || window != main_wnd) return;
    RECT rc{};
    GetClientRect(window, &rc);
    int w = rc.right, h = rc.bottom;
    bool zoomed = IsZoomed(window) != 0;
    if (size_box_wnd) {
        int sw = GetSystemMetrics(SM_CXVSCROLL), sh = GetSystemMetrics(SM_CYHSCROLL);
        MoveWindow(size_box_wnd, w - sw, h - sh, sw, sh, TRUE);
        ShowWindow(size_box_wnd, zoomed ? SW_HIDE : SW_SHOW);
    }
    int top = 2;
    if (toolbar_wnd && (GetWindowLong(toolbar_wnd, GWL_STYLE) & WS_VISIBLE)) {
        MoveWindow(toolbar_wnd, 0, 2, w, toolbar_height, TRUE);
        top = 2 + toolbar_height;
    }
    int bottom = h;
    bool bottom_shown = bottom_wnd && (GetWindowLong(bottom_wnd, GWL_STYLE) & WS_VISIBLE);
    if (bottom_shown) bottom = h - bottom_height;
    int left = 0;
    if (shell_opts.palette == 2 || !tools_wnd) {
        if (bottom_shown) MoveWindow(bottom_wnd, 0, bottom, w, bottom_height, TRUE);
    } else {
        RECT pr{};
        GetWindowRect(tools_wnd, &pr);
        if (shell_opts.palette == 1) {
            int ph = palette_cell_h + 4;
            MoveWindow(tools_wnd, 0, top, w, ph, TRUE);
            top += ph;
            if (bottom_shown) MoveWindow(bottom_wnd, 0, bottom, w, bottom_height, TRUE);
        } else {
            int pw = palette_cell_w * 2 + 4;
            MoveWindow(tools_wnd, 0, top, pw, h - top, TRUE);
            left = pw;
            if (bottom_shown) MoveWindow(bottom_wnd, left, bottom, w - left, bottom_height, TRUE);
        }
    }
    MoveWindow(container_wnd, left, top, w - left > 0 ? w - left : 0,
               bottom - top > 0 ? bottom - top : 0, TRUE);
    // A maximised build or output window fills the container.
    if (active_child && IsWindow(active_child) && GetParent(active_child) == container_wnd &&
        !(GetWindowLong(active_child, GWL_STYLE) & WS_CAPTION)) {
        RECT cr{};
        GetClientRect(container_wnd, &cr);
        MoveWindow(active_child, 0, 0, cr.right, cr.bottom, TRUE);
    }
}

LRESULT parent_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (keep_hourglass && wait_cursor) SetCursor(wait_cursor);
    switch (message) {
    case WM_SYSCOLORCHANGE:
        InvalidateRect(window, nullptr, TRUE);
        [[fallthrough]];
    case WM_CREATE:
        caption_state = 3;
        refresh_system_colours();
        return DefWindowProc(window, message, wparam, lparam);
    case WM_SIZE:
        if (window == main_wnd) remember_main_place(window);
        layout_frame(window);
        return 0;
    case WM_MOVE:
        if (window == main_wnd) remember_main_place(window);
        return DefWindowProc(window, message, wparam, lparam);
    case WM_SETFOCUS: {
        bool had = (caption_state & 1) != 0;
        caption_state |= 1;
        if (had && (GetKeyState(VK_LBUTTON) & 0x8000)) {
            draw_caption_buttons(-1);
            return 0;
        }
        if (wip_wnd && IsWindow(wip_wnd) && IsWindowVisible(wip_wnd))
            SetFocus(wip_wnd);
        else if (active_child && IsWindow(active_child))
            SetFocus(active_child);
        draw_caption_buttons(-1);
        return 0;
    }
    case WM_KILLFOCUS: {
        HWND to = reinterpret_cast<HWND>(wparam);
        if (!to || GetWindowThreadProcessId(to, nullptr) != GetCurrentThreadId()) {
            caption_state = 0;
            return DefWindowProc(window, message, wparam, lparam);
        }
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc{};
        GetClientRect(window, &rc);
        draw_top_edge(dc, rc.right);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_CLOSE:
        exit_command();
        return 0;
    case WM_DESTROY:
        if (window == main_wnd && dde_server_hooks.closing) dde_server_hooks.closing();
        return DefWindowProc(window, message, wparam, lparam);
    case WM_DDE_INITIATE:
        if (dde_server_hooks.initiate)
            dde_server_hooks.initiate(reinterpret_cast<HWND>(wparam), lparam);
        return 0;
    case WM_QUERYENDSESSION:
        if (modal_count != 0) {
            BringWindowToTop(window);
            return 0;
        }
        return run_exit_checks() ? 1 : 0;
    case WM_MEASUREITEM: {
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
        if (mi) {
            RECT rc{};
            GetWindowRect(window, &rc);
            mi->itemWidth = static_cast<UINT>(rc.right);
            mi->itemHeight = 15;
        }
        return 1;
    }
    case WM_DRAWITEM:
        return 1; // the sketch tool icons are drawn by the sketch
    case WM_NCACTIVATE:
        if (wparam)
            caption_state |= 2;
        else
            caption_state = 0;
        return DefWindowProc(window, message, wparam, lparam);
    case WM_COMMAND: {
        busy_guard busy;
        int id = static_cast<short>(LOWORD(wparam));
        if (id == cmd_ignored) return 0;
        if (id >= 500) {
            menu_command(id);
            toolbar_follow_mode();
        } else if (active_child && IsWindow(active_child))
            SendMessage(active_child, WM_COMMAND, wparam, lparam);
        else if (id == cmd_close || id == cmd_save || id == cmd_save_as || id == cmd_publish ||
                 id == cmd_print)
            file_command(id);
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE) {
            exit_command();
            return 0;
        }
        return DefWindowProc(window, message, wparam, lparam);
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        TranslateMessage(&current_msg);
        return DefWindowProc(window, message, wparam, lparam);
    case WM_TIMER:
        if (wparam == static_cast<WPARAM>(livesweep_timer_id))
            return inline_again_proc(token_of(window), message, wparam, lparam);
        return DefWindowProc(window, message, wparam, lparam);
    case WM_ENABLE:
        // A modal dialog or box disables the workbench: the toolbar greys
        // its buttons and fields with the menus, and back.
        if (window == main_wnd) toolbar_follow_enabled();
        return DefWindowProc(window, message, wparam, lparam);
    case WM_INITMENU:
        update_menu_states();
        return DefWindowProc(window, message, wparam, lparam);
    case WM_MENUSELECT:
        if (active_child && IsWindow(active_child))
            SendMessage(active_child, message, wparam, lparam);
        return DefWindowProc(window, message, wparam, lparam);
    case WM_USER:
        SetForegroundWindow(window);
        SetActiveWindow(window);
        SetFocus(window);
        pump_messages();
        SetFocus(window);
        return DefWindowProc(window, message, wparam, lparam);
    default:
        return DefWindowProc(window, message, wparam, lparam);
    }
}

LRESULT container_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SIZE:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    default:
        return DefWindowProc(window, message, wparam, lparam);
    }
}

LRESULT seq_proc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}
