// Scroll bars: scroll bar controls (class "ScrollBar"), the size grip
// (SBS_SIZEGRIP / SBS_SIZEBOX), and the scroll bars of windows made with
// WS_HSCROLL / WS_VSCROLL, all with the SCROLLINFO model: range, page,
// position and the tracking position. A scroll bar never moves by itself on
// the user's action: it sends WM_HSCROLL / WM_VSCROLL with the platform's codes
// (line, page, thumb track and position, top, bottom, end scroll) and the
// program sets the new position, as on the platform.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <map>
#include <utility>

namespace ctl {
namespace {

struct ScrollState {
    int min = 0;
    int max = 100;
    UINT page = 0;
    int pos = 0;
    int track = 0;
    bool enabled = true;
    QPointer<QScrollBar> bar; // window scroll bars: the widget on the frame
};

// Keyed by the window handle's token (which carries its generation, so a
// record of a destroyed window is never mistaken for a new window's) and bar.
std::map<std::pair<std::uint32_t, int>, ScrollState>& states() {
    static std::map<std::pair<std::uint32_t, int>, ScrollState> m;
    return m;
}

int max_pos(const ScrollState& s) {
    int p = s.max - std::max<int>(static_cast<int>(s.page) - 1, 0);
    return std::max(p, s.min);
}

void apply(HWND hwnd, int bar, ScrollState& s);

// The Qt scroll bar of a control or a window bar: actions become messages.
class BarWidget final : public QScrollBar {
public:
    BarWidget(HWND hwnd, int bar, Qt::Orientation o, QWidget* parent)
        : QScrollBar(o, parent), hwnd_(hwnd), bar_(bar) {
        QObject::connect(this, &QAbstractSlider::actionTriggered, this,
                         [this](int action) { on_action(action); });
        QObject::connect(this, &QAbstractSlider::sliderReleased, this, [this] {
            int p = sliderPosition();
            send(SB_THUMBPOSITION, p);
            send(SB_ENDSCROLL, 0);
            restore();
        });
    }
    HWND hwnd_;
    int bar_;
    bool syncing = false;

    void send(WORD code, int pos) {
        // Controls tell their parent (lParam the control); window bars tell the window.
        HWND target = bar_ == SB_CTL ? GetParent(hwnd_) : hwnd_;
        UINT msg = orientation() == Qt::Horizontal ? WM_HSCROLL : WM_VSCROLL;
        if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
            auto& s = states()[{token_of(hwnd_), bar_}];
            s.track = pos;
        }
        guarded([&] {
            SendMessage(target, msg, MAKEWPARAM(code, static_cast<WORD>(pos)),
                        bar_ == SB_CTL ? reinterpret_cast<LPARAM>(hwnd_) : 0);
        });
    }
    void restore() {
        auto it = states().find({token_of(hwnd_), bar_});
        if (it == states().end()) return;
        syncing = true;
        setSliderPosition(it->second.pos);
        setValue(it->second.pos);
        syncing = false;
    }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        bool was_down = isSliderDown();
        QScrollBar::mouseReleaseEvent(e);
        if (!was_down && stepped_) send(SB_ENDSCROLL, 0);
        stepped_ = false;
    }

private:
    void on_action(int action) {
        if (syncing) return;
        switch (action) {
        case SliderSingleStepAdd:
            step(SB_LINEDOWN);
            break;
        case SliderSingleStepSub:
            step(SB_LINEUP);
            break;
        case SliderPageStepAdd:
            step(SB_PAGEDOWN);
            break;
        case SliderPageStepSub:
            step(SB_PAGEUP);
            break;
        case SliderToMinimum:
            step(SB_TOP);
            break;
        case SliderToMaximum:
            step(SB_BOTTOM);
            break;
        case SliderMove:
            send(SB_THUMBTRACK, sliderPosition());
            return; // the thumb follows
        default:
            return;
        }
    }
    void step(WORD code) {
        stepped_ = true;
        send(code, 0);
        restore(); // the program moves the bar (SetScrollPos), not the bar itself
    }
    bool stepped_ = false;
};

