// The Graphs page. The graph sets sit above the shell: the list and the
// runner are reached through graph_set_slots (shell/upcalls.h).
#include "shell/graphspage.h"

#include "platform/controls.h"
#include "resources/panel.h"
#include "shell/dialogs.h"
#include "shell/state.h"
#include "shell/upcalls.h"

#include <string>
#include <vector>

namespace {

void fill_list(HWND page) {
    HWND list = GetDlgItem(page, idg_list);
    if (!list) return;
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    std::vector<std::string> names;
    if (graph_set_slots.tool_names) graph_set_slots.tool_names(&names);
    for (const std::string& n : names)
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
    EnableWindow(GetDlgItem(page, idg_display), !names.empty());
}

// Shows every selected graph through the user-tool runner.
void display_selected(HWND page) {
    HWND list = GetDlgItem(page, idg_list);
    if (!list || !graph_set_slots.run_tool) return;
    const LRESULT count = SendMessage(list, LB_GETCOUNT, 0, 0);
    std::vector<std::string> chosen;
    for (LRESULT i = 0; i < count; ++i) {
        if (SendMessage(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        char name[256] = {};
        const LRESULT len = SendMessage(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len <= 0 || len >= static_cast<LRESULT>(sizeof name)) continue;
        SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
        chosen.emplace_back(name);
    }
    for (const std::string& n : chosen) graph_set_slots.run_tool(n.c_str());
}

// The buttons in two rows along the bottom, the list above them.
void lay_out(HWND page) {
    RECT r{};
    GetClientRect(page, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int margin = 6, bh = 22, gap = 4;
    const int bw = (w - 2 * margin - 3 * gap) / 4;
    if (bw < 10 || h < 100) return;
    const int row2 = h - margin - bh, row1 = row2 - gap - bh;
    const int first[4] = {idg_display, idg_modify, idg_copy, idg_new};
    const int second[2] = {idg_delete, idg_reorder};
    for (int i = 0; i < 4; ++i)
        MoveWindow(GetDlgItem(page, first[i]), margin + i * (bw + gap), row1, bw, bh, TRUE);
    for (int i = 0; i < 2; ++i)
        MoveWindow(GetDlgItem(page, second[i]), margin + i * (bw + gap), row2, bw, bh, TRUE);
    RECT c{};
    GetWindowRect(GetDlgItem(page, idg_wip), &c);
    POINT p{c.left, c.bottom};
    ScreenToClient(page, &p);
    const int top = p.y + gap;
    MoveWindow(GetDlgItem(page, idg_list), margin, top, w - 2 * margin, row1 - gap - top, TRUE);
}

} // namespace

INT_PTR user_proc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        fit_dialog(page, -1);
        // Editing definitions is not built: only Display works.
        for (int id : {idg_modify, idg_copy, idg_new, idg_delete, idg_reorder})
            EnableWindow(GetDlgItem(page, id), FALSE);
        CheckDlgButton(page, idg_wip, (float_opts & fo_wip_graph) ? BST_CHECKED : BST_UNCHECKED);
        fill_list(page);
        lay_out(page);
        return TRUE;
    case WM_SIZE:
        lay_out(page);
        return TRUE;
    case WM_SHOWWINDOW:
        if (wparam) fill_list(page);
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam), code = HIWORD(wparam);
        if (id == idg_wip) {
            if (IsDlgButtonChecked(page, idg_wip) == BST_CHECKED)
                float_opts |= fo_wip_graph;
            else
                float_opts &= static_cast<std::uint8_t>(~fo_wip_graph);
            return TRUE;
        }
        if (id == idg_display || (id == idg_list && code == LBN_DBLCLK)) {
            display_selected(page);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void refill_graphs_page(HWND page) {
    if (page && IsWindow(page)) fill_list(page);
}
