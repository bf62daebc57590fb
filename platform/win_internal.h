// Private structures of the window layer, shared by its own source files
// (win_*.cpp, testing/driver.cpp). Nothing outside the platform includes this.
#pragma once

#include "platform/win.h"

#include <QCursor>
#include <QEvent>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace win {

// Largest window side (the platform's co-ordinates are 16-bit in messages) and
// the largest backing image: a bigger window keeps an image of this size and
// draws nothing beyond it.
inline constexpr int max_coord = 32767;
inline constexpr int max_image_side = 8192;
inline constexpr std::int64_t max_image_pixels = 16LL * 1024 * 1024;
// Posted messages a queue holds; PostMessage fails beyond (the platform's limit).
inline constexpr std::size_t max_queue = 10000;
// Nesting of SendMessage calls; deeper calls fail instead of overflowing the stack.
inline constexpr int max_send_depth = 1500;

struct WinClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int cls_extra = 0;
    int wnd_extra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON icon_small = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menu_name;
    const char* menu_id = nullptr; // numbered menu (MAKEINTRESOURCE)
    ATOM atom = 0;
    std::vector<std::uint8_t> extra;
    int windows = 0;
    WidgetFactory factory;
};

struct Insets {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Window {
    std::uint16_t gen = 0;
    bool alive = false;
    bool destroying = false;
    bool creating = false; // until WM_CREATE has returned
    bool is_desktop = false;
    bool message_only = false;
    std::shared_ptr<WinClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    HWND parent = nullptr; // children only
    HWND owner = nullptr;  // top-level windows only
    HMENU menu = nullptr;  // top-level windows
    LONG_PTR id = 0;       // children
    HINSTANCE instance = nullptr;
    LONG_PTR userdata = 0;
    std::vector<std::uint8_t> extra;
    std::string text;
    RECT rect{};                // parent client co-ordinates (children) or screen (top-level)
    RECT restore_rect{};        // before maximising or minimising
    std::vector<HWND> children; // z-order, topmost first
    QPointer<QWidget> widget;
    bool control_widget = false; // the widget comes from a class factory
    QImage image;                // backing image of the client area (see sync_image)
    bool image_stale = false;    // the client size changed since it was made
    QRegion update;              // client co-ordinates
    bool erase_pending = false;
    int begin_paint_count = 0;        // BeginPaint calls (lets DispatchMessage see a paint)
    HDC own_dc = nullptr;             // CS_OWNDC
    bool own_dc_painting = false;     // own_dc is inside BeginPaint .. EndPaint
    std::uint64_t screen_updates = 0; // times its screen was asked to show the image
    QPointer<QWidget> menu_bar;
    int menu_bar_height = 0;
    bool sb_shown[2] = {false, false};
    HICON icon_big = nullptr;
    HICON icon_small = nullptr;
    std::uint64_t serial = 0;
};

// The Qt event behind an input message, kept until the message is dispatched
// (win_forward_input) and its typed text (TranslateMessage).
struct InputRecord {
    DWORD id = 0;
    std::unique_ptr<QEvent> event;
    QPointer<QWidget> receiver;
    QString text;
    Qt::KeyboardModifiers mods;
};

struct Queued {
    MSG msg{};
    std::shared_ptr<InputRecord> input;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT interval = 0;
    std::uint64_t due = 0;
    TIMERPROC proc = nullptr;
    std::uint64_t order = 0;
};

struct State {
    std::thread::id owner = std::this_thread::get_id(); // the one thread of the layer
    std::vector<std::unique_ptr<Window>> table;         // slot 0: the desktop
    std::vector<std::uint32_t> free_slots;
    std::map<std::string, std::shared_ptr<WinClass>> classes; // key: lower-case name
    ATOM next_atom = 0xC000;
    std::vector<HWND> toplevels; // z-order, topmost first
    std::vector<HWND> message_only;
    std::uint64_t next_serial = 1;
    int cascade = 0;

    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    // The window the window manager is activating right now: taken as the
    // active window without asking the window system for it again.
    HWND wm_activating = nullptr;
    // Times the layer asked the window system to bring a window forward and
    // activate it (counted also where no window system is asked, offscreen).
    std::uint64_t activation_requests = 0;

