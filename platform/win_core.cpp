// Window records: the handle table, window classes, creating and destroying
// windows, geometry, relations, window longs and texts.
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/win_internal.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace win {

namespace {

constexpr std::uint16_t max_gen = 0x3FFF; // keeps the top two bits clear (the GDI tag bits)

void init_desktop(State& s) {
    auto d = std::make_unique<Window>();
    d->gen = 1;
    d->alive = true;
    d->is_desktop = true;
    d->style = WS_VISIBLE | WS_CLIPCHILDREN;
    d->text = "";
    auto cls = std::make_shared<WinClass>();
    cls->name = "#32769";
    d->cls = cls;
    s.table.push_back(std::move(d));
}

int clamp_coord(int v) {
    return std::clamp(v, -max_coord, max_coord);
}
int clamp_size(int v) {
    return std::clamp(v, 0, max_coord);
}

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

bool extra_range_ok(const std::vector<std::uint8_t>& extra, int index, int size) {
    return index >= 0 &&
           static_cast<std::size_t>(index) + static_cast<std::size_t>(size) <= extra.size();
}

} // namespace

State& st() {
    static State s;
    if (s.table.empty()) init_desktop(s);
    return s;
}

bool on_owner_thread() {
    return std::this_thread::get_id() == st().owner;
}

HWND handle_of(std::uint32_t slot, std::uint16_t gen) {
    return handle_from_token<HWND>((static_cast<std::uint32_t>(gen) << 16) | slot);
}

Window* get(HWND hwnd) {
    auto raw = reinterpret_cast<std::uintptr_t>(hwnd);
    if (raw == 0 || (raw >> 30) != 0) return nullptr; // also refuses other layers' tokens
    auto token = static_cast<std::uint32_t>(raw);
    std::uint32_t slot = token & 0xFFFF;
    auto gen = static_cast<std::uint16_t>(token >> 16);
    auto& s = st();
    if (gen == 0 || slot >= s.table.size()) return nullptr;
    Window* w = s.table[slot].get();
    if (!w || !w->alive || w->gen != gen) return nullptr;
    return w;
}

Window* get_or_fail(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) st().last_error = ERROR_INVALID_WINDOW_HANDLE;
    return w;
}

Window* desktop() {
    return st().table[0].get();
}

HWND desktop_handle() {
    return handle_of(0, desktop()->gen);
}

bool is_toplevel(const Window& w) {
    return !w.is_desktop && !w.parent;
}

