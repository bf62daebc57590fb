// The bottom bar (see bottombar.h).
#include "shell/bottombar.h"

#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "resources/bitmaps.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/fonts.h"
#include "shell/pump.h"
#include "shell/settings_rows.h"
#include "shell/state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int item_y = 1, item_h = 15, gap = 2, left_margin = 2;

struct build_entry {
    const char* tip;
    const char* text;
    std::uint16_t kind;
    std::uint16_t command;
    std::int16_t width;
};

// The build window's items.
constexpr build_entry build_table[build_item_count] = {
    {"Show the previous view", "", 60, 327, 15},
    {"Choose a view to look at", "", bk_text, 326, 100},
    {"Show the next view", "", 48, 328, 15},
    {"Set the hide depth", "", bk_text, 421, 50},
    {"Set font on selected vars", "", bk_text, 330, 125},
    {"Set size on selected vars", "", bk_text, 331, 20},
    {"Set bold on selected vars", "B", bk_text, 335, 12},
    {"Set italic on selected vars", "I", bk_text, 336, 12},
    {"Set underline on selected vars", "U", bk_text, 337, 12},
    {"Set strikethrough on selected vars", "S", bk_text, 338, 12},
    {"Set color on selected vars", "", bk_colour, 332, 15},
    {"Set box color on selected vars", "", bk_colour, 333, 15},
    {"Set surround shape on selected vars", "", 108, 340, 15},
    {"Set text position on selected vars", "", 84, 341, 15},
    {"Set color on selected arrows", "", bk_colour, 334, 15},
    {"Set arrow width on selected arrows", "", 24, 339, 15},
    {"Set polarity on selected arrows", "", 12, 364, 15},
    {"Add the workbench variable to the sketch", "", 96, 353, 15},
    {"Push the highlighted words to the background", "", 72, 358, 15},
    {nullptr, "", bk_text, bottom_no_command, 60},
};

std::vector<bottom_item> make_build_items() {
    std::vector<bottom_item> v;
    for (const build_entry& e : build_table) {
        bottom_item it;
        it.tip = e.tip;
        it.text = e.text;
        it.kind = e.kind;
        it.command = e.command;
        it.width = e.width;
        v.push_back(std::move(it));
    }
    return v;
}

struct bar_state {
    // The build table with its current values, and the list shown now (the
    // table itself or a short list).
    std::vector<bottom_item> table = make_build_items();
    std::vector<bottom_item> shortlist;
    bool showing_table = false;
    int mode = bm_text;
    int pressed = 0; // position + 1
    int hot = 0;     // position + 1 of the item under the pointer
    bottom_place place;
    HWND edit = nullptr;
    HFONT font = nullptr;
    HBITMAP strip = nullptr;
};
bar_state bar;
std::string status_text;

std::vector<bottom_item>& items() {
    return bar.showing_table ? bar.table : bar.shortlist;
}

int count() {
    return static_cast<int>(items().size());
}

int client_width(HWND w) {
    RECT rc{};
    if (w) GetClientRect(w, &rc);
    return rc.right;
}

int item_at(int x, int y) {
    if (y < 0 || y >= bottom_height) return 0;
    const auto& v = items();
    for (std::size_t i = 0; i < v.size(); ++i)
        if (x >= v[i].x && x < v[i].x + v[i].width) return static_cast<int>(i) + 1;
    return 0;
}

const bottom_item* item_of(int number) {
    if (number < 1 || number > count()) return nullptr;
    return &items()[static_cast<std::size_t>(number - 1)];
}

// A text item typed into: the one item of mode 0.
bool takes_input(const bottom_item& it) {
    return bar.mode == bm_input && !bar.showing_table && it.kind == bk_text &&
           it.command != bottom_no_command;
}

