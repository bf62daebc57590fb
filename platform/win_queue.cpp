// The message queue, loops, sending and posting, default window handling,
// timers, keyboard state and cursors.
#include "platform/clock.h"
#include "platform/dde.h"
#include "platform/gdi.h"
#include "platform/win_internal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace win {

namespace {

struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

struct DispatchGuard {
    explicit DispatchGuard(DWORD id) { st().dispatching.push_back(id); }
    ~DispatchGuard() {
        auto& d = st().dispatching;
        if (!d.empty()) d.pop_back();
    }
    DispatchGuard(const DispatchGuard&) = delete;
    DispatchGuard& operator=(const DispatchGuard&) = delete;
};

bool in_range(UINT message, UINT first, UINT last) {
    if (first == 0 && last == 0) return true;
    if (first > last) std::swap(first, last);
    return message >= first && message <= last;
}

bool matches(const MSG& m, HWND filter, UINT first, UINT last) {
    if (filter) {
        if (filter == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
            if (m.hwnd) return false;
        } else if (m.hwnd != filter) {
            return false;
        }
    }
    return in_range(m.message, first, last);
}

POINT cursor_point() {
    return st().cursor_pos;
}

HWND find_paint(HWND filter) {
    auto& s = st();
    auto wants = [](HWND h) {
        Window* w = get(h);
        return w && !w->update.isEmpty() && !w->control_widget && visible_chain(*w);
    };
    if (filter) return wants(filter) ? filter : nullptr;
    for (HWND t : s.toplevels) {
        Window* w = get(t);
        if (!w || !(w->style & WS_VISIBLE)) continue;
        if (wants(t)) return t;
        for (HWND d : descendants(t))
            if (wants(d)) return d;
    }
    return nullptr;
}

Timer* find_due_timer(HWND filter, std::uint64_t now) {
    Timer* best = nullptr;
    for (Timer& t : st().timers) {
        if (t.due > now) continue;
        if (filter && t.hwnd != filter) continue;
        if (!best || t.due < best->due || (t.due == best->due && t.order < best->order)) best = &t;
    }
    return best;
}

void remember_input(const std::shared_ptr<InputRecord>& rec) {
    if (!rec) return;
    auto& r = st().recent_input;
    r.push_back(rec);
    while (r.size() > 64) r.pop_front();
}

// Takes the first message the filter accepts: queued messages, the quit
// request, then paint, then timers.
bool fetch(MSG* out, HWND filter, UINT first, UINT last, UINT flags) {
    auto& s = st();
    bool remove = (flags & PM_REMOVE) != 0;
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!matches(it->msg, filter, first, last)) continue;
        *out = it->msg;
        out->lPrivate = it->input ? it->input->id : 0;
        if (remove) {
            Queued q = std::move(*it);
            s.queue.erase(it);
            apply_key_state_on_retrieve(q);
            remember_input(q.input);
        }
        return true;
    }
    std::uint64_t now = platform_clock().now_ms();
    if (s.quit_pending) {
        *out = MSG{
            nullptr,        WM_QUIT, static_cast<WPARAM>(s.quit_code), 0, static_cast<DWORD>(now),
            cursor_point(), 0};
        if (remove) s.quit_pending = false;
        return true;
    }
    if (in_range(WM_PAINT, first, last)) {
        if (HWND p = find_paint(filter)) {
            *out = MSG{p, WM_PAINT, 0, 0, static_cast<DWORD>(now), cursor_point(), 0};
            return true;
        }
    }
    if (in_range(WM_TIMER, first, last)) {
        if (Timer* t = find_due_timer(filter, now)) {
            *out = MSG{t->hwnd,
                       WM_TIMER,
                       t->id,
                       reinterpret_cast<LPARAM>(t->proc),
                       static_cast<DWORD>(now),
                       cursor_point(),
                       0};
            if (remove) t->due = now + t->interval;
            return true;
        }
    }
    return false;
}

std::string describe_state() {
    auto& s = st();
    std::string out = "queue " + std::to_string(s.queue.size()) + " message(s), " +
                      std::to_string(s.timers.size()) + " timer(s); windows:";
    for (HWND t : s.toplevels) {
        Window* w = get(t);
        if (!w) continue;
        out += "\n  \"" + w->cls->name + "\" \"" + w->text + "\"" +
               ((w->style & WS_VISIBLE) ? " visible" : " hidden") +
               ((w->style & WS_DISABLED) ? " disabled" : "");
    }
    return out;
}

bool anything_can_come() {
    auto& s = st();
    MSG m;
    return !s.idle_actions.empty() || !s.timers.empty() || fetch(&m, nullptr, 0, 0, PM_NOREMOVE);
}

void stall(const char* where) {
    auto& s = st();
    std::string text = std::string(where) +
                       ": nothing can arrive (manual clock, no idle action, no timer); " +
                       describe_state();
    if (s.stall) {
        s.stall(text.c_str());
        // A handler that made nothing possible would be called for ever.
        if (anything_can_come()) return;
        text += "\n(the stall handler returned without giving the wait anything)";
    }
    std::fprintf(stderr, "kavrel platform: %s\n", text.c_str());
    std::fflush(stderr);
    std::abort();
}