// The size grip: dragging it resizes the grip's parent window.
class GripWidget final : public QWidget {
public:
    GripWidget(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {
        setCursor(Qt::SizeFDiagCursor);
    }
    HWND hwnd_;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        if (!(style_of(hwnd_) & SBS_SIZEGRIP)) return;
        int w = width(), h = height();
        for (int k = 3; k < std::min(w, h); k += 4) {
            p.setPen(Qt::white);
            p.drawLine(w - k - 1, h - 1, w - 1, h - k - 1);
            p.setPen(palette().mid().color());
            p.drawLine(w - k, h - 1, w - 1, h - k);
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        start_ = e->globalPosition().toPoint();
        HWND parent = GetParent(hwnd_);
        if (parent) GetWindowRect(parent, &start_rect_);
        dragging_ = parent != nullptr;
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!dragging_) return;
        QPoint d = e->globalPosition().toPoint() - start_;
        HWND parent = GetParent(hwnd_);
        if (!parent) return;
        int w = std::max<int>(start_rect_.right - start_rect_.left + d.x(), 20);
        int h = std::max<int>(start_rect_.bottom - start_rect_.top + d.y(), 20);
        guarded([&] {
            SetWindowPos(parent, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        });
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

private:
    QPoint start_;
    RECT start_rect_{};
    bool dragging_ = false;
};

BarWidget* control_bar(HWND hwnd) {
    return widget_as<BarWidget>(hwnd);
}

// Keeps a window bar on its place in the frame when the window changes size.
class FramePlacer final : public QObject {
public:
    explicit FramePlacer(HWND hwnd) : hwnd_(hwnd) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Show ||
            e->type() == QEvent::LayoutRequest)
            place(hwnd_);
        return false;
    }
    static void place(HWND hwnd) {
        for (int bar = 0; bar < 2; ++bar) {
            auto it = states().find({token_of(hwnd), bar});
            if (it == states().end() || !it->second.bar) continue;
            RECT r = win_nonclient_scrollbar_rect(hwnd, bar);
            bool vis = win_nonclient_scrollbar_visible(hwnd, bar) && r.right > r.left;
            it->second.bar->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
            it->second.bar->setVisible(vis);
        }
    }

private:
    HWND hwnd_;
};

QScrollBar* window_bar(HWND hwnd, int bar, ScrollState& s) {
    if (s.bar) return s.bar;
    QWidget* frame = win_widget(hwnd);
    if (!frame) return nullptr;
    auto* b = new BarWidget(hwnd, bar, bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, frame);
    b->setFocusPolicy(Qt::NoFocus);
    s.bar = b;
    if (!frame->property("kavrel_scroll_placer").toBool()) {
        auto* placer = new FramePlacer(hwnd);
        placer->setParent(frame); // goes with the window
        frame->installEventFilter(placer);
        frame->setProperty("kavrel_scroll_placer", true);
    }
    return b;
}

void apply(HWND hwnd, int bar, ScrollState& s) {
    QScrollBar* q = bar == SB_CTL ? control_bar(hwnd) : window_bar(hwnd, bar, s);
    if (!q) return;
    auto* b = dynamic_cast<BarWidget*>(q);
    if (b) b->syncing = true;
    q->setRange(s.min, max_pos(s));
    q->setPageStep(std::max<int>(static_cast<int>(s.page), 1));
    q->setSingleStep(1);
    q->setValue(s.pos);
    q->setSliderPosition(s.pos);
    q->setEnabled(s.enabled);
    if (b) b->syncing = false;
    if (bar != SB_CTL) FramePlacer::place(hwnd);
}

bool bar_ok(HWND hwnd, int bar) {
    if (!IsWindow(hwnd)) return false;
    if (bar == SB_CTL) return control_bar(hwnd) != nullptr;
    return bar == SB_HORZ || bar == SB_VERT;
}

LRESULT scroll_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    if (common_message(hwnd, message, wparam, lparam, r)) return r;
    switch (message) {
    case WM_GETDLGCODE:
        return (style_of(hwnd) & (SBS_SIZEBOX | SBS_SIZEGRIP)) ? 0 : DLGC_WANTARROWS;
    case WM_DESTROY:
        states().erase({token_of(hwnd), SB_CTL});
        break;
    case SBM_SETPOS:
        return SetScrollPos(hwnd, SB_CTL, static_cast<int>(wparam), lparam != 0);
    case SBM_GETPOS:
        return GetScrollPos(hwnd, SB_CTL);
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW:
        SetScrollRange(hwnd, SB_CTL, static_cast<int>(wparam), static_cast<int>(lparam),
                       message == SBM_SETRANGEREDRAW);
        return GetScrollPos(hwnd, SB_CTL);
    case SBM_GETRANGE: {
        int mn = 0, mx = 0;
        GetScrollRange(hwnd, SB_CTL, &mn, &mx);
        if (wparam) *reinterpret_cast<int*>(wparam) = mn;
        if (lparam) *reinterpret_cast<int*>(lparam) = mx;
        return 0;
    }
    case SBM_SETSCROLLINFO:
        return SetScrollInfo(hwnd, SB_CTL, reinterpret_cast<const SCROLLINFO*>(lparam),
                             static_cast<BOOL>(wparam));
    case SBM_GETSCROLLINFO:
        return GetScrollInfo(hwnd, SB_CTL, reinterpret_cast<SCROLLINFO*>(lparam));
    case SBM_ENABLE_ARROWS:
        return EnableScrollBar(hwnd, SB_CTL, static_cast<UINT>(wparam));
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

QWidget* make_scroll(HWND hwnd, QWidget* parent) {
    DWORD st = style_of(hwnd);
    if (st & (SBS_SIZEBOX | SBS_SIZEGRIP)) return new GripWidget(hwnd, parent);
    auto* b = new BarWidget(hwnd, SB_CTL, (st & SBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent);
    states()[{token_of(hwnd), SB_CTL}] = ScrollState{};
    apply(hwnd, SB_CTL, states()[{token_of(hwnd), SB_CTL}]);
    return b;
}

} // namespace

void register_scrollbar() {
    register_class(WC_SCROLLBAR, scroll_proc, make_scroll);
}

} // namespace ctl