std::string lower(const char* text) {
    if (!text) return {};
    if (IS_INTRESOURCE(text)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(text));
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

QString qstr(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}
QString qstr(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string bytes(const QString& text) {
    return text.toStdString();
}

// ---------------------------------------------------------------------------
// Geometry

bool qt_offscreen() {
    static int cached = -1;
    if (cached < 0 && qGuiApp) cached = QGuiApplication::platformName() == "offscreen" ? 1 : 0;
    return cached == 1;
}

QRect screen_rect() {
    if (qGuiApp) {
        if (QScreen* sc = QGuiApplication::primaryScreen()) return sc->geometry();
    }
    return QRect(0, 0, 1024, 768);
}

QRect work_area() {
    if (qGuiApp) {
        if (QScreen* sc = QGuiApplication::primaryScreen()) return sc->availableGeometry();
    }
    return screen_rect();
}

Insets insets_for(DWORD style, DWORD ex, bool toplevel, int menu_height, bool vsb, bool hsb) {
    Insets i;
    bool caption = (style & WS_CAPTION) == WS_CAPTION;
    // A top-level window with a caption is framed by the window manager; the
    // layer draws the frames of everything else.
    if (!(toplevel && caption)) {
        int frame = 0;
        if (style & WS_THICKFRAME)
            frame = GetSystemMetrics(SM_CXFRAME);
        else if ((style & WS_DLGFRAME) || (ex & WS_EX_DLGMODALFRAME))
            frame = GetSystemMetrics(SM_CXDLGFRAME);
        else if (style & WS_BORDER)
            frame = GetSystemMetrics(SM_CXBORDER);
        i = {frame, frame, frame, frame};
        if (caption) i.top += GetSystemMetrics(SM_CYCAPTION);
    }
    int edge = ((ex & WS_EX_CLIENTEDGE) ? 2 : 0) + ((ex & WS_EX_STATICEDGE) ? 1 : 0);
    i.left += edge;
    i.top += edge;
    i.right += edge;
    i.bottom += edge;
    i.top += menu_height;
    if (vsb) i.right += GetSystemMetrics(SM_CXVSCROLL);
    if (hsb) i.bottom += GetSystemMetrics(SM_CYHSCROLL);
    return i;
}

Insets insets_of(const Window& w) {
    if (w.is_desktop) return {};
    return insets_for(w.style, w.ex_style, is_toplevel(w), w.menu_bar_height, w.sb_shown[1],
                      w.sb_shown[0]);
}

QSize client_size(const Window& w) {
    if (w.is_desktop) return screen_rect().size();
    Insets i = insets_of(w);
    int cw = (w.rect.right - w.rect.left) - i.left - i.right;
    int ch = (w.rect.bottom - w.rect.top) - i.top - i.bottom;
    return QSize(std::max(cw, 0), std::max(ch, 0));
}

QRect window_rect_screen(const Window& w) {
    if (w.is_desktop) return screen_rect();
    QRect r(QPoint(w.rect.left, w.rect.top), QPoint(w.rect.right - 1, w.rect.bottom - 1));
    if (w.parent) {
        if (Window* p = get(w.parent)) r.translate(client_origin_screen(*p));
    }
    return r;
}

QPoint client_origin_screen(const Window& w) {
    if (w.is_desktop) return screen_rect().topLeft();
    Insets i = insets_of(w);
    return window_rect_screen(w).topLeft() + QPoint(i.left, i.top);
}

void sync_widget_geometry(Window& w) {
    if (!w.widget) return;
    QRect g(w.rect.left, w.rect.top, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top);
    if (w.parent) {
        if (Window* p = get(w.parent)) {
            Insets pi = insets_of(*p);
            g.translate(pi.left, pi.top);
        }
    }
    w.widget->setProperty("kavrel_setting_geometry", true);
    if (is_toplevel(w))
        set_toplevel_geometry(w, g);
    else
        w.widget->setGeometry(g);
    w.widget->setProperty("kavrel_setting_geometry", false);
    if (w.menu_bar) {
        Insets i = insets_for(w.style, w.ex_style, is_toplevel(w), 0, false, false);
        w.menu_bar->setGeometry(i.left, i.top, g.width() - i.left - i.right, w.menu_bar_height);
    }
    w.widget->update();
}

void resize_image(Window& w) {
    if (w.control_widget || w.message_only || w.is_desktop) return;
    QSize cs = client_size(w);
    int iw = std::clamp(cs.width(), 1, max_image_side);
    int ih = std::clamp(cs.height(), 1, max_image_side);
    while (static_cast<std::int64_t>(iw) * ih > max_image_pixels) {
        if (iw > ih)
            iw /= 2;
        else
            ih /= 2;
    }
    if (w.image.width() == iw && w.image.height() == ih) return;
    QImage next(iw, ih, QImage::Format_RGB32);
    if (next.isNull()) return; // out of memory: keep the old image
    next.fill(Qt::white);
    if (!w.image.isNull()) {
        int cw = std::min(iw, w.image.width());
        int ch = std::min(ih, w.image.height());
        for (int y = 0; y < ch; ++y)
            std::memcpy(next.scanLine(y), w.image.constScanLine(y),
                        static_cast<std::size_t>(cw) * 4);
    }
    // Assigning keeps the QImage object (contexts hold its address).
    w.image = std::move(next);
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

// ---------------------------------------------------------------------------
// Start-up and errors

void platform_ensure_application() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char arg0[] = "kavrel";
    static char* argv[] = {arg0, nullptr};
    new QApplication(argc, argv);
}

DWORD GetLastError() {
    return st().last_error;
}

void SetLastError(DWORD code) {
    st().last_error = code;
}

// ---------------------------------------------------------------------------
// Classes

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
    if (s.next_atom == 0xFFFF) {
        s.last_error = ERROR_NOT_ENOUGH_QUOTA;
        return 0;
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
    cls->atom = s.next_atom++;
    s.classes[key] = cls;
    return cls->atom;
}

ATOM RegisterClass(const WNDCLASS* wc) {
    if (!wc) {
        st().last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    WNDCLASSEX ex{};
    ex.cbSize = sizeof ex;
    ex.style = wc->style;
    ex.lpfnWndProc = wc->lpfnWndProc;
    ex.cbClsExtra = wc->cbClsExtra;
    ex.cbWndExtra = wc->cbWndExtra;
    ex.hInstance = wc->hInstance;
    ex.hIcon = wc->hIcon;
    ex.hCursor = wc->hCursor;
    ex.hbrBackground = wc->hbrBackground;
    ex.lpszMenuName = wc->lpszMenuName;
    ex.lpszClassName = wc->lpszClassName;
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
    out->style = ex.style;
    out->lpfnWndProc = ex.lpfnWndProc;
    out->cbClsExtra = ex.cbClsExtra;
    out->cbWndExtra = ex.cbWndExtra;
    out->hInstance = ex.hInstance;
    out->hIcon = ex.hIcon;
    out->hCursor = ex.hCursor;
    out->hbrBackground = ex.hbrBackground;
    out->lpszMenuName = ex.lpszMenuName;
    out->lpszClassName = ex.lpszClassName;
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
    default:
        if (!extra_range_ok(c.extra, index, sizeof(ULONG_PTR))) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        ULONG_PTR v;
        std::memcpy(&v, c.extra.data() + index, sizeof v);
        return v;
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
    default:
        if (!extra_range_ok(c.extra, index, sizeof(LONG_PTR))) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        std::memcpy(c.extra.data() + index, &value, sizeof value);
    }
    return old;
}

DWORD GetClassLong(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    if (index >= 0) {
        if (!extra_range_ok(w->cls->extra, index, 4)) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        DWORD v;
        std::memcpy(&v, w->cls->extra.data() + index, 4);
        return v;
    }
    return static_cast<DWORD>(GetClassLongPtr(hwnd, index));
}

DWORD SetClassLong(HWND hwnd, int index, LONG value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    if (index >= 0) {
        if (!extra_range_ok(w->cls->extra, index, 4)) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        DWORD old;
        std::memcpy(&old, w->cls->extra.data() + index, 4);
        std::memcpy(w->cls->extra.data() + index, &value, 4);
        return old;
    }
    if (index == GCL_WNDPROC || index == GCL_HCURSOR || index == GCL_HICON ||
        index == GCL_HBRBACKGROUND || index == GCL_HICONSM || index == GCL_MENUNAME) {
        st().last_error = ERROR_INVALID_INDEX; // pointers do not fit 32 bits
        return 0;
    }
    return static_cast<DWORD>(SetClassLongPtr(hwnd, index, value));
}

// ---------------------------------------------------------------------------
// Creating and destroying

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

    // Default places of top-level windows: a cascade over three quarters of
    // the work area.
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

    std::uint32_t slot;
    if (!s.free_slots.empty()) {
        slot = s.free_slots.back();
        s.free_slots.pop_back();
    } else {
        if (s.table.size() >= 0xFFFF) {
            s.last_error = ERROR_NOT_ENOUGH_QUOTA;
            return nullptr;
        }
        slot = static_cast<std::uint32_t>(s.table.size());
        s.table.push_back(std::make_unique<Window>());
    }
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
    if (child) {
        w.id = reinterpret_cast<LONG_PTR>(menu);
        pw->children.push_back(h); // new children go to the bottom of the z-order
    } else {
        w.menu = menu;
        if (!menu && s.menu_loader && (cls->menu_id || !cls->menu_name.empty()))
            w.menu =
                s.menu_loader(cls->instance, cls->menu_id ? cls->menu_id : cls->menu_name.c_str());
        if (message_only)
            s.message_only.push_back(h);
        else
            s.toplevels.insert(s.toplevels.begin(), h);
    }
    cls->windows++;
    if (!message_only) {
        make_widget(h, w);
        sync_widget_geometry(w);
        resize_image(w);
        QSize cs = client_size(w);
        w.update = QRegion(0, 0, cs.width(), cs.height());
        w.erase_pending = true;
        if (child) restack(sibling_list(w));
    }

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
        if (get(h)) {
            get(h)->destroying = true;
            send(h, WM_NCDESTROY, 0, 0);
            QWidget* widget = get(h) ? get(h)->widget.data() : nullptr;
            free_record(h);
            delete_widget(widget);
        }
        return nullptr;
    }
    if (!get(h)) return nullptr;
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
    QSize csz = client_size(*wp);
    send(h, WM_SIZE, SIZE_RESTORED,
         MAKELPARAM(static_cast<WORD>(csz.width()), static_cast<WORD>(csz.height())));
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

// ---------------------------------------------------------------------------
// Showing and placing

namespace {

void show_internal(HWND h, Window& w, bool activate, bool no_activate_qt) {
    if (!(w.style & WS_VISIBLE)) {
        send(h, WM_SHOWWINDOW, TRUE, 0);
        Window* wp = get(h);
        if (!wp) return;
        wp->style |= WS_VISIBLE;
        if (wp->widget) {
            wp->widget->setAttribute(Qt::WA_ShowWithoutActivating, no_activate_qt);
            wp->widget->show();
        }
        for (HWND d : std::vector<HWND>{h}) {
            if (Window* x = get(d)) {
                QSize cs = client_size(*x);
                invalidate_client(*x, QRegion(0, 0, cs.width(), cs.height()), true);
            }
        }
        for (HWND d : descendants(h)) {
            if (Window* x = get(d)) {
                QSize cs = client_size(*x);
                invalidate_client(*x, QRegion(0, 0, cs.width(), cs.height()), true);
            }
        }
    }
    Window* wp = get(h);
    if (wp && activate && is_toplevel(*wp)) SetActiveWindow(h);
}

void set_rect(HWND h, const RECT& r, UINT extra_flags) {
    Window* w = get(h);
    if (!w) return;
    SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | extra_flags);
}

RECT maximized_rect(const Window& w) {
    if (w.parent) {
        Window* p = get(w.parent);
        QSize cs = p ? client_size(*p) : QSize();
        Insets i = insets_of(w);
        return {-i.left, -i.top, cs.width() + i.right, cs.height() + i.bottom};
    }
    QRect a = work_area();
    return {a.left(), a.top(), a.left() + a.width(), a.top() + a.height()};
}

} // namespace

