// The Qt side of windows: the widget behind each window, the translation of
// Qt input into queued messages, and the screen copy of the backing image.
#include "platform/gdi.h"
#include "platform/win_internal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace win {

namespace {

struct EventDepth {
    EventDepth() { ++st().widget_event_depth; }
    ~EventDepth() { --st().widget_event_depth; }
    EventDepth(const EventDepth&) = delete;
    EventDepth& operator=(const EventDepth&) = delete;
};

QColor sys_colour(int index) {
    COLORREF c = GetSysColor(index);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

void set_async(int vk, bool down) {
    if (vk < 0 || vk > 255) return;
    BYTE& v = st().async_keys[vk];
    v = down ? (v | 0x80) : (v & ~0x80);
}

void async_modifiers(Qt::KeyboardModifiers mods) {
    set_async(VK_SHIFT, mods & Qt::ShiftModifier);
    set_async(VK_CONTROL, mods & Qt::ControlModifier);
    set_async(VK_MENU, mods & Qt::AltModifier);
}

WPARAM mk_flags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    WPARAM f = 0;
    if (buttons & Qt::LeftButton) f |= MK_LBUTTON;
    if (buttons & Qt::RightButton) f |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) f |= MK_MBUTTON;
    if (mods & Qt::ShiftModifier) f |= MK_SHIFT;
    if (mods & Qt::ControlModifier) f |= MK_CONTROL;
    return f;
}

LPARAM pack_point(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(std::clamp(x, -32768, 32767))),
                      static_cast<WORD>(static_cast<short>(std::clamp(y, -32768, 32767))));
}

std::shared_ptr<InputRecord> record_of(QWidget* receiver, QInputEvent* e, const QString& text) {
    auto rec = std::make_shared<InputRecord>();
    rec->event.reset(e->clone());
    rec->receiver = receiver;
    rec->text = text;
    rec->mods = e->modifiers();
    return rec;
}

// A press anywhere outside the menu bar ends its keyboard mode, as the menu
// mode of the desktop the program was made for ends. Esc that closes an open
// menu leaves the bar holding Qt's focus with its item lit; the program's own
// focus did not move, so the press's SetFocus changed nothing and the next
// Enter opened that menu instead of reaching the window clicked.
void leave_menu_bar_keys(HWND focus) {
    auto* bar = qobject_cast<QMenuBar*>(QApplication::focusWidget());
    if (!bar) return;
    Window* w = focus ? get(focus) : nullptr;
    if (w && w->widget && !w->destroying)
        w->widget->setFocus(Qt::MouseFocusReason);
    else
        bar->clearFocus();
}