// Waits for something that may give a message (see win.h on blocking waits).
void wait_for_input(const char* where) {
    auto& s = st();
    flush_screens();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Clock& clock = platform_clock();
    std::uint64_t due = win_next_timer_due();
    std::uint64_t now = clock.now_ms();
    if (clock.is_manual()) {
        if (!s.idle_actions.empty()) {
            auto action = std::move(s.idle_actions.front());
            s.idle_actions.pop_front();
            action();
            return;
        }
        if (due) {
            if (due > now)
                clock.sleep_ms(
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(due - now, 0xFFFFFFFFu)));
            return;
        }
        stall(where);
        return;
    }
    if (due && due <= now) return;
    static QObject* waker = new QObject;
    int timer = 0;
    if (due)
        timer = waker->startTimer(static_cast<int>(std::min<std::uint64_t>(due - now, 1u << 30)),
                                  Qt::PreciseTimer);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (timer) waker->killTimer(timer);
    rethrow_pending();
}

void set_key(BYTE* table, int vk, bool down, bool flip_toggle) {
    if (vk < 0 || vk > 255) return;
    BYTE v = table[vk];
    if (down && flip_toggle && !(v & 0x80)) v ^= 0x01;
    v = down ? (v | 0x80) : (v & ~0x80);
    table[vk] = v;
}

bool is_modifier_vk(int vk) {
    return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;
}

LRESULT ctl_colour(HDC dc, int back, int text) {
    SetBkColor(dc, GetSysColor(back));
    SetTextColor(dc, GetSysColor(text));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(back));
}

LRESULT default_hit_test(Window& w, LPARAM lp) {
    QPoint pt(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
    QRect wr = window_rect_screen(w);
    if (!wr.contains(pt)) return HTNOWHERE;
    QPoint co = client_origin_screen(w);
    if (QRect(co, client_size(w)).contains(pt)) return HTCLIENT;
    QPoint p = pt - wr.topLeft();
    for (int bar = 0; bar < 2; ++bar) {
        if (!w.sb_shown[bar]) continue;
        Insets i = insets_of(w);
        QSize cs = client_size(w);
        QRect r =
            bar ? QRect(i.left + cs.width(), i.top, GetSystemMetrics(SM_CXVSCROLL), cs.height())
                : QRect(i.left, i.top + cs.height(), cs.width(), GetSystemMetrics(SM_CYHSCROLL));
        if (r.contains(p)) return bar ? HTVSCROLL : HTHSCROLL;
    }
    Insets frame = insets_for(w.style, w.ex_style, is_toplevel(w), 0, false, false);
    if (w.menu_bar_height > 0 && p.y() >= frame.top && p.y() < frame.top + w.menu_bar_height)
        return HTMENU;
    bool caption = (w.style & WS_CAPTION) == WS_CAPTION && !is_toplevel(w);
    int f = caption ? frame.left : frame.top;
    if (caption && p.y() >= f && p.y() < frame.top) return HTCAPTION;
    if (w.style & WS_THICKFRAME) {
        int W = wr.width(), H = wr.height(), c = 8;
        bool left = p.x() < f, right = p.x() >= W - f, top = p.y() < f, bottom = p.y() >= H - f;
        if ((top && p.x() < c) || (left && p.y() < c)) return HTTOPLEFT;
        if ((top && p.x() >= W - c) || (right && p.y() < c)) return HTTOPRIGHT;
        if ((bottom && p.x() < c) || (left && p.y() >= H - c)) return HTBOTTOMLEFT;
        if ((bottom && p.x() >= W - c) || (right && p.y() >= H - c)) return HTBOTTOMRIGHT;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
        if (top) return HTTOP;
        if (bottom) return HTBOTTOM;
    }
    return HTBORDER;
}

// The move and size loop of a window with a layer-drawn frame (a child with a
// caption or a sizing border): the mouse is captured and followed until the
// button comes up; other messages are dispatched meanwhile.
void move_size_loop(HWND hwnd, int edge) {
    auto& s = st();
    Window* w = get(hwnd);
    if (!w) return;
    POINT start = s.last_pos;
    RECT orig = w->rect;
    send(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    if (!get(hwnd)) return;
    SetCapture(hwnd);
    MSG m;
    for (;;) {
        if (GetMessage(&m, nullptr, 0, 0) <= 0) {
            if (m.message == WM_QUIT) PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (!get(hwnd) || s.capture != hwnd) break;
        bool move = m.message == WM_MOUSEMOVE || m.message == WM_NCMOUSEMOVE;
        bool up = m.message == WM_LBUTTONUP || m.message == WM_NCLBUTTONUP;
        if (!move && !up) {
            if (m.message == WM_KEYDOWN && m.wParam == static_cast<WPARAM>(VK_ESCAPE)) {
                SetWindowPos(hwnd, nullptr, orig.left, orig.top, orig.right - orig.left,
                             orig.bottom - orig.top, SWP_NOZORDER | SWP_NOACTIVATE);
                break;
            }
            TranslateMessage(&m);
            DispatchMessage(&m);
            continue;
        }
        int dx = m.pt.x - start.x, dy = m.pt.y - start.y;
        RECT r = orig;
        if (edge == 0) {
            OffsetRect(&r, dx, dy);
        } else {
            // 1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom,
            // 7 bottom-left, 8 bottom-right.
            if (edge == 1 || edge == 4 || edge == 7) r.left = std::min(r.left + dx, r.right);
            if (edge == 2 || edge == 5 || edge == 8) r.right = std::max(r.right + dx, r.left);
            if (edge == 3 || edge == 4 || edge == 5) r.top = std::min(r.top + dy, r.bottom);
            if (edge == 6 || edge == 7 || edge == 8) r.bottom = std::max(r.bottom + dy, r.top);
        }
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (up) break;
    }
    if (s.capture == hwnd) ReleaseCapture();
    if (get(hwnd)) send(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

bool is_input_message(UINT m) {
    return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
           (m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK);
}

} // namespace

std::shared_ptr<InputRecord> recent_input(DWORD id) {
    if (!id) return nullptr;
    for (auto it = st().recent_input.rbegin(); it != st().recent_input.rend(); ++it)
        if ((*it)->id == id) return *it;
    return nullptr;
}

DWORD now32() {
    return static_cast<DWORD>(platform_clock().now_ms());
}

void guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (...) {
        if (!st().pending_exception) st().pending_exception = std::current_exception();
    }
}

void rethrow_pending() {
    auto& s = st();
    if (s.pending_exception) {
        std::exception_ptr e = s.pending_exception;
        s.pending_exception = nullptr;
        std::rethrow_exception(e);
    }
}

void pump_qt() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
    rethrow_pending();
}

LRESULT send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto& s = st();
    Window* w = get(hwnd);
    if (!w || w->is_desktop) return 0;
    if (s.send_depth >= max_send_depth) {
        s.last_error = ERROR_NOT_ENOUGH_QUOTA; // a procedure calling itself without end
        return 0;
    }
    WNDPROC proc = w->proc;
    DepthGuard guard(s.send_depth);
    return proc ? proc(hwnd, message, wparam, lparam)
                : DefWindowProc(hwnd, message, wparam, lparam);
}

void drop_window_messages(HWND hwnd) {
    auto& q = st().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [&](const Queued& m) { return m.msg.hwnd == hwnd; }),
            q.end());
}

