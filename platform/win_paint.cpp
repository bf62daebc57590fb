// Painting: update regions, the paint pass, device contexts on the backing
// image, scrolling, and rectangles.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/win_internal.h"

#include <QPainter>

#include <algorithm>
#include <map>

namespace win {

namespace {

// Contexts handed out by GetDC and BeginPaint (not the CS_OWNDC ones): the
// window each belongs to (null for the screen device).
std::map<HDC, HWND>& dcs() {
    static std::map<HDC, HWND> m;
    return m;
}

} // namespace

bool window_has_open_dc(const Window& w) {
    if (w.own_dc) return true;
    for (const auto& [dc, hwnd] : dcs())
        if (hwnd && get(hwnd) == &w) return true;
    return false;
}

namespace {

int clamp_rect_coord(LONG v) {
    return static_cast<int>(std::clamp<LONG>(v, -4 * max_coord, 4 * max_coord));
}

QRect qrect(const RECT& r) {
    int l = clamp_rect_coord(r.left), t = clamp_rect_coord(r.top);
    int rr = clamp_rect_coord(r.right), b = clamp_rect_coord(r.bottom);
    if (rr <= l || b <= t) return QRect();
    return QRect(l, t, rr - l, b - t);
}

RECT rect_of(const QRect& q) {
    if (q.isEmpty()) return RECT{0, 0, 0, 0};
    return RECT{q.left(), q.top(), q.left() + q.width(), q.top() + q.height()};
}

QRect client_qrect(const Window& w) {
    QSize cs = client_size(w);
    return QRect(0, 0, cs.width(), cs.height());
}

void fill_region_handle(HRGN rgn, const QRegion& region) {
    SetRectRgn(rgn, 0, 0, 0, 0);
    for (const QRect& r : region) {
        HRGN part = CreateRectRgn(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
        CombineRgn(rgn, rgn, part, RGN_OR);
        DeleteObject(part);
    }
}

int region_kind(const QRegion& r) {
    if (r.isEmpty()) return NULLREGION;
    return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// A class context may be drawn on at any time, also after ReleaseDC: its
// window's screen is brought up to date at the next wait for input, when
// something was drawn (and only then: updating it at every wait kept the
// program repainting, and busy, for as long as such a window was open).
// Inside a paint pass the drawing is clipped to the update region and
// EndPaint shows that part, so marking the whole screen would only make the
// toolkit repaint the whole window once more (half the cost of a Livesweep
// frame on a large diagram).
void own_dc_drawn(HWND hwnd) {
    if (Window* w = get(hwnd); w && w->own_dc && !w->own_dc_painting) mark_screen_dirty(hwnd);
}

HDC own_dc_of(HWND hwnd, Window& w) {
    if (!(w.cls->style & CS_OWNDC)) return nullptr;
    if (!w.own_dc) {
        sync_image(w);
        w.own_dc = gdi_create_image_dc(&w.image, hwnd, QRegion());
        gdi_window_drawn_hook = own_dc_drawn;
    }
    return w.own_dc;
}

void update_screen(Window& w, const QRect& client_part) {
    if (!w.widget) return;
    ++w.screen_updates;
    Insets i = insets_of(w);
    if (client_part.isEmpty())
        w.widget->update();
    else
        w.widget->update(client_part.translated(i.left, i.top));
}

bool paint_now(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w || w->update.isEmpty() || !visible_chain(*w) || w->control_widget) return false;
    int before = w->begin_paint_count;
    QRegion pending = w->update;
    send(hwnd, WM_PAINT, 0, 0);
    if (Window* after = get(hwnd); after && after->begin_paint_count == before)
        after->update -= pending;
    return true;
}

void invalidate_tree(HWND hwnd, const QRegion* part, bool erase, bool children) {
    Window* w = get(hwnd);
    if (!w) return;
    if (!w->is_desktop) invalidate_client(*w, part ? *part : QRegion(client_qrect(*w)), erase);
    if (!children) return;
    const std::vector<HWND> kids = w->is_desktop ? st().toplevels : w->children;
    for (HWND c : kids) {
        Window* cw = get(c);
        if (!cw) continue;
        if (part && !w->is_desktop) {
            Insets ci = insets_of(*cw);
            QRegion sub = part->translated(-(cw->rect.left + ci.left), -(cw->rect.top + ci.top));
            invalidate_tree(c, &sub, erase, true);
        } else {
            invalidate_tree(c, nullptr, erase, true);
        }
    }
}

} // namespace

void invalidate_client(Window& w, const QRegion& region, bool erase) {
    if (w.is_desktop || w.message_only) return;
    QRegion r = region.intersected(client_qrect(w));
    if (r.isEmpty()) return;
    w.update |= r;
    if (erase) w.erase_pending = true;
}

void release_window_dcs(HWND hwnd) {
    auto& m = dcs();
    for (auto it = m.begin(); it != m.end();) {
        if (it->second == hwnd) {
            gdi_delete_image_dc(it->first);
            it = m.erase(it);
        } else {
            ++it;
        }
    }
    if (Window* w = get(hwnd); w && w->own_dc) {
        gdi_delete_image_dc(w->own_dc);
        w->own_dc = nullptr;
    }
}

void mark_screen_dirty(HWND hwnd) {
    auto& d = st().dirty_screens;
    if (std::find(d.begin(), d.end(), hwnd) == d.end()) d.push_back(hwnd);
}

void flush_screens() {
    auto& s = st();
    for (HWND h : s.dirty_screens)
        if (Window* w = get(h)) update_screen(*w, QRect());
    s.dirty_screens.clear();
}

} // namespace win

using namespace win;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (!hwnd) {
        invalidate_tree(desktop_handle(), nullptr, erase, true);
        return TRUE;
    }
    Window* w = get_or_fail(hwnd);
    if (!w) return FALSE;
    if (w->is_desktop) {
        invalidate_tree(hwnd, nullptr, erase, true);
        return TRUE;
    }
    invalidate_client(*w, rect ? QRegion(qrect(*rect)) : QRegion(client_qrect(*w)), erase);
    return TRUE;
}

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase) {
    if (!region) return InvalidateRect(hwnd, nullptr, erase);
    Window* w = get_or_fail(hwnd);
    if (!w) return FALSE;
    invalidate_client(*w, gdi_region(region), erase);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = get_or_fail(hwnd);
    if (!w) return FALSE;
    if (!rect) {
        w->update = QRegion();
        w->erase_pending = false;
    } else {
        w->update -= QRegion(qrect(*rect));
        if (w->update.isEmpty()) w->erase_pending = false;
    }
    return TRUE;
}

