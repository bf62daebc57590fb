#include "tests/driver/driver.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/win_internal.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace test_driver {

namespace {

struct DriverState {
    bool quit = false;
    int quit_code = 0;
    QPointer<QWidget> grab; // Qt's implicit grab: the widget a press went to
    Qt::MouseButtons held;
};

DriverState& ds() {
    static DriverState d;
    return d;
}

ManualClock& manual_clock() {
    static ManualClock c(1000);
    return c;
}

Qt::KeyboardModifiers qt_mods(unsigned mods) {
    Qt::KeyboardModifiers m;
    if (mods & shift) m |= Qt::ShiftModifier;
    if (mods & ctrl) m |= Qt::ControlModifier;
    if (mods & alt) m |= Qt::AltModifier;
    return m;
}

Qt::MouseButton qt_button(Button b) {
    switch (b) {
    case Button::right:
        return Qt::RightButton;
    case Button::middle:
        return Qt::MiddleButton;
    default:
        return Qt::LeftButton;
    }
}

QPoint global_of(HWND hwnd, int x, int y) {
    win::Window* w = win::get(hwnd);
    if (!w) return QPoint(x, y);
    return win::client_origin_screen(*w) + QPoint(x, y);
}

// The Qt widget a live event at `global` would go to: the implicit grab while a
// button is held, else the deepest widget of the window's top-level there.
QWidget* receiver_at(HWND hwnd, const QPoint& global) {
    if (ds().grab && ds().held) return ds().grab;
    QWidget* top = win_widget(win::root_of(hwnd));
    if (!top) return nullptr;
    QWidget* child = top->childAt(top->mapFromGlobal(global));
    if (child) return child;
    if (top->rect().contains(top->mapFromGlobal(global))) return top;
    return win_widget(hwnd) ? win_widget(hwnd) : top;
}

void send_mouse(HWND hwnd, QEvent::Type type, int x, int y, Qt::MouseButton button, unsigned mods) {
    if (!win::get(hwnd)) {
        std::fprintf(stderr, "test driver: mouse action on a window that is gone\n");
        return;
    }
    QPoint global = global_of(hwnd, x, y);
    QWidget* target = receiver_at(hwnd, global);
    if (!target) return;
    auto& d = ds();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        d.held |= button;
        d.grab = target;
    } else if (type == QEvent::MouseButtonRelease) {
        d.held &= ~button;
    }
    QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, QPointF(global), button, d.held, qt_mods(mods));
    QApplication::sendEvent(target, &event);
    if (!d.held) d.grab = nullptr;
    win::rethrow_pending();
}

QWidget* key_receiver() {
    if (QWidget* f = QApplication::focusWidget(); f && win_from_widget(f)) return f;
    if (QWidget* w = win_widget(GetFocus())) return w;
    if (QWidget* w = win_widget(GetActiveWindow())) return w;
    for (HWND t : win::st().toplevels)
        if (QWidget* w = win_widget(t)) return w;
    return nullptr;
}

int qt_key_of(int vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return vk;
    if (vk >= VK_F1 && vk <= VK_F1 + 23) return Qt::Key_F1 + (vk - VK_F1);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return Qt::Key_0 + (vk - VK_NUMPAD0);
    switch (vk) {
    case VK_ESCAPE:
        return Qt::Key_Escape;
    case VK_TAB:
        return Qt::Key_Tab;
    case VK_BACK:
        return Qt::Key_Backspace;
    case VK_RETURN:
        return Qt::Key_Return;
    case VK_INSERT:
        return Qt::Key_Insert;
    case VK_DELETE:
        return Qt::Key_Delete;
    case VK_HOME:
        return Qt::Key_Home;
    case VK_END:
        return Qt::Key_End;
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_UP:
        return Qt::Key_Up;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_DOWN:
        return Qt::Key_Down;
    case VK_PRIOR:
        return Qt::Key_PageUp;
    case VK_NEXT:
        return Qt::Key_PageDown;
    case VK_SHIFT:
        return Qt::Key_Shift;
    case VK_CONTROL:
        return Qt::Key_Control;
    case VK_MENU:
        return Qt::Key_Alt;
    case VK_SPACE:
        return Qt::Key_Space;
    case VK_HELP:
        return Qt::Key_Help;
    case VK_CAPITAL:
        return Qt::Key_CapsLock;
    case VK_PAUSE:
        return Qt::Key_Pause;
    case VK_OEM_PERIOD:
    case VK_DECIMAL:
        return Qt::Key_Period;
    case VK_OEM_COMMA:
        return Qt::Key_Comma;
    case VK_OEM_MINUS:
    case VK_SUBTRACT:
        return Qt::Key_Minus;
    case VK_OEM_PLUS:
        return Qt::Key_Equal;
    case VK_ADD:
        return Qt::Key_Plus;
    case VK_MULTIPLY:
        return Qt::Key_Asterisk;
    case VK_OEM_2:
    case VK_DIVIDE:
        return Qt::Key_Slash;
    case VK_OEM_1:
        return Qt::Key_Semicolon;
    case VK_OEM_7:
        return Qt::Key_Apostrophe;
    case VK_OEM_4:
        return Qt::Key_BracketLeft;
    case VK_OEM_5:
        return Qt::Key_Backslash;
    case VK_OEM_6:
        return Qt::Key_BracketRight;
    case VK_OEM_3:
        return Qt::Key_QuoteLeft;
    default:
        return Qt::Key_unknown;
    }
}

