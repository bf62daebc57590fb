// The maximised build window's caption buttons (see captionbtn.h).
#include "shell/captionbtn.h"

#include "platform/gdi.h"
#include "platform/menu.h"
#include "platform/messages.h"
#include "resources/menus.h"
#include "shell/controls/bevel.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/winlist.h"
#include "shell/wip.h"

namespace {

// The three buttons' faces, raised and pressed, drawn once.
HBITMAP faces[3][2];

HBITMAP caption_face(int cell, int state) {
    static const char* const letters[3] = {"_", "R", "X"};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP b = CreateCompatibleBitmap(screen, caption_button_size, caption_button_size);
    ReleaseDC(nullptr, screen);
    if (!dc || !b) {
        if (dc) DeleteDC(dc);
        if (b) DeleteObject(b);
        return nullptr;
    }
    HGDIOBJ old = SelectObject(dc, b);
    draw_caption_cell(dc, 0, 0, caption_button_size, caption_button_size, state, cell,
                      letters[cell]);
    SelectObject(dc, old);
    DeleteDC(dc);
    return b;
}

// A build window is shown maximised and active, and no work-in-progress
// window is up.
bool caption_buttons_wanted() {
    return main_wnd && active_kind == kind_build && build_wnd && IsWindow(build_wnd) &&
           active_child == build_wnd && IsWindowVisible(build_wnd) &&
           (shell_opts.build_maximised || IsZoomed(build_wnd)) &&
           !(wip_wnd && IsWindowVisible(wip_wnd));
}

} // namespace

void draw_caption_buttons(int which) {
    if (!main_wnd) return;
    if (!caption_buttons_wanted()) {
        if (GetMenuBarButtonCount(main_wnd)) SetMenuBarButtons(main_wnd, nullptr, 0);
        if (which == -1) DrawMenuBar(main_wnd);
        return;
    }
    // The bar draws its buttons whole, so any request redraws all three.
    static const WPARAM commands[3] = {cmd_caption_minimise, cmd_caption_restore, cmd_close};
    MenuBarButton b[3];
    for (int i = 0; i < 3; ++i) {
        for (int state = 0; state < 2; ++state)
            if (!faces[i][state]) faces[i][state] = caption_face(i, state);
        b[i].up = faces[i][0];
        b[i].down = faces[i][1];
        b[i].x = caption_button_x[i];
        b[i].target = main_wnd;
        b[i].message = WM_COMMAND;
        b[i].wparam = commands[i];
    }
    SetMenuBarButtons(main_wnd, b, 3);
}

bool caption_buttons_shown() {
    return main_wnd && GetMenuBarButtonCount(main_wnd) > 0;
}

void caption_button_command(int id) {
    HWND w = build_wnd;
    if (!w || !IsWindow(w) || !container_wnd) return;
    if (id == cmd_caption_minimise) {
        add_window_menu_item(w);
        ShowWindow(w, SW_HIDE);
        if (active_child == w) activate_window(nullptr, 0, 0);
        draw_caption_buttons(-1);
    } else if (id == cmd_caption_restore) {
        shell_opts.build_maximised = 0;
        RECT c{};
        GetClientRect(container_wnd, &c);
        SetWindowLong(w, GWL_STYLE,
                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
                          WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
        MoveWindow(w, c.right / 8, c.bottom / 8, c.right * 3 / 4, c.bottom * 3 / 4, TRUE);
        draw_caption_buttons(-1);
    }
}

HBITMAP caption_button_face(int index, bool pressed) {
    return index >= 0 && index < 3 ? faces[index][pressed ? 1 : 0] : nullptr;
}
