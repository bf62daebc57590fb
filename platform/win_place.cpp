// Geometry of windows (frames, client areas, widget and image sizes), and
// showing, sizing and placing them.
#include "platform/gdi_internal.h"
#include "platform/win_internal.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstring>

namespace win {

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
    w.image_stale = true;
    // A device context kept open (a window's own one stays in its owner's
    // hands between paints) draws on: its image is the client's size at once.
    if (window_has_open_dc(w)) sync_image(w);
}

void sync_image(Window& w) {
    if (!w.image_stale) return;
    w.image_stale = false;
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
    gdi_end_drawing(&w.image); // a painter open on the old pixels must not outlive them
    w.image = std::move(next);
}

void sync_widget_geometry_with_children(Window& w) {
    sync_widget_geometry(w);
    for (HWND c : w.children)
        if (Window* cw = get(c)) sync_widget_geometry(*cw);
}

void invalidate_whole_client(Window& w) {
    QSize cs = client_size(w);
    invalidate_client(w, QRegion(0, 0, cs.width(), cs.height()), true);
}

void client_resized(HWND hwnd, Window& w, QSize before, bool notify) {
    QSize after = client_size(w);
    if (after == before) return;
    resize_image(w);
    invalidate_whole_client(w);
    if (notify) send(hwnd, WM_SIZE, SIZE_RESTORED, size_lparam(after));
}

} // namespace win

using namespace win;

namespace {

void show_internal(HWND h, Window& w, bool activate, bool no_activate_qt) {
    const bool shown_now = !(w.style & WS_VISIBLE);
    if (shown_now) {
        send(h, WM_SHOWWINDOW, TRUE, 0);
        Window* wp = get(h);
        if (!wp) return;
        wp->style |= WS_VISIBLE;
        if (wp->widget) {
            wp->widget->setAttribute(Qt::WA_ShowWithoutActivating, no_activate_qt);
            wp->widget->show();
        }
        invalidate_whole_client(*wp);
        for (HWND d : descendants(h))
            if (Window* x = get(d)) invalidate_whole_client(*x);
    }
    Window* wp = get(h);
    if (!wp || !activate || !is_toplevel(*wp)) return;
    // A window made active while hidden (a dialog whose first field took the
    // focus before it was shown) is brought forward now that it shows.
    if (shown_now && st().active == h)
        bring_forward_on_screen(h);
    else
        SetActiveWindow(h);
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
            if (before == after) send(hwnd, WM_SIZE, SIZE_RESTORED, size_lparam(after));
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
        if (!w->parent) keep_owned_above(list);
        restack(list);
    }

    RECT old = w->rect;
    QSize old_client = client_size(*w);
    RECT next{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    bool moved = next.left != old.left || next.top != old.top;
    bool sized = (next.right - next.left) != (old.right - old.left) ||
                 (next.bottom - next.top) != (old.bottom - old.top);
    w->rect = next;
    if (moved || sized || (pos.flags & SWP_FRAMECHANGED)) sync_widget_geometry_with_children(*w);
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
            invalidate_whole_client(*w);
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