BOOL ShowWindow(HWND hwnd, int command) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return FALSE;
    BOOL was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    auto& s = st();
    switch (command) {
    case SW_HIDE: {
        if (!was) return FALSE;
        send(hwnd, WM_SHOWWINDOW, FALSE, 0);
        w = get(hwnd);
        if (!w) return was;
        w->style &= ~WS_VISIBLE;
        if (w->widget) w->widget->hide();
        if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) {
            if (w->parent)
                SetFocus(w->parent);
            else
                SetFocus(nullptr);
        }
        if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
        if (s.active == hwnd) activate_other(hwnd);
        return was;
    }
    case SW_SHOWMAXIMIZED: {
        if (!(w->style & (WS_MAXIMIZE | WS_MINIMIZE))) w->restore_rect = w->rect;
        w->style = (w->style & ~WS_MINIMIZE) | WS_MAXIMIZE;
        set_rect(hwnd, maximized_rect(*w), SWP_FRAMECHANGED);
        w = get(hwnd);
        if (!w) return was;
        if (w->widget && is_toplevel(*w) && !qt_offscreen())
            w->widget->setWindowState(Qt::WindowMaximized);
        show_internal(hwnd, *w, true, false);
        return was;
    }
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE: {
        if (!(w->style & (WS_MAXIMIZE | WS_MINIMIZE))) w->restore_rect = w->rect;
        bool already = (w->style & WS_MINIMIZE) != 0;
        w->style = (w->style & ~WS_MAXIMIZE) | WS_MINIMIZE;
        show_internal(hwnd, *w, command == SW_SHOWMINIMIZED, true);
        w = get(hwnd);
        if (!w) return was;
        if (w->widget && is_toplevel(*w) && !qt_offscreen())
            w->widget->setWindowState(Qt::WindowMinimized);
        if (!already) send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        if (command == SW_MINIMIZE && s.active == hwnd) activate_other(hwnd);
        return was;
    }
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT:
        if (w->style & (WS_MAXIMIZE | WS_MINIMIZE)) {
            w->style &= ~(WS_MAXIMIZE | WS_MINIMIZE);
            if (w->widget && is_toplevel(*w) && !qt_offscreen())
                w->widget->setWindowState(Qt::WindowNoState);
            RECT r = fit_to_work_area(*w, w->restore_rect);
            QSize before = client_size(*w);
            set_rect(hwnd, r, SWP_FRAMECHANGED);
            w = get(hwnd);
            if (!w) return was;
            QSize after = client_size(*w);
            if (before == after)
                send(hwnd, WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(static_cast<WORD>(after.width()),
                                static_cast<WORD>(after.height())));
            w = get(hwnd);
            if (!w) return was;
        }
        show_internal(hwnd, *w, true, false);
        return was;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        show_internal(hwnd, *w, false, true);
        return was;
    case SW_SHOW:
    default:
        show_internal(hwnd, *w, true, false);
        return was;
    }
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = get(hwnd);
    return w && visible_chain(*w) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
    Window* w = get(hwnd);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
    Window* w = get(hwnd);
    return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    auto& s = st();
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return FALSE;
    WINDOWPOS pos{hwnd, insert_after, x, y, cx, cy, flags};
    if (flags & SWP_NOMOVE) {
        pos.x = w->rect.left;
        pos.y = w->rect.top;
    }
    if (flags & SWP_NOSIZE) {
        pos.cx = w->rect.right - w->rect.left;
        pos.cy = w->rect.bottom - w->rect.top;
    }
    if (!(flags & SWP_NOSENDCHANGING)) {
        send(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        w = get(hwnd);
        if (!w) return FALSE;
    }
    pos.x = clamp_coord(pos.x);
    pos.y = clamp_coord(pos.y);
    pos.cx = clamp_size(pos.cx);
    pos.cy = clamp_size(pos.cy);

    if (!(pos.flags & SWP_NOZORDER)) {
        auto& list = sibling_list(*w);
        HWND after = pos.hwndInsertAfter;
        remove_from(list, hwnd);
        if (after == HWND_TOPMOST) w->ex_style |= WS_EX_TOPMOST;
        if (after == HWND_NOTOPMOST) w->ex_style &= ~WS_EX_TOPMOST;
        auto it = std::find(list.begin(), list.end(), after);
        if (after == HWND_BOTTOM)
            list.push_back(hwnd);
        else if (after != HWND_TOP && after != HWND_TOPMOST && after != HWND_NOTOPMOST &&
                 it != list.end())
            list.insert(it + 1, hwnd);
        else
            list.insert(list.begin(), hwnd);
        restack(list);
    }

    RECT old = w->rect;
    QSize old_client = client_size(*w);
    RECT next{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    bool moved = next.left != old.left || next.top != old.top;
    bool sized = (next.right - next.left) != (old.right - old.left) ||
                 (next.bottom - next.top) != (old.bottom - old.top);
    w->rect = next;
    if (moved || sized || (pos.flags & SWP_FRAMECHANGED)) {
        sync_widget_geometry(*w);
        for (HWND c : w->children)
            if (Window* cw = get(c)) sync_widget_geometry(*cw);
    }
    QSize new_client = client_size(*w);
    bool client_sized = new_client != old_client;
    if (client_sized) {
        resize_image(*w);
        UINT cs = w->cls ? w->cls->style : 0;
        bool all = (new_client.width() != old_client.width() && (cs & CS_HREDRAW)) ||
                   (new_client.height() != old_client.height() && (cs & CS_VREDRAW));
        QRegion full(0, 0, new_client.width(), new_client.height());
        if (all)
            invalidate_client(*w, full, true);
        else
            invalidate_client(
                *w, full.subtracted(QRegion(0, 0, old_client.width(), old_client.height())), true);
    }
    if (pos.flags & SWP_SHOWWINDOW) {
        if (!(w->style & WS_VISIBLE)) {
            w->style |= WS_VISIBLE;
            if (w->widget) w->widget->show();
            QRegion full(0, 0, new_client.width(), new_client.height());
            invalidate_client(*w, full, true);
        }
    } else if (pos.flags & SWP_HIDEWINDOW) {
        if (w->style & WS_VISIBLE) {
            w->style &= ~WS_VISIBLE;
            if (w->widget) w->widget->hide();
            if (s.active == hwnd) activate_other(hwnd);
            w = get(hwnd);
            if (!w) return TRUE;
        }
    }
    if (!(pos.flags & SWP_NOACTIVATE) && is_toplevel(*w) && (w->style & WS_VISIBLE))
        SetActiveWindow(hwnd);
    w = get(hwnd);
    if (!w) return TRUE;
    WINDOWPOS done{hwnd,        pos.hwndInsertAfter,          w->rect.left,
                   w->rect.top, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top,
                   pos.flags};
    if (!moved) done.flags |= SWP_NOMOVE;
    if (!client_sized) done.flags |= SWP_NOSIZE;
    send(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    Window* w = get_or_fail(hwnd);
    if (!w || !rect) return FALSE;
    QRect r = window_rect_screen(*w);
    *rect = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    Window* w = get_or_fail(hwnd);
    if (!w || !rect) return FALSE;
    QSize cs = client_size(*w);
    *rect = {0, 0, cs.width(), cs.height()};
    return TRUE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD ex_style) {
    if (!rect) return FALSE;
    bool toplevel = !(style & WS_CHILD);
    Insets i =
        insets_for(style, ex_style, toplevel, menu ? GetSystemMetrics(SM_CYMENU) : 0, false, false);
    rect->left -= i.left;
    rect->top -= i.top;
    rect->right += i.right;
    rect->bottom += i.bottom;
    return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu) {
    return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    Window* w = get_or_fail(hwnd);
    if (!w || !point) return FALSE;
    QPoint o = client_origin_screen(*w);
    point->x += o.x();
    point->y += o.y();
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    Window* w = get_or_fail(hwnd);
    if (!w || !point) return FALSE;
    QPoint o = client_origin_screen(*w);
    point->x -= o.x();
    point->y -= o.y();
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
    QPoint a, b;
    if (from) {
        Window* w = get_or_fail(from);
        if (!w) return 0;
        a = client_origin_screen(*w);
    }
    if (to) {
        Window* w = get_or_fail(to);
        if (!w) return 0;
        b = client_origin_screen(*w);
    }
    int dx = a.x() - b.x();
    int dy = a.y() - b.y();
    if (points)
        for (UINT i = 0; i < count; ++i) {
            points[i].x += dx;
            points[i].y += dy;
        }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

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
    if (get(hwnd)) send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = get(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Focus, activation, capture

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
    Window* rw = get(root);
    remove_from(s.toplevels, root);
    s.toplevels.insert(s.toplevels.begin(), root);
    if (rw->widget && (rw->style & WS_VISIBLE) && !qt_offscreen()) {
        rw->widget->raise();
        rw->widget->activateWindow();
    }
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

// ---------------------------------------------------------------------------
// Window longs

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
    default:
        if (!extra_range_ok(w->extra, index, sizeof(LONG_PTR))) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
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
        sync_widget_geometry(*w);
        for (HWND c : w->children)
            if (Window* cw = get(c)) sync_widget_geometry(*cw);
        QSize after = client_size(*w);
        if (after != before) {
            resize_image(*w);
            invalidate_client(*w, QRegion(0, 0, after.width(), after.height()), true);
            send(hwnd, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(after.width()), static_cast<WORD>(after.height())));
        }
        return old;
    }
    default:
        if (!extra_range_ok(w->extra, index, sizeof(LONG_PTR))) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return old;
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
        if (!extra_range_ok(w->extra, index, 4)) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        LONG v;
        std::memcpy(&v, w->extra.data() + index, 4);
        return v;
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
        if (!extra_range_ok(w->extra, index, 4)) {
            st().last_error = ERROR_INVALID_INDEX;
            return 0;
        }
        LONG old;
        std::memcpy(&old, w->extra.data() + index, 4);
        std::memcpy(w->extra.data() + index, &value, 4);
        return old;
    }
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return static_cast<LONG>(
            SetWindowLongPtr(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
    return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}

WORD GetWindowWord(HWND hwnd, int index) {
    Window* w = get_or_fail(hwnd);
    if (!w) return 0;
    if (!extra_range_ok(w->extra, index, 2)) {
        st().last_error = ERROR_INVALID_INDEX;
        return 0;
    }
    WORD v;
    std::memcpy(&v, w->extra.data() + index, 2);
    return v;
}

WORD SetWindowWord(HWND hwnd, int index, WORD value) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return 0;
    if (!extra_range_ok(w->extra, index, 2)) {
        st().last_error = ERROR_INVALID_INDEX;
        return 0;
    }
    WORD old;
    std::memcpy(&old, w->extra.data() + index, 2);
    std::memcpy(w->extra.data() + index, &value, 2);
    return old;
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

// ---------------------------------------------------------------------------
// Relations

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
    QSize cs = client_size(*w);
    invalidate_client(*w, QRegion(0, 0, cs.width(), cs.height()), true);
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

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id) {
    if (!get_or_fail(hwnd)) return 0;
    if (process_id) *process_id = GetCurrentProcessId();
    return 1;
}

DWORD GetCurrentThreadId() {
    return 1;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

int GetSystemMetrics(int index) {
    QRect sc = screen_rect();
    QRect wa = work_area();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return sc.width();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return sc.height();
    case SM_XVIRTUALSCREEN:
        return sc.left();
    case SM_YVIRTUALSCREEN:
        return sc.top();
    case SM_CXFULLSCREEN:
        return wa.width();
    case SM_CYFULLSCREEN:
        return wa.height() - 18;
    case SM_CXMAXIMIZED:
        return wa.width();
    case SM_CYMAXIMIZED:
        return wa.height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 16;
    case SM_CYCAPTION:
        return 18;
    case SM_CYSMCAPTION:
        return 15;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CYMENU:
        return 19;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    case SM_CXMIN:
    case SM_CXMINTRACK:
        return 112;
    case SM_CYMIN:
    case SM_CYMINTRACK:
        return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_MOUSEPRESENT:
    case SM_CMONITORS:
        return 1;
    case SM_SWAPBUTTON:
        return 0;
    default:
        return 0;
    }
}

BOOL MessageBeep(UINT) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
    return TRUE;
}