void drop_window_timers(HWND hwnd) {
    auto& t = st().timers;
    t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd; }),
            t.end());
}

bool post_input(const MSG& msg, std::shared_ptr<InputRecord> input) {
    auto& s = st();
    if (s.queue.size() >= max_queue) return false;
    // Mouse moves are merged as the platform does: only the latest position
    // of an unbroken run of moves to one window waits in the queue.
    if (msg.message == WM_MOUSEMOVE && !s.queue.empty()) {
        Queued& back = s.queue.back();
        if (back.msg.message == WM_MOUSEMOVE && back.msg.hwnd == msg.hwnd &&
            back.msg.wParam == msg.wParam) {
            back.msg = msg;
            back.input = std::move(input);
            if (back.input) back.msg.lPrivate = back.input->id;
            return true;
        }
    }
    Queued q;
    q.msg = msg;
    q.input = std::move(input);
    if (q.input) {
        q.input->id = s.next_input_id++;
        if (s.next_input_id == 0) s.next_input_id = 1;
        q.msg.lPrivate = q.input->id;
    }
    s.queue.push_back(std::move(q));
    return true;
}

void apply_key_state_on_retrieve(const Queued& q) {
    auto& s = st();
    const MSG& m = q.msg;
    if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) {
        int vk = static_cast<int>(m.wParam & 0xFF);
        bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
        bool up = m.message == WM_KEYUP || m.message == WM_SYSKEYUP;
        if (q.input && !is_modifier_vk(vk)) {
            Qt::KeyboardModifiers mods = q.input->mods;
            set_key(s.keys, VK_SHIFT, mods & Qt::ShiftModifier, false);
            set_key(s.keys, VK_CONTROL, mods & Qt::ControlModifier, false);
            set_key(s.keys, VK_MENU, mods & Qt::AltModifier, false);
        }
        if (down || up) {
            set_key(s.keys, vk, down, !(m.lParam & KF_REPEAT_BIT));
            if (vk == VK_SHIFT) set_key(s.keys, VK_LSHIFT, down, false);
            if (vk == VK_CONTROL) set_key(s.keys, VK_LCONTROL, down, false);
            if (vk == VK_MENU) set_key(s.keys, VK_LMENU, down, false);
        }
        return;
    }
    if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) {
        WPARAM f = m.message == WM_MOUSEWHEEL ? LOWORD(m.wParam) : m.wParam;
        set_key(s.keys, VK_LBUTTON, f & MK_LBUTTON, false);
        set_key(s.keys, VK_RBUTTON, f & MK_RBUTTON, false);
        set_key(s.keys, VK_MBUTTON, f & MK_MBUTTON, false);
        set_key(s.keys, VK_SHIFT, f & MK_SHIFT, false);
        set_key(s.keys, VK_CONTROL, f & MK_CONTROL, false);
        if (q.input) set_key(s.keys, VK_MENU, q.input->mods & Qt::AltModifier, false);
    }
}

} // namespace win

using namespace win;

// ---------------------------------------------------------------------------
// Queue and loops

