// Window longs and words (fixed fields and extra bytes), window procedures
// and window texts.
#include "platform/win_internal.h"

#include <algorithm>

namespace win {

namespace {

LONG_PTR* long_slot_of_fixed(Window& w, int index) {
    switch (index) {
    case GWL_ID:
        return &w.id;
    case GWL_USERDATA:
        return &w.userdata;
    default:
        return nullptr;
    }
}

} // namespace

} // namespace win

using namespace win;

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->ex_style);
    case GWL_ID:
        return w->id;
    case GWL_USERDATA:
        return w->userdata;
    default: {
        LONG_PTR v = 0;
        return read_extra(w->extra, index, v) ? v : 0;
    }
    }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    LONG_PTR old = GetWindowLongPtr(hwnd, index);
    switch (index) {
    case GWL_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWL_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWL_HWNDPARENT:
        if (is_toplevel(*w)) {
            HWND o = reinterpret_cast<HWND>(value);
            w->owner = o && get(o) ? root_of(o) : nullptr;
        }
        return old;
    case GWL_ID:
    case GWL_USERDATA:
        *long_slot_of_fixed(*w, index) = value;
        return old;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
        QSize before = client_size(*w);
        DWORD v = static_cast<DWORD>(value);
        if (index == GWL_STYLE) {
            DWORD vis = w->style & WS_VISIBLE;
            // The child bit cannot change a window's place in the tree.
            w->style = (v & ~(WS_VISIBLE | WS_CHILD)) | vis | (w->style & WS_CHILD);
            if ((v & WS_VSCROLL) != (static_cast<DWORD>(old) & WS_VSCROLL))
                w->sb_shown[1] = (v & WS_VSCROLL) != 0;
            if ((v & WS_HSCROLL) != (static_cast<DWORD>(old) & WS_HSCROLL))
                w->sb_shown[0] = (v & WS_HSCROLL) != 0;
            if ((v & WS_VISIBLE) && !vis)
                ShowWindow(hwnd, SW_SHOWNA);
            else if (!(v & WS_VISIBLE) && vis)
                ShowWindow(hwnd, SW_HIDE);
        } else {
            w->ex_style = v;
        }
        w = get(hwnd);
        if (!w) return old;
        sync_widget_geometry_with_children(*w);
        client_resized(hwnd, *w, before, true);
        return old;
    }
    default: {
        LONG_PTR was = 0;
        return swap_extra(w->extra, index, value, was) ? old : 0;
    }
    }
}

LONG GetWindowLong(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    if (index == GWL_WNDPROC || index == GWL_HINSTANCE || index == GWL_HWNDPARENT) {
        st().last_error = ERROR_INVALID_INDEX; // pointers do not fit 32 bits
        return 0;
    }
    if (index >= 0) {
        LONG v = 0;
        return read_extra(w->extra, index, v) ? v : 0;
    }
    return static_cast<LONG>(GetWindowLongPtr(hwnd, index));
}

LONG SetWindowLong(HWND hwnd, int index, LONG value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    if (index == GWL_WNDPROC || index == GWL_HINSTANCE || index == GWL_HWNDPARENT) {
        st().last_error = ERROR_INVALID_INDEX;
        return 0;
    }
    if (index >= 0) {
        LONG old = 0;
        return swap_extra(w->extra, index, value, old) ? old : 0;
    }
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return static_cast<LONG>(
            SetWindowLongPtr(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
    return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}

WORD GetWindowWord(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    WORD v = 0;
    return read_extra(w->extra, index, v) ? v : 0;
}

WORD SetWindowWord(HWND hwnd, int index, WORD value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    WORD old = 0;
    return swap_extra(w->extra, index, value, old) ? old : 0;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!proc) return 0;
    return proc(hwnd, message, wparam, lparam);
}

// ---------------------------------------------------------------------------
// Texts

BOOL SetWindowText(HWND hwnd, const char* text) {
    if (!get_or_fail(hwnd)) return FALSE;
    return send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowText(HWND hwnd, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    if (!get_or_fail(hwnd)) return 0;
    LRESULT n = send(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer));
    buffer[size - 1] = 0; // whatever the procedure did, the text ends in the buffer
    return static_cast<int>(std::clamp<LRESULT>(n, 0, size - 1));
}

int GetWindowTextLength(HWND hwnd) {
    if (!get_or_fail(hwnd)) return 0;
    return static_cast<int>(send(hwnd, WM_GETTEXTLENGTH, 0, 0));
}