Qt::KeyboardModifiers keypad_of(int vk) {
    return (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE) ? Qt::KeypadModifier : Qt::NoModifier;
}

QString text_of(int vk, unsigned mods) {
    bool sh = mods & shift;
    if (mods & ctrl) {
        if (vk >= 'A' && vk <= 'Z') return QString(QChar(vk - 'A' + 1));
        return QString();
    }
    if (mods & alt) return QString();
    if (vk >= 'A' && vk <= 'Z') return QString(QChar(sh ? vk : vk + 32));
    if (vk >= '0' && vk <= '9') {
        static const char shifted[] = ")!@#$%^&*(";
        return QString(QChar(sh ? shifted[vk - '0'] : vk));
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return QString(QChar('0' + vk - VK_NUMPAD0));
    switch (vk) {
    case VK_SPACE:
        return " ";
    case VK_RETURN:
        return "\r";
    case VK_TAB:
        return "\t";
    case VK_ESCAPE:
        return "\x1b";
    case VK_BACK:
        return "\b";
    default:
        break;
    }
    // The punctuation keys of a US layout, plain and shifted.
    struct Punctuation {
        int vk;
        char plain, shifted;
    };
    static const Punctuation keys[] = {
        {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'},
        {VK_OEM_PLUS, '=', '+'},   {VK_OEM_2, '/', '?'},     {VK_OEM_1, ';', ':'},
        {VK_OEM_7, '\'', '"'},     {VK_OEM_4, '[', '{'},     {VK_OEM_5, '\\', '|'},
        {VK_OEM_6, ']', '}'},      {VK_OEM_3, '`', '~'},
    };
    for (const Punctuation& k : keys)
        if (k.vk == vk) return QString(QLatin1Char(sh ? k.shifted : k.plain));
    return QString();
}

void send_key(QEvent::Type type, int qt_key, Qt::KeyboardModifiers mods, const QString& text) {
    QWidget* target = key_receiver();
    if (!target) {
        std::fprintf(stderr, "test driver: no window to type into\n");
        return;
    }
    QKeyEvent event(type, qt_key, mods, text);
    QApplication::sendEvent(target, &event);
    win::rethrow_pending();
}

void modifier_keys(unsigned mods, bool down) {
    static const struct {
        unsigned flag;
        int key;
        Qt::KeyboardModifier mod;
    } order[] = {{ctrl, Qt::Key_Control, Qt::ControlModifier},
                 {shift, Qt::Key_Shift, Qt::ShiftModifier},
                 {alt, Qt::Key_Alt, Qt::AltModifier}};
    Qt::KeyboardModifiers held;
    if (down) {
        for (const auto& m : order)
            if (mods & m.flag) {
                send_key(QEvent::KeyPress, m.key, held, QString());
                held |= m.mod;
            }
    } else {
        held = qt_mods(mods);
        for (int i = 2; i >= 0; --i)
            if (mods & order[i].flag) {
                held &= ~order[i].mod;
                send_key(QEvent::KeyRelease, order[i].key, held | order[i].mod, QString());
            }
    }
}

} // namespace

void start() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    platform_ensure_application();
    set_platform_clock(&manual_clock());
}