BOOL GetMessage(MSG* msg, HWND hwnd, UINT first, UINT last) {
    auto& s = st();
    if (!msg || (hwnd && !get(hwnd))) {
        s.last_error = msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER;
        return -1;
    }
    for (;;) {
        pump_qt();
        if (fetch(msg, hwnd, first, last, PM_REMOVE)) {
            s.last_time = msg->time;
            s.last_pos = msg->pt;
            return msg->message == WM_QUIT ? 0 : 1;
        }
        if (hwnd && !get(hwnd)) { // the window went away while waiting
            s.last_error = ERROR_INVALID_WINDOW_HANDLE;
            return -1;
        }
        wait_for_input("GetMessage");
    }
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove) {
    auto& s = st();
    if (!msg) return FALSE;
    if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)) && !get(hwnd)) {
        s.last_error = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    pump_qt();
    if (!fetch(msg, hwnd, first, last, remove)) return FALSE;
    if (remove & PM_REMOVE) {
        s.last_time = msg->time;
        s.last_pos = msg->pt;
    }
    return TRUE;
}

BOOL WaitMessage() {
    MSG m;
    for (;;) {
        pump_qt();
        if (fetch(&m, nullptr, 0, 0, PM_NOREMOVE)) return TRUE;
        wait_for_input("WaitMessage");
    }
}

BOOL TranslateMessage(const MSG* msg) {
    auto& s = st();
    if (!msg) return FALSE;
    bool sys = msg->message == WM_SYSKEYDOWN;
    if (msg->message != WM_KEYDOWN && !sys) {
        return (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) ? TRUE : FALSE;
    }
    std::string chars;
    if (auto rec = recent_input(msg->lPrivate)) {
        chars = bytes(rec->text);
        // Qt gives no text for Ctrl+letter on some platforms: the platform's
        // control characters then.
        if (chars.empty() && (rec->mods & Qt::ControlModifier)) {
            int vk = static_cast<int>(msg->wParam);
            if (vk >= 'A' && vk <= 'Z') chars.push_back(static_cast<char>(vk - 'A' + 1));
        }
        // Nor for Alt+letter on some: the character of the key then, so the
        // menu bar's mnemonics work (WM_SYSCHAR).
        if (chars.empty() && sys && (rec->mods & Qt::AltModifier) &&
            !(rec->mods & Qt::ControlModifier)) {
            int vk = static_cast<int>(msg->wParam);
            bool upper = (rec->mods & Qt::ShiftModifier) != 0;
            if (vk >= 'A' && vk <= 'Z')
                chars.push_back(static_cast<char>(upper ? vk : vk + 32));
            else if (vk >= '0' && vk <= '9')
                chars.push_back(static_cast<char>(vk));
        }
    } else {
        int vk = static_cast<int>(msg->wParam & 0xFF);
        bool shift = (s.keys[VK_SHIFT] & 0x80) != 0;
        bool ctrl = (s.keys[VK_CONTROL] & 0x80) != 0;
        bool caps = (s.keys[VK_CAPITAL] & 0x01) != 0;
        if (vk >= 'A' && vk <= 'Z') {
            if (ctrl)
                chars.push_back(static_cast<char>(vk - 'A' + 1));
            else
                chars.push_back(static_cast<char>((shift != caps) ? vk : vk + 32));
        } else if (vk >= '0' && vk <= '9' && !ctrl) {
            static const char shifted[] = ")!@#$%^&*(";
            chars.push_back(shift ? shifted[vk - '0'] : static_cast<char>(vk));
        } else if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
            chars.push_back(static_cast<char>('0' + vk - VK_NUMPAD0));
        } else {
            // Keys typing one character, plain and with Shift (a US layout).
            struct KeyChar {
                int vk;
                char plain, shifted;
            };
            static const KeyChar keys[] = {
                {VK_SPACE, ' ', ' '},     {VK_RETURN, '\r', '\r'},     {VK_BACK, '\b', '\b'},
                {VK_TAB, '\t', '\t'},     {VK_ESCAPE, '\x1b', '\x1b'}, {VK_OEM_PERIOD, '.', '>'},
                {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'},    {VK_OEM_PLUS, '=', '+'},
                {VK_OEM_2, '/', '?'},     {VK_OEM_1, ';', ':'},        {VK_OEM_7, '\'', '"'},
                {VK_DECIMAL, '.', '.'},   {VK_ADD, '+', '+'},          {VK_SUBTRACT, '-', '-'},
                {VK_MULTIPLY, '*', '*'},  {VK_DIVIDE, '/', '/'},
            };
            for (const KeyChar& k : keys)
                if (k.vk == vk) chars.push_back(shift ? k.shifted : k.plain);
        }
    }
    // The characters come next, before anything already queued.
    for (auto it = chars.rbegin(); it != chars.rend(); ++it) {
        Queued q;
        q.msg = *msg;
        q.msg.message = sys ? WM_SYSCHAR : WM_CHAR;
        q.msg.wParam = static_cast<unsigned char>(*it);
        q.msg.lPrivate = 0;
        s.queue.push_front(std::move(q));
    }
    return TRUE;
}

