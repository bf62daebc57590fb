// Window classes: registering, looking up and the class longs.
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/win_internal.h"

#include <algorithm>
#include <cstring>

namespace win {

std::shared_ptr<WinClass> find_class(const char* name) {
    if (!name) return nullptr;
    auto& s = st();
    auto it = s.classes.find(lower(name));
    if (it != s.classes.end()) return it->second;
    // The standard control classes exist from the start, as on the platform:
    // registered on first use (registering looks the class up again, hence
    // the guard).
    static bool registering = false;
    if (registering) return nullptr;
    registering = true;
    BOOL made = controls_register_class(name);
    registering = false;
    if (!made) return nullptr;
    it = s.classes.find(lower(name));
    return it == s.classes.end() ? nullptr : it->second;
}

} // namespace win

using namespace win;

ATOM RegisterClassEx(const WNDCLASSEX* wc) {
    auto& s = st();
    if (!wc || !wc->lpszClassName || (!IS_INTRESOURCE(wc->lpszClassName) && !*wc->lpszClassName) ||
        wc->cbClsExtra < 0 || wc->cbWndExtra < 0 || wc->cbClsExtra > 4096 ||
        wc->cbWndExtra > 4096) {
        s.last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::string key = lower(wc->lpszClassName);
    if (s.classes.count(key)) {
        s.last_error = ERROR_CLASS_ALREADY_EXISTS;
        return 0;
    }
    // Atoms run from 0xC000 to 0xFFFE; an unregistered class's atom is free
    // again, so a program that registers and unregisters classes for as long
    // as it runs never runs out while fewer than that many are registered.
    ATOM atom = s.next_atom;
    if (atom == 0xFFFF) {
        std::vector<bool> used(0xFFFF - 0xC000, false);
        for (const auto& [name, c] : s.classes)
            if (c->atom >= 0xC000 && c->atom < 0xFFFF) used[c->atom - 0xC000] = true;
        auto free = std::find(used.begin(), used.end(), false);
        if (free == used.end()) {
            s.last_error = ERROR_NOT_ENOUGH_QUOTA;
            return 0;
        }
        atom = static_cast<ATOM>(0xC000 + (free - used.begin()));
    } else {
        ++s.next_atom;
    }
    auto cls = std::make_shared<WinClass>();
    cls->name = IS_INTRESOURCE(wc->lpszClassName) ? key : std::string(wc->lpszClassName);
    cls->style = wc->style;
    cls->proc = wc->lpfnWndProc;
    cls->cls_extra = wc->cbClsExtra;
    cls->wnd_extra = wc->cbWndExtra;
    cls->instance = wc->hInstance;
    cls->icon = wc->hIcon;
    cls->icon_small = wc->hIconSm;
    cls->cursor = wc->hCursor;
    cls->background = wc->hbrBackground;
    if (wc->lpszMenuName) {
        if (IS_INTRESOURCE(wc->lpszMenuName))
            cls->menu_id = wc->lpszMenuName;
        else
            cls->menu_name = wc->lpszMenuName;
    }
    cls->extra.assign(static_cast<std::size_t>(wc->cbClsExtra), 0);
    cls->atom = atom;
    s.classes[key] = cls;
    return cls->atom;
}

namespace {

// The fields the short and the extended class descriptions share.
template <typename From, typename To> void copy_class_fields(const From& from, To& to) {
    to.style = from.style;
    to.lpfnWndProc = from.lpfnWndProc;
    to.cbClsExtra = from.cbClsExtra;
    to.cbWndExtra = from.cbWndExtra;
    to.hInstance = from.hInstance;
    to.hIcon = from.hIcon;
    to.hCursor = from.hCursor;
    to.hbrBackground = from.hbrBackground;
    to.lpszMenuName = from.lpszMenuName;
    to.lpszClassName = from.lpszClassName;
}

} // namespace

ATOM RegisterClass(const WNDCLASS* wc) {
    if (!wc) {
        st().last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    WNDCLASSEX ex{};
    ex.cbSize = sizeof ex;
    copy_class_fields(*wc, ex);
    return RegisterClassEx(&ex);
}

BOOL UnregisterClass(const char* class_name, HINSTANCE) {
    auto& s = st();
    auto it = s.classes.find(lower(class_name));
    if (!class_name || it == s.classes.end()) {
        s.last_error = ERROR_CLASS_DOES_NOT_EXIST;
        return FALSE;
    }
    if (it->second->windows > 0) {
        s.last_error = ERROR_CLASS_HAS_WINDOWS;
        return FALSE;
    }
    s.classes.erase(it);
    return TRUE;
}

BOOL GetClassInfoEx(HINSTANCE, const char* class_name, WNDCLASSEX* out) {
    auto cls = find_class(class_name);
    if (!cls || !out) {
        st().last_error = ERROR_CLASS_DOES_NOT_EXIST;
        return FALSE;
    }
    out->cbSize = sizeof *out;
    out->style = cls->style;
    out->lpfnWndProc = cls->proc;
    out->cbClsExtra = cls->cls_extra;
    out->cbWndExtra = cls->wnd_extra;
    out->hInstance = cls->instance;
    out->hIcon = cls->icon;
    out->hCursor = cls->cursor;
    out->hbrBackground = cls->background;
    out->lpszMenuName = cls->menu_id ? cls->menu_id : cls->menu_name.c_str();
    out->lpszClassName = cls->name.c_str();
    out->hIconSm = cls->icon_small;
    return TRUE;
}

BOOL GetClassInfo(HINSTANCE instance, const char* class_name, WNDCLASS* out) {
    WNDCLASSEX ex{};
    if (!out || !GetClassInfoEx(instance, class_name, &ex)) return FALSE;
    copy_class_fields(ex, *out);
    return TRUE;
}

int GetClassName(HWND hwnd, char* buffer, int size) {
    Window* w = get_or_fail(hwnd);
    if (!w || !buffer || size <= 0) return 0;
    const std::string& name = w->cls->name;
    int n = std::min(static_cast<int>(name.size()), size - 1);
    std::memcpy(buffer, name.data(), static_cast<std::size_t>(n));
    buffer[n] = 0;
    return n;
}

ULONG_PTR GetClassLongPtr(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    WinClass& c = *w->cls;
    switch (index) {
    case GCL_MENUNAME:
        return reinterpret_cast<ULONG_PTR>(c.menu_id ? c.menu_id : c.menu_name.c_str());
    case GCL_HBRBACKGROUND:
        return reinterpret_cast<ULONG_PTR>(c.background);
    case GCL_HCURSOR:
        return reinterpret_cast<ULONG_PTR>(c.cursor);
    case GCL_HICON:
        return reinterpret_cast<ULONG_PTR>(c.icon);
    case GCL_HICONSM:
        return reinterpret_cast<ULONG_PTR>(c.icon_small);
    case GCL_HMODULE:
        return reinterpret_cast<ULONG_PTR>(c.instance);
    case GCL_CBWNDEXTRA:
        return static_cast<ULONG_PTR>(c.wnd_extra);
    case GCL_CBCLSEXTRA:
        return static_cast<ULONG_PTR>(c.cls_extra);
    case GCL_WNDPROC:
        return reinterpret_cast<ULONG_PTR>(c.proc);
    case GCL_STYLE:
        return c.style;
    case GCW_ATOM:
        return c.atom;
    default: {
        ULONG_PTR v = 0;
        return read_extra(c.extra, index, v) ? v : 0;
    }
    }
}

ULONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    WinClass& c = *w->cls;
    ULONG_PTR old = GetClassLongPtr(hwnd, index);
    switch (index) {
    case GCL_HBRBACKGROUND:
        c.background = reinterpret_cast<HBRUSH>(value);
        break;
    case GCL_HCURSOR:
        c.cursor = reinterpret_cast<HCURSOR>(value);
        break;
    case GCL_HICON:
        c.icon = reinterpret_cast<HICON>(value);
        break;
    case GCL_HICONSM:
        c.icon_small = reinterpret_cast<HICON>(value);
        break;
    case GCL_WNDPROC:
        c.proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GCL_STYLE:
        c.style = static_cast<UINT>(value);
        break;
    default: {
        LONG_PTR was = 0;
        if (!swap_extra(c.extra, index, value, was)) return 0;
    }
    }
    return old;
}

DWORD GetClassLong(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    if (index >= 0) {
        DWORD v = 0;
        return read_extra(w->cls->extra, index, v) ? v : 0;
    }
    return static_cast<DWORD>(GetClassLongPtr(hwnd, index));
}

DWORD SetClassLong(HWND hwnd, int index, LONG value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    if (index >= 0) {
        DWORD old = 0;
        return swap_extra(w->cls->extra, index, static_cast<DWORD>(value), old) ? old : 0;
    }
    if (index == GCL_WNDPROC || index == GCL_HCURSOR || index == GCL_HICON ||
        index == GCL_HBRBACKGROUND || index == GCL_HICONSM || index == GCL_MENUNAME) {
        st().last_error = ERROR_INVALID_INDEX; // pointers do not fit 32 bits
        return 0;
    }
    return static_cast<DWORD>(SetClassLongPtr(hwnd, index, value));
}
