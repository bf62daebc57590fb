// The window layer of the platform stand-in: window classes, windows, the
// message queue and loops, timers, focus, capture, keyboard state, painting
// entry points and rectangles, with the desktop platform's names, message
// numbers and semantics, over Qt.
//
// One thread: every call is made on the thread that first used the layer;
// PostMessage and SendMessage from another thread fail (FALSE / 0) instead of
// racing with it.
// Window handles are tokens with a generation count: every call given a
// destroyed, stale or foreign handle fails cleanly (0 / FALSE / null) and
// never follows it. Texts are the program's UTF-8 strings (window texts,
// control items, typed characters: a character beyond ASCII arrives as one
// WM_CHAR per byte).
//
// Messages and loops. The layer keeps one posted-message queue. Input from Qt
// (mouse, keys) is turned into queued messages in arrival order; PostMessage
// appends; GetMessage and PeekMessage take the first matching message. When
// the queue holds nothing that matches, WM_QUIT (after PostQuitMessage), then
// WM_PAINT for a visible window with a non-empty update region, then WM_TIMER
// for a due timer are generated, in that order. SendMessage calls the window
// procedure at once. Loops nest freely: each GetMessage loop dispatches
// whatever it gets, and WM_QUIT ends the loop that reads it.
//
// Blocking waits. GetMessage and WaitMessage run Qt's event processing until
// a message arrives. Under the steady clock they sleep in Qt's event loop until
// input or the next timer. Under a manual clock (tests) nothing arrives by
// itself, so a wait that finds nothing: (1) processes pending Qt events,
// (2) runs the next idle action queued by the test (win_push_idle_action),
// (3) otherwise moves the clock on to the next due timer, and (4) when no
// timer exists either, calls the stall handler: by default it prints the state
// of the queue and the windows to stderr and aborts, so a test that would hang
// fails at once with a clear message. A handler that returns without making
// anything possible (no message, idle action or timer) also ends in the abort.
//
// Default handling (DefWindowProc) follows the platform: WM_CLOSE destroys,
// texts are kept, WM_ERASEBKGND fills with the class brush, WM_PAINT validates,
// hit testing covers the layer-drawn frames, and a press on the caption or the
// sizing border of a child window runs the move or size loop (WM_SYSCOMMAND
// SC_MOVE / SC_SIZE) until the button comes up (Esc puts the window back).
#pragma once

#include "platform/messages.h"
#include "platform/types.h"

#include <cstddef>
#include <functional>

class QWidget;
class QCursor;
class QImage;

// ---------------------------------------------------------------------------
// Records

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
    DWORD lPrivate; // the layer's own use (input record of the message)
};
using LPMSG = MSG*;

struct WNDCLASS {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground; // a brush, or a system colour index + 1
    const char* lpszMenuName;
    const char* lpszClassName;
};
using WNDCLASSA = WNDCLASS;

struct WNDCLASSEX {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
    HICON hIconSm;
};
using WNDCLASSEXA = WNDCLASSEX;

struct CREATESTRUCT {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    const char* lpszName;
    const char* lpszClass;
    DWORD dwExStyle;
};
using CREATESTRUCTA = CREATESTRUCT;
using LPCREATESTRUCT = CREATESTRUCT*;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

struct WINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
};

struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

using WNDENUMPROC = BOOL (*)(HWND, LPARAM);

// ---------------------------------------------------------------------------
// Start-up and errors

// Makes the Qt application object when there is none yet (windows need one).
// The program's main makes its own first; tests get one from the test driver.
void platform_ensure_application();

DWORD GetLastError();
void SetLastError(DWORD code);
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
inline constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
inline constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
inline constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
inline constexpr DWORD ERROR_INVALID_INDEX = 1413;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;
inline constexpr DWORD ERROR_TIMEOUT = 1460;

// ---------------------------------------------------------------------------
// Window classes

