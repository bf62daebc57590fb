// Focus, activation, capture and enabling.
#include "platform/win_internal.h"

namespace win {

// Activates another window when the active one goes away or hides: its owner
// when that can take it, else the topmost other visible top-level window.
void activate_other(HWND leaving) {
    auto& s = st();
    if (s.active != leaving) return;
    HWND next = nullptr;
    if (Window* w = get(leaving)) {
        if (w->owner) {
            Window* o = get(w->owner);
            if (o && visible_chain(*o) && !(o->style & WS_DISABLED)) next = w->owner;
        }
    }
    if (!next) {
        for (HWND t : s.toplevels) {
            Window* o = get(t);
            if (t != leaving && o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED) &&
                !o->destroying) {
                next = t;
                break;
            }
        }
    }
    SetActiveWindow(next);
}

} // namespace win

using namespace win;

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    auto& s = st();
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return FALSE;
    BOOL was_disabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if ((enable != 0) == !was_disabled) return was_disabled;
    if (enable) {
        w->style &= ~WS_DISABLED;
    } else {
        w->style |= WS_DISABLED;
        if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) SetFocus(nullptr);
        if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
    }
    // The menu bar is a Qt widget of its own that takes clicks directly: it
    // must follow its window, or a modal box's owner keeps a live menu bar.
    if (w->menu_bar) w->menu_bar->setEnabled(enable != 0);
    if (get(hwnd)) send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = get(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND SetFocus(HWND hwnd) {
    auto& s = st();
    HWND old = s.focus;
    if (!hwnd) {
        if (old) {
            s.focus = nullptr;
            if (get(old)) send(old, WM_KILLFOCUS, 0, 0);
        }
        return old;
    }
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop || w->destroying) return nullptr;
    if (old == hwnd) return old;
    HWND root = root_of(hwnd);
    if (s.active != root) {
        SetActiveWindow(root);
        if (!get(hwnd)) return nullptr;
        if (s.focus == hwnd) return old;
    }
    HWND prev = s.focus;
    s.focus = hwnd;
    if (prev && get(prev)) send(prev, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (s.focus == hwnd && get(hwnd)) {
        send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(prev), 0);
        if (Window* fw = get(hwnd); fw && fw->widget && s.focus == hwnd)
            fw->widget->setFocus(Qt::OtherFocusReason);
    }
    return old;
}

HWND GetFocus() {
    return st().focus;
}

void win::mark_keyboard_focus(HWND hwnd) {
    // Qt draws focus marks only in a window whose focus the keyboard moved;
    // the dialogs' own Tab and arrow handling moves it without Qt's own.
    Window* w = get(hwnd);
    if (!w || !w->widget) return;
    QWidget* top = w->widget->window();
    top->setAttribute(Qt::WA_KeyboardFocusChange);
    w->widget->update();
}

void win::bring_forward_on_screen(HWND root) {
    auto& s = st();
    Window* rw = get(root);
    if (!rw || !rw->widget || !(rw->style & WS_VISIBLE)) return;
    ++s.activation_requests;
    if (qt_offscreen()) return;
    restack(s.toplevels);
    // Without a window manager this is what gives the window the keyboard.
    rw->widget->activateWindow();
}

HWND SetActiveWindow(HWND hwnd) {
    auto& s = st();
    HWND root = nullptr;
    if (hwnd) {
        Window* w = get_or_fail(hwnd);
        if (!w || w->is_desktop) return nullptr;
        root = root_of(hwnd);
        if (get(root)->message_only || get(root)->destroying) return nullptr;
    }
    HWND old = s.active;
    if (old == root) return old;
    s.active = root;
    if (old && get(old)) {
        send(old, WM_NCACTIVATE, FALSE, 0);
        if (get(old))
            send(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0),
                 reinterpret_cast<LPARAM>(root));
    }
    if (!root) {
        SetFocus(nullptr);
        return old;
    }
    if (s.active != root || !get(root)) return old;
    remove_from(s.toplevels, root);
    s.toplevels.insert(s.toplevels.begin(), root);
    // The windows it owns (a message box, a tool window) stay above it.
    keep_owned_above(s.toplevels);
    if (s.wm_activating != root) bring_forward_on_screen(root);
    send(root, WM_NCACTIVATE, TRUE, 0);
    if (get(root) && s.active == root)
        send(root, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsIconic(root) ? 1 : 0),
             reinterpret_cast<LPARAM>(old));
    return old;
}

HWND GetActiveWindow() {
    return st().active;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (!get_or_fail(hwnd)) return FALSE;
    SetActiveWindow(hwnd);
    return TRUE;
}

HWND GetForegroundWindow() {
    return st().active;
}

HWND SetCapture(HWND hwnd) {
    auto& s = st();
    Window* w = get_or_fail(hwnd);
    HWND old = s.capture;
    if (!w || w->is_desktop || w->destroying) return nullptr;
    if (old == hwnd) return old;
    s.capture = hwnd;
    if (old && get(old)) send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture() {
    auto& s = st();
    HWND old = s.capture;
    s.capture = nullptr;
    if (old && get(old)) send(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    return st().capture;
}
