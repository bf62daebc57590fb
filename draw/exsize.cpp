// The export-size dialog (see exsize.h).
#include "draw/exsize.h"

#include "draw/export.h"
#include "foundation/report.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/dialogs.h"
#include "shell/dialogs.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct dialog_state {
    const export_size_request* req = nullptr;
    SIZE* out = nullptr;
    bool filling = false; // our own field changes do not uncheck the options
};
dialog_state state;

void fill(HWND dlg, double w, double h) {
    char buf[32];
    state.filling = true;
    std::snprintf(buf, sizeof buf, "%.2g", w);
    SetDlgItemText(dlg, exs_width, buf);
    std::snprintf(buf, sizeof buf, "%.2g", h);
    SetDlgItemText(dlg, exs_height, buf);
    state.filling = false;
}

INT_PTR exsize_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    const export_size_request& r = *state.req;
    switch (msg) {
    case WM_INITDIALOG: {
        SetDlgItemText(dlg, exs_title,
                       r.metric ? "Export Size in Centimeters" : "Export Size in Inches");
        char buf[64];
        std::snprintf(buf, sizeof buf, "Full Size (%.2gx%.2g)", r.full_w, r.full_h);
        SetDlgItemText(dlg, exs_full, buf);
        std::snprintf(buf, sizeof buf, "Screen Size (%.2gx%.2g)", r.screen_w, r.screen_h);
        SetDlgItemText(dlg, exs_screen, buf);
        CheckRadioButton(dlg, exs_full, exs_screen, exs_screen);
        fill(dlg, r.screen_w, r.screen_h);
        return TRUE;
    }
    case WM_COMMAND: {
        int id = LOWORD(wp), code = HIWORD(wp);
        if (id == exs_full && code == BN_CLICKED) fill(dlg, r.full_w, r.full_h);
        if (id == exs_screen && code == BN_CLICKED) fill(dlg, r.screen_w, r.screen_h);
        if ((id == exs_width || id == exs_height) && code == EN_CHANGE && !state.filling) {
            CheckDlgButton(dlg, exs_full, BST_UNCHECKED);
            CheckDlgButton(dlg, exs_screen, BST_UNCHECKED);
        }
        if (id == IDOK) {
            char w[64] = {}, h[64] = {};
            GetDlgItemText(dlg, exs_width, w, sizeof w);
            GetDlgItemText(dlg, exs_height, h, sizeof h);
            int px = export_side_pixels(w, r.metric, r.res_x);
            if (!px) {
                report(8, "Bad number %s for width", w);
                return TRUE;
            }
            int py = export_side_pixels(h, r.metric, r.res_y);
            if (!py) {
                report(8, "Bad number %s for height", h);
                return TRUE;
            }
            *state.out = SIZE{px, py};
            EndDialog(dlg, 1);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

} // namespace

int export_side_pixels(const char* text, bool metric, int ppi) {
    if (!text) return 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text) return 0;
    while (*end == ' ') ++end;
    if (*end || !std::isfinite(v)) return 0;
    double cm = metric ? v : v * 2.54;
    double px = cm * 0.39370078 * (ppi > 0 ? ppi : 96);
    if (!(px >= 1) || px > export_max_side) return 0;
    return static_cast<int>(px);
}

int ask_export_size(HWND owner, const export_size_request& request, SIZE* out) {
    if (!out) return 0;
    dialog_state saved = state;
    state = dialog_state{&request, out, false};
    INT_PTR r = run_dialog(dlg_export_size, owner, exsize_proc, 0);
    state = saved;
    return r == 1 ? 1 : 0;
}
