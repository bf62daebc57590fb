// The pop-up list (see popuplist.h).
#include "shell/controls/popuplist.h"

#include "platform/controls.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "shell/bottombar.h"
#include "shell/fonts.h"
#include "shell/mainloop.h"
#include "shell/pump.h"
#include "shell/settings_rows.h"
#include "shell/state.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int32_t popup_loop_id = 0x504C; // the loop level's id
constexpr int bitmap_row_h = 15;

struct popup_state {
    HWND box = nullptr;
    const HBITMAP* bitmaps = nullptr;
    bool ended = false;
};
popup_state* active = nullptr;

void finish(int result) {
    if (!active || active->ended) return;
    active->ended = true;
    end_maintain(popup_loop_id, result);
}

bool inside(HWND box, HWND target) {
    return target == box || (target && IsChild(box, target));
}

int selection(HWND box) {
    return static_cast<int>(SendMessage(box, LB_GETCURSEL, 0, 0));
}

// Sees every message while the list is up.
bool popup_filter(HWND, MSG* msg) {
    if (!active || active->ended) return false;
    HWND box = active->box;
    switch (msg->message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
        // Outside: nothing chosen, and the click goes on to its window.
        if (!inside(box, msg->hwnd)) finish(-1);
        return false;
    case WM_LBUTTONUP: {
        if (!inside(box, msg->hwnd)) return false;
        TranslateMessage(msg);
        DispatchMessage(msg);
        POINT p{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
        RECT rc{};
        GetClientRect(box, &rc);
        if (msg->hwnd == box && p.x >= 0 && p.y >= 0 && p.x < rc.right && p.y < rc.bottom)
            finish(selection(box));
        return true;
    }
    case WM_KEYDOWN:
        if (msg->wParam == VK_RETURN) {
            finish(selection(box));
            return true;
        }
        if (msg->wParam == VK_ESCAPE) {
            finish(-1);
            return true;
        }
        // Keys move the selection in the list wherever the focus is.
        if (msg->hwnd != box) {
            SendMessage(box, msg->message, msg->wParam, msg->lParam);
            return true;
        }
        return false;
    default:
        return false;
    }
}

// The host of the list box: draws the bitmap rows.
LRESULT host_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_MEASUREITEM: {
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        if (mi) mi->itemHeight = bitmap_row_h;
        return 1;
    }
    case WM_DRAWITEM: {
        auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (!di || !active || !active->bitmaps) return 1;
        bool selected = (di->itemState & ODS_SELECTED) != 0;
        FillRect(di->hDC, &di->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        int index = static_cast<int>(di->itemID);
        if (index >= 0) {
            HBITMAP bm = active->bitmaps[index];
            if (bm) {
                HDC mem = CreateCompatibleDC(di->hDC);
                HGDIOBJ old = SelectObject(mem, bm);
                BITMAP info{};
                GetObject(bm, sizeof info, &info);
                BitBlt(di->hDC, di->rcItem.left + 1, di->rcItem.top,
                       std::min<int>(info.bmWidth, di->rcItem.right - di->rcItem.left - 2),
                       std::min<int>(info.bmHeight, bitmap_row_h), mem, 0, 0, SRCCOPY);
                SelectObject(mem, old);
                DeleteDC(mem);
            }
        }
        return 1;
    }
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

const char* host_class = "Kavrel_popuplist";

bool register_host() {
    WNDCLASS wc{};
    wc.lpfnWndProc = host_proc;
    wc.hInstance = hinst;
    wc.lpszClassName = host_class;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    return RegisterClass(&wc) != 0 || GetClassInfo(hinst, host_class, &wc);
}

} // namespace

HWND popup_list_box() {
    return active ? active->box : nullptr;
}

int popup_list(const char* const* texts, const HBITMAP* bitmaps, int count, int current) {
    if (count <= 0 || (!texts && !bitmaps) || !main_wnd || active) return -1;
    // A loop level that cannot be had gives no choice.
    if (maintain_depth() >= max_loop_depth) return -1;
    if (!register_host()) return -1;

    HDC dc = GetDC(main_wnd);
    HFONT font = make_font(dc, opts.fonts[of_bottom_menu], 0);
    HGDIOBJ old_font = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    int row_h = bitmaps ? bitmap_row_h : static_cast<int>(tm.tmHeight);
    int widest = 0;
    for (int i = 0; i < count; ++i) {
        if (bitmaps) {
            BITMAP info{};
            if (bitmaps[i] && GetObject(bitmaps[i], sizeof info, &info))
                widest = std::max<int>(widest, info.bmWidth);
        } else if (texts[i]) {
            SIZE sz{};
            GetTextExtentPoint32(dc, texts[i], static_cast<int>(std::strlen(texts[i])), &sz);
            widest = std::max<int>(widest, sz.cx);
        }
    }
    int border = 2 * GetSystemMetrics(SM_CXBORDER);
    int width = widest + 2 * static_cast<int>(tm.tmAveCharWidth) + border;
    SelectObject(dc, old_font);
    ReleaseDC(main_wnd, dc);

    // Above the bottom bar at the pressed item; shortened to whole rows (with
    // a scroll bar) when the workbench above the bar is too low.
    RECT bar_rc{};
    POINT origin{0, 0};
    if (bottom_wnd && IsWindowVisible(bottom_wnd)) {
        GetWindowRect(bottom_wnd, &bar_rc);
        origin = POINT{bar_rc.left, bar_rc.top};
        ScreenToClient(main_wnd, &origin);
    } else {
        RECT cr{};
        GetClientRect(main_wnd, &cr);
        origin = POINT{0, cr.bottom};
    }
    int room = std::max<int>(origin.y, row_h + border);
    int rows = count;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    if (rows * row_h + border > room) {
        rows = std::max(1, (room - border) / row_h);
        style |= WS_VSCROLL;
        width += GetSystemMetrics(SM_CXVSCROLL);
    }
    if (bitmaps)
        style |= LBS_OWNERDRAWFIXED;
    else
        style |= LBS_HASSTRINGS;
    int height = rows * row_h + border;
    bottom_place place = bottom_popup_place();
    int x = std::max(0, origin.x + place.x);
    int y = origin.y - height;

    popup_state st;
    st.bitmaps = bitmaps;
    HWND host = CreateWindow(host_class, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width,
                             height, main_wnd, nullptr, hinst, nullptr);
    if (!host) {
        if (font) DeleteObject(font);
        return -1;
    }
    st.box =
        CreateWindow(WC_LISTBOX, "", style, 0, 0, width, height, host, nullptr, hinst, nullptr);
    if (!st.box) {
        DestroyWindow(host);
        if (font) DeleteObject(font);
        return -1;
    }
    if (font) SendMessage(st.box, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    for (int i = 0; i < count; ++i) {
        if (bitmaps)
            SendMessage(st.box, LB_ADDSTRING, 0, static_cast<LPARAM>(i));
        else
            SendMessage(st.box, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(texts[i] ? texts[i] : ""));
    }
    if (current >= 0 && current < count) SendMessage(st.box, LB_SETCURSEL, current, 0);
    SetWindowPos(host, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND had_focus = GetFocus();
    SetFocus(st.box);

    active = &st;
    add_loop_filter(host, popup_filter);
    maintain(popup_loop_id);
    remove_loop_filter(host);
    active = nullptr;
    int result = st.ended ? maintain_result : -1;

    DestroyWindow(host);
    if (font) DeleteObject(font);
    if (had_focus && IsWindow(had_focus)) SetFocus(had_focus);
    // What the list covered is painted again before the caller goes on.
    MSG m;
    while (PeekMessage(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessage(&m);
    return result;
}