// Mouse input: routed to the capture window, else to the window under the
// pointer (a forced target for the standard controls), hit-tested, with
// WM_SETCURSOR and activation on the way, as the platform does.
void input_mouse(QWidget* receiver, QMouseEvent* e, HWND forced) {
    auto& s = st();
    QPoint global = e->globalPosition().toPoint();
    s.cursor_pos = {global.x(), global.y()};
    s.cursor_widget = receiver;
    set_async(VK_LBUTTON, e->buttons() & Qt::LeftButton);
    set_async(VK_RBUTTON, e->buttons() & Qt::RightButton);
    set_async(VK_MBUTTON, e->buttons() & Qt::MiddleButton);
    async_modifiers(e->modifiers());

    QEvent::Type type = e->type();
    bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    bool release = type == QEvent::MouseButtonRelease;
    UINT base = 0;
    if (press || release) {
        switch (e->button()) {
        case Qt::LeftButton:
            base = WM_LBUTTONDOWN;
            break;
        case Qt::RightButton:
            base = WM_RBUTTONDOWN;
            break;
        case Qt::MiddleButton:
            base = WM_MBUTTONDOWN;
            break;
        default:
            return; // other buttons have no messages here
        }
    }
    if (press) leave_menu_bar_keys(s.focus);
    UINT client_msg = WM_MOUSEMOVE;
    if (press) client_msg = base + (type == QEvent::MouseButtonDblClick ? 2 : 0);
    if (release) client_msg = base + 1;

    HWND target = nullptr;
    LRESULT hit = HTCLIENT;
    if (s.capture && get(s.capture)) {
        target = s.capture;
    } else {
        target = forced;
        if (!target) target = window_at(global);
        if (!target) target = win_from_widget(receiver);
        if (!target || !get(target)) return;
        if (!get(target)->control_widget) {
            hit = send(target, WM_NCHITTEST, 0, pack_point(global.x(), global.y()));
            for (int guard = 0; hit == HTTRANSPARENT && guard < 64; ++guard) {
                Window* tw = get(target);
                if (!tw || !tw->parent) break;
                target = tw->parent;
                hit = send(target, WM_NCHITTEST, 0, pack_point(global.x(), global.y()));
            }
        }
        if (!get(target)) return;
        UINT cursor_msg = client_msg;
        if (client_msg == WM_LBUTTONDBLCLK || client_msg == WM_RBUTTONDBLCLK ||
            client_msg == WM_MBUTTONDBLCLK)
            cursor_msg = client_msg - 2;
        send(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
             MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(cursor_msg)));
        Window* tw = get(target);
        if (!tw) return;
        if (!enabled_chain(*tw)) return; // input to a disabled window goes nowhere
        if (press) {
            HWND root = root_of(target);
            if (root && s.active != root) {
                LRESULT ma =
                    send(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root),
                         MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(cursor_msg)));
                if ((ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) && get(root))
                    SetActiveWindow(root);
                if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) return;
            }
        }
    }
    Window* tw = get(target);
    if (!tw) return;
    MSG m{};
    m.hwnd = target;
    m.time = now32();
    m.pt = s.cursor_pos;
    if (hit == HTCLIENT) {
        m.message = client_msg;
        if (client_msg == base + 2 && !(tw->cls->style & CS_DBLCLKS)) m.message = base;
        QPoint c = global - client_origin_screen(*tw);
        m.wParam = mk_flags(e->buttons(), e->modifiers());
        m.lParam = pack_point(c.x(), c.y());
    } else {
        m.message = client_msg == WM_MOUSEMOVE ? WM_NCMOUSEMOVE
                                               : client_msg - WM_LBUTTONDOWN + WM_NCLBUTTONDOWN;
        m.wParam = static_cast<WPARAM>(hit);
        m.lParam = pack_point(global.x(), global.y());
    }
    post_input(m, record_of(receiver, e, QString()));
}

void input_wheel(QWidget* receiver, QWheelEvent* e, HWND forced) {
    auto& s = st();
    QPoint global = e->globalPosition().toPoint();
    s.cursor_pos = {global.x(), global.y()};
    int delta = e->angleDelta().y();
    if (delta == 0) return;
    // The window under the pointer scrolls (a list box in a dialog while the
    // keyboard is in a field); the focus window when the pointer is on none.
    HWND target = forced ? forced : window_at(global);
    if (!target && s.focus && get(s.focus)) target = s.focus;
    if (!target) target = win_from_widget(receiver);
    if (!target || !get(target)) return;
    MSG m{};
    m.hwnd = target;
    m.message = WM_MOUSEWHEEL;
    m.wParam = MAKEWPARAM(static_cast<WORD>(mk_flags(e->buttons(), e->modifiers())),
                          static_cast<WORD>(static_cast<short>(std::clamp(delta, -32768, 32767))));
    m.lParam = pack_point(global.x(), global.y());
    m.time = now32();
    m.pt = s.cursor_pos;
    post_input(m, record_of(receiver, e, QString()));
}

bool extended_key(int vk) {
    switch (vk) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
    case VK_INSERT:
    case VK_DELETE:
    case VK_DIVIDE:
        return true;
    default:
        return false;
    }
}