LRESULT DispatchMessage(const MSG* msg) {
    auto& s = st();
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        // Only a procedure of a live timer is called: a posted WM_TIMER with a
        // made-up lParam is not a call into arbitrary memory.
        bool live = std::any_of(s.timers.begin(), s.timers.end(), [&](const Timer& t) {
            return t.hwnd == msg->hwnd && t.id == msg->wParam && t.proc == proc;
        });
        if (!live) return 0;
        DispatchGuard guard(0);
        proc(msg->hwnd, WM_TIMER, msg->wParam, now32());
        return 0;
    }
    Window* w = get(msg->hwnd);
    if (!w) return 0;
    DispatchGuard guard(msg->lPrivate);
    if (msg->message == WM_PAINT) {
        int before = w->begin_paint_count;
        QRegion pending = w->update;
        LRESULT r = send(msg->hwnd, WM_PAINT, msg->wParam, msg->lParam);
        // A procedure that neither painted nor validated would get WM_PAINT
        // for ever; the region it was given counts as painted.
        if (Window* after = get(msg->hwnd); after && after->begin_paint_count == before)
            after->update -= pending;
        return r;
    }
    return send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    // The queue belongs to one thread; another thread's post is refused
    // rather than racing with it.
    if (!on_owner_thread()) return FALSE;
    auto& s = st();
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> tops = s.toplevels;
        for (HWND t : tops) PostMessage(t, message, wparam, lparam);
        return TRUE;
    }
    if (hwnd && !get(hwnd)) {
        s.last_error = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    if (s.queue.size() >= max_queue) {
        s.last_error = ERROR_NOT_ENOUGH_QUOTA;
        return FALSE;
    }
    Queued q;
    q.msg = MSG{hwnd, message, wparam, lparam, now32(), s.cursor_pos, 0};
    s.queue.push_back(std::move(q));
    return TRUE;
}

BOOL PostThreadMessage(DWORD, UINT message, WPARAM wparam, LPARAM lparam) {
    return PostMessage(nullptr, message, wparam, lparam);
}

void PostQuitMessage(int exit_code) {
    st().quit_pending = true;
    st().quit_code = exit_code;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!on_owner_thread()) return 0;
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> tops = st().toplevels;
        for (HWND t : tops)
            if (get(t)) send(t, message, wparam, lparam);
        // Servers in other programs are asked through the DDE bridge.
        if (message == WM_DDE_INITIATE) dde_remote_initiate(wparam, lparam);
        return 0;
    }
    if (!get_or_fail(hwnd)) return 0;
    return send(hwnd, message, wparam, lparam);
}

LRESULT SendMessageTimeout(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT, UINT,
                           DWORD_PTR* result) {
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> tops = st().toplevels;
        for (HWND t : tops)
            if (get(t)) send(t, message, wparam, lparam);
        if (message == WM_DDE_INITIATE) dde_remote_initiate(wparam, lparam);
        if (result) *result = 0;
        return 1;
    }
    if (!get_or_fail(hwnd)) return 0;
    LRESULT r = send(hwnd, message, wparam, lparam);
    if (result) *result = static_cast<DWORD_PTR>(r);
    return 1;
}

BOOL SendNotifyMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (hwnd != HWND_BROADCAST && !get_or_fail(hwnd)) return FALSE;
    SendMessage(hwnd, message, wparam, lparam);
    return TRUE;
}

BOOL InSendMessage() {
    return FALSE; // one thread: no message comes from another
}

LONG GetMessageTime() {
    return static_cast<LONG>(st().last_time);
}