// ---------------------------------------------------------------------------
// Seams

QWidget* win_widget(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? w->widget.data() : nullptr;
}

HWND win_from_widget(const QWidget* widget) {
    for (const QWidget* x = widget; x; x = x->parentWidget()) {
        QVariant v = x->property("kavrel_hwnd");
        if (v.isValid()) {
            HWND h = handle_from_token<HWND>(v.toUInt());
            return get(h) ? h : nullptr;
        }
    }
    return nullptr;
}

BOOL win_set_class_widget_factory(const char* class_name, WidgetFactory factory) {
    auto cls = find_class(class_name);
    if (!cls) return FALSE;
    cls->factory = std::move(factory);
    install_input_filter();
    return TRUE;
}

HMENU win_menu(HWND hwnd) {
    Window* w = get(hwnd);
    return w && is_toplevel(*w) ? w->menu : nullptr;
}

BOOL win_set_menu(HWND hwnd, HMENU menu) {
    Window* w = get_or_fail(hwnd);
    if (!w || !is_toplevel(*w)) return FALSE;
    w->menu = menu;
    return TRUE;
}

BOOL win_set_menu_bar(HWND hwnd, QWidget* bar, int height) {
    Window* w = get_or_fail(hwnd);
    if (!w || !is_toplevel(*w) || !w->widget) return FALSE;
    QSize before = client_size(*w);
    if (w->menu_bar && w->menu_bar != bar) w->menu_bar->hide();
    w->menu_bar = bar;
    w->menu_bar_height = bar ? std::clamp(height, 0, 200) : 0;
    if (bar) {
        bar->setParent(w->widget);
        bar->show();
    }
    sync_widget_geometry(*w);
    for (HWND c : w->children)
        if (Window* cw = get(c)) sync_widget_geometry(*cw);
    QSize after = client_size(*w);
    if (after != before) {
        resize_image(*w);
        invalidate_client(*w, QRegion(0, 0, after.width(), after.height()), true);
        if (!w->creating) // creation sends its own WM_SIZE after WM_CREATE
            send(hwnd, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(after.width()), static_cast<WORD>(after.height())));
    }
    return TRUE;
}