// Keys go to the focus window; with no focus, to the active window as system
// keys. Alt (without Ctrl) and F10 make system keys.
void input_key(QWidget* receiver, QKeyEvent* e, HWND forced) {
    auto& s = st();
    bool press = e->type() == QEvent::KeyPress;
    int vk = vk_from_qt(e->key(), e->modifiers());
    async_modifiers(e->modifiers());
    if (vk) set_async(vk, press);
    HWND target = forced;
    bool sys = false;
    if (!target) {
        target = s.focus && get(s.focus) ? s.focus : nullptr;
        if (!target) {
            target = s.active && get(s.active) ? s.active : nullptr;
            sys = true;
        }
    }
    if (!target) return;
    if (!vk) {
        // A key without a virtual-key code: its text arrives as characters.
        if (!press) return;
        for (unsigned char c : bytes(e->text())) {
            MSG m{target, WM_CHAR, c, 1, now32(), s.cursor_pos, 0};
            post_input(m, nullptr);
        }
        return;
    }
    bool alt = (e->modifiers() & Qt::AltModifier) != 0;
    bool ctrl = (e->modifiers() & Qt::ControlModifier) != 0;
    if ((alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl)) sys = true;
    MSG m{};
    m.hwnd = target;
    m.message = press ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    m.wParam = static_cast<WPARAM>(vk);
    LPARAM lp = 1 | (static_cast<LPARAM>(e->nativeScanCode() & 0xFF) << 16);
    if (extended_key(vk) && !(e->modifiers() & Qt::KeypadModifier)) lp |= KF_EXTENDED_BIT;
    if (alt) lp |= KF_ALTDOWN_BIT;
    if (press) {
        if (e->isAutoRepeat()) lp |= KF_REPEAT_BIT;
    } else {
        lp |= KF_REPEAT_BIT | KF_UP_BIT;
    }
    m.lParam = lp;
    m.time = now32();
    m.pt = s.cursor_pos;
    post_input(m, record_of(receiver, e, press ? e->text() : QString()));
}

