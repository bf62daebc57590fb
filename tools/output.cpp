// Output records and output windows: see output.h.
#include "tools/output.h"

#include "foundation/memory.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "resources/bitmaps.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/floats.h"
#include "shell/mainloop.h"
#include "shell/palette.h"
#include "shell/showqueue.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "shell/toolset_hooks.h"
#include "shell/winlist.h"
#include "sim/control.h"

#include <algorithm>
#include <cstring>
#include <string>

handle cur_output = 0;
handle opening_tool = 0;
HWND output_wnd = nullptr;
HWND present_wnd = nullptr;
HWND io_parent_wnd = nullptr;
bool (*pending_io_rect_hook)(int* x, int* y, int* w, int* h) = nullptr;
std::vector<handle> open_windows;
preset_rect_t preset_rect;
int cascade_x = 0, cascade_y = 0;
bool tool_maximised = false;

namespace {

constexpr const char* frame_class = "Kavrel_toolwrap";

// The maximised frame and what it had before.
HWND maximised_frame = nullptr;
LONG_PTR saved_style = 0;
RECT saved_rect{};

// Caption state: the pressed button (-1 none) and the frame it is in, the
// hovered one, and the drag.
int pressed_hit = -1;
bool pressed_inside = false;
int hover_hit = -1;
HWND caption_frame = nullptr;
bool dragging = false;
// A frame clicked on its border while windows are kept on top: raised (to
// just under them) at its next paint.
HWND raise_pending = nullptr;
POINT drag_offset{};

bool is_frame(HWND w) {
    char name[64] = {};
    return w && GetClassName(w, name, sizeof name) > 0 && std::strcmp(name, frame_class) == 0;
}

HWND tool_of_frame(HWND frame) {
    return frame ? GetWindow(frame, GW_CHILD) : nullptr;
}

HWND frame_of(HWND tool_window) {
    HWND parent = tool_window ? GetParent(tool_window) : nullptr;
    return is_frame(parent) ? parent : nullptr;
}

output_record* lock_record(handle h) {
    return static_cast<output_record*>(lock_handle(h));
}

bool record_kept(HWND tool_window) {
    handle h = record_of(tool_window);
    output_record* r = lock_record(h);
    if (!r) return false;
    bool kept = r->keep != 0;
    unlock_handle(h);
    return kept;
}

RECT container_client() {
    RECT rc{0, 0, 0, 0};
    if (container_wnd) GetClientRect(container_wnd, &rc);
    return rc;
}

int frame_border_x(HWND frame) {
    LONG_PTR style = frame ? GetWindowLongPtr(frame, GWL_STYLE) : 0;
    if (style & WS_THICKFRAME) return GetSystemMetrics(SM_CXFRAME);
    return (style & WS_BORDER) ? GetSystemMetrics(SM_CXBORDER) : 0;
}
int frame_border_y(HWND frame) {
    LONG_PTR style = frame ? GetWindowLongPtr(frame, GWL_STYLE) : 0;
    if (style & WS_THICKFRAME) return GetSystemMetrics(SM_CYFRAME);
    return (style & WS_BORDER) ? GetSystemMetrics(SM_CYBORDER) : 0;
}

// The frame's rectangle relative to the container's client area.
RECT frame_rect_in_container(HWND frame) {
    RECT rc{};
    GetWindowRect(frame, &rc);
    MapWindowPoints(nullptr, container_wnd, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void toggle_maximise(HWND frame) {
    if (!frame || !tool_of_frame(frame) || present_wnd == tool_of_frame(frame)) return;
    if (tool_maximised && maximised_frame == frame) {
        SetWindowLongPtr(frame, GWL_STYLE, saved_style);
        MoveWindow(frame, saved_rect.left, saved_rect.top, saved_rect.right - saved_rect.left,
                   saved_rect.bottom - saved_rect.top, TRUE);
        tool_maximised = false;
        maximised_frame = nullptr;
    } else {
        if (tool_maximised && maximised_frame) toggle_maximise(maximised_frame);
        saved_style = GetWindowLongPtr(frame, GWL_STYLE);
        saved_rect = frame_rect_in_container(frame);
        SetWindowLongPtr(frame, GWL_STYLE, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
        RECT c = container_client();
        MoveWindow(frame, 0, 0, c.right, c.bottom, TRUE);
        tool_maximised = true;
        maximised_frame = frame;
    }
    InvalidateRect(frame, nullptr, TRUE);
}

// The tip of a caption button of a frame (null: none).
const char* button_tip(int pos, bool locked) {
    switch (pos) {
    case 0:
        return locked ? nullptr : "Delete this window (Del)";
    case 1:
        return locked ? "Unlock this window" : "Lock this window";
    case 2:
        return "Print window contents";
    case 3:
        return "Export window contents";
    case 4:
        return "Save window contents to disk";
    default:
        return nullptr;
    }
}

int button_command(int pos, bool locked) {
    switch (pos) {
    case 0:
        return locked ? 0 : cmd_close_output;
    case 1:
        return locked ? cmd_unlock_output : cmd_lock_output;
    case 2:
        return cmd_print_output;
    case 3:
        return cmd_export_output;
    case 4:
        return cmd_save_output;
    case 6:
        return -1; // maximise
    case 7:
        return locked ? 0 : cmd_close_output;
    default:
        return 0;
    }
}

// A caption button: its picture from the caption bitmap, or its letter when
// there is no bitmap.
void caption_button_at(HDC dc, int x, int state, int cell, const char* letter) {
    draw_caption_cell(dc, x, 0, caption_button, caption_height, state, cell, letter);
}

void paint_frame(HWND frame) {
    if (raise_pending == frame) {
        raise_pending = nullptr;
        place_under_floats(frame, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(frame, &ps);
    RECT rc;
    GetClientRect(frame, &rc);
    const bool active = active_child == frame;
    const bool locked = record_kept(tool_of_frame(frame));
    RECT strip{0, 0, rc.right, caption_height};
    HBRUSH b = CreateSolidBrush(GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    FillRect(dc, &strip, b);
    DeleteObject(b);
    static const char* const letters[] = {"x", "L", "P", "E", "S"};
    static const int cells[] = {caption_delete, caption_lock, caption_print, caption_export,
                                caption_save};
    auto pressed = [&](int hit) {
        return caption_frame == frame && pressed_hit == hit && pressed_inside ? 1 : 0;
    };
    for (int pos = 0; pos < 5; ++pos) {
        if (!button_tip(pos, locked)) continue;
        const bool unlock = pos == 1 && locked;
        caption_button_at(dc, pos * caption_button, pressed(pos),
                          unlock ? caption_unlock : cells[pos], unlock ? "U" : letters[pos]);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    char title[256] = {};
    GetWindowText(frame, title, sizeof title);
    TextOut(dc, 5 * caption_button + 8, 0, title, static_cast<int>(std::strlen(title)));
    const bool maximised = tool_maximised && maximised_frame == frame;
    caption_button_at(dc, rc.right - 32, pressed(6), maximised ? caption_restore : caption_maximise,
                      maximised ? "-" : "+");
    if (!locked) caption_button_at(dc, rc.right - caption_button, pressed(7), caption_close, "X");
    EndPaint(frame, &ps);
}

void send_scroll(HWND tool, UINT bar, WORD code) {
    if (tool) SendMessage(tool, bar, code, 0);
}

LRESULT frame_key(HWND frame, WPARAM key) {
    HWND tool = tool_of_frame(frame);
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_MENU) & 0x8000);
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    if (!tool) {
        if (key == VK_TAB && shift) activate_window(frame, 1, 0);
        return 0;
    }
    switch (key) {
    case VK_PRIOR:
        send_scroll(tool, shift || ctrl ? WM_HSCROLL : WM_VSCROLL, SB_PAGEUP);
        return 0;
    case VK_NEXT:
        send_scroll(tool, shift || ctrl ? WM_HSCROLL : WM_VSCROLL, SB_PAGEDOWN);
        return 0;
    case VK_LEFT:
        send_scroll(tool, WM_HSCROLL, SB_LINEUP);
        return 0;
    case VK_RIGHT:
        send_scroll(tool, WM_HSCROLL, SB_LINEDOWN);
        return 0;
    case VK_UP:
        send_scroll(tool, WM_VSCROLL, SB_LINEUP);
        return 0;
    case VK_DOWN:
        send_scroll(tool, WM_VSCROLL, SB_LINEDOWN);
        return 0;
    case VK_DELETE:
    case VK_F4:
        SendMessage(tool, WM_COMMAND, cmd_close_output, 0);
        return 0;
    default:
        break;
    }
    if (ctrl) {
        int cmd = key == 'C'   ? cmd_export_output
                  : key == 'P' ? cmd_print_output
                  : key == 'S' ? cmd_save_output
                  : key == 'W' ? cmd_close_output
                               : 0;
        if (cmd) {
            SendMessage(tool, WM_COMMAND, static_cast<WPARAM>(cmd), 0);
            return 0;
        }
        // Set-up and simulate work from an output window as from the
        // workbench: posted, so they run after this key is done with.
        if (key == 'E' || key == 'R') {
            post_sim_command(key == 'E' ? 0 : 1);
            return 0;
        }
    }
    return 1;
}

void end_drag(HWND frame, int mx, int my) {
    dragging = false;
    ReleaseCapture();
    POINT p{mx, my};
    MapWindowPoints(frame, container_wnd, &p, 1);
    RECT fr = frame_rect_in_container(frame);
    const int w = fr.right - fr.left;
    const int h = fr.bottom - fr.top;
    const int bx = frame_border_x(frame), by = frame_border_y(frame);
    RECT c = container_client();
    int x = p.x - drag_offset.x;
    int y = p.y - drag_offset.y;
    x = std::max(x, bx - w + 30);
    x = std::min(x, c.right - 75 - bx);
    y = std::min(y, c.bottom - by - caption_height);
    y = std::max(y, -by);
    MoveWindow(frame, x, y, w, h, TRUE);
}

} // namespace

int toolwrap_hit(int width, int x, int y) {
    if (y < 0 || y > caption_height || x < 0 || x > width) return -1;
    if (x > width - caption_button) return 7;
    if (x > width - 32) return 6;
    int pos = x / caption_button;
    return pos < 5 ? pos : 5;
}

handle record_of(HWND tool_window) {
    return tool_window ? static_cast<handle>(GetWindowLongPtr(tool_window, 0)) : 0;
}

handle new_output_record(std::uint32_t size, int type) {
    handle h = new_handle(static_cast<std::uint32_t>(sizeof(output_record)) + size);
    if (!h) return 0;
    handle spots = new_hblock(0, 0, 0);
    output_record* r = lock_record(h);
    r->hot_spots = spots;
    r->type = static_cast<std::uint8_t>(type);
    unlock_handle(h);
    cur_output = h;
    return h;
}

void free_output_record(handle record) {
    output_record* r = lock_record(record);
    if (!r) return;
    handle spots = r->hot_spots;
    unlock_handle(record);
    free_hblock(spots);
    free_handle(record);
    if (cur_output == record) cur_output = 0;
    std::erase(open_windows, record);
}

output_oneshots_guard::~output_oneshots_guard() {
    opening_tool = 0;
    preset_rect = {};
    present_wnd = nullptr;
    io_parent_wnd = nullptr;
}

void cascade_position(int width, int height, int* x, int* y) {
    RECT c = container_client();
    int nx = std::max(cascade_x + 20, 20);
    int ny = cascade_y;
    if (nx + width > c.right) {
        nx = std::clamp(static_cast<int>(c.right) - width, 0, 20);
        ny = std::max(cascade_y + 20, 0);
    }
    if (ny + height > c.bottom) ny = 0;
    cascade_x = nx;
    cascade_y = ny;
    *x = nx;
    *y = ny;
}

namespace {

// The window of the record the opening tool showed before, handed over to
// the new record (its frame retitled and brought forward) while it is still
// open; the old record is freed. Null when there is none to take over.
HWND hand_over_tool_window(handle record, const char* title) {
    handle old = 0;
    if (opening_tool) {
        if (tool_record* t = lock_tool(opening_tool)) {
            old = t->output;
            unlock_tool(opening_tool);
        }
    }
    output_record* oldr = old && old != record ? lock_record(old) : nullptr;
    if (!oldr) return nullptr;
    if (!oldr->window || !IsWindow(oldr->window)) {
        unlock_handle(old);
        return nullptr;
    }
    HWND w = oldr->window;
    const std::uint8_t keep = oldr->keep;
    oldr->window = nullptr;
    void (*release)(handle) = oldr->release;
    unlock_handle(old);
    if (release)
        release(old);
    else if (tool_window_hooks.release_data)
        tool_window_hooks.release_data(old);
    output_record* r = lock_record(record);
    r->keep = keep;
    r->window = w;
    r->tool = opening_tool;
    unlock_handle(record);
    SetWindowLongPtr(w, 0, static_cast<LONG_PTR>(record));
    if (HWND frame = frame_of(w)) {
        SetWindowText(frame, title ? title : "");
        InvalidateRect(frame, nullptr, TRUE);
        activate_window(frame, 0, 0);
    }
    std::replace(open_windows.begin(), open_windows.end(), old, record);
    free_output_record(old);
    if (tool_record* t = lock_tool(opening_tool)) {
        t->output = record;
        unlock_tool(opening_tool);
    }
    cur_output = record;
    opening_tool = 0;
    preset_rect = {};
    present_wnd = nullptr;
    io_parent_wnd = nullptr;
    InvalidateRect(w, nullptr, TRUE);
    return w;
}

// Where a new output window goes: a diagram object's element box, a preset
// place, the cascade for a place not given; kept inside a visible container
// (at 0 in a narrow one).
void place_output_window(int& x, int& y, int& width, int& height) {
    if (io_parent_wnd && pending_io_rect_hook && pending_io_rect_hook(&x, &y, &width, &height)) {
    } else if (preset_rect.x >= 1) {
        x = preset_rect.x;
        y = preset_rect.y;
        width = preset_rect.w;
        height = preset_rect.h;
        preset_rect = {};
    } else if (x < 0 || y < 0) {
        cascade_position(width, height, &x, &y);
    }
    if (main_wnd && IsWindowVisible(main_wnd) && !io_parent_wnd) {
        RECT c = container_client();
        if (x + 90 > c.right) x = std::max(0, static_cast<int>(c.right) - 90);
        if (y + 30 > c.bottom) y = std::max(0, static_cast<int>(c.bottom) - 30);
    }
}

// The presentation form: a borderless frame over the presenting window
// ("Press any key to continue") holding the tool window.
HWND open_presented_window(const char* class_name, const char* title, DWORD style) {
    RECT pr;
    GetWindowRect(present_wnd, &pr);
    HWND frame =
        CreateWindow(frame_class, "Press any key to continue",
                     WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_BORDER, pr.left, pr.top,
                     pr.right - pr.left, pr.bottom - pr.top, present_wnd, nullptr, hinst, nullptr);
    if (!frame) {
        present_wnd = nullptr;
        return nullptr;
    }
    RECT fc;
    GetClientRect(frame, &fc);
    HWND tool_window = CreateWindow(
        class_name, title, style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, caption_height,
        fc.right, fc.bottom - caption_height, frame, nullptr, hinst, nullptr);
    if (!tool_window) {
        DestroyWindow(frame);
        present_wnd = nullptr;
        return nullptr;
    }
    SetFocus(frame);
    present_wnd = tool_window;
    return tool_window;
}

// A tool window inside another window (a diagram's output object).
HWND open_inner_window(handle record, const char* class_name, const char* title, int x, int y,
                       int width, int height, DWORD style) {
    HWND tool_window =
        CreateWindow(class_name, title, style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_BORDER,
                     x, y, width, height, io_parent_wnd, nullptr, hinst, nullptr);
    if (!tool_window) return nullptr;
    output_record* r = lock_record(record);
    if (r) r->container = io_parent_wnd;
    unlock_handle(record);
    io_parent_wnd = tool_window;
    return tool_window;
}

// A tool window in a frame of its own in the container, shown and active.
HWND open_framed_window(const char* class_name, const char* title, int x, int y, int width,
                        int height, DWORD style) {
    const int bx = GetSystemMetrics(SM_CXFRAME), by = GetSystemMetrics(SM_CYFRAME);
    HWND frame = CreateWindow(
        frame_class, title,
        WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER | WS_THICKFRAME, x, y,
        width + 2 * bx, height + 2 * by + caption_height, container_wnd, nullptr, hinst, nullptr);
    if (!frame) return nullptr;
    HWND tool_window = CreateWindow(class_name, title, style | WS_CHILD | WS_VISIBLE, 0,
                                    caption_height, width, height, frame, nullptr, hinst, nullptr);
    if (!tool_window) {
        // Without its tool window the frame is useless: the caller frees
        // its record on the null.
        DestroyWindow(frame);
        return nullptr;
    }
    show_window(frame, SW_SHOW);
    activate_window(frame, 0, 0);
    InvalidateRect(tool_window, nullptr, TRUE);
    return tool_window;
}

} // namespace

HWND open_output_window(handle record, const char* class_name, const char* title, int x, int y,
                        int width, int height, DWORD style) {
    if (HWND w = hand_over_tool_window(record, title)) return w;
    place_output_window(x, y, width, height);
    HWND tool_window =
        present_wnd     ? open_presented_window(class_name, title, style)
        : io_parent_wnd ? open_inner_window(record, class_name, title, x, y, width, height, style)
                        : open_framed_window(class_name, title, x, y, width, height, style);
    if (!tool_window) return nullptr;
    if (opening_tool) {
        if (tool_record* t = lock_tool(opening_tool)) {
            t->output = record;
            unlock_tool(opening_tool);
        }
        output_record* r = lock_record(record);
        if (r) r->tool = opening_tool;
        unlock_handle(record);
        opening_tool = 0;
    }
    return tool_window;
}

void close_framed_tool_windows(int unlock) {
    if (tool_maximised && maximised_frame) toggle_maximise(maximised_frame);
    if (!container_wnd) return;
    // Collect first and send each Close once: a window that refuses (kept,
    // or busy printing) must not be found again for ever.
    std::vector<HWND> frames;
    for (HWND c = GetWindow(container_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (is_frame(c)) frames.push_back(c);
    for (HWND frame : frames) {
        if (!IsWindow(frame)) continue;
        HWND tool = tool_of_frame(frame);
        handle h = record_of(tool);
        output_record* r = lock_record(h);
        if (!r) continue;
        if (unlock) r->keep = 0;
        bool kept = r->keep != 0;
        unlock_handle(h);
        if (!kept) SendMessage(tool, WM_COMMAND, cmd_close_output, 0);
    }
}

void (*forget_tool_window_hook)(handle record) = nullptr;

void unlist_output_window(handle record) {
    std::erase(open_windows, record);
    // The graph sets forget a user tool's window first, whatever the rest
    // finds.
    if (forget_tool_window_hook && record) forget_tool_window_hook(record);
    output_record* r = lock_record(record);
    if (!r) return;
    handle tool = r->tool;
    HWND w = r->window;
    r->tool = 0;
    unlock_handle(record);
    if (!tool) return;
    tool_record* t = lock_tool(tool);
    if (!t) return;
    if (t->output == record) {
        RECT rc{};
        if (w && IsWindow(w)) {
            int framed = get_output_rect(record, &rc);
            if (framed) {
                t->rect[0] = static_cast<std::int16_t>(rc.left);
                t->rect[1] = static_cast<std::int16_t>(rc.top);
            }
            t->rect[2] = static_cast<std::int16_t>(rc.right - rc.left);
            t->rect[3] = static_cast<std::int16_t>(rc.bottom - rc.top);
        }
        t->output = 0;
    }
    unlock_tool(tool);
}

int get_output_rect(handle record, RECT* rect) {
    output_record* r = lock_record(record);
    if (!r || !rect) {
        if (r) unlock_handle(record);
        return 0;
    }
    HWND w = r->window;
    unlock_handle(record);
    RECT cr{};
    if (w) GetClientRect(w, &cr);
    HWND frame = frame_of(w);
    if (!frame || !container_wnd) {
        *rect = {0, 0, cr.right, cr.bottom};
        return 0;
    }
    RECT fr = frame_rect_in_container(frame);
    *rect = {fr.left, fr.top, fr.left + cr.right, fr.top + cr.bottom};
    return 1;
}

void destroy_tool_window(HWND window) {
    if (!window) return;
    HWND frame = frame_of(window);
    if (active_child && (active_child == window || active_child == frame))
        activate_window(nullptr, 0, 0);
    if (output_wnd == window) output_wnd = nullptr;
    if (frame == maximised_frame) {
        maximised_frame = nullptr;
        tool_maximised = false;
    }
    if (caption_frame == frame) {
        caption_frame = nullptr;
        pressed_hit = hover_hit = -1;
        dragging = false;
    }
    DestroyWindow(frame ? frame : window);
}

void fit_toolwrap(handle record, int width, int height) {
    output_record* r = lock_record(record);
    if (!r) return;
    HWND w = r->window;
    unlock_handle(record);
    HWND frame = frame_of(w);
    if (!frame) return;
    RECT fr = frame_rect_in_container(frame);
    RECT cr{};
    GetClientRect(w, &cr);
    int fw = fr.right - fr.left, fh = fr.bottom - fr.top;
    if (width > 0) fw += width - cr.right;
    if (height > 0) fh += height - cr.bottom;
    RECT c = container_client();
    fw = std::min(fw, static_cast<int>(c.right));
    fh = std::min(fh, static_cast<int>(c.bottom));
    SetWindowPos(frame, nullptr, 0, 0, fw, fh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND opening_tool_window() {
    handle old = 0;
    if (opening_tool) {
        if (tool_record* t = lock_tool(opening_tool)) {
            old = t->output;
            unlock_tool(opening_tool);
        }
    }
    output_record* r = old ? lock_record(old) : nullptr;
    if (!r) return nullptr;
    HWND w = r->window && IsWindow(r->window) ? r->window : nullptr;
    unlock_handle(old);
    return w;
}

void activate_record_window(handle record) {
    output_record* r = lock_record(record);
    if (!r) return;
    HWND w = r->window;
    unlock_handle(record);
    if (!w) return;
    HWND frame = frame_of(w);
    activate_window(frame ? frame : w, 0, 0);
}

namespace {

// A press (or double click) on the frame: a presented tool's frame ends the
// presentation; else the frame is activated and the press starts on a
// caption button, maximises (a double click on the caption) or starts a
// drag of the caption.
void frame_mouse_down(HWND frame, HWND tool, bool double_click, LPARAM lp) {
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    RECT rc;
    GetClientRect(frame, &rc);
    int hit = toolwrap_hit(rc.right, x, y);
    if (present_wnd && present_wnd == tool) {
        end_maintain(reinterpret_cast<std::intptr_t>(present_wnd) & 0x7FFFFFFF, 0);
        return;
    }
    // Activated first: activation may take the capture a press sets.
    if (active_child != frame) activate_window(frame, 0, 0);
    if (double_click && hit == 5 && x >= 76) {
        toggle_maximise(frame);
        return;
    }
    if (hit >= 0 && hit != 5) {
        const bool locked = record_kept(tool);
        if (!button_command(hit, locked)) return;
        caption_frame = frame;
        pressed_hit = hit;
        pressed_inside = true;
        SetCapture(frame);
        InvalidateRect(frame, nullptr, FALSE);
    } else if (hit == 5 && y < caption_height && !(tool_maximised && maximised_frame == frame)) {
        caption_frame = frame;
        dragging = true;
        drag_offset = {x, y};
        SetCapture(frame);
    }
}

// The pointer over the frame: a pressed button shows whether it is still
// over it; else the button under it is lit and its tip follows.
void frame_mouse_move(HWND frame, LPARAM lp) {
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    RECT rc;
    GetClientRect(frame, &rc);
    int hit = toolwrap_hit(rc.right, x, y);
    if (dragging) return;
    if (pressed_hit >= 0 && caption_frame == frame) {
        bool inside = hit == pressed_hit;
        if (inside != pressed_inside) {
            pressed_inside = inside;
            InvalidateRect(frame, nullptr, FALSE);
        }
        return;
    }
    int h = hit >= 0 && hit < 5 ? hit : -1;
    if (h != hover_hit || caption_frame != frame) {
        hover_hit = h;
        caption_frame = frame;
        InvalidateRect(frame, nullptr, FALSE);
    }
    if (h >= 0) track_tooltip(frame, h, 0);
}

// The release: ends a caption drag, or carries out the pressed button's
// command when released over it.
void frame_mouse_up(HWND frame, HWND tool, LPARAM lp) {
    if (caption_frame != frame) return;
    if (dragging) {
        end_drag(frame, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return;
    }
    if (pressed_hit < 0) return;
    int hit = pressed_hit;
    bool inside = pressed_inside;
    pressed_hit = -1;
    ReleaseCapture();
    InvalidateRect(frame, nullptr, FALSE);
    if (!inside) return;
    int cmd = button_command(hit, record_kept(tool));
    if (cmd == -1)
        toggle_maximise(frame);
    else if (cmd > 0 && tool)
        PostMessage(tool, WM_COMMAND, static_cast<WPARAM>(cmd), 0);
}

// The wheel scrolls the tool a line per notch, across with Shift or Ctrl.
void frame_wheel(HWND tool, WPARAM wp) {
    int delta = GET_WHEEL_DELTA_WPARAM(wp);
    int lines = (std::abs(delta) + 119) / 120;
    const bool mods = (LOWORD(wp) & (MK_SHIFT | MK_CONTROL)) != 0;
    for (int i = 0; i < lines && tool; ++i) {
        if (mods)
            send_scroll(tool, WM_HSCROLL, delta < 0 ? SB_LINEUP : SB_LINEDOWN);
        else
            send_scroll(tool, WM_VSCROLL, delta > 0 ? SB_LINEUP : SB_LINEDOWN);
    }
}

// A frame going away leaves no press, drag, raise or maximised state behind.
void frame_destroyed(HWND frame) {
    if (raise_pending == frame) raise_pending = nullptr;
    if (caption_frame == frame) {
        caption_frame = nullptr;
        pressed_hit = hover_hit = -1;
        dragging = false;
    }
    if (maximised_frame == frame) {
        maximised_frame = nullptr;
        tool_maximised = false;
    }
}

} // namespace

LRESULT toolwrap_frame_proc(HWND frame, UINT m, WPARAM wp, LPARAM lp) {
    HWND tool = tool_of_frame(frame);
    switch (m) {
    case WM_SIZE:
        if (tool) {
            RECT rc;
            GetClientRect(frame, &rc);
            SetWindowPos(tool, nullptr, 0, 0, rc.right,
                         std::max(0, int(rc.bottom) - caption_height),
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (tool) SendMessage(tool, m, wp, lp);
        return 0;
    case WM_COMMAND:
        if (tool) SendMessage(tool, m, wp, lp);
        InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case WM_PAINT:
        paint_frame(frame);
        return 0;
    case WM_NCACTIVATE:
        // The caption strip is drawn in the client area: it shows the
        // window's new state (active or not) only when painted again.
        InvalidateRect(frame, nullptr, FALSE);
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        frame_mouse_down(frame, tool, m == WM_LBUTTONDBLCLK, lp);
        return 0;
    case WM_MOUSEMOVE:
        frame_mouse_move(frame, lp);
        return 0;
    case WM_LBUTTONUP:
        frame_mouse_up(frame, tool, lp);
        return 0;
    case WM_KEYDOWN:
        if (present_wnd && present_wnd == tool) {
            end_maintain(reinterpret_cast<std::intptr_t>(present_wnd) & 0x7FFFFFFF, 0);
            return 0;
        }
        if (frame_key(frame, wp) == 0) return 0;
        return DefWindowProc(frame, m, wp, lp);
    case WM_NCLBUTTONDOWN:
        // A click on the border (to size the frame) does not activate it; with
        // windows kept on top it still comes up to just under them.
        if (float_opts & (fo_control_on_top | fo_subscript_on_top)) {
            raise_pending = frame;
            InvalidateRect(frame, nullptr, FALSE);
        }
        return DefWindowProc(frame, m, wp, lp);
    case WM_MOUSEWHEEL:
        frame_wheel(tool, wp);
        return 0;
    case wm_tip_request: {
        auto* req = reinterpret_cast<tip_request*>(lp);
        int pos = static_cast<int>(wp);
        const char* text = pos >= 0 && pos < 5 ? button_tip(pos, record_kept(tool)) : nullptr;
        if (!text || !req) return 0;
        req->text = text;
        req->x = pos * caption_button;
        req->y = caption_height;
        return 1;
    }
    case WM_DESTROY:
        frame_destroyed(frame);
        return 0;
    default:
        return DefWindowProc(frame, m, wp, lp);
    }
}

namespace {

void forget_freed_tool(handle tool) {
    // A tool set being freed: records showing its tools forget them.
    for (HWND c = container_wnd ? GetWindow(container_wnd, GW_CHILD) : nullptr; c;
         c = GetWindow(c, GW_HWNDNEXT)) {
        if (!is_frame(c)) continue;
        handle h = record_of(tool_of_frame(c));
        output_record* r = lock_record(h);
        if (!r) continue;
        if (r->tool == tool) r->tool = 0;
        unlock_handle(h);
    }
}

} // namespace

namespace {

// A tool's action: it opens or finds its own window (no current record), and
// the one-shots are cleared however it ends.
void run_action(tool_action action, handle tool) {
    cur_output = 0;
    output_oneshots_guard guard;
    action(tool);
}

} // namespace

void install_tools_hooks() {
    tool_action_runner = run_action;
    tool_window_hooks.close_all = close_framed_tool_windows;
    tool_window_hooks.toolwrapper = toolwrap_frame_proc;
    tool_window_hooks.activate = activate_record_window;
    toolset_freeing_hook = forget_freed_tool;
    tool_window_hooks.graph_window_count = [] {
        int n = 0;
        for (handle h : open_windows) {
            output_record* r = lock_record(h);
            if (!r) continue;
            if (r->window && IsWindow(r->window)) ++n;
            unlock_handle(h);
        }
        return n;
    };
}
