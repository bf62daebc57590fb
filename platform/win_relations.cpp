// Relations between windows: parents, owners, children, siblings and their
// z-order, and finding windows by name or by point.
#include "platform/gdi.h"
#include "platform/win_internal.h"

#include <algorithm>

namespace win {

std::vector<HWND>& sibling_list(Window& w) {
    auto& s = st();
    if (w.parent) {
        if (Window* p = get(w.parent)) return p->children;
    }
    if (w.message_only) return s.message_only;
    return s.toplevels;
}

void remove_from(std::vector<HWND>& list, HWND h) {
    list.erase(std::remove(list.begin(), list.end(), h), list.end());
}

// Qt stacking follows our z-order: the topmost sibling raised last.
void restack(const std::vector<HWND>& list) {
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (Window* w = get(*it))
            if (w->widget && !qt_offscreen()) w->widget->raise();
    }
}

void keep_owned_above(std::vector<HWND>& list) {
    // A few passes settle any chain of owners; a loop of owners (which the
    // platform never makes) stops at the bound.
    for (std::size_t pass = 0; pass <= list.size(); ++pass) {
        bool moved = false;
        for (std::size_t i = 0; i < list.size(); ++i) {
            Window* w = get(list[i]);
            if (!w || !w->owner) continue;
            const auto owner = std::find(list.begin(), list.end(), w->owner);
            const auto at = list.begin() + static_cast<std::ptrdiff_t>(i);
            if (owner == list.end() || owner > at) continue;
            const HWND h = list[i];
            const std::size_t o = static_cast<std::size_t>(owner - list.begin());
            list.erase(at);
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(o), h);
            moved = true;
        }
        if (!moved) return;
    }
}

std::vector<HWND> descendants(HWND hwnd) {
    std::vector<HWND> out;
    std::vector<HWND> stack;
    if (Window* w = get(hwnd)) {
        if (w->is_desktop) {
            stack.assign(st().toplevels.rbegin(), st().toplevels.rend());
        } else {
            stack.assign(w->children.rbegin(), w->children.rend());
        }
    }
    while (!stack.empty()) {
        HWND h = stack.back();
        stack.pop_back();
        Window* c = get(h);
        if (!c) continue;
        out.push_back(h);
        for (auto it = c->children.rbegin(); it != c->children.rend(); ++it) stack.push_back(*it);
    }
    return out;
}

HWND root_of(HWND hwnd) {
    Window* w = get(hwnd);
    while (w && w->parent) {
        hwnd = w->parent;
        w = get(hwnd);
    }
    return w ? hwnd : nullptr;
}

bool visible_chain(const Window& w) {
    const Window* c = &w;
    while (c) {
        if (!(c->style & WS_VISIBLE)) return false;
        if (!c->parent) return true;
        c = get(c->parent);
    }
    return false;
}

bool enabled_chain(const Window& w) {
    const Window* c = &w;
    while (c) {
        if (c->style & WS_DISABLED) return false;
        if (!c->parent) return true;
        c = get(c->parent);
    }
    return false;
}

namespace {
HWND deepest_child(HWND h, const QPoint& screen) {
    for (;;) {
        Window* w = get(h);
        if (!w) return h;
        QPoint origin = client_origin_screen(*w);
        QSize cs = client_size(*w);
        if (!QRect(origin, cs).contains(screen)) return h;
        HWND found = nullptr;
        for (HWND c : w->children) {
            Window* cw = get(c);
            if (!cw || !(cw->style & WS_VISIBLE) || (cw->style & WS_DISABLED)) continue;
            if (cw->ex_style & WS_EX_TRANSPARENT) continue;
            if (window_rect_screen(*cw).contains(screen)) {
                found = c;
                break;
            }
        }
        if (!found) return h;
        h = found;
    }
}
} // namespace

HWND window_at(const QPoint& screen) {
    for (HWND t : st().toplevels) {
        Window* w = get(t);
        if (!w || !(w->style & WS_VISIBLE) || w->destroying) continue;
        if (window_rect_screen(*w).contains(screen)) return deepest_child(t, screen);
    }
    return nullptr;
}

} // namespace win

using namespace win;

HWND GetParent(HWND hwnd) {
    Window* w = get_or_fail(hwnd);
    if (!w) return nullptr;
    if (w->parent) return w->parent;
    if (w->style & WS_POPUP) return w->owner;
    return nullptr;
}

HWND SetParent(HWND hwnd, HWND parent) {
    auto& s = st();
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop || w->message_only) return nullptr;
    Window* pw = nullptr;
    if (parent) {
        pw = get_or_fail(parent);
        if (!pw) return nullptr;
        if (pw->is_desktop) {
            pw = nullptr;
            parent = nullptr;
        }
    }
    if (parent && (parent == hwnd || IsChild(hwnd, parent))) {
        s.last_error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    HWND old = w->parent ? w->parent : desktop_handle();
    if (w->parent == parent && parent) return old;
    auto& from = sibling_list(*w);
    remove_from(from, hwnd);
    if (parent) {
        w->parent = parent;
        w->owner = nullptr;
        w->style = (w->style & ~WS_POPUP) | WS_CHILD;
        pw->children.insert(pw->children.begin(), hwnd);
        if (w->widget) {
            w->widget->setParent(pw->widget, Qt::Widget);
            if (w->style & WS_VISIBLE) w->widget->show();
        }
    } else {
        w->parent = nullptr;
        w->style = (w->style & ~WS_CHILD) | WS_POPUP;
        s.toplevels.insert(s.toplevels.begin(), hwnd);
        if (w->widget) {
            w->widget->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
            if (w->style & WS_VISIBLE) w->widget->show();
        }
    }
    sync_widget_geometry(*w);
    invalidate_whole_client(*w);
    return old;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return nullptr;
    switch (flags) {
    case GA_PARENT:
        return w->parent ? w->parent : desktop_handle();
    case GA_ROOT:
        return root_of(hwnd);
    case GA_ROOTOWNER: {
        HWND h = root_of(hwnd);
        for (int guard = 0; guard < 1000; ++guard) {
            Window* r = get(h);
            if (!r || !r->owner) break;
            h = root_of(r->owner);
        }
        return h;
    }
    default:
        return nullptr;
    }
}

