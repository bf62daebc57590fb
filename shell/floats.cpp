// Floating windows and saved positions (see floats.h).
#include "shell/floats.h"

#include "platform/messages.h"
#include "shell/state.h"
#include "shell/subpanel_wnd.h"
#include "shell/upcalls.h"

namespace {

HWND floats[fw_count] = {};
HWND anchor = nullptr;

const char* const keys[fw_count] = {"Control Dlg", "Subscript Dlg", nullptr, "Sel History",
                                    "Err History"};

bool shown(HWND w) {
    return w && IsWindow(w) && IsWindowVisible(w);
}

// The floating window that others must stay below: the last of the visible
// kept-on-top windows, the game window last of all.
HWND lowest_float() {
    HWND below = nullptr;
    if ((float_opts & fo_control_on_top) && shown(float_window(fw_control)))
        below = float_window(fw_control);
    if ((float_opts & fo_subscript_on_top) && shown(float_window(fw_subscript)))
        below = float_window(fw_subscript);
    if (shown(float_window(fw_game))) below = float_window(fw_game);
    return below;
}

// Whether `w` is an output window of the container.
bool is_output(HWND w) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtr(w, GWLP_WNDPROC)) == toolwrapper_proc;
}

// The last (lowest) visible output window among the container's children.
HWND lowest_output(HWND except) {
    if (!container_wnd) return nullptr;
    HWND last = nullptr;
    for (HWND c = GetWindow(container_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (c != except && IsWindowVisible(c) && is_output(c)) last = c;
    return last;
}

// Places `window` just below `after`; with no window to stay below it goes
// to the top (left where it was, a window newly made in the container stayed
// under the others and never showed). A window that is itself `after` keeps
// its place.
BOOL place_after(HWND window, HWND after, int x, int y, int w, int h, UINT flags) {
    if (after == window || (flags & SWP_NOZORDER))
        return SetWindowPos(window, nullptr, x, y, w, h, flags | SWP_NOZORDER);
    return SetWindowPos(window, after ? after : HWND_TOP, x, y, w, h, flags);
}

} // namespace

void set_float_window(float_kind kind, HWND window) {
    if (kind >= 0 && kind < fw_count) floats[kind] = window;
}

HWND float_window(float_kind kind) {
    if (kind < 0 || kind >= fw_count) return nullptr;
    HWND w = floats[kind];
    if (!w && kind == fw_subscript) w = subscript_panel_hwnd();
    return w && IsWindow(w) ? w : nullptr;
}

const char* float_key(float_kind kind) {
    return kind >= 0 && kind < fw_count ? keys[kind] : nullptr;
}

int clamp_value(int value, int maximum) {
    if (maximum < 0) maximum = 0;
    return value < 0 ? 0 : value > maximum ? maximum : value;
}

POINT window_origin(HWND window, HWND parent) {
    RECT r{};
    GetWindowRect(window, &r);
    POINT p{r.left, r.top};
    if (parent) ScreenToClient(parent, &p);
    return p;
}

BOOL place_under_floats(HWND window, int x, int y, int w, int h, UINT flags) {
    return place_after(window, lowest_float(), x, y, w, h, flags);
}

BOOL place_under_floats_b(HWND window, int x, int y, int w, int h, UINT flags) {
    if (flags == place_fill) {
        RECT c{};
        if (container_wnd) GetClientRect(container_wnd, &c);
        x = 0;
        y = 0;
        w = c.right;
        h = c.bottom;
        flags = 0;
    }
    if (float_opts & fo_build_behind) {
        if (HWND out = lowest_output(window)) return place_after(window, out, x, y, w, h, flags);
    }
    return place_under_floats(window, x, y, w, h, flags);
}

BOOL place_in_container(HWND window, int x, int y, int w, int h, UINT flags) {
    if (container_wnd && !(flags & SWP_NOMOVE)) {
        RECT c{};
        GetClientRect(container_wnd, &c);
        x = clamp_value(x, c.right - 30);
        y = clamp_value(y, c.bottom - 30);
        if (!(flags & SWP_NOSIZE)) {
            if (w > c.right) w = c.right;
            if (h > c.bottom) h = c.bottom;
        }
    }
    // A floating window goes below those that must stay above it: the game
    // window, then the Subscript Control when it is kept on top and the
    // Control Panel is not.
    HWND after = nullptr;
    if (window != float_window(fw_game) && shown(float_window(fw_game)))
        after = float_window(fw_game);
    if (window == float_window(fw_control) && !(float_opts & fo_control_on_top) &&
        (float_opts & fo_subscript_on_top) && shown(float_window(fw_subscript)))
        after = float_window(fw_subscript);
    return place_after(window, after, x, y, w, h, flags);
}

void set_float_anchor(HWND window) {
    anchor = window;
    if (!float_opts && !game_window_open) return;
    // The clicked window came forward: put the kept-on-top windows back.
    for (float_kind k : {fw_subscript, fw_control, fw_game}) {
        HWND f = float_window(k);
        if (!shown(f) || f == window) continue;
        bool keep = k == fw_game || (k == fw_control && (float_opts & fo_control_on_top)) ||
                    (k == fw_subscript && (float_opts & fo_subscript_on_top));
        if (keep) SetWindowPos(f, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}