ATOM RegisterClass(const WNDCLASS* wc);
ATOM RegisterClassEx(const WNDCLASSEX* wc);
// Fails while windows of the class exist.
BOOL UnregisterClass(const char* class_name, HINSTANCE instance);
BOOL GetClassInfo(HINSTANCE instance, const char* class_name, WNDCLASS* out);
BOOL GetClassInfoEx(HINSTANCE instance, const char* class_name, WNDCLASSEX* out);
int GetClassName(HWND hwnd, char* buffer, int size);
DWORD GetClassLong(HWND hwnd, int index);
DWORD SetClassLong(HWND hwnd, int index, LONG value);
ULONG_PTR GetClassLongPtr(HWND hwnd, int index);
ULONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value);

// ---------------------------------------------------------------------------
// Windows

// `menu` is the menu of a top-level window, or the control id of a child.
// Sends WM_NCCREATE, WM_CREATE (a CREATESTRUCT in lParam), WM_SIZE and WM_MOVE,
// then shows the window when WS_VISIBLE is given. Fails (null) when the class
// is unknown, the parent is stale, or WM_NCCREATE answers FALSE or WM_CREATE -1.
// Positions and sizes are clamped to +-32767; CW_USEDEFAULT places top-level
// windows in a cascade over three quarters of the screen.
HWND CreateWindowEx(DWORD ex_style, const char* class_name, const char* text, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                    void* param);
inline HWND CreateWindow(const char* class_name, const char* text, DWORD style, int x, int y,
                         int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                         void* param) {
    return CreateWindowEx(0, class_name, text, style, x, y, width, height, parent, menu, instance,
                          param);
}
// Destroys the owned windows first, then sends WM_DESTROY to the window and
// then its children (parents first) and WM_NCDESTROY to the children and then
// the window (children first), as the platform does.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int command); // previous visibility
BOOL IsWindowVisible(HWND hwnd);         // the window and all its ancestors shown
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL BringWindowToTop(HWND hwnd);
BOOL GetWindowRect(HWND hwnd, RECT* rect); // screen co-ordinates
BOOL GetClientRect(HWND hwnd, RECT* rect); // (0, 0, width, height)
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD ex_style);
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL ScreenToClient(HWND hwnd, POINT* point);
// Null `from` or `to` means the screen. Returns the offset packed as
// MAKELONG(dx, dy) (0 on failure, which is also a valid zero offset).
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
BOOL EnableWindow(HWND hwnd, BOOL enable); // TRUE when the window was disabled
BOOL IsWindowEnabled(HWND hwnd);

HWND SetFocus(HWND hwnd); // previous focus
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();

LONG GetWindowLong(HWND hwnd, int index);
LONG SetWindowLong(HWND hwnd, int index, LONG value);
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
WORD GetWindowWord(HWND hwnd, int index);
WORD SetWindowWord(HWND hwnd, int index, WORD value);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

BOOL SetWindowText(HWND hwnd, const char* text);
int GetWindowText(HWND hwnd, char* buffer, int size);
int GetWindowTextLength(HWND hwnd);

HWND GetParent(HWND hwnd); // the parent of a child, the owner of a pop-up
HWND SetParent(HWND hwnd, HWND parent);
HWND GetAncestor(HWND hwnd, UINT flags);
HWND GetWindow(HWND hwnd, UINT command);
HWND GetTopWindow(HWND hwnd); // null: the topmost top-level window
inline HWND GetNextWindow(HWND hwnd, UINT command) {
    return GetWindow(hwnd, command);
}
int GetDlgCtrlID(HWND hwnd);
HWND GetDlgItem(HWND parent, int id);
BOOL EnumWindows(WNDENUMPROC proc, LPARAM data);
BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM data); // all descendants
HWND FindWindow(const char* class_name, const char* text);
HWND FindWindowEx(HWND parent, HWND after, const char* class_name, const char* text);
BOOL IsChild(HWND parent, HWND hwnd);
HWND GetDesktopWindow();
HWND WindowFromPoint(POINT point);
HWND ChildWindowFromPoint(HWND parent, POINT point); // client co-ordinates of parent
HWND ChildWindowFromPointEx(HWND parent, POINT point, UINT flags);
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