DWORD GetMessagePos() {
    POINT p = st().last_pos;
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

BOOL GetInputState() {
    for (const Queued& q : st().queue)
        if (q.input) return TRUE;
    return FALSE;
}

UINT RegisterWindowMessage(const char* name) {
    auto& s = st();
    if (!name || !*name) return 0;
    std::string key = lower(name);
    auto it = s.registered_messages.find(key);
    if (it != s.registered_messages.end()) return it->second;
    UINT id = 0xC000 + static_cast<UINT>(s.registered_messages.size());
    if (id > 0xFFFF) return 0;
    s.registered_messages[key] = id;
    return id;
}

// ---------------------------------------------------------------------------
// Default handling

namespace {

// The default cursor: the parent's choice first, else the class cursor over
// the client area and a sizing arrow over each border.
LRESULT default_set_cursor(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    Window* w = get(hwnd);
    if (!w) return FALSE;
    if (w->parent && send(w->parent, WM_SETCURSOR, wparam, lparam)) return TRUE;
    w = get(hwnd);
    if (!w) return FALSE;
    auto hit = static_cast<short>(LOWORD(lparam));
    switch (hit) {
    case HTCLIENT:
        if (w->cls->cursor) {
            SetCursor(w->cls->cursor);
            return TRUE;
        }
        return FALSE;
    case HTLEFT:
    case HTRIGHT:
        SetCursor(LoadCursor(nullptr, IDC_SIZEWE));
        return TRUE;
    case HTTOP:
    case HTBOTTOM:
        SetCursor(LoadCursor(nullptr, IDC_SIZENS));
        return TRUE;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        SetCursor(LoadCursor(nullptr, IDC_SIZENWSE));
        return TRUE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        SetCursor(LoadCursor(nullptr, IDC_SIZENESW));
        return TRUE;
    case HTERROR:
    case HTNOWHERE:
        return FALSE;
    default:
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        return TRUE;
    }
}

// The window menu's commands: close, minimise, maximise, restore, the move
// and size loops of a child window, and the menu bar's key.
LRESULT default_sys_command(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    auto& s = st();
    Window* w = get(hwnd);
    if (!w) return 0;
    switch (wparam & 0xFFF0) {
    case SC_CLOSE:
        send(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case SC_MINIMIZE:
        ShowWindow(hwnd, SW_MINIMIZE);
        return 0;
    case SC_MAXIMIZE:
        ShowWindow(hwnd, SW_SHOWMAXIMIZED);
        return 0;
    case SC_RESTORE:
        ShowWindow(hwnd, SW_RESTORE);
        return 0;
    case SC_MOVE:
        if (!is_toplevel(*w) && !(w->style & (WS_MAXIMIZE | WS_MINIMIZE))) move_size_loop(hwnd, 0);
        return 0;
    case SC_SIZE:
        if (!is_toplevel(*w) && !(w->style & (WS_MAXIMIZE | WS_MINIMIZE)))
            move_size_loop(hwnd, static_cast<int>(wparam & 0x0F));
        return 0;
    case SC_KEYMENU: {
        // The menu bar belongs to the top-level window.
        HWND root = root_of(hwnd);
        if (root && root != hwnd) return send(root, WM_SYSCOMMAND, wparam, lparam);
        auto ch = static_cast<UINT>(lparam & 0xFF);
        BOOL opened = s.menu_key ? s.menu_key(hwnd, ch) : FALSE;
        if (!opened && ch) MessageBeep(0);
        return 0;
    }
    default:
        return 0;
    }
}

// Alt+F4 closes the top-level window and F10 opens its menu bar (key down);
// Alt+character opens the bar's pop-up with that mnemonic (character).
void default_sys_key(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SYSKEYDOWN) {
        if (wparam == static_cast<WPARAM>(VK_F4) && (lparam & KF_ALTDOWN_BIT)) {
            HWND root = root_of(hwnd);
            if (root) send(root, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (wparam == static_cast<WPARAM>(VK_F10) && !(lparam & KF_ALTDOWN_BIT) &&
                   !(st().keys[VK_SHIFT] & 0x80) && !(st().keys[VK_CONTROL] & 0x80)) {
            send(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0); // F10: the menu bar
        }
        return;
    }
    // Alt+character (made by TranslateMessage): the bar's pop-up with that
    // mnemonic. Alt+Space would be the window menu, which the window
    // manager's frame has; characters without Alt (keys while no window
    // has the focus) open nothing.
    if ((lparam & KF_ALTDOWN_BIT) && wparam > ' ' && wparam < 256)
        send(hwnd, WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wparam));
    else if (!(lparam & KF_ALTDOWN_BIT))
        MessageBeep(0);
}

// A moved or sized window hears WM_MOVE and WM_SIZE with its client place.
void default_pos_changed(HWND hwnd, const WINDOWPOS* pos) {
    Window* w = get(hwnd);
    if (!w) return;
    if (!pos) return;
    if (!(pos->flags & SWP_NOMOVE)) {
        Insets i = insets_of(*w);
        send(hwnd, WM_MOVE, 0,
             MAKELPARAM(static_cast<WORD>(w->rect.left + i.left),
                        static_cast<WORD>(w->rect.top + i.top)));
        w = get(hwnd);
        if (!w) return;
    }
    if (!(pos->flags & SWP_NOSIZE)) {
        QSize cs = client_size(*w);
        WPARAM kind = (w->style & WS_MAXIMIZE)   ? SIZE_MAXIMIZED
                      : (w->style & WS_MINIMIZE) ? SIZE_MINIMIZED
                                                 : SIZE_RESTORED;
        send(hwnd, WM_SIZE, kind, size_lparam(cs));
    }
}

} // namespace

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto& s = st();
    Window* w = get(hwnd);
    if (!w || w->is_desktop) return 0;
    if (w->control_widget && is_input_message(message)) {
        win_forward_input(hwnd, message, wparam, lparam);
        // System keys go on to the default handling (menu keys, Alt+F4), as
        // a control's own procedure passes them on.
        if (message != WM_SYSKEYDOWN && message != WM_SYSCHAR) return 0;
        w = get(hwnd);
        if (!w) return 0;
    }
    switch (message) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lparam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
            w->text = cs->lpszName;
            if (w->widget && is_toplevel(*w)) w->widget->setWindowTitle(qstr(w->text));
        }
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SETTEXT: {
        auto* text = reinterpret_cast<const char*>(lparam);
        w->text = text ? text : "";
        if (w->widget) {
            if (is_toplevel(*w)) w->widget->setWindowTitle(qstr(w->text));
            w->widget->update();
        }
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char*>(lparam);
        if (!buffer || wparam == 0) return 0;
        std::size_t n = std::min<std::size_t>(w->text.size(), wparam - 1);
        std::memcpy(buffer, w->text.data(), n);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_ERASEBKGND: {
        HBRUSH brush = w->cls->background;
        if (!brush || !wparam) return 0;
        auto v = reinterpret_cast<std::uintptr_t>(brush);
        if (v >= 1 && v <= 31) brush = GetSysColorBrush(static_cast<int>(v - 1));
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wparam), &rc, brush);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCHITTEST:
        return default_hit_test(*w, lparam);
    case WM_SETCURSOR:
        return default_set_cursor(hwnd, wparam, lparam);
    case WM_MOUSEACTIVATE:
        if (w->parent) {
            LRESULT r = send(w->parent, WM_MOUSEACTIVATE, wparam, lparam);
            if (r) return r;
        }
        return MA_ACTIVATE;
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE && !HIWORD(wparam)) SetFocus(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        return default_sys_command(hwnd, wparam, lparam);
    case WM_NCLBUTTONDOWN: {
        auto hit = static_cast<LRESULT>(wparam);
        if (hit == HTCAPTION)
            send(hwnd, WM_SYSCOMMAND, SC_MOVE | 2, lparam);
        else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)
            send(hwnd, WM_SYSCOMMAND, SC_SIZE | static_cast<WPARAM>(hit - HTLEFT + 1), lparam);
        return 0;
    }
    case WM_NCLBUTTONDBLCLK:
        if (static_cast<LRESULT>(wparam) == HTCAPTION && (w->style & WS_MAXIMIZEBOX))
            send(hwnd, WM_SYSCOMMAND, (w->style & WS_MAXIMIZE) ? SC_RESTORE : SC_MAXIMIZE, lparam);
        return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSCHAR:
        default_sys_key(hwnd, message, wparam, lparam);
        return 0;
    case WM_WINDOWPOSCHANGED:
        default_pos_changed(hwnd, reinterpret_cast<const WINDOWPOS*>(lparam));
        return 0;
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
        if (w->parent) return send(w->parent, message, wparam, lparam);
        return 0;
    case WM_CANCELMODE:
        if (s.capture == hwnd) ReleaseCapture();
        return 0;
    case WM_SETICON: {
        HICON old = wparam ? w->icon_big : w->icon_small;
        (wparam ? w->icon_big : w->icon_small) = reinterpret_cast<HICON>(lparam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wparam ? w->icon_big : w->icon_small);
    case WM_QUERYENDSESSION:
    case WM_QUERYOPEN:
    case WM_NCACTIVATE:
        return TRUE;
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
        return -1;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return ctl_colour(reinterpret_cast<HDC>(wparam), COLOR_BTNFACE, COLOR_WINDOWTEXT);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return ctl_colour(reinterpret_cast<HDC>(wparam), COLOR_WINDOW, COLOR_WINDOWTEXT);
    case WM_CTLCOLORSCROLLBAR:
        return ctl_colour(reinterpret_cast<HDC>(wparam), COLOR_SCROLLBAR, COLOR_WINDOWTEXT);
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Timers and time

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc) {
    auto& s = st();
    if (hwnd && !get_or_fail(hwnd)) return 0;
    UINT interval = std::clamp<UINT>(elapse_ms, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    std::uint64_t due = platform_clock().now_ms() + interval;
    if (!hwnd) {
        bool found = false;
        for (Timer& t : s.timers)
            if (!t.hwnd && t.id == id && id != 0) found = true;
        if (!found) {
            do {
                id = s.next_free_timer_id++;
                if (s.next_free_timer_id == 0) s.next_free_timer_id = 0x7FF0;
            } while (std::any_of(s.timers.begin(), s.timers.end(),
                                 [&](const Timer& t) { return !t.hwnd && t.id == id; }));
        }
    }
    for (Timer& t : s.timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.interval = interval;
            t.due = due;
            t.proc = proc;
            return id ? id : 1;
        }
    }
    s.timers.push_back(Timer{hwnd, id, interval, due, proc, s.timer_order++});
    return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    auto& t = st().timers;
    auto it = std::find_if(t.begin(), t.end(),
                           [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
    if (it == t.end()) return FALSE;
    t.erase(it);
    return TRUE;
}

DWORD GetTickCount() {
    return now32();
}

void Sleep(DWORD ms) {
    platform_clock().sleep_ms(ms);
}

UINT GetDoubleClickTime() {
    return 500;
}

std::uint64_t win_next_timer_due() {
    std::uint64_t best = 0;
    for (const Timer& t : st().timers)
        if (!best || t.due < best) best = t.due;
    return best;
}

// ---------------------------------------------------------------------------
// Keyboard state

SHORT GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    BYTE v = st().keys[vk];
    return static_cast<SHORT>(((v & 0x80) ? 0xFF80 : 0) | (v & 0x01));
}

SHORT GetAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    return static_cast<SHORT>((st().async_keys[vk] & 0x80) ? 0x8000 : 0);
}