BOOL ValidateRgn(HWND hwnd, HRGN region) {
    if (!region) return ValidateRect(hwnd, nullptr);
    Window* w = get_or_fail(hwnd);
    if (!w) return FALSE;
    w->update -= gdi_region(region);
    if (w->update.isEmpty()) w->erase_pending = false;
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase) {
    Window* w = get_or_fail(hwnd);
    if (!w) return FALSE;
    QRect b = w->update.boundingRect();
    if (rect) *rect = rect_of(b);
    if (erase && w->erase_pending && !w->update.isEmpty()) sync_image(*w);
    if (erase && w->erase_pending && !w->update.isEmpty() && !w->image.isNull()) {
        w->erase_pending = false;
        HDC dc = gdi_create_image_dc(&w->image, hwnd, w->update);
        send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        gdi_delete_image_dc(dc);
        mark_screen_dirty(hwnd);
    }
    return b.isEmpty() ? FALSE : TRUE;
}

int GetUpdateRgn(HWND hwnd, HRGN region, BOOL erase) {
    Window* w = get_or_fail(hwnd);
    if (!w || !region) return ERROR;
    QRegion r = w->update;
    fill_region_handle(region, r);
    if (erase) GetUpdateRect(hwnd, nullptr, TRUE);
    return region_kind(r);
}

