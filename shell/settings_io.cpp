// Settings rows in and out of the shell (see settings_io.h).
#include "shell/settings_io.h"

#include "foundation/ini.h"
#include "model/subpanel.h"
#include "platform/messages.h"
#include "shell/controlpanel.h"
#include "shell/dialogs.h"
#include "shell/floats.h"
#include "shell/history.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/varselect.h"

#include <clocale>
#include <langinfo.h>

namespace {

bool on_screen(const window_place& p) {
    if (p.w <= 0 || p.h <= 0) return false;
    long long right = static_cast<long long>(p.x) + p.w;
    long long bottom = static_cast<long long>(p.y) + p.h;
    int sw = screen_right > 0 ? screen_right : GetSystemMetrics(SM_CXSCREEN);
    int sh = screen_bottom > 0 ? screen_bottom : GetSystemMetrics(SM_CYSCREEN);
    return right > 0 && bottom > 0 && p.x < sw && p.y < sh;
}

using opener = void (*)(int, int, int, int, int);
void open_subscript(int v, int x, int y, int w, int h) {
    create_subscript_panel(v, x, y, w, h);
}
const opener openers[fw_count] = {control_panel, open_subscript, nullptr, selection_history,
                                  history_window};

} // namespace

bool locale_is_metric() {
    locale_t loc = newlocale(LC_MEASUREMENT_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return true;
    const char* m = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
    bool metric = !m || m[0] != 2; // 1 metric, 2 the US customary units
    freelocale(loc);
    return metric;
}

void apply_dialog_fonts() {
    set_dialog_font_specs(font_spec_text(opts.fonts[of_normal]).c_str(),
                          font_spec_text(opts.fonts[of_compressed]).c_str(), "");
}

void read_settings_rows() {
    read_custom_colours(opts);
    read_settings(opts, float_opts);
    opts.metric = locale_is_metric() ? 1 : 0;
    // Dialogs keep the platform's font until the settings name one.
    if (ini_value("CDialogFont")) apply_dialog_fonts();
}

void store_settings() {
    put_settings_rows(opts, float_opts);
    put_custom_colours(opts);
    save_window_positions();
}

void restore_float_positions() {
    for (int k = 0; k < fw_count; ++k) {
        const char* key = float_key(static_cast<float_kind>(k));
        if (!key || !openers[k]) continue;
        window_place p;
        const char* value = ini_value(key);
        if (!value) continue;
        if (!parse_window_place(value, &p)) {
            report_unread_setting(key, value);
            continue;
        }
        if (!on_screen(p)) continue;
        openers[k](p.visible ? 1 : 0, p.x, p.y, p.w, p.h);
    }
}

void save_window_positions() {
    for (int k = 0; k < fw_count; ++k) {
        const char* key = float_key(static_cast<float_kind>(k));
        if (!key) continue;
        HWND w = float_window(static_cast<float_kind>(k));
        if (!w) {
            ini_set(key, nullptr);
            continue;
        }
        RECT r{};
        GetWindowRect(w, &r);
        POINT o = window_origin(w, GetParent(w));
        window_place p;
        // The history windows are saved as open: they come back when the
        // program starts again.
        p.visible = (k == fw_sel_history || k == fw_err_history) ? 1 : (IsWindowVisible(w) ? 1 : 0);
        p.x = o.x;
        p.y = o.y;
        p.w = r.right - r.left;
        p.h = r.bottom - r.top;
        ini_set(key, window_place_text(p).c_str());
    }
}