void system_geometry(QWidget* widget, HWND hwnd) {
    Window* w = get(hwnd);
    if (!w || !is_toplevel(*w) || widget->property("kavrel_setting_geometry").toBool()) return;
    sync_window_state(widget, *w);
    QRect g = widget->geometry();
    if (g.x() == w->rect.left && g.y() == w->rect.top &&
        g.width() == w->rect.right - w->rect.left && g.height() == w->rect.bottom - w->rect.top)
        return;
    SetWindowPos(hwnd, nullptr, g.x(), g.y(), g.width(), g.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

// The front-most visible, enabled window owned (directly or through disabled
// owned windows) by a disabled `owner`; `owner` itself when it is enabled.
HWND enabled_owned(HWND owner) {
    for (int depth = 0; depth < 64; ++depth) {
        Window* o = get(owner);
        if (!o || !(o->style & WS_DISABLED)) return owner;
        HWND next = nullptr;
        for (HWND t : st().toplevels) {
            Window* w = get(t);
            if (w && w->owner == owner && (w->style & WS_VISIBLE)) {
                next = t;
                break;
            }
        }
        if (!next) return nullptr;
        owner = next;
    }
    return nullptr;
}

} // namespace

void window_manager_activated(HWND hwnd) {
    auto& s = st();
    // A window disabled by a modal box hands the activation on to the box,
    // which comes to the front.
    HWND to = enabled_owned(hwnd);
    if (to && to != hwnd) {
        SetActiveWindow(to);
        if (Window* t = get(to); t && t->widget) {
            ++s.activation_requests;
            if (!qt_offscreen()) {
                t->widget->raise();
                t->widget->activateWindow();
            }
        }
        return;
    }
    if (s.active == hwnd) return;
    const HWND was = s.wm_activating;
    s.wm_activating = hwnd;
    SetActiveWindow(hwnd);
    s.wm_activating = was;
}

namespace {

// With KAVREL_TRACE_FIRST_PAINT set, the first paint of a top-level window
// with a menu bar (a program's main window, not its splash) is told on stderr: the start-up
// benchmark times the program to that line, as it times a bare Qt window to its own. The line is
// written once the paint is through: its child windows painted and the picture handed to the window
// system.
void note_first_paint(QWidget* top) {
    static bool told = false;
    if (told) return;
    told = true;
    if (std::getenv("KAVREL_TRACE_FIRST_PAINT"))
        QMetaObject::invokeMethod(
            top,
            [] {
                std::fputs("kavrel: first paint\n", stderr);
                std::fflush(stderr);
            },
            Qt::QueuedConnection);
}

class WinWidget final : public QWidget {
public:
    WinWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags)
        : QWidget(parent, flags), hwnd_(hwnd) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        // Focus is the layer's: clicks do not move Qt's focus, SetFocus does.
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    bool event(QEvent* e) override {
        EventDepth depth;
        // A control's handed-back input that the control ignored propagates
        // up to here: it has been through the queue once already.
        if (st().redelivering && (dynamic_cast<QInputEvent*>(e) != nullptr)) return true;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            guarded([&] { input_mouse(this, static_cast<QMouseEvent*>(e), nullptr); });
            return true;
        case QEvent::Wheel:
            guarded([&] { input_wheel(this, static_cast<QWheelEvent*>(e), nullptr); });
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            guarded([&] { input_key(this, static_cast<QKeyEvent*>(e), nullptr); });
            return true;
        case QEvent::ShortcutOverride:
            e->accept();
            return true;
        case QEvent::Close: {
            HWND h = hwnd_;
            if (get(h)) PostMessage(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            e->ignore();
            return true;
        }
        case QEvent::Resize:
        case QEvent::Move:
            // The window manager or the X server moved the window; or Qt did,
            // placing a shown top-level itself (a maximised window that no
            // window manager maximises stays where Qt put it).
            if (e->spontaneous() || (isWindow() && isVisible() && !qt_offscreen()))
                guarded([&] { system_geometry(this, hwnd_); });
            break;
        case QEvent::Show:
            if (isWindow() && !qt_offscreen()) guarded([&] { system_geometry(this, hwnd_); });
            break;
        case QEvent::WindowActivate:
            if (isWindow() && !qt_offscreen() && get(hwnd_)) guarded([&] { activated(); });
            break;
        case QEvent::WindowStateChange:
            if (Window* w = get(hwnd_)) {
                sync_window_state(this, *w);
                if (isWindow() && (windowState() & Qt::WindowMinimized) &&
                    !(w->style & (WS_MINIMIZE | WS_MINIMIZEBOX)))
                    undo_minimise();
            }
            break;
        default:
            break;
        }
        return QWidget::event(e);
    }

    void paintEvent(QPaintEvent* e) override {
        Window* w = get(hwnd_);
        if (!w) return;
        paint_widget(this, *w, e->region());
        if (isWindow() && w->menu) note_first_paint(this);
    }

private:
    // The window manager activated this window.
    void activated() { window_manager_activated(hwnd_); }

    // The window manager minimised a window that has no minimise box (the
    // program did not: its record says so). Some window managers keep a
    // dialog's minimise button whatever the hints say and minimise the
    // owner with it, so a minimised About box hid the whole program, its
    // owner disabled and nothing left on the screen to bring it back. It is
    // shown again at once, which brings its owner back too.
    void undo_minimise() {
        QPointer<QWidget> self(this);
        QMetaObject::invokeMethod(
            this,
            [self] {
                if (!self || !(self->windowState() & Qt::WindowMinimized)) return;
                self->setWindowState(self->windowState() & ~Qt::WindowMinimized);
                self->show();
                self->raise();
                self->activateWindow();
            },
            Qt::QueuedConnection);
    }

    HWND hwnd_;
};

// Standard controls (widgets from a class factory): their Qt input is taken
// before the widget sees it and queued for the control's window; the
// control's default procedure gives it back (win_forward_input).
class InputFilter final : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* e) override {
        auto& s = st();
        if (s.redelivering) return false;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            break;
        default:
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget || dynamic_cast<WinWidget*>(widget)) return false;
        HWND h = win_from_widget(widget);
        Window* w = get(h);
        if (!w || !w->control_widget) return false;
        if (e->type() == QEvent::ShortcutOverride) {
            // Every key is a key press for the queue: a control's own pop-up
            // (a combo box's open list) must not act on it before the program.
            e->accept();
            return true;
        }
        EventDepth depth;
        guarded([&] {
            if (e->type() == QEvent::Wheel)
                input_wheel(widget, static_cast<QWheelEvent*>(e), h);
            else if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)
                input_key(widget, static_cast<QKeyEvent*>(e), h);
            else
                input_mouse(widget, static_cast<QMouseEvent*>(e), h);
        });
        return true;
    }
};