void reset() {
    win_reset_all();
    ds() = DriverState{};
}

ManualClock& clock() {
    return manual_clock();
}

std::uint64_t now() {
    return manual_clock().now_ms();
}

int run_until_idle(int limit, bool translate) {
    MSG m;
    int count = 0;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            ds().quit = true;
            ds().quit_code = static_cast<int>(m.wParam);
            break;
        }
        if (translate) TranslateMessage(&m);
        DispatchMessage(&m);
        if (++count >= limit) {
            std::fprintf(stderr, "test driver: still not idle after %d messages\n", count);
            return -1;
        }
    }
    win::flush_screens();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return count;
}

void advance(std::uint64_t ms) {
    ManualClock& c = manual_clock();
    std::uint64_t target = c.now_ms() + ms;
    run_until_idle();
    for (int guard = 0; guard < 1000000; ++guard) {
        std::uint64_t due = win_next_timer_due();
        if (!due || due > target) break;
        c.set(due);
        run_until_idle();
    }
    c.set(target);
    run_until_idle();
}

bool quit_seen() {
    return ds().quit;
}

int quit_code() {
    return ds().quit_code;
}

void mouse_move(HWND hwnd, int x, int y, unsigned mods) {
    send_mouse(hwnd, QEvent::MouseMove, x, y, Qt::NoButton, mods);
}

void mouse_down(HWND hwnd, int x, int y, Button button, unsigned mods) {
    send_mouse(hwnd, QEvent::MouseButtonPress, x, y, qt_button(button), mods);
}

void mouse_up(HWND hwnd, int x, int y, Button button, unsigned mods) {
    send_mouse(hwnd, QEvent::MouseButtonRelease, x, y, qt_button(button), mods);
}

void click(HWND hwnd, int x, int y, Button button, unsigned mods) {
    mouse_down(hwnd, x, y, button, mods);
    mouse_up(hwnd, x, y, button, mods);
}

void double_click(HWND hwnd, int x, int y, Button button, unsigned mods) {
    click(hwnd, x, y, button, mods);
    send_mouse(hwnd, QEvent::MouseButtonDblClick, x, y, qt_button(button), mods);
    mouse_up(hwnd, x, y, button, mods);
}

void drag(HWND hwnd, POINT from, POINT to, int steps, Button button, unsigned mods) {
    if (steps < 1) steps = 1;
    mouse_down(hwnd, from.x, from.y, button, mods);
    for (int i = 1; i <= steps; ++i) {
        int x = from.x + (to.x - from.x) * i / steps;
        int y = from.y + (to.y - from.y) * i / steps;
        mouse_move(hwnd, x, y, mods);
    }
    mouse_up(hwnd, to.x, to.y, button, mods);
}