BOOL GetKeyboardState(BYTE* state256) {
    if (!state256) return FALSE;
    std::memcpy(state256, st().keys, 256);
    return TRUE;
}

BOOL SetKeyboardState(const BYTE* state256) {
    if (!state256) return FALSE;
    std::memcpy(st().keys, state256, 256);
    return TRUE;
}

void win_set_key_state(int vk, bool down, bool toggled) {
    if (vk < 0 || vk > 255) return;
    auto& s = st();
    BYTE v = static_cast<BYTE>((down ? 0x80 : 0) | (toggled ? 0x01 : 0));
    s.keys[vk] = v;
    s.async_keys[vk] = v;
}

// ---------------------------------------------------------------------------
// Cursors and icons

namespace {

struct StdCursor {
    int id;
    Qt::CursorShape shape;
};
constexpr StdCursor std_cursors[] = {
    {IDC_ARROW_ID, Qt::ArrowCursor},        {IDC_IBEAM_ID, Qt::IBeamCursor},
    {IDC_WAIT_ID, Qt::WaitCursor},          {IDC_CROSS_ID, Qt::CrossCursor},
    {IDC_UPARROW_ID, Qt::UpArrowCursor},    {IDC_SIZENWSE_ID, Qt::SizeFDiagCursor},
    {IDC_SIZENESW_ID, Qt::SizeBDiagCursor}, {IDC_SIZEWE_ID, Qt::SizeHorCursor},
    {IDC_SIZENS_ID, Qt::SizeVerCursor},     {IDC_SIZEALL_ID, Qt::SizeAllCursor},
    {IDC_NO_ID, Qt::ForbiddenCursor},       {IDC_HAND_ID, Qt::PointingHandCursor},
    {IDC_APPSTARTING_ID, Qt::BusyCursor},   {IDC_HELP_ID, Qt::WhatsThisCursor},
};

// Cursor and icon handles: 0x00C00000 | index + 1 (no other layer's token
// looks like this).
constexpr std::uint32_t cursor_tag = 0x00C00000u;

HCURSOR cursor_token(std::size_t index) {
    return handle_from_token<HCURSOR>(cursor_tag | static_cast<std::uint32_t>(index + 1));
}

std::map<int, HCURSOR>& std_cursor_handles() {
    static std::map<int, HCURSOR> m;
    return m;
}
std::map<int, HICON>& std_icon_handles() {
    static std::map<int, HICON> m;
    return m;
}

} // namespace

