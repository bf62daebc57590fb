// Dialog utilities: run_dialog, modeless dialogs, and fit_dialog with the
// dialog fonts.
#include "shell/dialogs.h"

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "platform/controls.h"
#include "resources/dialogs.h"
#include "shell/pump.h"
#include "shell/state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

std::int16_t dialog_depth = 0;
std::int32_t* dialog_params = nullptr;
int dialog_param_count = 0;
bool dialog_param_request = false;

namespace {

// -------------------------------------------------------- dialog fonts ---

POINT centre_point{0, 0};
fallback_font_chooser font_chooser = nullptr;
bool choosing_font = false; // the font dialog itself is being fitted

struct dialog_font {
    std::string spec; // "face|points|..." (empty: none)
    HFONT font = nullptr;
};
dialog_font fonts[3]; // 0 dialog, 1 small, 2 fallback
// Fonts whose description was replaced while windows may still draw with
// them: deleted once those windows have taken the new fonts.
std::vector<HFONT> retired_fonts;

// Makes a font from "face|points|style letters|": the face and size in
// points; style letters b (bold) and i (italic). Null when the font text names no
// face.
HFONT make_spec_font(const std::string& spec) {
    std::size_t bar = spec.find('|');
    std::string face = spec.substr(0, bar);
    if (face.empty()) return nullptr;
    int points = 8;
    std::string style;
    if (bar != std::string::npos) {
        std::size_t bar2 = spec.find('|', bar + 1);
        points = std::atoi(spec.substr(bar + 1, bar2 - bar - 1).c_str());
        if (bar2 != std::string::npos)
            style = spec.substr(bar2 + 1, spec.find('|', bar2 + 1) - bar2 - 1);
    }
    if (points < 4) points = 4;
    if (points > 144) points = 144;
    bool bold = style.find_first_of("bB") != std::string::npos;
    bool italic = style.find_first_of("iI") != std::string::npos;
    return CreateFont(-(points * 96 + 36) / 72, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic ? 1 : 0,
                      0, 0, ANSI_CHARSET, 0, 0, 0, 0, face.c_str());
}

HFONT spec_font(int which) {
    dialog_font& f = fonts[which];
    if (!f.font && !f.spec.empty()) f.font = make_spec_font(f.spec);
    return f.font;
}

void drop_font(int which) {
    if (fonts[which].font) DeleteObject(fonts[which].font);
    fonts[which].font = nullptr;
}

struct font_size {
    int width = 0;  // average character width
    int height = 0; // character height
};

font_size measure(HFONT font) {
    font_size out;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRIC tm{};
    if (GetTextMetrics(dc, &tm)) {
        out.width = tm.tmAveCharWidth;
        out.height = tm.tmHeight;
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return out;
}

// The window size a dialog gets with a new font: the client area scaled by
// the ratios of the two fonts, plus the frame, plus a pixel each way.
SIZE scaled_size(HWND dialog, font_size from, font_size to) {
    RECT wr{}, cr{};
    GetWindowRect(dialog, &wr);
    GetClientRect(dialog, &cr);
    int frame_w = (wr.right - wr.left) - cr.right;
    int frame_h = (wr.bottom - wr.top) - cr.bottom;
    SIZE s;
    s.cx =
        static_cast<LONG>(static_cast<long long>(cr.right) * to.width / std::max(1, from.width)) +
        frame_w + 1;
    s.cy = static_cast<LONG>(static_cast<long long>(cr.bottom) * to.height /
                             std::max(1, from.height)) +
           frame_h + 1;
    return s;
}

bool fits_screen(SIZE s) {
    return s.cx <= GetSystemMetrics(SM_CXSCREEN) + 5 && s.cy <= GetSystemMetrics(SM_CYSCREEN) + 5;
}

struct child_move {
    HWND dialog;
    font_size from, to;
    HFONT font;
};

BOOL move_child(HWND child, LPARAM data) {
    auto* m = reinterpret_cast<child_move*>(data);
    SendMessage(child, WM_SETFONT, reinterpret_cast<WPARAM>(m->font), FALSE);
    if (GetParent(child) != m->dialog) return TRUE; // grandchildren follow their parent
    RECT r{};
    GetWindowRect(child, &r);
    POINT tl{r.left, r.top};
    ScreenToClient(m->dialog, &tl);
    int w = r.right - r.left, h = r.bottom - r.top;
    char cls[32] = {};
    GetClassName(child, cls, sizeof cls);
    if (std::strcmp(cls, WC_COMBOBOX) == 0) {
        // A combo box keeps its dropped-down rectangle: its height is its list's.
        RECT dropped{};
        if (SendMessage(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)))
            h = std::max<int>(h, dropped.bottom - dropped.top);
    }
    auto sx = [&](long v) {
        return static_cast<int>(v * m->to.width / std::max(1, m->from.width));
    };
    auto sy = [&](long v) {
        return static_cast<int>(v * m->to.height / std::max(1, m->from.height));
    };
    MoveWindow(child, sx(tl.x), sy(tl.y), sx(w) + 1, sy(h) + 1, FALSE);
    return TRUE;
}

} // namespace