BOOL UpdateWindow(HWND hwnd) {
    if (!get_or_fail(hwnd)) return FALSE;
    paint_now(hwnd);
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags) {
    if (!hwnd) hwnd = desktop_handle();
    Window* w = get_or_fail(hwnd);
    if (!w) return FALSE;
    bool children = (flags & RDW_ALLCHILDREN) != 0;
    QRegion part;
    bool whole = !rect && !region;
    if (rect) part = QRegion(qrect(*rect));
    if (region) part = gdi_region(region);
    if (flags & RDW_INVALIDATE) {
        invalidate_tree(hwnd, whole ? nullptr : &part, (flags & RDW_ERASE) != 0, children);
    } else if (flags & RDW_VALIDATE) {
        std::vector<HWND> targets{hwnd};
        if (children)
            for (HWND d : descendants(hwnd)) targets.push_back(d);
        for (HWND t : targets) {
            Window* x = get(t);
            if (!x) continue;
            if (whole || t != hwnd)
                x->update = QRegion();
            else
                x->update -= part;
            if (x->update.isEmpty() || (flags & RDW_NOERASE)) x->erase_pending = false;
        }
    }
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
        std::vector<HWND> targets{hwnd};
        if (children)
            for (HWND d : descendants(hwnd)) targets.push_back(d);
        for (HWND t : targets)
            if (get(t) && !get(t)->is_desktop) paint_now(t);
    }
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = get_or_fail(hwnd);
    if (!w || !ps || w->is_desktop || w->message_only) return nullptr;
    *ps = PAINTSTRUCT{};
    QRegion region = w->update.intersected(client_qrect(*w));
    bool erase = w->erase_pending;
    w->begin_paint_count++;
    w->update = QRegion();
    w->erase_pending = false;
    sync_image(*w);
    if (w->control_widget || w->image.isNull()) return nullptr;
    ps->rcPaint = rect_of(region.boundingRect());
    // Nothing to paint: a clip outside the image (an empty clip means "all").
    QRegion clip = region.isEmpty() ? QRegion(-16, -16, 1, 1) : region;
    HDC dc = own_dc_of(hwnd, *w);
    if (dc) {
        gdi_set_dc_base_clip(dc, clip);
        w->own_dc_painting = true;
    } else {
        dc = gdi_create_image_dc(&w->image, hwnd, clip);
        if (!dc) return nullptr;
        dcs()[dc] = hwnd;
    }
    ps->hdc = dc;
    if (erase) {
        LRESULT r = send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ps->fErase = r ? FALSE : TRUE;
    }
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    Window* w = get(hwnd);
    auto& m = dcs();
    if (auto it = m.find(ps->hdc); it != m.end() && it->second == hwnd) {
        gdi_delete_image_dc(ps->hdc);
        m.erase(it);
    } else if (w && w->own_dc && ps->hdc == w->own_dc) {
        gdi_set_dc_base_clip(w->own_dc, QRegion());
        w->own_dc_painting = false;
    }
    if (w) update_screen(*w, qrect(ps->rcPaint));
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd) {
        HDC dc = gdi_create_screen_dc();
        if (dc) dcs()[dc] = nullptr;
        return dc;
    }
    Window* w = get_or_fail(hwnd);
    if (!w) return nullptr;
    if (w->is_desktop) return GetDC(nullptr);
    sync_image(*w);
    if (w->control_widget || w->message_only || w->image.isNull()) return nullptr;
    mark_screen_dirty(hwnd);
    if (HDC own = own_dc_of(hwnd, *w)) {
        // Drawing through it may now go outside a paint pass's region: its
        // screen follows such drawing again.
        gdi_set_dc_base_clip(own, QRegion());
        w->own_dc_painting = false;
        return own;
    }
    HDC dc = gdi_create_image_dc(&w->image, hwnd, QRegion());
    if (dc) dcs()[dc] = hwnd;
    return dc;
}

HDC GetWindowDC(HWND hwnd) {
    return GetDC(hwnd);
}

int ReleaseDC(HWND hwnd, HDC dc) {
    if (!dc) return 0;
    if (Window* w = get(hwnd); w && w->own_dc == dc) {
        mark_screen_dirty(hwnd);
        return 1;
    }
    auto& m = dcs();
    auto it = m.find(dc);
    if (it == m.end()) return 0;
    HWND owner = it->second;
    gdi_delete_image_dc(dc);
    m.erase(it);
    if (Window* w = get(owner)) update_screen(*w, QRect());
    return 1;
}