int GetSystemMetrics(int index);
BOOL MessageBeep(UINT type);

// ---------------------------------------------------------------------------
// Cursors and icons

HCURSOR LoadCursor(HINSTANCE instance, const char* name);
HICON LoadIcon(HINSTANCE instance, const char* name);
HCURSOR SetCursor(HCURSOR cursor); // previous cursor
HCURSOR GetCursor();
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);
int ShowCursor(BOOL show);
BOOL DestroyCursor(HCURSOR cursor);
BOOL DestroyIcon(HICON icon);

// ---------------------------------------------------------------------------
// Messages, queue and loops

BOOL GetMessage(MSG* msg, HWND hwnd, UINT first, UINT last); // 0 on WM_QUIT, -1 on error
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove);
BOOL WaitMessage();
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostThreadMessage(DWORD thread, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// The procedures run on this thread at once, so the time-out never expires;
// HWND_BROADCAST sends to every top-level window.
LRESULT SendMessageTimeout(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT flags,
                           UINT timeout_ms, DWORD_PTR* result);
BOOL SendNotifyMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
BOOL InSendMessage();
LONG GetMessageTime();
DWORD GetMessagePos();                        // screen point of the last message, MAKELONG(x, y)
BOOL GetInputState();                         // input messages waiting
UINT RegisterWindowMessage(const char* name); // 0xC000 to 0xFFFF, one per name

SHORT GetKeyState(int vk);      // as of the last message taken from the queue
SHORT GetAsyncKeyState(int vk); // as of the latest input event
BOOL GetKeyboardState(BYTE* state256);
BOOL SetKeyboardState(const BYTE* state256);

// ---------------------------------------------------------------------------
// Timers and time

// Replaces a timer of the same window and id. With a null window a new id is
// made and returned. The interval is clamped to 10 ms .. 0x7FFFFFFF ms.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
DWORD GetTickCount();
void Sleep(DWORD ms);
UINT GetDoubleClickTime();

// ---------------------------------------------------------------------------
// Painting

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase); // null rect: the client area
BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL ValidateRgn(HWND hwnd, HRGN region);
BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase);
int GetUpdateRgn(HWND hwnd, HRGN region, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// A context on the window's backing image (the whole client area). GetDC(0)
// gives the screen information device. Windows of CS_OWNDC classes keep one
// context for their lifetime: GetDC and BeginPaint return it and ReleaseDC
// leaves it.
HDC GetDC(HWND hwnd);
// The non-client area is drawn by the layer: the window context is the
// client context.
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
BOOL ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip);
int ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip, HRGN update,
                   RECT* update_rect, UINT flags);
BOOL LockWindowUpdate(HWND hwnd);

// ---------------------------------------------------------------------------
// Rectangles

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* rect);
BOOL CopyRect(RECT* dest, const RECT* src);
BOOL InflateRect(RECT* rect, int dx, int dy);
BOOL OffsetRect(RECT* rect, int dx, int dy);
BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b);
BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b);
BOOL SubtractRect(RECT* dest, const RECT* a, const RECT* b);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL IsRectEmpty(const RECT* rect);
BOOL PtInRect(const RECT* rect, POINT point);

// ---------------------------------------------------------------------------
// Seams for the rest of the platform stand-in (dialogs, controls, menus,
// scroll bars, the test driver). The program does not call these.

// The Qt widget of a window (its frame: the non-client area included), or
// null for a stale handle or a message-only window.
QWidget* win_widget(HWND hwnd);
// The window a Qt widget belongs to (the widget itself or an ancestor).
HWND win_from_widget(const QWidget* widget);