void wheel(HWND hwnd, int x, int y, int delta) {
    if (!win::get(hwnd)) return;
    QPoint global = global_of(hwnd, x, y);
    QWidget* target = receiver_at(hwnd, global);
    if (!target) return;
    QWheelEvent event(target->mapFromGlobal(QPointF(global)), QPointF(global), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
    win::rethrow_pending();
}

void key_down(int vk, unsigned mods) {
    modifier_keys(mods, true);
    send_key(QEvent::KeyPress, qt_key_of(vk), qt_mods(mods) | keypad_of(vk), text_of(vk, mods));
}

void key_up(int vk, unsigned mods) {
    send_key(QEvent::KeyRelease, qt_key_of(vk), qt_mods(mods) | keypad_of(vk), QString());
    modifier_keys(mods, false);
}

void press_key(int vk, unsigned mods) {
    key_down(vk, mods);
    key_up(vk, mods);
}

void type_text(const std::string& text) {
    static const std::string shifted_digits = ")!@#$%^&*(";
    static const struct {
        char c;
        int vk;
        bool sh;
    } punct[] = {
        {' ', VK_SPACE, false},     {'.', VK_OEM_PERIOD, false}, {'>', VK_OEM_PERIOD, true},
        {',', VK_OEM_COMMA, false}, {'<', VK_OEM_COMMA, true},   {'-', VK_OEM_MINUS, false},
        {'_', VK_OEM_MINUS, true},  {'=', VK_OEM_PLUS, false},   {'+', VK_OEM_PLUS, true},
        {'/', VK_OEM_2, false},     {'?', VK_OEM_2, true},       {';', VK_OEM_1, false},
        {':', VK_OEM_1, true},      {'\'', VK_OEM_7, false},     {'"', VK_OEM_7, true},
        {'[', VK_OEM_4, false},     {'{', VK_OEM_4, true},       {'\\', VK_OEM_5, false},
        {'|', VK_OEM_5, true},      {']', VK_OEM_6, false},      {'}', VK_OEM_6, true},
        {'`', VK_OEM_3, false},     {'~', VK_OEM_3, true},       {'\r', VK_RETURN, false},
        {'\n', VK_RETURN, false},   {'\t', VK_TAB, false}};
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        int vk = 0;
        bool sh = false;
        if (std::isalpha(c) && c < 128) {
            vk = std::toupper(c);
            sh = std::isupper(c) != 0;
        } else if (c >= '0' && c <= '9') {
            vk = c;
        } else if (auto pos = shifted_digits.find(static_cast<char>(c)); pos != std::string::npos) {
            vk = '0' + static_cast<int>(pos);
            sh = true;
        } else {
            for (const auto& p : punct)
                if (p.c == static_cast<char>(c)) {
                    vk = p.vk;
                    sh = p.sh;
                }
        }
        if (!vk) { // no key for it: the character as text alone
            QString t(QChar(static_cast<char16_t>(c)));
            send_key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, t);
            send_key(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString());
            continue;
        }
        press_key(vk, sh ? shift : none);
    }
}

void on_idle(std::function<void()> action) {
    win_push_idle_action(std::move(action));
}

namespace {
bool class_is(HWND h, const char* class_name) {
    char name[256];
    GetClassName(h, name, sizeof name);
    return win::lower(name) == win::lower(class_name);
}
bool text_is(HWND h, const char* text) {
    if (!text) return true;
    win::Window* w = win::get(h);
    return w && w->text == text;
}
std::vector<HWND> all_windows() {
    std::vector<HWND> out;
    for (HWND t : std::vector<HWND>(win::st().toplevels)) {
        out.push_back(t);
        for (HWND d : win::descendants(t)) out.push_back(d);
    }
    for (HWND t : win::st().message_only) out.push_back(t);
    return out;
}
} // namespace

HWND find_window(const char* class_name, const char* text) {
    for (HWND h : all_windows())
        if ((!class_name || class_is(h, class_name)) && text_is(h, text)) return h;
    return nullptr;
}

std::vector<HWND> find_windows(const char* class_name) {
    std::vector<HWND> out;
    for (HWND h : all_windows())
        if (!class_name || class_is(h, class_name)) out.push_back(h);
    return out;
}

HWND find_child(HWND parent, int id) {
    return GetDlgItem(parent, id);
}

QImage image(HWND hwnd) {
    return win_backing_image(hwnd);
}

bool save_png(HWND hwnd, const std::string& path) {
    QImage img = image(hwnd);
    return !img.isNull() && img.save(QString::fromStdString(path), "PNG");
}

std::string item_text(HWND dialog, int id) {
    std::vector<char> buf(256);
    for (;;) {
        const UINT n = GetDlgItemText(dialog, id, buf.data(), static_cast<int>(buf.size()));
        if (n + 1 < buf.size() || buf.size() >= (1u << 20)) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string list_text(HWND list, int row) {
    const LRESULT n = SendMessage(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (n < 0) return {}; // LB_ERR: no such row
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    if (SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(row),
                    reinterpret_cast<LPARAM>(text.data())) < 0)
        return {};
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::vector<std::string> list_texts(HWND list) {
    std::vector<std::string> out;
    const LRESULT n = SendMessage(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) out.push_back(list_text(list, static_cast<int>(i)));
    return out;
}

int count_colour(const QImage& image, COLORREF colour) {
    return count_colour(image, image.rect(), colour);
}

int count_colour(const QImage& image, QRect box, COLORREF colour) {
    const QRgb want = qRgb(GetRValue(colour), GetGValue(colour), GetBValue(colour)) & 0xFFFFFF;
    box = box.intersected(image.rect());
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) == want;
    return n;
}

} // namespace test_driver
