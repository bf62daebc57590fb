// The "Subscript Control" window over the panel's logic.
#include "shell/subpanel_wnd.h"

#include <algorithm>
#include <string>
#include <vector>

#include "model/eqtext.h"
#include "model/subpanel.h"
#include "platform/controls.h"
#include "resources/subpanel.h"
#include "shell/dialogs.h"
#include "shell/state.h"

namespace {

HWND panel = nullptr;
// Set while the window changes the selection or the range itself, so that the
// logic's change notices do not refill the lists half-way; it refreshes once
// at the end.
bool busy = false;
// The range whose elements the list holds.
symbol_id filled_range{};

HWND parent_window() {
    if (container_wnd && IsWindow(container_wnd)) return container_wnd;
    if (main_wnd && IsWindow(main_wnd)) return main_wnd;
    return nullptr;
}

// Dialog units to pixels for this dialog.
int du_x(int units) {
    RECT r{0, 0, units, 0};
    MapDialogRect(panel, &r);
    return r.right;
}
int du_y(int units) {
    RECT r{0, 0, 0, units};
    MapDialogRect(panel, &r);
    return r.bottom;
}

void remember_placement() {
    if (!panel || !IsWindow(panel)) return;
    RECT wr;
    if (!GetWindowRect(panel, &wr)) return;
    POINT origin{wr.left, wr.top};
    if (HWND parent = GetParent(panel)) ScreenToClient(parent, &origin);
    const int r[4] = {origin.x, origin.y, wr.right - wr.left, wr.bottom - wr.top};
    subscript_panel_set_rect(r);
}

void layout() {
    RECT c;
    if (!panel || !GetClientRect(panel, &c)) return;
    const int cw = c.right, ch = c.bottom;
    const int m = du_x(7), my = du_y(7);
    const int button_w = du_x(40), button_h = du_y(14);
    const int buttons_y = std::max(0, ch - my - button_h);
    const int summary_h = du_y(8);
    const int summary_y = std::max(0, buttons_y - du_y(11) - summary_h + du_y(4));
    const int list_y = du_y(24);
    auto place = [](HWND w, int x, int y, int width, int height) {
        if (w) MoveWindow(w, x, y, std::max(0, width), std::max(0, height), TRUE);
    };
    place(GetDlgItem(panel, idc_sp_range_label), m, du_y(9), du_x(28), du_y(8));
    place(GetDlgItem(panel, idc_sp_range), du_x(36), my, cw - du_x(36) - m, du_y(120));
    place(GetDlgItem(panel, idc_sp_elements), m, list_y, cw - 2 * m, summary_y - du_y(4) - list_y);
    place(GetDlgItem(panel, idc_sp_summary), m, summary_y, cw - 2 * m, summary_h);
    place(GetDlgItem(panel, idc_sp_all), m, buttons_y, button_w, button_h);
    place(GetDlgItem(panel, idc_sp_none), m + button_w + du_x(5), buttons_y, button_w, button_h);
    place(GetDlgItem(panel, IDCANCEL), cw - m - button_w, buttons_y, button_w, button_h);
}

// Fills the lists from the logic: the ranges with their summaries, the shown
// range's elements with their selection, the summary line.
void refresh() {
    if (!panel || !IsWindow(panel)) return;
    std::vector<symbol_id> ranges = subpanel_ranges();
    symbol_id shown = subpanel_range();
    if (!ranges.empty() && std::find(ranges.begin(), ranges.end(), shown) == ranges.end()) {
        busy = true;
        subpanel_set_range(ranges.front());
        busy = false;
        shown = subpanel_range();
    }
    HWND combo = GetDlgItem(panel, idc_sp_range);
    SendMessage(combo, CB_RESETCONTENT, 0, 0);
    int current = -1;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        std::string text = varformat(ranges[i], 0);
        text += " (" + subpanel_summary(ranges[i]) + ")";
        SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (ranges[i] == shown) current = static_cast<int>(i);
    }
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(current), 0);

    HWND list = GetDlgItem(panel, idc_sp_elements);
    LRESULT top = SendMessage(list, LB_GETTOPINDEX, 0, 0);
    // Setting each item's selection moves the caret onto it; the caret is the
    // element the user last clicked, which a double click that follows reads.
    LRESULT caret = shown == filled_range ? SendMessage(list, LB_GETCARETINDEX, 0, 0) : 0;
    filled_range = shown;
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    std::vector<subpanel_item> items = subpanel_items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i].name.c_str()));
        SendMessage(list, LB_SETSEL, items[i].selected ? TRUE : FALSE, static_cast<LPARAM>(i));
    }
    if (!items.empty())
        SendMessage(list, LB_SETCARETINDEX,
                    static_cast<WPARAM>(
                        std::clamp<LRESULT>(caret, 0, static_cast<LRESULT>(items.size()) - 1)),
                    0);
    if (top > 0 && static_cast<std::size_t>(top) < items.size())
        SendMessage(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);

    std::string summary = ranges.empty() ? std::string("The model has no subscript ranges")
                                         : subpanel_summary(shown) + " selected";
    SetDlgItemText(panel, idc_sp_summary, summary.c_str());
    const BOOL usable = items.empty() ? FALSE : TRUE;
    EnableWindow(list, usable);
    EnableWindow(GetDlgItem(panel, idc_sp_all), usable);
    EnableWindow(GetDlgItem(panel, idc_sp_none), usable);
    EnableWindow(combo, ranges.empty() ? FALSE : TRUE);
}