int screen_w() {
    return screen_right > 0 ? screen_right : GetSystemMetrics(SM_CXSCREEN);
}

int screen_h() {
    return screen_bottom > 0 ? screen_bottom : GetSystemMetrics(SM_CYSCREEN);
}

int modal_depth() {
    return dialog_depth;
}

void reset_dialog_state() {
    dialog_depth = 0;
    dialog_params = nullptr;
    dialog_param_count = 0;
    dialog_param_request = false;
    centre_point = POINT{0, 0};
}

// -------------------------------------------------------------- dialogs ---

HWND owner_window(HWND window) {
    if (window && IsWindow(window)) return window;
    HWND active = GetActiveWindow();
    if (active && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId()) return active;
    return main_wnd;
}

INT_PTR run_dialog(int template_id, HWND owner, DLGPROC proc, LPARAM param) {
    if (!dlg_find_template(template_id)) register_dialog_templates();
    pump_messages();
    // The counters are lowered on every way out, an unwind included.
    struct raised {
        modal_guard modal;
        busy_guard busy;
        raised() { ++dialog_depth; }
        ~raised() {
            --dialog_depth;
            centre_point = POINT{0, 0};
        }
    } counters;
    std::int32_t* saved_params = dialog_params;
    int saved_count = dialog_param_count;
    if (dialog_param_request) {
        long long n = std::llabs(static_cast<long long>(param));
        n = std::min<long long>(n, 4096);
        dialog_params =
            static_cast<std::int32_t*>(scratch_alloc(static_cast<std::size_t>(n + 1) * 4));
        dialog_param_count = static_cast<int>(n);
    }
    struct restore_params {
        std::int32_t* p;
        int n;
        ~restore_params() {
            dialog_params = p;
            dialog_param_count = n;
        }
    } restore{saved_params, saved_count};
    HWND parent = owner_window(owner);
    INT_PTR result = DialogBoxParam(hinst, MAKEINTRESOURCE(template_id), parent, proc, param);
    if (!owner && active_child && IsWindow(active_child))
        SendMessage(active_child, WM_ACTIVATE, WA_ACTIVE, 0);
    return result;
}

void add_dialog_filter(HWND window, loop_filter_fn filter, int first) {
    add_loop_filter_at(window, filter, first != 0);
}

void remove_dialog_filter(HWND window) {
    remove_loop_filter(window);
}

HWND create_modeless(int template_id, DLGPROC proc, HWND parent, HWND* slot, int filter) {
    if (!dlg_find_template(template_id)) register_dialog_templates();
    if (slot) destroy_modeless(slot);
    HWND dialog = CreateDialogParam(hinst, MAKEINTRESOURCE(template_id), parent, proc, 0);
    if (slot) *slot = dialog;
    if (dialog && filter) add_loop_filter(dialog, nullptr);
    return dialog;
}

void destroy_modeless(HWND* slot) {
    if (!slot || !*slot) return;
    HWND dialog = *slot;
    *slot = nullptr;
    remove_loop_filter(dialog);
    if (IsWindow(dialog)) DestroyWindow(dialog);
}

// ------------------------------------------------------------ fit_dialog ---

void set_dialog_centre(int x, int y) {
    centre_point = POINT{x, y};
}

void set_dialog_font_specs(const char* dialog, const char* small, const char* fallback) {
    const char* specs[3] = {dialog, small, fallback};
    for (int i = 0; i < 3; ++i) {
        std::string s = specs[i] ? specs[i] : "";
        if (s != fonts[i].spec) {
            if (fonts[i].font) retired_fonts.push_back(fonts[i].font);
            fonts[i].font = nullptr;
            fonts[i].spec = s;
        }
    }
}