int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip, HRGN update,
                   RECT* update_rect, UINT flags) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop) return ERROR;
    dx = std::clamp(dx, -max_coord, max_coord);
    dy = std::clamp(dy, -max_coord, max_coord);
    QRect client = client_qrect(*w);
    QRect src = scroll ? qrect(*scroll).intersected(client) : client;
    QRect cl = clip ? qrect(*clip).intersected(client) : client;
    QRect dest = src.translated(dx, dy).intersected(cl);
    QRect from = dest.translated(-dx, -dy);
    sync_image(*w);
    QRect image_rect = w->image.rect();
    QRect copy_dest =
        dest.intersected(image_rect).intersected(from.intersected(image_rect).translated(dx, dy));
    if (!copy_dest.isEmpty() && !w->image.isNull()) {
        QImage moving = w->image.copy(copy_dest.translated(-dx, -dy));
        gdi_end_drawing(&w->image);
        QPainter p(&w->image);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(copy_dest.topLeft(), moving);
    }
    QRegion uncovered = QRegion(src.intersected(cl)).subtracted(QRegion(dest));
    // The part of the update region inside the scrolled area moves with it.
    QRegion inside = w->update.intersected(src);
    if (!inside.isEmpty())
        w->update = w->update.subtracted(inside).united(inside.translated(dx, dy).intersected(cl));
    if (flags & SW_INVALIDATE) invalidate_client(*w, uncovered, (flags & SW_ERASE) != 0);
    if (update_rect) *update_rect = rect_of(uncovered.boundingRect());
    if (update) fill_region_handle(update, uncovered);
    if (flags & SW_SCROLLCHILDREN) {
        std::vector<HWND> kids = w->children;
        for (HWND c : kids) {
            Window* cw = get(c);
            if (!cw) continue;
            QRect r(QPoint(cw->rect.left, cw->rect.top),
                    QPoint(cw->rect.right - 1, cw->rect.bottom - 1));
            if (scroll && !r.intersects(src)) continue;
            SetWindowPos(c, nullptr, cw->rect.left + dx, cw->rect.top + dy, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (Window* after = get(hwnd)) update_screen(*after, QRect());
    return region_kind(uncovered);
}

BOOL ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip) {
    UINT flags = SW_INVALIDATE | SW_ERASE | (scroll ? 0 : SW_SCROLLCHILDREN);
    return ScrollWindowEx(hwnd, dx, dy, scroll, clip, nullptr, nullptr, flags) != ERROR;
}

BOOL LockWindowUpdate(HWND) {
    return TRUE; // drawing goes to the backing images, so nothing flickers
}

// ---------------------------------------------------------------------------
// Rectangles

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
    if (!rect) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(RECT* rect) {
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL CopyRect(RECT* dest, const RECT* src) {
    if (!dest || !src) return FALSE;
    *dest = *src;
    return TRUE;
}

BOOL InflateRect(RECT* rect, int dx, int dy) {
    if (!rect) return FALSE;
    rect->left -= dx;
    rect->top -= dy;
    rect->right += dx;
    rect->bottom += dy;
    return TRUE;
}

BOOL OffsetRect(RECT* rect, int dx, int dy) {
    if (!rect) return FALSE;
    rect->left += dx;
    rect->top += dy;
    rect->right += dx;
    rect->bottom += dy;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* rect) {
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top ? TRUE : FALSE;
}

BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b) {
    if (!dest || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        *dest = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *dest = r;
    return TRUE;
}

BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b) {
    if (!dest || !a || !b) return FALSE;
    if (IsRectEmpty(a)) {
        *dest = IsRectEmpty(b) ? RECT{0, 0, 0, 0} : *b;
    } else if (IsRectEmpty(b)) {
        *dest = *a;
    } else {
        *dest = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                 std::max(a->bottom, b->bottom)};
    }
    return IsRectEmpty(dest) ? FALSE : TRUE;
}

BOOL SubtractRect(RECT* dest, const RECT* a, const RECT* b) {
    if (!dest || !a || !b) return FALSE;
    *dest = *a;
    RECT i;
    if (!IntersectRect(&i, a, b)) return IsRectEmpty(dest) ? FALSE : TRUE;
    // Only a cut across a whole side leaves a rectangle.
    if (i.left == a->left && i.right == a->right) {
        if (i.top == a->top)
            dest->top = i.bottom;
        else if (i.bottom == a->bottom)
            dest->bottom = i.top;
    } else if (i.top == a->top && i.bottom == a->bottom) {
        if (i.left == a->left)
            dest->left = i.right;
        else if (i.right == a->right)
            dest->right = i.left;
    }
    return IsRectEmpty(dest) ? FALSE : TRUE;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom
               ? TRUE
               : FALSE;
}

BOOL PtInRect(const RECT* rect, POINT point) {
    if (!rect) return FALSE;
    return point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
                   point.y < rect->bottom
               ? TRUE
               : FALSE;
}