using ctl::ScrollState;
using ctl::states;

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL) {
    if (!info || !ctl::bar_ok(hwnd, bar)) return 0;
    ScrollState& s = states()[{token_of(hwnd), bar}];
    if (info->fMask & SIF_RANGE) {
        s.min = info->nMin;
        s.max = std::max(info->nMax, info->nMin);
    }
    if (info->fMask & SIF_PAGE) {
        long long span = static_cast<long long>(s.max) - s.min + 1;
        s.page = static_cast<UINT>(std::min<long long>(info->nPage, span));
    }
    if (info->fMask & SIF_POS) s.pos = info->nPos;
    s.pos = std::clamp(s.pos, s.min, ctl::max_pos(s));
    if (bar != SB_CTL && (info->fMask & (SIF_RANGE | SIF_PAGE))) {
        // A window's bar shows only while there is something to scroll, unless
        // told to stay (disabled) with SIF_DISABLENOSCROLL.
        bool needed = s.max - s.min + 1 > static_cast<int>(s.page) && s.max > s.min;
        if (info->fMask & SIF_DISABLENOSCROLL) {
            s.enabled = needed;
            win_show_nonclient_scrollbar(hwnd, bar, TRUE);
        } else {
            s.enabled = true;
            win_show_nonclient_scrollbar(hwnd, bar, needed ? TRUE : FALSE);
        }
    }
    ctl::apply(hwnd, bar, s);
    return s.pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
    if (!info || !ctl::bar_ok(hwnd, bar)) return FALSE;
    auto it = states().find({token_of(hwnd), bar});
    ScrollState s = it != states().end() ? it->second : ScrollState{};
    if (info->fMask & SIF_RANGE) {
        info->nMin = s.min;
        info->nMax = s.max;
    }
    if (info->fMask & SIF_PAGE) info->nPage = s.page;
    if (info->fMask & SIF_POS) info->nPos = s.pos;
    if (info->fMask & SIF_TRACKPOS) info->nTrackPos = s.track;
    return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    if (!ctl::bar_ok(hwnd, bar)) return 0;
    int old = GetScrollPos(hwnd, bar);
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(hwnd, bar, &si, redraw);
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 0, 0};
    return GetScrollInfo(hwnd, bar, &si) ? si.nPos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw) {
    if (!ctl::bar_ok(hwnd, bar)) return FALSE;
    SCROLLINFO si{sizeof si, SIF_RANGE, min, max, 0, 0, 0};
    SetScrollInfo(hwnd, bar, &si, redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max) {
    SCROLLINFO si{sizeof si, SIF_RANGE, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(hwnd, bar, &si)) return FALSE;
    if (min) *min = si.nMin;
    if (max) *max = si.nMax;
    return TRUE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
    if (!IsWindow(hwnd)) return FALSE;
    if (bar == SB_CTL) {
        ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
        return TRUE;
    }
    for (int b = 0; b < 2; ++b) {
        if (bar != SB_BOTH && bar != b) continue;
        win_show_nonclient_scrollbar(hwnd, b, show);
        ScrollState& s = states()[{token_of(hwnd), b}];
        ctl::apply(hwnd, b, s);
    }
    return TRUE;
}

BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
    int b = static_cast<int>(bar);
    if (b == SB_BOTH)
        return EnableScrollBar(hwnd, SB_HORZ, arrows) && EnableScrollBar(hwnd, SB_VERT, arrows);
    if (!ctl::bar_ok(hwnd, b)) return FALSE;
    ScrollState& s = states()[{token_of(hwnd), b}];
    s.enabled = arrows != ESB_DISABLE_BOTH;
    ctl::apply(hwnd, b, s);
    return TRUE;
}
