// The plumbing the tools' output windows share: see outwin_common.h.
#include "tools/outwin_common.h"

#include "draw/drawing.h"
#include "foundation/memory.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "shell/controls/longlist.h"
#include "shell/filechoice.h"
#include "shell/fonts.h"
#include "shell/state.h"
#include "tools/output.h"

#include <cstring>

void* outwin_data(handle record, int type) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return nullptr;
    void* d = nullptr;
    if (r->type == type && r->release) std::memcpy(&d, r + 1, sizeof d);
    unlock_handle(record);
    return d;
}

void outwin_set_data(handle record, void* data, void (*release)(handle record)) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return;
    std::memcpy(r + 1, &data, sizeof data);
    r->release = release;
    unlock_handle(record);
}

void* outwin_take_data(handle record) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return nullptr;
    void* d = nullptr;
    std::memcpy(&d, r + 1, sizeof d);
    std::memset(static_cast<void*>(r + 1), 0, sizeof d);
    unlock_handle(record);
    return d;
}

HWND outwin_window(handle record) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return nullptr;
    HWND w = r->window;
    unlock_handle(record);
    return w;
}

void outwin_set_keep(handle record, int mode) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return;
    r->keep = static_cast<std::uint8_t>(mode < 0 ? !r->keep : mode);
    unlock_handle(record);
}

bool outwin_is_kept(handle record) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return false;
    const bool kept = r->keep != 0;
    unlock_handle(record);
    return kept;
}

void outwin_notify_container(handle record, HWND window, UINT message, LPARAM point) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    HWND container = r ? r->container : nullptr;
    if (r) unlock_handle(record);
    if (container) SendMessage(container, message, reinterpret_cast<WPARAM>(window), point);
}

void outwin_press(HWND w, handle record, LPARAM point, bool* selecting) {
    outwin_notify_container(record, w, outwin_button_down, point);
    *selecting = true;
    SetCapture(w);
}

bool outwin_release(HWND w, handle record, LPARAM point, bool* selecting) {
    if (!*selecting) return false;
    *selecting = false;
    ReleaseCapture();
    outwin_notify_container(record, w, outwin_button_up, point);
    return true;
}

HWND outwin_open(handle record, const char* class_name, const char* title, int x, int y, int width,
                 int height, DWORD style, void (*release)(handle record)) {
    HWND w = open_output_window(record, class_name, title, x, y, width, height, style);
    if (!w) {
        // A refusal frees the record; nothing may go on naming it.
        release(record);
        free_output_record(record);
        return nullptr;
    }
    if (auto* r = static_cast<output_record*>(lock_handle(record))) {
        r->window = w;
        unlock_handle(record);
    }
    SetWindowLongPtr(w, 0, static_cast<LONG_PTR>(record));
    return w;
}

void outwin_free(handle record, void (*release)(handle record)) {
    HWND w = outwin_window(record);
    release(record);
    if (w) {
        SetWindowLongPtr(w, 0, 0);
        destroy_tool_window(w);
    }
    free_output_record(record);
}

namespace {

// The lock changes the frame's caption button, not the window.
void keep_command(HWND w, handle record, int mode) {
    outwin_set_keep(record, mode);
    if (HWND frame = GetParent(w)) InvalidateRect(frame, nullptr, TRUE);
}

LRESULT command(HWND w, handle record, int cmd, const outwin_actions& a) {
    switch (cmd) {
    case cmd_export_output:
        if (a.copy) a.copy(record);
        return 0;
    case cmd_save_output:
    case 494: {
        if (!a.save || !a.has_content) return 0;
        char* path = file_dialog("File to save contents as", "", fd_save, ft_text | ft_all, 0,
                                 ft_text, 0, nullptr, nullptr);
        if (path && *path) a.save(record, path);
        return 0;
    }
    case cmd_lock_output:
        keep_command(w, record, 1);
        return 0;
    case cmd_unlock_output:
        keep_command(w, record, 0);
        return 0;
    case 493:
        keep_command(w, record, -1);
        return 0;
    case cmd_print_output:
        if (a.print) a.print(record);
        return 0;
    case cmd_close_output:
        if (outwin_is_kept(record) || a.busy) return 0;
        unlist_output_window(record);
        outwin_free(record, a.release);
        return 0;
    default:
        return 0;
    }
}

} // namespace

LRESULT outwin_default_proc(HWND w, handle record, UINT m, WPARAM wp, LPARAM lp,
                            const outwin_actions& a) {
    switch (m) {
    case WM_COMMAND:
        return command(w, record, LOWORD(wp), a);
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_CLOSE) return command(w, record, cmd_close_output, a);
        return DefWindowProc(w, m, wp, lp);
    case WM_NCDESTROY:
        // Destroyed some other way than Close (its frame went): the record
        // goes with it, so nothing keeps naming it.
        SetWindowLongPtr(w, 0, 0);
        unlist_output_window(record);
        if (auto* r = static_cast<output_record*>(lock_handle(record))) {
            r->window = nullptr;
            unlock_handle(record);
        }
        a.release(record);
        free_output_record(record);
        return DefWindowProc(w, m, wp, lp);
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

std::optional<int> outwin_scroll_target(int code, int pos, int page, int extent, int thumb) {
    switch (code) {
    case SB_LINEUP:
        return pos - 1;
    case SB_LINEDOWN:
        return pos + 1;
    case SB_PAGEUP:
        return pos - page;
    case SB_PAGEDOWN:
        return pos + page;
    case SB_TOP:
        return 0;
    case SB_BOTTOM:
        return extent;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        return scroll_thumb_pos(extent, thumb);
    default:
        return std::nullopt;
    }
}

RECT outwin_default_size(int* width, int* height) {
    RECT c{0, 0, 640, 480};
    if (container_wnd) GetClientRect(container_wnd, &c);
    if (*width < 1 || *height < 1) {
        *width = c.right * 2 / 3;
        *height = c.bottom / 2;
    }
    return c;
}

void outwin_client_size(HWND w, int* cw, int* ch) {
    RECT rc{0, 0, 0, 0};
    if (w) GetClientRect(w, &rc);
    *cw = rc.right;
    *ch = rc.bottom;
}

void outwin_open_font(outwin_font& f, const font_spec* spec) {
    if (spec)
        f.spec = sane_font_spec(*spec);
    else {
        f.spec.colour = 0xFFFFFFFFu;
        f.spec.size = 10;
    }
    HDC screen = GetDC(nullptr);
    f.hfont = make_font(screen, f.spec, 0);
    f.measure = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (f.measure && f.hfont) SelectObject(f.measure, f.hfont);
    TEXTMETRIC tm{};
    if (f.measure && GetTextMetrics(f.measure, &tm) && tm.tmHeight > 0)
        f.line_height = tm.tmHeight + tm.tmExternalLeading;
}

void outwin_close_font(outwin_font& f) {
    if (f.measure) DeleteDC(f.measure);
    if (f.hfont) DeleteObject(f.hfont);
    f.measure = nullptr;
    f.hfont = nullptr;
}

COLORREF outwin_text_colour(const font_spec& spec) {
    return spec.colour == 0xFFFFFFFFu ? GetSysColor(COLOR_WINDOWTEXT) : spec.colour;
}