HFONT bar_font() {
    if (!bar.font && bottom_wnd) {
        HDC dc = GetDC(bottom_wnd);
        bar.font = make_font(dc, opts.fonts[of_bottom_menu], 0);
        ReleaseDC(bottom_wnd, dc);
    }
    return bar.font ? bar.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Makes (or drops) the edit field of an item typed into and places it.
void sync_edit() {
    const bottom_item* input = nullptr;
    for (const bottom_item& it : items())
        if (takes_input(it)) input = &it;
    if (!bottom_wnd) return;
    if (!input) {
        if (bar.edit) DestroyWindow(bar.edit);
        bar.edit = nullptr;
        return;
    }
    if (!bar.edit) {
        bar.edit =
            CreateWindow(WC_EDIT, input->text.c_str(), WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                         input->x, item_y, input->width, item_h, bottom_wnd,
                         handle_from_token<HMENU>(input->command), hinst, nullptr);
        if (bar.edit) SendMessage(bar.edit, WM_SETFONT, reinterpret_cast<WPARAM>(bar_font()), 0);
    } else {
        MoveWindow(bar.edit, input->x, item_y, input->width, item_h, TRUE);
    }
}

void repaint() {
    if (!bottom_wnd) return;
    layout_bottom_items(bottom_wnd, false);
    sync_edit();
    InvalidateRect(bottom_wnd, nullptr, TRUE);
}

void fill(HDC dc, int l, int t, int r, int b, HBRUSH brush) {
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, brush);
}

// The text shortened, character by character from its end, until it fits.
std::string fitted(HDC dc, const std::string& text, int room) {
    std::string s = text;
    SIZE sz{};
    while (!s.empty()) {
        GetTextExtentPoint32(dc, s.c_str(), static_cast<int>(s.size()), &sz);
        if (sz.cx <= room) break;
        s.pop_back();
    }
    return s;
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    int right = client_width(w);
    fill(dc, 0, 0, right, bottom_height, bevel_face_brush());
    fill(dc, 0, 0, right, 1, bevel_shadow_brush());
    fill(dc, 0, 1, right, 2, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    for (int i = 0; i < count(); ++i) draw_bottom_item(dc, i, bar.pressed == i + 1, true);
    EndPaint(w, &ps);
}

void send_command(std::uint16_t command) {
    if (command == bottom_no_command || !main_wnd) return;
    SendMessage(main_wnd, WM_COMMAND, command, 0);
}

void invalidate_item(HWND w, int number) {
    const bottom_item* it = item_of(number);
    if (!w || !it) return;
    RECT r{it->x, 0, it->x + it->width, bottom_height};
    InvalidateRect(w, &r, FALSE);
}

} // namespace

const std::vector<bottom_item>& bottom_items() {
    return items();
}
int bottom_pressed() {
    return bar.pressed;
}
int bottom_mode() {
    return bar.mode;
}
HWND bottom_edit() {
    return bar.edit;
}
bottom_place bottom_popup_place() {
    return bar.place;
}

void set_bottom_bar(int mode, const char* text, int id) {
    bar.mode = mode;
    bar.pressed = 0;
    bar.hot = 0;
    bar.shortlist.clear();
    bar.showing_table = false;
    if (mode == bm_build && !text && !status_text.empty()) text = status_text.c_str();
    if (mode == bm_input && text) {
        bottom_item it;
        it.text = text;
        it.kind = bk_text;
        it.command = static_cast<std::uint16_t>(id);
        bar.shortlist.push_back(std::move(it));
    } else if (mode == bm_build && text) {
        for (int i = bi_previous_view; i <= bi_next_view; ++i)
            bar.shortlist.push_back(bar.table[static_cast<std::size_t>(i)]);
        bottom_item it;
        it.text = text;
        it.kind = bk_text;
        bar.shortlist.push_back(std::move(it));
    } else if (mode == bm_build) {
        bar.showing_table = true;
    } else if (text) {
        bottom_item it;
        it.text = text;
        it.kind = bk_text;
        bar.shortlist.push_back(std::move(it));
    }
    if (bar.edit) {
        DestroyWindow(bar.edit);
        bar.edit = nullptr;
    }
    repaint();
}

