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
    WNDPROC box_default = nullptr;
    const HBITMAP* bitmaps = nullptr;
    bool ended = false;
};
popup_state* active = nullptr;

void finish(int result) {
    if (!active || active->ended) return;
    active->ended = true;
    end_maintain(popup_loop_id, result);
}

int selection(HWND box) {
    return static_cast<int>(SendMessage(box, LB_GETCURSEL, 0, 0));
}

// The movement keys of a list, taken here for a key that went to another
// window: the list box answers keys only when it has the focus itself.
// False for other keys.
bool move_selection(HWND box, WPARAM vk) {
    const int n = static_cast<int>(SendMessage(box, LB_GETCOUNT, 0, 0));
    if (n <= 0) return false;
    const int cur = std::max(0, selection(box));
    const int row_h = static_cast<int>(SendMessage(box, LB_GETITEMHEIGHT, 0, 0));
    RECT rc{};
    GetClientRect(box, &rc);
    const int page = std::max(1, row_h > 0 ? static_cast<int>(rc.bottom) / row_h : 1);
    int next = cur;
    switch (vk) {
    case VK_UP:
        next = cur - 1;
        break;
    case VK_DOWN:
        next = cur + 1;
        break;
    case VK_HOME:
        next = 0;
        break;
    case VK_END:
        next = n - 1;
        break;
    case VK_PRIOR:
        next = cur - page;
        break;
    case VK_NEXT:
        next = cur + page;
        break;
    default:
        return false;
    }
    SendMessage(box, LB_SETCURSEL, static_cast<WPARAM>(std::clamp(next, 0, n - 1)), 0);
    return true;
}

// Sees every message while the list is up.
bool popup_filter(HWND, MSG* msg) {
    if (!active || active->ended) return false;
    HWND box = active->box;
    switch (msg->message) {
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
            if (!move_selection(box, msg->wParam))
                SendMessage(box, msg->message, msg->wParam, msg->lParam);
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool is_button(UINT m) {
    return m == WM_LBUTTONDOWN || m == WM_LBUTTONUP || m == WM_RBUTTONDOWN || m == WM_RBUTTONUP ||
           m == WM_MBUTTONDOWN || m == WM_MBUTTONUP;
}

// Gives a press or release the list took (it holds the mouse) to the window
// under the pointer.
void pass_on(HWND box, UINT m, WPARAM wp, LPARAM lp) {
    POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ClientToScreen(box, &p);
    HWND target = WindowFromPoint(p);
    if (!target || target == box || IsChild(box, target) || IsChild(target, box)) return;
    ScreenToClient(target, &p);
    PostMessage(target, m, wp, MAKELPARAM(p.x, p.y));
}

// The list box holds the mouse while the list is up: a press outside it ends
// the choice with nothing and goes on to its window; a release inside ends
// it with the selection.
LRESULT box_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    WNDPROC base = active ? active->box_default : nullptr;
    if (!active || !base) return DefWindowProc(w, m, wp, lp);
    if (is_button(m)) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        RECT rc{};
        GetClientRect(w, &rc);
        bool in = p.x >= 0 && p.y >= 0 && p.x < rc.right && p.y < rc.bottom;
        if (active->ended || !in) {
            if (!active->ended && m != WM_LBUTTONUP && m != WM_RBUTTONUP && m != WM_MBUTTONUP)
                finish(-1);
            if (active->ended) {
                if (GetCapture() == w) ReleaseCapture();
                pass_on(w, m, wp, lp);
            }
            return 0;
        }
        LRESULT r = CallWindowProc(base, w, m, wp, lp);
        if (m == WM_LBUTTONDOWN || m == WM_LBUTTONUP) {
            // The row under the pointer is the selection.
            int row_h = static_cast<int>(SendMessage(w, LB_GETITEMHEIGHT, 0, 0));
            int top = static_cast<int>(SendMessage(w, LB_GETTOPINDEX, 0, 0));
            int n = static_cast<int>(SendMessage(w, LB_GETCOUNT, 0, 0));
            int row = row_h > 0 ? top + p.y / row_h : -1;
            if (row >= 0 && row < n && row != selection(w)) SendMessage(w, LB_SETCURSEL, row, 0);
        }
        if (m == WM_LBUTTONUP)
            finish(selection(w));
        else if (GetCapture() != w)
            SetCapture(w);
        return r;
    }
    LRESULT r = CallWindowProc(base, w, m, wp, lp);
    if (m == WM_CAPTURECHANGED && !active->ended && reinterpret_cast<HWND>(lp) == nullptr)
        SetCapture(w);
    return r;
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
    // Rows as high as the list was measured for.
    SendMessage(st.box, LB_SETITEMHEIGHT, 0, row_h);
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
    st.box_default = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(st.box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(box_proc)));
    SetCapture(st.box);
    add_loop_filter(host, popup_filter);
    maintain(popup_loop_id);
    remove_loop_filter(host);
    if (GetCapture() == st.box) ReleaseCapture();
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
