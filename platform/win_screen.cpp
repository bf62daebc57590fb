// Where top-level windows go on the screen: a window the window manager
// frames keeps its title bar and edges on the work area, a window without a
// sizing border cannot be resized or maximised by the user, and a maximised
// window leaves its normal place with the window manager, so restoring it
// brings that place back rather than a screen-sized window.
#include "platform/win_internal.h"

#include <QApplication>

#include <algorithm>

namespace win {

namespace {

bool wm_framed(const Window& w) {
    return is_toplevel(w) && (w.style & WS_CAPTION) == WS_CAPTION && !w.message_only;
}

// Margins the window manager adds around a framed window: taken from a
// window it has already framed, otherwise a usual title bar and border.
QMargins frame_margins() {
    if (qt_offscreen() || !qApp) return {};
    for (QWidget* t : QApplication::topLevelWidgets()) {
        if (!t->isVisible()) continue;
        QRect f = t->frameGeometry(), g = t->geometry();
        if (f == g) continue;
        return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(),
                f.bottom() - g.bottom()};
    }
    return {4, 28, 4, 4};
}

} // namespace

RECT fit_to_work_area(const Window& w, RECT r) {
    if (!wm_framed(w)) return r;
    QMargins m = frame_margins();
    QRect a = work_area().marginsRemoved(m);
    if (a.width() <= 0 || a.height() <= 0) return r;
    int width = std::clamp(static_cast<int>(r.right - r.left), 1, a.width());
    int height = std::clamp(static_cast<int>(r.bottom - r.top), 1, a.height());
    int x = std::clamp(static_cast<int>(r.left), a.left(), a.left() + a.width() - width);
    int y = std::clamp(static_cast<int>(r.top), a.top(), a.top() + a.height() - height);
    return {x, y, x + width, y + height};
}

void set_toplevel_geometry(Window& w, const QRect& g) {
    QWidget* widget = w.widget;
    if (!widget) return;
    if (w.style & WS_MAXIMIZE && !qt_offscreen()) {
        // The window manager keeps the maximised size; Qt's normal geometry
        // stays the place to restore to.
        if (widget->windowState() & Qt::WindowMaximized) return;
        const RECT& n = w.restore_rect;
        if (n.right > n.left && n.bottom > n.top) {
            widget->setGeometry(n.left, n.top, n.right - n.left, n.bottom - n.top);
            return;
        }
    }
    if (wm_framed(w) && !(w.style & WS_THICKFRAME)) {
        widget->setFixedSize(g.size()); // the window manager offers no resizing
    } else if (widget->minimumSize() == widget->maximumSize()) {
        widget->setMinimumSize(0, 0);
        widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    widget->setGeometry(g);
}

void sync_window_state(QWidget* widget, Window& w) {
    if (qt_offscreen() || !is_toplevel(w)) return;
    bool qt_max = (widget->windowState() & Qt::WindowMaximized) != 0;
    bool ours = (w.style & WS_MAXIMIZE) != 0;
    if (qt_max == ours) return;
    if (qt_max) {
        if (!(w.style & WS_MINIMIZE)) w.restore_rect = w.rect;
        w.style = (w.style & ~WS_MINIMIZE) | WS_MAXIMIZE;
    } else {
        w.style &= ~WS_MAXIMIZE;
    }
}

} // namespace win