void layout_bottom_items(HWND w, bool fixed) {
    auto& v = items();
    int width = client_width(w);
    if (bar.showing_table && !fixed) {
        int others = left_margin;
        for (std::size_t i = 0; i < v.size(); ++i)
            others += (i == bi_choose_view ? 0 : v[i].width) + gap;
        v[bi_choose_view].width = static_cast<std::int16_t>(
            std::clamp(width - others, view_chooser_min, view_chooser_max));
    }
    int x = left_margin;
    for (std::size_t i = 0; i < v.size(); ++i) {
        bottom_item& it = v[i];
        it.x = static_cast<std::int16_t>(x);
        // The last text item of a short list reaches to the right end.
        if (!bar.showing_table && i + 1 == v.size() && it.kind == bk_text)
            it.width = static_cast<std::int16_t>(std::max(width - x - left_margin, 0));
        x += it.width + gap;
    }
}

void draw_bottom_items(int first, int last) {
    int n = count();
    if (first < 0) first += n;
    if (last < 0) last += n;
    first = std::max(first, 0);
    last = std::min(last, n - 1);
    if (!bottom_wnd || first > last) return;
    for (int i = first; i <= last; ++i) invalidate_item(bottom_wnd, i + 1);
    UpdateWindow(bottom_wnd);
}

void draw_bottom_item(HDC dc, int index, bool pressed, bool content) {
    const bottom_item* it = item_of(index + 1);
    if (!it) return;
    if (it->kind == bk_separator) {
        fill(dc, it->x, item_y, it->x + it->width, item_y + item_h,
             static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return;
    }
    if (it->kind == bk_text) {
        if (takes_input(*it) && bar.edit) return; // the edit field shows it
        if (!content) return;
        HGDIOBJ old = SelectObject(dc, bar_font());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, bevel_text_colour());
        std::string s = fitted(dc, it->text, it->width - 2);
        TextOut(dc, it->x + 2, item_y + 1, s.c_str(), static_cast<int>(s.size()));
        SelectObject(dc, old);
        return;
    }
    bevel_content c{};
    c.dc_mode = bevel_content::dc_own_memory;
    if (content && it->kind == bk_colour) {
        c.kind = bevel_content::colour;
        c.swatch = it->colour;
    } else if (content && it->kind >= bk_first_image) {
        if (!bar.strip)
            bar.strip =
                paint_resource_bitmap(bitmap_bottom_bar, bevel_face_colour(), bevel_text_colour());
        c.kind = bevel_content::strip_cell;
        c.image = bar.strip;
        c.cell_x = it->kind & 0x7FFF;
        c.cell_w = bottom_cell_w;
        c.inset_x = static_cast<std::uint8_t>(std::max(it->width - bottom_cell_w, 0) / 2);
        c.inset_y = static_cast<std::uint8_t>((item_h - bottom_strip_h) / 2);
    }
    draw_bevel_button(dc, dc, it->x, item_y, it->width, item_h, pressed ? 1 : 0, &c);
}

void set_bottom_status(const char* text) {
    status_text = text ? text : "";
}

const std::string& bottom_status() {
    return status_text;
}

void set_bottom_item_text(int index, const char* text) {
    if (index < 0 || index >= build_item_count) return;
    bar.table[static_cast<std::size_t>(index)].text = text ? text : "";
    if (bar.showing_table)
        draw_bottom_items(index, index);
    else if (bar.mode == bm_build && index <= bi_next_view && index < count()) {
        bar.shortlist[static_cast<std::size_t>(index)].text = text ? text : "";
        draw_bottom_items(index, index);
    }
}

void set_bottom_item_colour(int index, COLORREF colour) {
    if (index < 0 || index >= build_item_count) return;
    bar.table[static_cast<std::size_t>(index)].colour = colour;
    if (bar.showing_table) draw_bottom_items(index, index);
}

bottom_view_fn bottom_view_hook = nullptr;