namespace win {

QCursor cursor_of(HCURSOR cursor) {
    auto raw = reinterpret_cast<std::uintptr_t>(cursor);
    if ((raw & 0xFFF00000u) != cursor_tag || (raw >> 32) != 0) return QCursor(Qt::ArrowCursor);
    std::size_t index = (raw & 0xFFFFF) - 1;
    auto& c = st().cursors;
    return index < c.size() ? c[index] : QCursor(Qt::ArrowCursor);
}

} // namespace win

HCURSOR win_make_cursor(const QCursor& cursor) {
    auto& c = st().cursors;
    if (c.size() >= 0xFFFFF) return nullptr;
    c.push_back(cursor);
    return cursor_token(c.size() - 1);
}

void win_set_resource_cursor_loader(ResourceCursorLoader loader) {
    st().cursor_loader = loader;
}

HCURSOR LoadCursor(HINSTANCE instance, const char* name) {
    auto& s = st();
    if (!name) return nullptr;
    if (!instance && IS_INTRESOURCE(name)) {
        int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
        auto& handles = std_cursor_handles();
        if (auto it = handles.find(id); it != handles.end()) return it->second;
        for (const StdCursor& sc : std_cursors)
            if (sc.id == id) return handles[id] = win_make_cursor(QCursor(sc.shape));
        return nullptr;
    }
    return s.cursor_loader ? s.cursor_loader(instance, name, false) : nullptr;
}

HICON LoadIcon(HINSTANCE instance, const char* name) {
    auto& s = st();
    if (!name) return nullptr;
    if (!instance && IS_INTRESOURCE(name)) {
        int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
        if (id < IDI_APPLICATION_ID || id > IDI_ASTERISK_ID + 2) return nullptr;
        auto& handles = std_icon_handles();
        if (auto it = handles.find(id); it != handles.end()) return it->second;
        HCURSOR c = win_make_cursor(QCursor());
        return handles[id] = reinterpret_cast<HICON>(c);
    }
    return s.cursor_loader ? reinterpret_cast<HICON>(s.cursor_loader(instance, name, true))
                           : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    auto& s = st();
    HCURSOR old = s.current_cursor;
    s.current_cursor = cursor;
    if (s.cursor_widget) {
        if (cursor)
            s.cursor_widget->setCursor(cursor_of(cursor));
        else
            s.cursor_widget->setCursor(Qt::BlankCursor);
    }
    return old;
}

HCURSOR GetCursor() {
    return st().current_cursor;
}

BOOL GetCursorPos(POINT* point) {
    if (!point) return FALSE;
    *point = st().cursor_pos;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    st().cursor_pos = {x, y};
    if (!qt_offscreen()) QCursor::setPos(x, y);
    return TRUE;
}

int ShowCursor(BOOL show) {
    auto& s = st();
    s.cursor_count += show ? 1 : -1;
    return s.cursor_count;
}

BOOL DestroyCursor(HCURSOR) {
    return TRUE; // cursors live as long as the process (as shared system cursors do)
}

BOOL DestroyIcon(HICON) {
    return TRUE;
}

// ---------------------------------------------------------------------------
// Test seams

void win_push_idle_action(std::function<void()> action) {
    if (action) st().idle_actions.push_back(std::move(action));
}

void win_clear_idle_actions() {
    st().idle_actions.clear();
}

void win_set_stall_handler(StallHandler handler) {
    st().stall = std::move(handler);
}

bool win_queue_pending() {
    return !st().queue.empty();
}

void win_reset_all() {
    auto& s = st();
    for (HWND h : std::vector<HWND>(s.toplevels)) DestroyWindow(h);
    for (HWND h : std::vector<HWND>(s.message_only)) DestroyWindow(h);
    s.queue.clear();
    s.quit_pending = false;
    s.quit_code = 0;
    s.timers.clear();
    std::memset(s.keys, 0, sizeof s.keys);
    std::memset(s.async_keys, 0, sizeof s.async_keys);
    s.focus = s.active = s.capture = nullptr;
    s.idle_actions.clear();
    s.stall = nullptr;
    s.recent_input.clear();
    s.dispatching.clear();
    s.dirty_screens.clear();
    s.pending_exception = nullptr;
    s.last_error = 0;
    s.cascade = 0;
    for (auto it = s.classes.begin(); it != s.classes.end();) {
        if (it->second->windows == 0)
            it = s.classes.erase(it);
        else
            ++it;
    }
    if (QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