    std::deque<Queued> queue;
    bool quit_pending = false;
    int quit_code = 0;
    DWORD last_time = 0;
    POINT last_pos{};
    std::deque<std::shared_ptr<InputRecord>> recent_input; // taken from the queue
    DWORD next_input_id = 1;
    std::vector<DWORD> dispatching; // input ids of the messages being dispatched
    int send_depth = 0;

    std::vector<Timer> timers;
    std::uint64_t timer_order = 0;
    UINT_PTR next_free_timer_id = 0x7FF0;

    BYTE keys[256] = {};
    BYTE async_keys[256] = {};

    std::vector<QCursor> cursors; // token - 1
    HCURSOR current_cursor = nullptr;
    int cursor_count = 0;
    POINT cursor_pos{};

    std::deque<std::function<void()>> idle_actions;
    StallHandler stall;
    DWORD last_error = 0;
    ClassMenuLoader menu_loader = nullptr;
    MenuAttachedHook menu_attached = nullptr;
    MenuKeyHandler menu_key = nullptr;
    ResourceCursorLoader cursor_loader = nullptr;
    std::map<std::string, UINT> registered_messages;
    int widget_event_depth = 0;
    bool redelivering = false;
    bool filter_installed = false;
    std::vector<HWND> dirty_screens; // windows drawn outside a paint pass
    QPointer<QWidget> cursor_widget; // the widget the pointer was last over
    // An exception thrown by a window procedure called from inside a Qt event
    // handler: kept and rethrown once Qt's event processing has returned.
    std::exception_ptr pending_exception;
};

State& st();
// True on the layer's thread (the thread that first used it).
bool on_owner_thread();

// Handles.
HWND handle_of(std::uint32_t slot, std::uint16_t gen);
Window* get(HWND hwnd);         // null for stale, foreign or destroyed handles
Window* get_or_fail(HWND hwnd); // the same, setting ERROR_INVALID_WINDOW_HANDLE
Window* desktop();
HWND desktop_handle();
bool is_toplevel(const Window& w); // not a child (the desktop excluded)

// Classes: by name or atom; the standard control classes are registered on
// first use (null when there is no such class).
std::shared_ptr<WinClass> find_class(const char* name);

// Positions and sizes are kept within the platform's 16-bit message range.
inline int clamp_coord(int v) {
    return std::clamp(v, -max_coord, max_coord);
}
inline int clamp_size(int v) {
    return std::clamp(v, 0, max_coord);
}

// A value of type T in a class's or a window's extra bytes. Reading fails,
// and swapping changes nothing, when it does not fit (ERROR_INVALID_INDEX).
template <typename T> bool read_extra(const std::vector<std::uint8_t>& extra, int index, T& out) {
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(T) > extra.size()) {
        st().last_error = ERROR_INVALID_INDEX;
        return false;
    }
    std::memcpy(&out, extra.data() + index, sizeof(T));
    return true;
}
template <typename T>
bool swap_extra(std::vector<std::uint8_t>& extra, int index, T value, T& old) {
    if (!read_extra(extra, index, old)) return false;
    std::memcpy(extra.data() + index, &value, sizeof(T));
    return true;
}