bool widget_within(const QWidget* inner, const QWidget* outer) {
    for (const QWidget* x = inner; x; x = x->parentWidget())
        if (x == outer) return true;
    return false;
}

} // namespace

QWidget* make_widget(HWND hwnd, Window& w) {
    QWidget* parent_widget = nullptr;
    Qt::WindowFlags flags = Qt::Widget;
    if (w.parent) {
        if (Window* p = get(w.parent)) parent_widget = p->widget;
    } else {
        flags = Qt::Window;
        if (w.owner)
            if (Window* o = get(w.owner)) parent_widget = o->widget;
        bool caption = (w.style & WS_CAPTION) == WS_CAPTION;
        // Owned windows with a frame and modal boxes are dialogs to the window
        // manager: transient for their owner (or the program), kept above it.
        if (caption && (parent_widget || (w.ex_style & WS_EX_DLGMODALFRAME))) flags = Qt::Dialog;
        if (!caption) flags |= Qt::FramelessWindowHint;
        // The title bar offers what the window's style asks for: a dialog
        // without minimise and maximise boxes gets neither button.
        if (caption) {
            flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
            if (w.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
            if (w.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
            if (w.style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
        }
        if (w.ex_style & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
        if (w.ex_style & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
    }
    QWidget* widget = nullptr;
    if (w.cls->factory) {
        widget = w.cls->factory(hwnd, parent_widget);
        if (widget) {
            w.control_widget = true;
            if (!w.parent) widget->setWindowFlags(flags);
        }
    }
    if (!widget) widget = new WinWidget(hwnd, parent_widget, flags);
    widget->setProperty("kavrel_hwnd", token_of(hwnd));
    widget->setVisible(false);
    w.widget = widget;
    return widget;
}

void install_input_filter() {
    auto& s = st();
    if (s.filter_installed || !QCoreApplication::instance()) return;
    static InputFilter* filter = new InputFilter;
    QCoreApplication::instance()->installEventFilter(filter);
    s.filter_installed = true;
}

void paint_widget(QWidget* widget, Window& w, const QRegion& exposed) {
    QPainter p(widget);
    Insets i = insets_of(w);
    QSize cs = client_size(w);
    QRect full = widget->rect();
    QRect client(i.left, i.top, cs.width(), cs.height());
    if (i.left || i.top || i.right || i.bottom) {
        p.save();
        p.setClipRegion(exposed.subtracted(QRegion(client)));
        p.fillRect(full, sys_colour(COLOR_BTNFACE));
        Insets frame = insets_for(w.style, w.ex_style, is_toplevel(w), 0, false, false);
        bool caption = (w.style & WS_CAPTION) == WS_CAPTION && !is_toplevel(w);
        int f = caption ? std::max(frame.left, 1) : frame.left;
        if (f > 0 && (w.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME))) {
            p.setPen(sys_colour(COLOR_WINDOWFRAME));
            p.drawRect(full.adjusted(0, 0, -1, -1));
        }
        if (caption) {
            QRect bar(f, f, full.width() - 2 * f, GetSystemMetrics(SM_CYCAPTION));
            p.fillRect(bar, sys_colour(COLOR_ACTIVECAPTION));
            p.setPen(sys_colour(COLOR_CAPTIONTEXT));
            p.drawText(bar.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, qstr(w.text));
        }
        if (w.ex_style & WS_EX_CLIENTEDGE) {
            QRect e = client.adjusted(-2, -2, 1, 1);
            p.setPen(sys_colour(COLOR_BTNSHADOW));
            p.drawLine(e.topLeft(), e.topRight());
            p.drawLine(e.topLeft(), e.bottomLeft());
            p.setPen(sys_colour(COLOR_BTNHIGHLIGHT));
            p.drawLine(e.bottomLeft(), e.bottomRight());
            p.drawLine(e.topRight(), e.bottomRight());
        }
        p.restore();
    }
    p.setClipRegion(exposed.intersected(QRegion(client)));
    p.fillRect(client, Qt::white);
    sync_image(w);
    if (!w.image.isNull())
        p.drawImage(client.topLeft(), w.image,
                    QRect(0, 0, std::min(cs.width(), w.image.width()),
                          std::min(cs.height(), w.image.height())));
}

int vk_from_qt(int key, Qt::KeyboardModifiers mods) {
    bool keypad = (mods & Qt::KeypadModifier) != 0;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_Print:
        return VK_SNAPSHOT;
    case Qt::Key_Clear:
        return VK_CLEAR;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return VK_MENU;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_NumLock:
        return VK_NUMLOCK;
    case Qt::Key_ScrollLock:
        return VK_SCROLL;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_Help:
        return VK_HELP;
    case Qt::Key_Menu:
        return VK_APPS;
    case Qt::Key_Super_L:
        return VK_LWIN;
    case Qt::Key_Super_R:
        return VK_RWIN;
    case Qt::Key_Period:
        return keypad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Greater:
        return VK_OEM_PERIOD;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return VK_OEM_COMMA;
    case Qt::Key_Minus:
        return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Underscore:
        return VK_OEM_MINUS;
    case Qt::Key_Plus:
        return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Equal:
        return VK_OEM_PLUS;
    case Qt::Key_Asterisk:
        return keypad ? VK_MULTIPLY : '8';
    case Qt::Key_Slash:
        return keypad ? VK_DIVIDE : VK_OEM_2;
    case Qt::Key_Question:
        return VK_OEM_2;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return VK_OEM_1;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return VK_OEM_7;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return VK_OEM_4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return VK_OEM_5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return VK_OEM_6;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return VK_OEM_3;
    case Qt::Key_Exclam:
        return '1';
    case Qt::Key_At:
        return '2';
    case Qt::Key_NumberSign:
        return '3';
    case Qt::Key_Dollar:
        return '4';
    case Qt::Key_Percent:
        return '5';
    case Qt::Key_AsciiCircum:
        return '6';
    case Qt::Key_Ampersand:
        return '7';
    case Qt::Key_ParenLeft:
        return '9';
    case Qt::Key_ParenRight:
        return '0';
    default:
        return 0;
    }
}

} // namespace win

using namespace win;

BOOL win_forward_input(HWND hwnd, UINT message, WPARAM, LPARAM) {
    auto& s = st();
    if (s.dispatching.empty()) return FALSE;
    auto rec = recent_input(s.dispatching.back());
    Window* w = get(hwnd);
    if (!rec || !rec->event || !w || !w->widget) return FALSE;
    // Only the event the message was made from: a key for a key message, the
    // mouse for a mouse message.
    bool key_msg = message >= WM_KEYFIRST && message <= WM_KEYLAST;
    bool key_event = dynamic_cast<QKeyEvent*>(rec->event.get()) != nullptr;
    if (key_msg != key_event) return FALSE;
    QWidget* target = rec->receiver && widget_within(rec->receiver, w->widget)
                          ? rec->receiver.data()
                          : w->widget.data();
    // Keys go where Qt would send them: a composite control's outer widget
    // passes the keyboard to its focus proxy (the text field of an edit
    // control, the tab bar of a tab control).
    if (key_event)
        for (int depth = 0; depth < 16 && target->focusProxy(); ++depth)
            target = target->focusProxy();
    std::unique_ptr<QEvent> event(rec->event->clone());
    rec->event.reset(); // handed back once
    struct Redeliver {
        Redeliver() { st().redelivering = true; }
        ~Redeliver() { st().redelivering = false; }
    } guard;
    QCoreApplication::sendEvent(target, event.get());
    return TRUE;
}