HWND GetWindow(HWND hwnd, UINT command) {
    Window* w = get_or_fail(hwnd);
    if (!w) return nullptr;
    if (command == GW_CHILD) {
        const auto& kids = w->is_desktop ? st().toplevels : w->children;
        return kids.empty() ? nullptr : kids.front();
    }
    if (command == GW_OWNER) return w->owner;
    if (w->is_desktop) return nullptr;
    auto& list = sibling_list(*w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    switch (command) {
    case GW_HWNDFIRST:
        return list.empty() ? nullptr : list.front();
    case GW_HWNDLAST:
        return list.empty() ? nullptr : list.back();
    case GW_HWNDNEXT:
        return (it == list.end() || it + 1 == list.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return (it == list.end() || it == list.begin()) ? nullptr : *(it - 1);
    default:
        return nullptr;
    }
}

HWND GetTopWindow(HWND hwnd) {
    if (!hwnd) return st().toplevels.empty() ? nullptr : st().toplevels.front();
    return GetWindow(hwnd, GW_CHILD);
}

int GetDlgCtrlID(HWND hwnd) {
    Window* w = get_or_fail(hwnd);
    if (!w || !w->parent) return 0;
    return static_cast<int>(w->id);
}

HWND GetDlgItem(HWND parent, int id) {
    Window* p = get_or_fail(parent);
    if (!p) return nullptr;
    for (HWND c : p->children) {
        Window* cw = get(c);
        if (cw && static_cast<int>(cw->id) == id) return c;
    }
    return nullptr;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM data) {
    if (!proc) return FALSE;
    std::vector<HWND> list = st().toplevels;
    for (HWND h : list)
        if (get(h) && !proc(h, data)) return FALSE;
    return TRUE;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM data) {
    if (!proc) return FALSE;
    if (!parent) return EnumWindows(proc, data);
    if (!get_or_fail(parent)) return FALSE;
    for (HWND h : descendants(parent))
        if (get(h) && !proc(h, data)) return FALSE;
    return TRUE;
}

HWND FindWindowEx(HWND parent, HWND after, const char* class_name, const char* text) {
    auto& s = st();
    const std::vector<HWND>* list = &s.toplevels;
    if (parent == HWND_MESSAGE) {
        list = &s.message_only;
    } else if (parent) {
        Window* p = get_or_fail(parent);
        if (!p) return nullptr;
        if (!p->is_desktop) list = &p->children;
    }
    std::string cls = lower(class_name);
    std::string txt = lower(text);
    bool started = after == nullptr;
    for (HWND h : std::vector<HWND>(*list)) {
        if (!started) {
            started = h == after;
            continue;
        }
        Window* w = get(h);
        if (!w) continue;
        if (class_name && lower(w->cls->name.c_str()) != cls &&
            !(IS_INTRESOURCE(class_name) &&
              reinterpret_cast<std::uintptr_t>(class_name) == w->cls->atom))
            continue;
        if (text && lower(w->text.c_str()) != txt) continue;
        return h;
    }
    return nullptr;
}

HWND FindWindow(const char* class_name, const char* text) {
    return FindWindowEx(nullptr, nullptr, class_name, text);
}

BOOL IsChild(HWND parent, HWND hwnd) {
    Window* w = get(hwnd);
    if (!get(parent) || !w) return FALSE;
    while (w && w->parent) {
        if (w->parent == parent) return TRUE;
        w = get(w->parent);
    }
    return FALSE;
}

HWND GetDesktopWindow() {
    return desktop_handle();
}

HWND WindowFromPoint(POINT point) {
    return window_at(QPoint(point.x, point.y));
}

HWND ChildWindowFromPointEx(HWND parent, POINT point, UINT flags) {
    Window* p = get_or_fail(parent);
    if (!p) return nullptr;
    QSize cs = client_size(*p);
    const auto& kids = p->is_desktop ? st().toplevels : p->children;
    if (!p->is_desktop && !QRect(QPoint(0, 0), cs).contains(QPoint(point.x, point.y)))
        return nullptr;
    for (HWND c : kids) {
        Window* w = get(c);
        if (!w) continue;
        if ((flags & CWP_SKIPINVISIBLE) && !(w->style & WS_VISIBLE)) continue;
        if ((flags & CWP_SKIPDISABLED) && (w->style & WS_DISABLED)) continue;
        if ((flags & CWP_SKIPTRANSPARENT) && (w->ex_style & WS_EX_TRANSPARENT)) continue;
        QRect r = p->is_desktop ? window_rect_screen(*w)
                                : QRect(QPoint(w->rect.left, w->rect.top),
                                        QPoint(w->rect.right - 1, w->rect.bottom - 1));
        if (r.contains(QPoint(point.x, point.y))) return c;
    }
    return parent;
}

HWND ChildWindowFromPoint(HWND parent, POINT point) {
    return ChildWindowFromPointEx(parent, point, CWP_ALL);
}
