// Creating and destroying windows: the slot of a new window, the creation
// messages, and the teardown of a window with its children and owned windows.
#include "platform/win_internal.h"

#include <algorithm>

namespace win {

namespace {

constexpr std::uint16_t max_gen = 0x3FFF; // keeps the top two bits clear (the GDI tag bits)

void collect_post_order(HWND h, std::vector<HWND>& out) {
    Window* w = get(h);
    if (!w) return;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) collect_post_order(c, out);
    out.push_back(h);
}

void free_record(HWND h) {
    auto& s = st();
    Window* w = get(h);
    if (!w) return;
    drop_window_timers(h);
    drop_window_messages(h);
    release_window_dcs(h);
    if (w->parent) {
        if (Window* p = get(w->parent)) remove_from(p->children, h);
    }
    remove_from(s.toplevels, h);
    remove_from(s.message_only, h);
    if (w->cls) w->cls->windows--;
    if (s.focus == h) s.focus = nullptr;
    if (s.active == h) s.active = nullptr;
    if (s.capture == h) s.capture = nullptr;
    std::uint32_t slot = token_of(h) & 0xFFFF;
    std::uint16_t gen = w->gen;
    *w = Window{};
    w->gen = gen; // alive stays false; the next user of the slot takes gen + 1
    s.free_slots.push_back(slot);
}

void delete_widget(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->setProperty("kavrel_hwnd", QVariant());
    if (st().widget_event_depth > 0)
        widget->deleteLater();
    else
        delete widget;
}

} // namespace

} // namespace win