void on_changed() {
    if (!busy) refresh();
}

// Shows (1), hides (0) or destroys (-1) the window, at the placement given
// (each -1: kept).
void on_show(int show, int x, int y, int w, int h) {
    if (show < 0) {
        if (panel) remember_placement();
        destroy_modeless(&panel);
        return;
    }
    if (show == 0) {
        if (panel && IsWindow(panel)) {
            remember_placement();
            ShowWindow(panel, SW_HIDE);
        }
        return;
    }
    if (!panel || !IsWindow(panel)) {
        HWND parent = parent_window();
        if (!parent) return; // no workbench (the logic works on without a window)
        if (!dlg_find_template(dlg_subscript_panel)) register_subpanel_template();
        if (!create_modeless(dlg_subscript_panel, subscript_panel_proc, parent, &panel, 1)) {
            panel = nullptr;
            return;
        }
    }
    RECT wr;
    GetWindowRect(panel, &wr);
    POINT origin{wr.left, wr.top};
    if (HWND parent = GetParent(panel)) ScreenToClient(parent, &origin);
    int nx = x != -1 ? x : origin.x, ny = y != -1 ? y : origin.y;
    int nw = w > 0 ? w : wr.right - wr.left, nh = h > 0 ? h : wr.bottom - wr.top;
    // Keep it reachable inside its parent.
    RECT pc{};
    if (HWND parent = GetParent(panel); parent && GetClientRect(parent, &pc)) {
        nx = std::clamp(nx, 0, std::max(0, static_cast<int>(pc.right) - 30));
        ny = std::clamp(ny, 0, std::max(0, static_cast<int>(pc.bottom) - 30));
        if (pc.right > 0) nw = std::min(nw, static_cast<int>(pc.right));
        if (pc.bottom > 0) nh = std::min(nh, static_cast<int>(pc.bottom));
    }
    SetWindowPos(panel, HWND_TOP, nx, ny, nw, nh, 0);
    refresh();
    ShowWindow(panel, SW_SHOW);
    remember_placement();
}

const subscript_panel_window hooks{on_show, on_changed};

void on_elements_changed() {
    HWND list = GetDlgItem(panel, idc_sp_elements);
    std::vector<subpanel_item> items = subpanel_items();
    busy = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        bool on = SendMessage(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
        if (on != items[i].selected) subpanel_toggle(static_cast<int>(i));
    }
    busy = false;
    refresh();
}

} // namespace

void install_subscript_panel_window() {
    set_subscript_panel_window(&hooks);
}

void remove_subscript_panel_window() {
    destroy_modeless(&panel);
    set_subscript_panel_window(nullptr);
}

HWND subscript_panel_hwnd() {
    return panel && IsWindow(panel) ? panel : nullptr;
}

INT_PTR subscript_panel_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    (void)lparam;
    switch (message) {
    case WM_INITDIALOG:
        panel = dialog;
        fit_dialog(dialog, 0);
        layout();
        refresh();
        return TRUE;
    case WM_SIZE:
        if (dialog == panel) {
            layout();
            remember_placement();
        }
        return FALSE;
    case WM_MOVE:
        if (dialog == panel) remember_placement();
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        const int code = HIWORD(wparam);
        if (id == idc_sp_range && code == CBN_SELCHANGE) {
            LRESULT i = SendDlgItemMessage(dialog, idc_sp_range, CB_GETCURSEL, 0, 0);
            std::vector<symbol_id> ranges = subpanel_ranges();
            if (i >= 0 && static_cast<std::size_t>(i) < ranges.size())
                subpanel_set_range(ranges[static_cast<std::size_t>(i)]);
            return TRUE;
        }
        if (id == idc_sp_elements && code == LBN_SELCHANGE) {
            on_elements_changed();
            return TRUE;
        }
        if (id == idc_sp_elements && code == LBN_DBLCLK) {
            // A double click keeps that element alone.
            LRESULT i = SendDlgItemMessage(dialog, idc_sp_elements, LB_GETCARETINDEX, 0, 0);
            if (i >= 0) subpanel_select_span(static_cast<int>(i), static_cast<int>(i));
            return TRUE;
        }
        if (id == idc_sp_all && code == BN_CLICKED) {
            subpanel_select_all(true);
            return TRUE;
        }
        if (id == idc_sp_none && code == BN_CLICKED) {
            subpanel_select_all(false);
            return TRUE;
        }
        if (id == IDCANCEL) {
            // Closing hides the panel; the selection stays as it is.
            if (subscript_panel_exit_check()) create_subscript_panel(0, -1, -1, -1, -1);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        if (dialog == panel) panel = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