void set_fallback_font_chooser(fallback_font_chooser chooser) {
    font_chooser = chooser;
}

const std::string& dialog_font_spec(int which) {
    return fonts[std::clamp(which, 0, 2)].spec;
}

void free_dialog_fonts() {
    for (int i = 0; i < 3; ++i) drop_font(i);
    free_retired_dialog_fonts();
}

void free_retired_dialog_fonts() {
    for (HFONT f : retired_fonts) DeleteObject(f);
    retired_fonts.clear();
}

void refont_dialog(HWND dialog) {
    if (!dialog || !IsWindow(dialog)) return;
    HFONT font = spec_font(0);
    if (!font) return; // the platform's font: nothing of ours was in use
    SendMessage(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM f) -> BOOL {
            SendMessage(child, WM_SETFONT, static_cast<WPARAM>(f), FALSE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font));
    InvalidateRect(dialog, nullptr, TRUE);
}

HFONT fit_dialog(HWND dialog, int font_mode) {
    if (!IsWindow(dialog)) return nullptr;
    HFONT old_font = reinterpret_cast<HFONT>(SendMessage(dialog, WM_GETFONT, 0, 0));
    font_size from = measure(old_font);
    HFONT font = nullptr;
    if (font_mode >= 1) {
        HWND parent = GetParent(dialog);
        if (parent) font = reinterpret_cast<HFONT>(SendMessage(parent, WM_GETFONT, 0, 0));
    } else {
        font = spec_font(font_mode == -4 ? 1 : 0);
    }
    if (!font || font == old_font) {
        // No font of our own: the template's font and size stay.
        font = old_font;
    } else {
        font_size to = measure(font);
        SIZE size = scaled_size(dialog, from, to);
        if (!fits_screen(size) && font_mode < 1) {
            for (;;) {
                HFONT fallback = spec_font(2);
                if (fallback) {
                    font = fallback;
                    to = measure(font);
                    size = scaled_size(dialog, from, to);
                }
                if (fallback && fits_screen(size)) break;
                report(8, "Screen too small - try a smaller font on the next dialog");
                const bool only = dialog_depth <= 1;
                if (only) drop_font(2);
                // The user may pick a smaller fallback font; the font dialog
                // is not offered again from inside itself.
                font_spec chosen{};
                read_font_spec(&chosen, fonts[2].spec.c_str(), nullptr);
                int answer = 0;
                if (font_chooser && !choosing_font) {
                    choosing_font = true;
                    struct reset {
                        ~reset() { choosing_font = false; }
                    } reset_flag;
                    answer = font_chooser(&chosen, 0);
                }
                if (answer != 0 && !only)
                    report(8, "You will need to cancel all open dialogs and try again");
                if (answer == 0 || !only) {
                    EndDialog(dialog, 0);
                    return nullptr;
                }
                drop_font(2);
                fonts[2].spec = font_spec_text(chosen);
            }
        }
        bool resize = font_mode >= 0 || font_mode == -4;
        if (resize) {
            RECT wr{};
            GetWindowRect(dialog, &wr);
            POINT tl{wr.left, wr.top};
            if (GetWindowLong(dialog, GWL_STYLE) & WS_CHILD) ScreenToClient(GetParent(dialog), &tl);
            MoveWindow(dialog, tl.x, tl.y, size.cx, size.cy, FALSE);
        }
        SendMessage(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        child_move m{dialog, from, resize ? to : from, font};
        EnumChildWindows(dialog, move_child, reinterpret_cast<LPARAM>(&m));
        InvalidateRect(dialog, nullptr, TRUE);
    }
    if (font_mode <= 0 && font_mode != -4 && (centre_point.x || centre_point.y)) {
        RECT wr{};
        GetWindowRect(dialog, &wr);
        int w = wr.right - wr.left, h = wr.bottom - wr.top;
        int x = centre_point.x - w / 2 - 1, y = centre_point.y - h / 2 - 1;
        RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (main_wnd && IsWindow(main_wnd)) GetWindowRect(main_wnd, &area);
        x = std::max<int>(area.left, std::min<int>(x, area.right - w));
        y = std::max<int>(area.top, std::min<int>(y, area.bottom - h));
        SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        centre_point = POINT{0, 0};
    }
    return font;
}