namespace win {

namespace {

// Default places of top-level windows: a cascade over three quarters of the
// work area; children default to nothing at the origin. The place is then
// clamped to what the window layer handles.
void default_place(bool child, int& x, int& y, int& width, int& height) {
    auto& s = st();
    QRect work = work_area();
    if (x == CW_USEDEFAULT) {
        if (child) {
            x = y = 0;
        } else {
            int step = 26 * (s.cascade++ % 8);
            x = work.left() + step;
            y = work.top() + step;
        }
    }
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : work.width() * 3 / 4;
        height = child ? 0 : work.height() * 3 / 4;
    }
    x = clamp_coord(x);
    y = clamp_coord(y);
    width = clamp_size(width);
    height = clamp_size(height);
}

// A free slot of the window table (a freed one first); false, with the
// error set, when the table is full.
bool take_slot(std::uint32_t& slot) {
    auto& s = st();
    if (!s.free_slots.empty()) {
        slot = s.free_slots.back();
        s.free_slots.pop_back();
        return true;
    }
    if (s.table.size() >= 0xFFFF) {
        s.last_error = ERROR_NOT_ENOUGH_QUOTA;
        return false;
    }
    slot = static_cast<std::uint32_t>(s.table.size());
    s.table.push_back(std::make_unique<Window>());
    return true;
}

// Puts a new window's record in its place: a child at the bottom of its
// parent's children (its menu handle is its id), a top-level window with its
// menu (the class's when none is given) in front of the others; then its
// widget, with all of it to be painted.
void attach_window(HWND h, Window& w, Window* pw, HMENU menu, bool child, bool message_only) {
    auto& s = st();
    if (child) {
        w.id = reinterpret_cast<LONG_PTR>(menu);
        pw->children.push_back(h); // new children go to the bottom of the z-order
    } else {
        w.menu = menu;
        if (!menu && s.menu_loader && (w.cls->menu_id || !w.cls->menu_name.empty()))
            w.menu = s.menu_loader(w.cls->instance,
                                   w.cls->menu_id ? w.cls->menu_id : w.cls->menu_name.c_str());
        if (message_only)
            s.message_only.push_back(h);
        else
            s.toplevels.insert(s.toplevels.begin(), h);
    }
    w.cls->windows++;
    if (!message_only) {
        make_widget(h, w);
        sync_widget_geometry(w);
        resize_image(w);
        QSize cs = client_size(w);
        w.update = QRegion(0, 0, cs.width(), cs.height());
        w.erase_pending = true;
        if (child) restack(sibling_list(w));
    }
}

// After a refused WM_NCCREATE: the window is torn down without WM_DESTROY.
void abandon_window(HWND h) {
    if (!get(h)) return;
    get(h)->destroying = true;
    send(h, WM_NCDESTROY, 0, 0);
    QWidget* widget = get(h) ? get(h)->widget.data() : nullptr;
    free_record(h);
    delete_widget(widget);
}

// The messages a new window hears after WM_NCCREATE: its menu bar attached,
// WM_CREATE, WM_SIZE, WM_MOVE and its parent's notice; then it is shown when
// its style asks. Null when the window went away (or refused WM_CREATE).
HWND finish_creation(HWND h, CREATESTRUCT& cs, bool child, HWND parent, int x, int y,
                     DWORD ex_style, DWORD style) {
    auto& s = st();
    // The menu bar is in place before WM_CREATE (the client area excludes it).
    if (Window* mw = get(h); mw && mw->menu && s.menu_attached) {
        struct Creating { // cleared however the hook returns
            HWND h;
            explicit Creating(HWND hwnd) : h(hwnd) { get(h)->creating = true; }
            ~Creating() {
                if (Window* after = get(h)) after->creating = false;
            }
        } creating(h);
        s.menu_attached(h);
        if (!get(h)) return nullptr;
    }
    if (send(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(h);
        return nullptr;
    }
    Window* wp = get(h);
    if (!wp) return nullptr;
    send(h, WM_SIZE, SIZE_RESTORED, size_lparam(client_size(*wp)));
    if (!get(h)) return nullptr;
    send(h, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    if (!get(h)) return nullptr;
    if (child && !(ex_style & WS_EX_NOPARENTNOTIFY))
        send(parent, WM_PARENTNOTIFY,
             MAKEWPARAM(static_cast<WORD>(WM_CREATE), static_cast<WORD>(get(h)->id)),
             reinterpret_cast<LPARAM>(h));
    if (!get(h)) return nullptr;
    if (style & WS_VISIBLE) {
        if (style & WS_MAXIMIZE)
            ShowWindow(h, SW_SHOWMAXIMIZED);
        else if (style & WS_MINIMIZE)
            ShowWindow(h, SW_SHOWMINIMIZED);
        else
            ShowWindow(h, SW_SHOW);
    }
    return get(h) ? h : nullptr;
}

} // namespace

} // namespace win

using namespace win;

HWND CreateWindowEx(DWORD ex_style, const char* class_name, const char* text, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                    void* param) {
    platform_ensure_application();
    auto& s = st();
    auto cls = find_class(class_name);
    if (!cls) {
        s.last_error = ERROR_CANNOT_FIND_WND_CLASS;
        return nullptr;
    }
    bool message_only = parent == HWND_MESSAGE;
    Window* pw = nullptr;
    if (parent && !message_only) {
        pw = get(parent);
        if (!pw) {
            s.last_error = ERROR_INVALID_WINDOW_HANDLE;
            return nullptr;
        }
        if (pw->is_desktop) {
            pw = nullptr;
            parent = nullptr;
        }
    }
    bool child = (style & WS_CHILD) != 0 && !message_only;
    if (child && !pw) {
        s.last_error = ERROR_INVALID_PARAMETER; // a child window needs a parent
        return nullptr;
    }
    HWND owner = nullptr;
    if (!child && pw) {
        owner = root_of(parent);
        parent = nullptr;
        pw = nullptr;
    }
    if (message_only) parent = nullptr;

    default_place(child, x, y, width, height);

    std::uint32_t slot;
    if (!take_slot(slot)) return nullptr;
    Window& w = *s.table[slot];
    std::uint16_t gen = static_cast<std::uint16_t>(w.gen >= max_gen ? 1 : w.gen + 1);
    w = Window{};
    w.gen = gen;
    w.alive = true;
    w.message_only = message_only;
    w.cls = cls;
    w.proc = cls->proc;
    w.style = style & ~WS_VISIBLE;
    w.ex_style = ex_style;
    w.parent = child ? parent : nullptr;
    w.owner = owner;
    w.instance = instance;
    w.extra.assign(static_cast<std::size_t>(cls->wnd_extra), 0);
    w.rect = fit_to_work_area(w, {x, y, x + width, y + height});
    w.restore_rect = w.rect;
    w.serial = s.next_serial++;
    w.sb_shown[0] = (style & WS_HSCROLL) != 0;
    w.sb_shown[1] = (style & WS_VSCROLL) != 0;
    HWND h = handle_of(slot, gen);
    attach_window(h, w, pw, menu, child, message_only);

    CREATESTRUCT cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = child ? parent : owner;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = text;
    cs.lpszClass = class_name;
    cs.dwExStyle = ex_style;

    if (!send(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        abandon_window(h);
        return nullptr;
    }
    if (!get(h)) return nullptr;
    return finish_creation(h, cs, child, parent, x, y, ex_style, style);
}

BOOL DestroyWindow(HWND hwnd) {
    auto& s = st();
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop || w->destroying) return FALSE;

    // Owned windows go first.
    std::vector<HWND> owned;
    for (HWND t : s.toplevels)
        if (Window* o = get(t); o && o->owner == hwnd) owned.push_back(t);
    for (HWND o : owned) DestroyWindow(o);
    w = get(hwnd);
    if (!w || w->destroying) return FALSE;

    std::vector<HWND> tree{hwnd};
    for (HWND d : descendants(hwnd)) tree.push_back(d);
    for (HWND d : tree) get(d)->destroying = true;

    if (w->widget) w->widget->hide();
    if (w->parent && !(w->ex_style & WS_EX_NOPARENTNOTIFY) && get(w->parent))
        send(w->parent, WM_PARENTNOTIFY,
             MAKEWPARAM(static_cast<WORD>(WM_DESTROY), static_cast<WORD>(w->id)),
             reinterpret_cast<LPARAM>(hwnd));

    // Capture, focus and activation leave the dying windows.
    auto in_tree = [&](HWND h) {
        return h && std::find(tree.begin(), tree.end(), h) != tree.end();
    };
    if (in_tree(s.capture)) ReleaseCapture();
    if (in_tree(s.focus)) {
        HWND f = s.focus;
        s.focus = nullptr;
        if (get(f)) send(f, WM_KILLFOCUS, 0, 0);
    }
    if (s.active == hwnd) activate_other(hwnd);

    for (HWND d : tree)
        if (get(d)) send(d, WM_DESTROY, 0, 0);

    std::vector<HWND> post;
    collect_post_order(hwnd, post);
    for (HWND d : post)
        if (get(d)) send(d, WM_NCDESTROY, 0, 0);

    QWidget* top_widget = get(hwnd) ? get(hwnd)->widget.data() : nullptr;
    post.clear();
    collect_post_order(hwnd, post);
    for (HWND d : post) {
        if (Window* dw = get(d); dw && dw->widget)
            dw->widget->setProperty("kavrel_hwnd", QVariant());
        free_record(d);
    }
    delete_widget(top_widget);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return get(hwnd) != nullptr;
}