void win_set_class_menu_loader(ClassMenuLoader loader) {
    st().menu_loader = loader;
}

void win_set_menu_attached_hook(MenuAttachedHook hook) {
    st().menu_attached = hook;
}

void win_set_menu_key_handler(MenuKeyHandler handler) {
    st().menu_key = handler;
}

BOOL win_show_nonclient_scrollbar(HWND hwnd, int bar, BOOL show) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop || bar < 0 || bar > 1) return FALSE;
    if (w->sb_shown[bar] == (show != 0)) return TRUE;
    QSize before = client_size(*w);
    w->sb_shown[bar] = show != 0;
    if (show)
        w->style |= bar ? WS_VSCROLL : WS_HSCROLL;
    else
        w->style &= ~(bar ? WS_VSCROLL : WS_HSCROLL);
    for (HWND c : w->children)
        if (Window* cw = get(c)) sync_widget_geometry(*cw);
    if (w->widget) w->widget->update();
    QSize after = client_size(*w);
    if (after != before) {
        resize_image(*w);
        invalidate_client(*w, QRegion(0, 0, after.width(), after.height()), true);
        send(hwnd, WM_SIZE, SIZE_RESTORED,
             MAKELPARAM(static_cast<WORD>(after.width()), static_cast<WORD>(after.height())));
    }
    return TRUE;
}

BOOL win_nonclient_scrollbar_visible(HWND hwnd, int bar) {
    Window* w = get(hwnd);
    return w && bar >= 0 && bar <= 1 && w->sb_shown[bar] ? TRUE : FALSE;
}

RECT win_nonclient_scrollbar_rect(HWND hwnd, int bar) {
    Window* w = get(hwnd);
    if (!w || bar < 0 || bar > 1 || !w->sb_shown[bar]) return {};
    Insets i = insets_of(*w);
    QSize cs = client_size(*w);
    int sbw = GetSystemMetrics(SM_CXVSCROLL);
    int sbh = GetSystemMetrics(SM_CYHSCROLL);
    if (bar == 1)
        return {i.left + cs.width(), i.top, i.left + cs.width() + sbw, i.top + cs.height()};
    return {i.left, i.top + cs.height(), i.left + cs.width(), i.top + cs.height() + sbh};
}

QImage win_backing_image(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w || w->image.isNull()) return QImage();
    QSize cs = client_size(*w);
    return w->image.copy(0, 0, std::min(cs.width(), w->image.width()),
                         std::min(cs.height(), w->image.height()));
}