// Geometry.
QRect screen_rect();
QRect work_area();
Insets insets_for(DWORD style, DWORD ex_style, bool toplevel, int menu_height, bool vsb, bool hsb);
Insets insets_of(const Window& w);
QSize client_size(const Window& w);
QPoint client_origin_screen(const Window& w); // screen point of client (0, 0)
QRect window_rect_screen(const Window& w);
void sync_widget_geometry(Window& w);
// A window-manager-framed top-level window's rectangle moved and cut to keep
// its frame on the work area (other windows' rectangles unchanged).
RECT fit_to_work_area(const Window& w, RECT r);
// Sets a top-level window's Qt geometry: fixed size without a sizing border,
// the normal place kept while the window manager maximises it.
void set_toplevel_geometry(Window& w, const QRect& g);
// Takes a maximising or restoring done by the window manager into the record.
void sync_window_state(QWidget* widget, Window& w);
// The backing image follows the client size lazily: resize_image marks it
// stale (a window is resized several times while it is made and laid out,
// and every image is a full-size allocation) and sync_image makes it the
// client's size where it is drawn into or shown.
void resize_image(Window& w);
void sync_image(Window& w);
// Whether a device context handed out for the window is open (its own, or one
// from GetDC or BeginPaint not yet given back).
bool window_has_open_dc(const Window& w);
std::vector<HWND> descendants(HWND hwnd); // pre-order, not including hwnd
HWND root_of(HWND hwnd);                  // the top-level ancestor
// The focus was moved by a key: focus marks are drawn from now on.
void mark_keyboard_focus(HWND hwnd);
// Re-places the widgets of a window and of its children after its frame or
// client area changed.
void sync_widget_geometry_with_children(Window& w);
// After the client area may have changed size from `before`: the backing
// image follows and the whole client is invalidated, with WM_SIZE when `notify`.
void client_resized(HWND hwnd, Window& w, QSize before, bool notify);
// The whole client area invalidated, to be erased and painted.
void invalidate_whole_client(Window& w);
// The lparam of WM_SIZE for a client size.
inline LPARAM size_lparam(QSize size) {
    return MAKELPARAM(static_cast<WORD>(size.width()), static_cast<WORD>(size.height()));
}

// Relations.
std::vector<HWND>& sibling_list(Window& w); // z-order list the window is in
void remove_from(std::vector<HWND>& list, HWND h);
// Qt stacking follows the z-order of `list`: the topmost sibling raised last.
void restack(const std::vector<HWND>& list);
// Moves every owned top-level window in front of (above) its owner, the
// rest keeping their order: an owned window never goes under its owner, as a
// window manager's transient rule would keep it, even when none runs.
void keep_owned_above(std::vector<HWND>& toplevels);
// Puts the active top-level window (with the windows it owns above it) in
// front on the screen and asks for the keyboard for it; a window made active
// while hidden gets this when it is shown.
void bring_forward_on_screen(HWND root);
bool visible_chain(const Window& w);
bool enabled_chain(const Window& w);
// The deepest visible, enabled window at a screen point among `roots` and their
// children (null when none).
HWND window_at(const QPoint& screen);

// Activation: when the active window goes away or hides, its owner takes
// over when it can, else the topmost other visible top-level window.
void activate_other(HWND leaving);
// The window manager activated hwnd: it becomes the active window, or a
// window disabled by a modal box hands the activation on to the box. Never
// asks the window system to activate hwnd again: that echo, met by another
// activation still on its way, made two windows take the activation from
// each other for ever.
void window_manager_activated(HWND hwnd);

// Messages.
LRESULT send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
void drop_window_messages(HWND hwnd);
void drop_window_timers(HWND hwnd);
bool post_input(const MSG& msg, std::shared_ptr<InputRecord> input);
DWORD now32();
void apply_key_state_on_retrieve(const Queued& q);
// An input record taken from the queue lately (null when gone).
std::shared_ptr<InputRecord> recent_input(DWORD id);
// Runs f, keeping an exception for rethrow_pending (Qt event handlers must not
// be unwound).
void guarded(const std::function<void()>& f);
void rethrow_pending();
// Processes pending Qt events without waiting, then rethrows a kept exception.
void pump_qt();

// Painting.
void invalidate_client(Window& w, const QRegion& region, bool erase);
void release_window_dcs(HWND hwnd);
void mark_screen_dirty(HWND hwnd);
void flush_screens();
void paint_widget(QWidget* widget, Window& w, const QRegion& exposed);

// Widgets and input.
QWidget* make_widget(HWND hwnd, Window& w);
void install_input_filter();
int vk_from_qt(int qt_key, Qt::KeyboardModifiers mods);
QCursor cursor_of(HCURSOR cursor);

// True on Qt's offscreen platform (tests): no stacking or activation calls.
bool qt_offscreen();

// Qt text of the program's UTF-8 strings, and back.
QString qstr(const char* text);
QString qstr(const std::string& text);
std::string bytes(const QString& text);

// Case-insensitive key of a class or atom name.
std::string lower(const char* text);

} // namespace win
