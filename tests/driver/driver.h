// The headless test driver: what a person would do to the program's windows,
// done from a test. It starts the platform offscreen with a manual clock,
// clicks, drags and types through Qt's own input events (so the messages reach
// the queue exactly as live input would), runs the queue until it is idle,
// advances the clock with the timers firing on time, and reads windows' backing
// images.
//
// Typical use:
//     test_driver::start();                  // in SetUp
//     test_driver::click(hwnd, 10, 20);
//     test_driver::run_until_idle();
//     QImage shot = test_driver::image(hwnd);
//     test_driver::reset();                  // in TearDown
//
// Modal loops started from a test (a dialog's nested GetMessage loop) wait on
// the manual clock: queue their answers with on_idle before starting them; see
// platform/win.h on blocking waits.
#pragma once

#include "platform/clock.h"
#include "platform/win.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test_driver {

// Modifier keys held during a mouse action or a key press.
enum Mods : unsigned { none = 0, shift = 1, ctrl = 2, alt = 4 };
enum class Button { left, right, middle };

// Starts the platform for tests: QT_QPA_PLATFORM=offscreen unless set, the
// Qt application, and the manual clock as the layer's clock. Safe to call
// again.
void start();
// Destroys every window and drops queued messages, timers, key state, idle
// actions and the driver's own state; the clock keeps its time.
void reset();

ManualClock& clock();
std::uint64_t now();

// Dispatches queued messages (key-downs translated when `translate`), paints
// and due timers until nothing is left; the clock does not move. Returns the
// number of messages dispatched, or -1 when `limit` was reached (a window
// that keeps posting or invalidating itself). A WM_QUIT taken stops the run
// (see quit_seen).
int run_until_idle(int limit = 100000, bool translate = true);
// Moves the clock on by `ms`, stopping at each timer's due time to run the
// queue, so timers fire as often and in the order they would.
void advance(std::uint64_t ms);
bool quit_seen();
int quit_code();

// Mouse actions at client co-ordinates of `hwnd`.
void mouse_move(HWND hwnd, int x, int y, unsigned mods = none);
void mouse_down(HWND hwnd, int x, int y, Button button = Button::left, unsigned mods = none);
void mouse_up(HWND hwnd, int x, int y, Button button = Button::left, unsigned mods = none);
void click(HWND hwnd, int x, int y, Button button = Button::left, unsigned mods = none);
void double_click(HWND hwnd, int x, int y, Button button = Button::left, unsigned mods = none);
// Press at `from`, `steps` moves to `to`, release there.
void drag(HWND hwnd, POINT from, POINT to, int steps = 4, Button button = Button::left,
          unsigned mods = none);
void wheel(HWND hwnd, int x, int y, int delta);

// Keys by virtual-key code; the modifiers are pressed before and released
// after, as separate key events.
void key_down(int vk, unsigned mods = none);
void key_up(int vk, unsigned mods = none);
void press_key(int vk, unsigned mods = none);
// Types each character as a key press and release (Shift for capitals and
// shifted symbols; other characters as text only).
void type_text(const std::string& text);

// An action to run when a blocking wait would otherwise stall (the next
// answer to a modal loop started by the test).
void on_idle(std::function<void()> action);

// Windows: the first window (top-level or child, depth first) of a class
// (case-insensitive) and, when given, a text; all windows of a class; a child
// by its id.
HWND find_window(const char* class_name, const char* text = nullptr);
std::vector<HWND> find_windows(const char* class_name);
HWND find_child(HWND parent, int id);
// The whole text a dialog's control shows (empty when there is no such control).
std::string item_text(HWND dialog, int id);
// The text of a list box's row (empty when there is no such row), and of
// every row in order.
std::string list_text(HWND list, int row);
std::vector<std::string> list_texts(HWND list);

// The pixels of an image in a colour (red, green and blue exactly), in the
// whole image or within a box (clipped to the image).
int count_colour(const QImage& image, COLORREF colour);
int count_colour(const QImage& image, QRect box, COLORREF colour);

// The window's backing image (its client area), and the same saved as PNG.
QImage image(HWND hwnd);
bool save_png(HWND hwnd, const std::string& path);

} // namespace test_driver