void set_bottom_view_values(const bottom_view_values& v) {
    set_bottom_item_text(bi_choose_view, v.view_name.c_str());
    std::string depth;
    if (v.shown_level <= 0)
        depth = "Hide";
    else if (v.shown_level >= 17)
        depth = "Show";
    else
        depth = "Depth " + std::to_string(v.shown_level);
    set_bottom_item_text(bi_depth, depth.c_str());
    set_bottom_item_text(bi_font, v.face.c_str());
    char size[8];
    std::snprintf(size, sizeof size, "%2d", std::clamp(v.size, 0, 99));
    set_bottom_item_text(bi_size, size);
    static const char letters[] = "BIUS";
    for (int i = 0; i < 4; ++i) {
        char c[2] = {letters[i], 0};
        if (!(v.style & (1u << i))) c[0] = static_cast<char>(c[0] - 'A' + 'a');
        set_bottom_item_text(bi_bold + i, c);
    }
    set_bottom_item_colour(bi_text_colour, v.text_colour);
    set_bottom_item_colour(bi_outline_colour, v.outline_colour);
    set_bottom_item_colour(bi_connector_colour, v.connector_colour);
}

void show_build_bottom_bar(HWND frame) {
    bottom_view_values v;
    if (bottom_view_hook && frame && bottom_view_hook(frame, &v)) set_bottom_view_values(v);
    set_bottom_bar(bm_build, nullptr, 0);
}

LRESULT bottom_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE:
        sync_edit();
        return 0;
    case WM_SETFONT:
    case WM_FONTCHANGE:
        if (bar.font) DeleteObject(bar.font);
        bar.font = nullptr;
        if (bar.edit) {
            DestroyWindow(bar.edit);
            bar.edit = nullptr;
        }
        sync_edit();
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_DESTROY:
        if (bar.font) DeleteObject(bar.font);
        if (bar.strip) DeleteObject(bar.strip);
        bar.font = nullptr;
        bar.strip = nullptr;
        bar.edit = nullptr;
        bar.pressed = bar.hot = 0;
        return 0;
    case WM_SIZE:
        layout_bottom_items(w, false);
        sync_edit();
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_MOUSEMOVE: {
        if (modal_count != 0) return 0;
        int under = item_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        const bottom_item* it = item_of(under);
        if (it && !it->tip) under = 0;
        if (under != bar.hot) bar.hot = under;
        if (bar.hot && GetCapture() != w) SetCapture(w);
        if (!bar.hot && !bar.pressed && GetCapture() == w && tooltip_state() != 3) ReleaseCapture();
        track_tooltip(w, bar.hot, 0);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        int under = item_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        const bottom_item* it = item_of(under);
        if (!it || it->command == bottom_no_command) return 0;
        bar.pressed = under;
        bar.place = bottom_place{it->x, it->width};
        SetCapture(w);
        invalidate_item(w, under);
        return 0;
    }
    case WM_LBUTTONUP: {
        if (GetCapture() == w) ReleaseCapture();
        int was = bar.pressed;
        bar.pressed = 0;
        if (!was) return 0;
        invalidate_item(w, was);
        // The command goes even when the pointer left the item while held.
        if (const bottom_item* it = item_of(was)) send_command(it->command);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != w) bar.hot = 0;
        return 0;
    case WM_COMMAND: {
        // The typed-into field: its notifications go on as the item's command.
        HWND from = reinterpret_cast<HWND>(lp);
        if (from && from == bar.edit && main_wnd) SendMessage(main_wnd, WM_COMMAND, wp, lp);
        return 0;
    }
    case wm_tip_request: {
        const bottom_item* it = item_of(static_cast<int>(wp));
        auto* req = reinterpret_cast<tip_request*>(lp);
        if (!it || !req || !it->tip) return 0;
        req->text = it->tip;
        req->x = it->x;
        req->y = 0;
        req->above = true;
        return 1;
    }
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}