// Classes whose windows are real Qt widgets (the standard controls): the
// factory makes the widget as a child of `parent_widget` (or a top-level when
// null). Such windows have no backing image; their Qt input passes through the
// queue like any other (an application event filter turns it into messages)
// and win_forward_input hands a dispatched input message back to the widget.
using WidgetFactory = std::function<QWidget*(HWND hwnd, QWidget* parent_widget)>;
BOOL win_set_class_widget_factory(const char* class_name, WidgetFactory factory);
// Delivers the Qt event behind the input message being dispatched (`msg` as
// given to the window procedure) to the window's widget; FALSE when the
// message did not come from a Qt event (posted or synthesised).
BOOL win_forward_input(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// The menu of a top-level window (the menu layer's handle, kept here) and the
// widget that shows it as a menu bar: the bar is placed at the top of the
// window's non-client area and the client area shrinks by its height.
HMENU win_menu(HWND hwnd);
BOOL win_set_menu(HWND hwnd, HMENU menu);
BOOL win_set_menu_bar(HWND hwnd, QWidget* bar, int height);
// The loader of class menus named by WNDCLASS::lpszMenuName (the menu layer).
using ClassMenuLoader = HMENU (*)(HINSTANCE instance, const char* name);
void win_set_class_menu_loader(ClassMenuLoader loader);
// Called when a top-level window is made with a menu (CreateWindowEx's menu
// or the class menu), after WM_NCCREATE and before WM_CREATE, so the menu
// layer builds the bar then and the window procedure finds its client area
// without the bar from WM_CREATE on (no WM_SIZE is sent for the bar during
// creation; the one after WM_CREATE gives the final size).
using MenuAttachedHook = void (*)(HWND hwnd);
void win_set_menu_attached_hook(MenuAttachedHook hook);
// DefWindowProc's WM_SYSCOMMAND SC_KEYMENU (from Alt+letter through
// WM_SYSCHAR, or F10) on a top-level window asks the menu layer to open the
// bar's pop-up for character `ch` (its title's &-mnemonic; 0: the first one).
// FALSE when there is none; DefWindowProc then beeps for a character.
using MenuKeyHandler = BOOL (*)(HWND root, UINT ch);
void win_set_menu_key_handler(MenuKeyHandler handler);

// Non-client scroll bars of WS_VSCROLL / WS_HSCROLL windows: shown or hidden
// (hiding gives the space to the client area), and their rectangle in the
// window widget's co-ordinates (empty when hidden). bar: 0 horizontal, 1
// vertical (SB_HORZ, SB_VERT).
BOOL win_show_nonclient_scrollbar(HWND hwnd, int bar, BOOL show);
BOOL win_nonclient_scrollbar_visible(HWND hwnd, int bar);
RECT win_nonclient_scrollbar_rect(HWND hwnd, int bar);

// Cursors from images (the resource layer): a new cursor handle.
HCURSOR win_make_cursor(const QCursor& cursor);
// The loader of cursors and icons named by an instance's resources.
using ResourceCursorLoader = HCURSOR (*)(HINSTANCE instance, const char* name, bool icon);
void win_set_resource_cursor_loader(ResourceCursorLoader loader);

// A copy of the window's backing image, the size of its client area (null
// image when the window has none).
QImage win_backing_image(HWND hwnd);
// How often the window's screen was asked to show its image (for tests: an
// idle window is not redrawn); 0 for no window.
std::uint64_t win_screen_updates(HWND hwnd);

// Blocking waits under a manual clock (see the top of this file).
void win_push_idle_action(std::function<void()> action);
void win_clear_idle_actions();
using StallHandler = std::function<void(const char* description)>;
// Null restores the default (print and abort).
void win_set_stall_handler(StallHandler handler);
// True while messages wait in the queue (posted or input).
bool win_queue_pending();
// The earliest due time of any timer (clock milliseconds), or 0 when none.
std::uint64_t win_next_timer_due();
// Sets the synchronous and asynchronous state of a key (tests).
void win_set_key_state(int vk, bool down, bool toggled = false);
// Destroys every window, drops queued messages, timers, key state, focus,
// capture and the quit request, and unregisters all classes (tests).
void win_reset_all();
