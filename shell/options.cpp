// The option dialogs (see options.h).
#include "shell/options.h"
#include "shell/controls/buttons.h"

#include "foundation/ini.h"
#include "foundation/report.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/print.h"
#include "resources/options.h"
#include "shell/controlpanel.h"
#include "shell/dialogs.h"
#include "shell/exitcheck.h"
#include "shell/floats.h"
#include "shell/fonts.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/subpanel_wnd.h"
#include "shell/toolset.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr float cm_per_inch = 2.54f;

std::string item_text(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    int n = item ? GetWindowTextLength(item) : 0;
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    if (item) GetWindowText(item, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

bool checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void set_check(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void enable(HWND dialog, int id, bool on) {
    if (HWND item = GetDlgItem(dialog, id)) EnableWindow(item, on ? TRUE : FALSE);
}

// A whole number filling the text (blanks around it allowed).
bool scan_int(const std::string& text, long* out) {
    const char* p = text.c_str();
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return false;
    *out = v;
    return true;
}

bool scan_number(const std::string& text, float* out) {
    const char* p = text.c_str();
    char* end = nullptr;
    float v = std::strtof(p, &end);
    if (end == p || !std::isfinite(v)) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return false;
    *out = v;
    return true;
}

// Refuses a typed value: the message, and the box gets the focus so the
// dialog stays open on it.
void refuse(HWND dialog, int id, const char* message) {
    report(8, "%s", message);
    if (HWND item = GetDlgItem(dialog, id)) SetFocus(item);
}

void repaint_all() {
    if (main_wnd && IsWindow(main_wnd))
        RedrawWindow(main_wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// ------------------------------------------------------------- Options ---

struct font_button {
    int id;
    const char* label;
    int font; // index in opts.fonts; -1 the tool face
};
const font_button font_buttons[5] = {
    {ido_font_normal, "Normal", of_normal},
    {ido_font_equation, "Equation Editor", of_equation},
    {ido_font_compressed, "Compressed", of_compressed},
    {ido_font_tool, "Tool Font Face", -1},
    {ido_font_bottom, "Bottom Menu Font", of_bottom_menu},
};

struct options_state {
    bool fonts_changed = false;
    // The font each button stands for (the buttons show it readably).
    font_spec fonts[5] = {};
};

// What a font button shows: its label and the font as a person reads it
// ("Normal - MS Sans Serif, 9 pt, bold"); the tool face only its face.
std::string font_description(const font_spec& f) {
    std::string text = *f.face ? f.face : "Default face";
    text += ", " + std::to_string(static_cast<int>(static_cast<std::int8_t>(f.size))) + " pt";
    if (f.style & font_bold) text += ", bold";
    if (f.style & font_italic) text += ", italic";
    if (f.style & font_underline) text += ", underlined";
    if (f.style & font_strikeout) text += ", struck out";
    return text;
}

void show_button_font(HWND dialog, options_state* st, int index, const font_spec& f) {
    const font_button& b = font_buttons[index];
    st->fonts[index] = f;
    std::string text = std::string(b.label) + " - " + (b.font < 0 ? f.face : font_description(f));
    SetDlgItemText(dialog, b.id, text.c_str());
}

void options_init(HWND dialog, options_state* st) {
    for (int i = 0; i < 5; ++i) {
        const font_button& b = font_buttons[i];
        font_spec f = opts.fonts[of_normal];
        if (b.font >= 0)
            f = opts.fonts[b.font];
        else
            std::snprintf(f.face, sizeof f.face, "%s", opts.tool_face);
        show_button_font(dialog, st, i, f);
    }
    std::uint8_t display = opts.colour_modes[0];
    int kind = display & cm_kind;
    set_check(dialog, kind == cm_colour ? ido_color : kind == cm_mono ? ido_mono : ido_test, true);
    set_check(dialog, ido_solid, display & cm_solid);
    set_check(dialog, ido_markers, opts.colour_modes[1] > 63);
    int pos = opts.sketch_positioning;
    set_check(dialog,
              pos == 2   ? ido_autocenter
              : pos == 1 ? ido_pagemarks
                         : ido_no_pagemarks,
              true);
    set_check(dialog, ido_refresh, opts.refresh_sketches);
    set_check(dialog, ido_far_east, opts.far_east_case);
    char col[2] = {opts.r1c1_col, 0};
    char row[3] = {opts.r1c1_row, static_cast<char>(opts.r1c1_star ? '*' : 0), 0};
    SetDlgItemText(dialog, ido_col, col);
    SetDlgItemText(dialog, ido_row, row);
}

// One rule for both R1C1 boxes: a single letter A to Z (either case); the
// row letter may be followed by "*". Blanks around it are ignored.
bool r1c1_letter(std::string text, bool star_allowed) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::size_t lead = text.find_first_not_of(' ');
    text.erase(0, lead == std::string::npos ? text.size() : lead);
    if (star_allowed && text.size() == 2 && text[1] == '*') text.pop_back();
    return text.size() == 1 && std::isalpha(static_cast<unsigned char>(text[0])) &&
           static_cast<unsigned char>(text[0]) < 128;
}

std::string trimmed(std::string text) {
    std::size_t lead = text.find_first_not_of(' ');
    return lead == std::string::npos ? std::string() : text.substr(lead);
}

bool options_ok(HWND dialog, options_state* st) {
    std::string row = trimmed(item_text(dialog, ido_row));
    std::string col = trimmed(item_text(dialog, ido_col));
    if (!r1c1_letter(row, true)) {
        refuse(dialog, ido_row,
               "Please enter the letter of R1C1 rows: one letter A to Z, which may be followed "
               "by *");
        return false;
    }
    if (!r1c1_letter(col, false)) {
        refuse(dialog, ido_col, "Please enter the letter of R1C1 columns: one letter A to Z");
        return false;
    }
    if (std::toupper(static_cast<unsigned char>(row[0])) ==
        std::toupper(static_cast<unsigned char>(col[0]))) {
        refuse(dialog, ido_col,
               "The letters of R1C1 rows and columns must differ: a cell address could not be "
               "read");
        return false;
    }
    if (st->fonts_changed) {
        for (int i = 0; i < 5; ++i) {
            const font_button& b = font_buttons[i];
            const font_spec& f = st->fonts[i];
            if (b.font >= 0)
                opts.fonts[b.font] = f;
            else
                std::snprintf(opts.tool_face, sizeof opts.tool_face, "%.31s", f.face);
        }
        if (game_window_open) {
            report(8, "You will need to close and reopen Kavrel for all font changes to take "
                      "effect");
        } else {
            // The panels still draw with the old fonts: they take the new
            // ones first, and the old ones are deleted when this dialog,
            // which uses them too, has gone.
            save_window_positions();
            apply_dialog_fonts();
            control_panel_font_changed();
            refont_dialog(subscript_panel_hwnd());
        }
        read_toolset("", 0); // the tools pick the new face up
    }
    bool markers = checked(dialog, ido_markers);
    std::uint8_t kind = checked(dialog, ido_mono)    ? cm_mono
                        : checked(dialog, ido_color) ? cm_colour
                                                     : 0;
    for (std::uint8_t& m : opts.colour_modes) {
        if (markers)
            m = cm_markers;
        else
            m &= static_cast<std::uint8_t>(~cm_markers);
        m = static_cast<std::uint8_t>((m & ~(cm_kind | cm_solid)) | kind);
        if (checked(dialog, ido_solid)) m |= cm_solid;
    }
    opts.sketch_positioning = checked(dialog, ido_autocenter)  ? 2
                              : checked(dialog, ido_pagemarks) ? 1
                                                               : 0;
    opts.refresh_sketches = checked(dialog, ido_refresh) ? 1 : 0;
    std::uint8_t far_east = checked(dialog, ido_far_east) ? 1 : 0;
    if (far_east != opts.far_east_case) {
        opts.far_east_case = far_east;
        ini_set("Inter_case", far_east ? "1" : "0");
        report(8, "You will need to exit and reopen Kavrel for all changes to take effect");
    }
    opts.r1c1_col = col[0];
    opts.r1c1_row = row[0];
    opts.r1c1_star = row.size() > 1 && row[1] == '*' ? 1 : 0;
    return true;
}

void options_font_button(HWND dialog, int index, options_state* st) {
    font_spec f = st->fonts[index];
    if (choose_font(&f, font_buttons[index].font < 0 ? 1 : 0) == 2) {
        show_button_font(dialog, st, index, f);
        st->fonts_changed = true;
    }
}

// -------------------------------------------------------- Print Options ---

struct print_state {
    int record = 0;
    std::string printer_at_start;
};

// The title last offered for a diagram ("Model: %s View: %s"): a title
// left as offered is the diagram's default, not one the user set, so the
// next diagram is offered its own and other outputs show none.
std::string offered_title;

void show_size(HWND dialog, int id, float inches) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g",
                  static_cast<double>(opts.metric ? inches * cm_per_inch : inches));
    SetDlgItemText(dialog, id, buf);
}

void size_boxes(HWND dialog, bool on) {
    for (int id : {idp_width_check, idp_width, idp_height_check, idp_height})
        enable(dialog, id, on);
    if (!on) {
        set_check(dialog, idp_width_check, false);
        set_check(dialog, idp_height_check, false);
        SetDlgItemText(dialog, idp_width, "");
        SetDlgItemText(dialog, idp_height, "");
    }
}

void print_init(HWND dialog, print_state* st) {
    SetDlgItemText(dialog, idp_comment, opts.print_comment.c_str());
    SetDlgItemText(dialog, idp_title, opts.title.c_str());
    set_check(dialog, idp_date, opts.print_date);
    set_check(dialog, opts.info_corner ? idp_page : idp_graph, true);
    enable(dialog, idp_graph, false);
    set_check(dialog,
              opts.orientation == 1   ? idp_landscape
              : opts.orientation == 2 ? idp_portrait
                                      : idp_best,
              true);
    opts.print_percent = 100;
    SetDlgItemInt(dialog, idp_percent, 100, TRUE);
    set_check(dialog, idp_print_at, opts.sizing & sz_percent);
    set_check(dialog, idp_fill, opts.sizing & sz_fill_page);
    set_check(dialog, idp_fit, opts.sizing & sz_fit_view);
    bool set_size = opts.sizing & (sz_width | sz_height);
    set_check(dialog, idp_set_size, set_size);
    set_check(dialog, idp_width_check, opts.sizing & sz_width);
    set_check(dialog, idp_height_check, opts.sizing & sz_height);
    show_size(dialog, idp_width, opts.print_width);
    show_size(dialog, idp_height, opts.print_height);
    size_boxes(dialog, set_size);
    if (set_size) {
        show_size(dialog, idp_width, opts.print_width);
        show_size(dialog, idp_height, opts.print_height);
    }
    int sel = opts.print_selection;
    if (!st->record) {
        for (int id : {idp_all, idp_selection, idp_multiple, idp_print_at, idp_percent})
            enable(dialog, id, false);
        sel = 0;
    } else if (diagram_print_choices d;
               sketch_hooks.print_choices && sketch_hooks.print_choices(st->record, &d)) {
        // A diagram prints its whole view, its selection or every view; the
        // sizes are what prints at 100 %, in the unit the user works in.
        const double unit = opts.metric ? cm_per_inch : 1.0;
        const char* name = opts.metric ? "cm" : "in";
        char text[96];
        std::snprintf(text, sizeof text, "Whole View (%.3gx%.3g %s)", d.view_w * unit,
                      d.view_h * unit, name);
        SetDlgItemText(dialog, idp_all, text);
        const bool selected = d.sel_w > 0 && d.sel_h > 0;
        if (selected) {
            std::snprintf(text, sizeof text, "Selected (%.3gx%.3g %s)", d.sel_w * unit,
                          d.sel_h * unit, name);
            SetDlgItemText(dialog, idp_selection, text);
        }
        enable(dialog, idp_selection, selected);
        std::snprintf(text, sizeof text, "All Views (1-%d)", std::max(d.views, 1));
        SetDlgItemText(dialog, idp_multiple, text);
        enable(dialog, idp_multiple, true);
        // A selection is what to print; else all views when they were the
        // last choice, else the whole view.
        sel = selected ? 1 : opts.print_selection == 2 ? 2 : 0;
        if (opts.title.empty() || opts.title == offered_title) {
            offered_title = "Model: " + d.model + " View: " + d.view;
            SetDlgItemText(dialog, idp_title, offered_title.c_str());
        }
    } else {
        if (!offered_title.empty() && opts.title == offered_title)
            SetDlgItemText(dialog, idp_title, "");
        SetDlgItemText(dialog, idp_all, "Current Graphic Output");
        // A spreadsheet-style window with a row selected prints it alone
        // when Selection is chosen.
        const bool grid_selection =
            tool_window_hooks.grid_has_selection &&
            tool_window_hooks.grid_has_selection(static_cast<handle>(st->record));
        enable(dialog, idp_selection, grid_selection);
        // With more than one graph window open, all of them may be printed.
        const int graphs =
            tool_window_hooks.graph_window_count ? tool_window_hooks.graph_window_count() : 0;
        if (graphs > 1) {
            char text[64];
            std::snprintf(text, sizeof text, "All Grapic Output (1-%d)", graphs);
            SetDlgItemText(dialog, idp_multiple, text);
        }
        enable(dialog, idp_multiple, graphs > 1);
        if (sel == 1 || (sel == 2 && graphs <= 1)) sel = 0;
        if (grid_selection) sel = 1;
    }
    set_check(dialog, sel == 2 ? idp_multiple : sel == 1 ? idp_selection : idp_all, true);

    std::string dflt = "Default-" + default_printer_name();
    SendDlgItemMessage(dialog, idp_printer, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(dflt.c_str()));
    int chosen = 0, i = 1;
    for (const std::string& p : printer_names()) {
        SendDlgItemMessage(dialog, idp_printer, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(p.c_str()));
        if (p == opts.printer_name) chosen = i;
        ++i;
    }
    SendDlgItemMessage(dialog, idp_printer, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
    st->printer_at_start = opts.printer_name;
}

// A positive size typed in the width or height box, in inches.
bool typed_size(HWND dialog, int id, const char* what, float* inches) {
    float v = 0;
    if (!scan_number(item_text(dialog, id), &v) || !(v > 0)) {
        std::string m = std::string("The ") + what + " must be a number above 0";
        refuse(dialog, id, m.c_str());
        return false;
    }
    *inches = opts.metric ? v * 0.39370078f : v;
    return true;
}

bool print_ok(HWND dialog) {
    long percent = 100;
    bool print_at = checked(dialog, idp_print_at);
    if (IsWindowEnabled(GetDlgItem(dialog, idp_percent))) {
        std::string text = item_text(dialog, idp_percent);
        bool scanned = scan_int(text, &percent);
        if ((print_at || !text.empty()) && (!scanned || percent <= 0 || percent > 100000)) {
            refuse(dialog, idp_percent, "The percentage must be a whole number above 0");
            return false;
        }
        if (!scanned) percent = 100;
    }
    float width = opts.print_width, height = opts.print_height;
    bool set_size = checked(dialog, idp_set_size);
    bool w_on = set_size && checked(dialog, idp_width_check);
    bool h_on = set_size && checked(dialog, idp_height_check);
    if (w_on && !typed_size(dialog, idp_width, "width", &width)) return false;
    if (h_on && !typed_size(dialog, idp_height, "height", &height)) return false;

    opts.print_date = checked(dialog, idp_date) ? 1 : 0;
    opts.info_corner = checked(dialog, idp_page) ? 1 : 0;
    opts.orientation = checked(dialog, idp_landscape) ? 1 : checked(dialog, idp_portrait) ? 2 : 0;
    opts.print_selection = checked(dialog, idp_multiple)    ? 2
                           : checked(dialog, idp_selection) ? 1
                                                            : 0;
    std::uint8_t sizing = 0;
    if (print_at) sizing |= sz_percent;
    if (checked(dialog, idp_fill)) sizing |= sz_fill_page;
    if (checked(dialog, idp_fit)) sizing |= sz_fit_view;
    if (w_on) sizing |= sz_width;
    if (h_on) sizing |= sz_height;
    opts.sizing = sizing;
    opts.print_percent = static_cast<std::int32_t>(percent);
    opts.print_width = width;
    opts.print_height = height;
    opts.print_comment = item_text(dialog, idp_comment);
    opts.title = item_text(dialog, idp_title);
    LRESULT sel = SendDlgItemMessage(dialog, idp_printer, CB_GETCURSEL, 0, 0);
    if (sel > 0) {
        char name[256] = {};
        SendDlgItemMessage(dialog, idp_printer, CB_GETLBTEXT, static_cast<WPARAM>(sel),
                           reinterpret_cast<LPARAM>(name));
        opts.printer_name = name;
    } else if (sel == 0) {
        opts.printer_name.clear();
    }
    return true;
}

// ------------------------------------------------------ Font Selection ---

struct font_state {
    font_spec font;      // the font as given
    font_spec current;   // as the dialog describes it now
    int colour_mode = 0; // choose_font's mode
};

const int font_sizes[] = {6, 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 30, 36, 48, 60, 72};

// The font the dialog's controls describe now (the size kept when the box
// does not read).
font_spec described_font(HWND dialog, const font_state* st) {
    font_spec f = st->current;
    std::snprintf(f.face, sizeof f.face, "%.31s", item_text(dialog, idf_face).c_str());
    long size = 0;
    if (scan_int(item_text(dialog, idf_size), &size) && size > 0 && size < 128)
        f.size = static_cast<std::uint8_t>(size);
    std::uint8_t style = 0;
    if (checked(dialog, idf_bold)) style |= font_bold;
    if (checked(dialog, idf_italic)) style |= font_italic;
    if (checked(dialog, idf_underline)) style |= font_underline;
    if (checked(dialog, idf_strike)) style |= font_strikeout;
    if (GetDlgItem(dialog, idf_vertical)) {
        if (checked(dialog, idf_vertical)) style |= font_vertical;
    } else {
        style |= f.style & font_vertical;
    }
    f.style = style;
    if (HWND colour = GetDlgItem(dialog, idf_colour))
        f.colour = static_cast<std::uint32_t>(SendMessage(colour, cb_get_colour, 0, 0));
    return f;
}

void font_init(HWND dialog, font_state* st) {
    for (const font_family& fam : font_list())
        SendDlgItemMessage(dialog, idf_faces, LB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(fam.name.c_str()));
    SendDlgItemMessage(dialog, idf_faces, LB_SELECTSTRING, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(st->font.face));
    SetDlgItemText(dialog, idf_face, st->font.face);
    for (int s : font_sizes) {
        std::string t = std::to_string(s);
        SendDlgItemMessage(dialog, idf_size, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
    }
    SetDlgItemText(
        dialog, idf_size,
        std::to_string(static_cast<int>(static_cast<std::int8_t>(st->font.size))).c_str());
    set_check(dialog, idf_bold, st->font.style & font_bold);
    set_check(dialog, idf_italic, st->font.style & font_italic);
    set_check(dialog, idf_underline, st->font.style & font_underline);
    set_check(dialog, idf_strike, st->font.style & font_strikeout);
    set_check(dialog, idf_vertical, st->font.style & font_vertical);
    // The colour button may also give "none": the font then takes the
    // default text colour. In the second mode it shows the device's nearest
    // solid colour.
    const WPARAM flags = cbf_allow_none | (st->colour_mode ? cbf_nearest : 0);
    SendDlgItemMessage(dialog, idf_colour, cb_set_colour, flags,
                       static_cast<LPARAM>(st->font.colour));
    st->current = st->font;
}

void refresh_example(HWND dialog, font_state* st) {
    st->current = described_font(dialog, st);
    if (HWND ex = GetDlgItem(dialog, idf_example)) InvalidateRect(ex, nullptr, TRUE);
}

bool font_ok(HWND dialog, font_state* st) {
    long size = 0;
    if (!scan_int(item_text(dialog, idf_size), &size) || size < 1 || size > 127) {
        refuse(dialog, idf_size, "The size must be a whole number of points from 1 to 127");
        return false;
    }
    st->current = described_font(dialog, st);
    st->current.size = static_cast<std::uint8_t>(size);
    return true;
}

} // namespace

// ------------------------------------------------------------- dialogs ---

INT_PTR fontset_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<options_state>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        st = begin_dialog<options_state>(dialog, lparam);
        if (st) options_init(dialog, st);
        return TRUE;
    case WM_COMMAND: {
        if (!st) return FALSE;
        int id = LOWORD(wparam);
        for (int i = 0; i < 5; ++i)
            if (id == font_buttons[i].id) {
                options_font_button(dialog, i, st);
                return TRUE;
            }
        if (id == IDOK) {
            if (options_ok(dialog, st)) EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

// Reads the settings file before a dialog that shows or edits it: 1 when the
// dialog may open. A file that is there but cannot be read keeps the dialog
// shut (its message names the file and the reason). A file that cannot be
// made (its folder gone or not writable) is said once, with the reason, and
// the dialog works on this session's settings: the save that follows fails
// quietly, as every save of it does once said.
namespace {

int read_settings_for_dialog(const char* unreadable) {
    const int read = read_ini_file(nullptr, nullptr, 1);
    if (read == -2) {
        report_ini_make_failure();
        return 1;
    }
    if (read < 0) {
        if (*ini_read_failure())
            report(8, "%s", ini_read_failure());
        else
            report(8, unreadable, ini_file_path());
        return 0;
    }
    return 1;
}

} // namespace

int options_dialog(int) {
    if (!read_settings_for_dialog("Unable to read the settings file %s")) return -1;
    options_state st;
    INT_PTR r = run_dialog(dlg_options, nullptr, fontset_proc, reinterpret_cast<LPARAM>(&st));
    free_retired_dialog_fonts();
    if (r != IDOK) return 0;
    repaint_all();
    write_settings(1);
    return 1;
}

INT_PTR print_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<print_state>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        st = begin_dialog<print_state>(dialog, lparam);
        print_init(dialog, st);
        return TRUE;
    case WM_COMMAND:
        if (!st) return FALSE;
        switch (LOWORD(wparam)) {
        case idp_set_size:
            size_boxes(dialog, checked(dialog, idp_set_size));
            if (checked(dialog, idp_set_size)) {
                show_size(dialog, idp_width, opts.print_width);
                show_size(dialog, idp_height, opts.print_height);
            }
            return TRUE;
        case IDOK:
            if (print_ok(dialog)) {
                if (opts.printer_name != st->printer_at_start) load_font_list();
                EndDialog(dialog, IDOK);
            }
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case idp_setup: {
            // The page set-up of the printer chosen in the list (the default
            // printer for its first entry); the printer keeps what the user
            // sets for the jobs that follow.
            std::string name;
            LRESULT sel = SendDlgItemMessage(dialog, idp_printer, CB_GETCURSEL, 0, 0);
            if (sel > 0) {
                char text[256] = {};
                SendDlgItemMessage(dialog, idp_printer, CB_GETLBTEXT, static_cast<WPARAM>(sel),
                                   reinterpret_cast<LPARAM>(text));
                name = text;
            }
            HANDLE printer = nullptr;
            if (!OpenPrinter(name.empty() ? nullptr : name.c_str(), &printer, nullptr)) {
                report(7, "The printer %s could not be opened for its page set-up.",
                       name.empty() ? default_printer_name().c_str() : name.c_str());
                return TRUE;
            }
            DEVMODE mode{};
            DocumentProperties(dialog, printer, nullptr, &mode, nullptr,
                               DM_IN_PROMPT | DM_OUT_BUFFER);
            ClosePrinter(printer);
            return TRUE;
        }
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int print_choice_record = 0;

int print_options_dialog(int record) {
    print_state st;
    st.record = record;
    INT_PTR r =
        run_dialog(dlg_print_options, nullptr, print_options_proc, reinterpret_cast<LPARAM>(&st));
    if (r != IDOK) return 0;
    print_choice_record = record;
    find_sketch_window(nullptr, 3, 0); // the sketches redraw with the new options
    return 1;
}

INT_PTR selfont_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<font_state>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        st = begin_dialog<font_state>(dialog, lparam);
        font_init(dialog, st);
        return TRUE;
    case WM_COMMAND: {
        if (!st) return FALSE;
        int id = LOWORD(wparam);
        int code = HIWORD(wparam);
        if (id == idf_faces && code == LBN_SELCHANGE) {
            LRESULT sel = SendDlgItemMessage(dialog, idf_faces, LB_GETCURSEL, 0, 0);
            if (sel >= 0) {
                char face[256] = {};
                SendDlgItemMessage(dialog, idf_faces, LB_GETTEXT, static_cast<WPARAM>(sel),
                                   reinterpret_cast<LPARAM>(face));
                SetDlgItemText(dialog, idf_face, face);
            }
            refresh_example(dialog, st);
            return TRUE;
        }
        if (id == IDOK) {
            if (font_ok(dialog, st)) EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        refresh_example(dialog, st);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

int choose_font(font_spec* font, int colour_mode) {
    if (!font) return 0;
    font_state st;
    st.font = *font;
    st.colour_mode = colour_mode;
    INT_PTR r = run_dialog(dlg_font_select, nullptr, selfont_proc, reinterpret_cast<LPARAM>(&st));
    if (r != IDOK) return 0;
    const font_spec& n = st.current;
    bool changed = n.size != font->size || n.style != font->style || n.colour != font->colour ||
                   std::strcmp(n.face, font->face) != 0;
    *font = n;
    return changed ? 2 : 1;
}

LRESULT dispfont_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_PAINT) return DefWindowProc(window, message, wparam, lparam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HWND dialog = GetParent(window);
    // Only the Font Selection dialog describes a font to show.
    if (dialog && GetDlgItem(dialog, idf_face) && GetDlgItem(dialog, idf_example) == window) {
        if (auto* st = dialog_data<font_state>(dialog)) {
            const font_spec& f = st->current;
            const font_family* fam = find_font_family(f.face);
            int kind = fam ? fam->kind : 0;
            char text[64];
            std::snprintf(text, sizeof text, "%s %s",
                          kind == 4   ? "TrueType"
                          : kind == 2 ? "Printer"
                                      : "Screen",
                          f.face);
            HFONT font = make_font(dc, f, 0);
            HGDIOBJ old = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, (f.colour & 0xFF000000u) ? GetSysColor(COLOR_BTNTEXT) : f.colour);
            RECT r{};
            GetClientRect(window, &r);
            DrawText(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SelectObject(dc, old);
            DeleteObject(font);
        }
    }
    EndPaint(window, &ps);
    return 0;
}

// ------------------------------------------------- units equivalences ---

namespace {

// Built in until the user makes a list the default.
const char* const default_units[] = {
    "Dollar,$,Dollars,$s",
    "Hour,Hours,Hr",
    "Day,Days",
    "Week,Weeks,Wk",
    "Month,Months,Mo",
    "Year,Years,Yr",
    "Person,People,Persons,Persons",
};

std::vector<std::string> units_keys_list(const char* prefix) {
    std::vector<std::string> out;
    for (int i = 0; i < max_units_equivalences; ++i) {
        const std::string key = prefix + std::to_string(i);
        const char* v = ini_value(key.c_str());
        if (v && *v) out.emplace_back(v);
    }
    return out;
}

void store_units_list(const char* prefix, const std::vector<std::string>& list) {
    for (int i = 0; i < max_units_equivalences; ++i) {
        const std::string key = prefix + std::to_string(i);
        ini_set(key.c_str(), static_cast<std::size_t>(i) < list.size()
                                 ? list[static_cast<std::size_t>(i)].c_str()
                                 : nullptr);
    }
}

std::vector<std::string> listed_units(HWND dialog) {
    std::vector<std::string> out;
    LRESULT n = SendDlgItemMessage(dialog, idu_list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        LRESULT len =
            SendDlgItemMessage(dialog, idu_list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len < 0) continue;
        std::string t(static_cast<std::size_t>(len) + 1, '\0');
        SendDlgItemMessage(dialog, idu_list, LB_GETTEXT, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(t.data()));
        t.resize(std::strlen(t.c_str()));
        out.push_back(t);
    }
    return out;
}

void show_units(HWND dialog, const std::vector<std::string>& list) {
    SendDlgItemMessage(dialog, idu_list, LB_RESETCONTENT, 0, 0);
    for (const std::string& u : list)
        SendDlgItemMessage(dialog, idu_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u.c_str()));
}

// The edited text as a list entry: blanks around each unit dropped, empty
// units left out; "" when nothing is left.
std::string tidy_equivalence(const std::string& text) {
    std::string out, unit;
    auto flush = [&] {
        std::size_t a = unit.find_first_not_of(" \t");
        std::size_t b = unit.find_last_not_of(" \t");
        if (a != std::string::npos) {
            if (!out.empty()) out.push_back(',');
            out.append(unit, a, b - a + 1);
        }
        unit.clear();
    };
    for (char c : text) {
        if (c == ',')
            flush();
        else
            unit += c;
    }
    flush();
    return out;
}

struct units_state {
    int selected = -1; // the entry the edit box was filled from
};

void units_select(HWND dialog, units_state* st) {
    LRESULT sel = SendDlgItemMessage(dialog, idu_list, LB_GETCURSEL, 0, 0);
    if (sel < 0 || sel == st->selected) return;
    std::vector<std::string> list = listed_units(dialog);
    const std::string editing = tidy_equivalence(item_text(dialog, idu_edit));
    const bool unchanged =
        editing.empty() ||
        (st->selected >= 0 && static_cast<std::size_t>(st->selected) < list.size() &&
         list[static_cast<std::size_t>(st->selected)] == editing);
    if (!unchanged &&
        ask_question(question_yes_no, "Do you want to abandon what you are currently editing?",
                     IDNO) != IDYES) {
        SendDlgItemMessage(dialog, idu_list, LB_SETCURSEL, static_cast<WPARAM>(st->selected), 0);
        return;
    }
    st->selected = static_cast<int>(sel);
    SetDlgItemText(dialog, idu_edit, list[static_cast<std::size_t>(sel)].c_str());
}

void units_command(HWND dialog, units_state* st, int id) {
    std::vector<std::string> list = listed_units(dialog);
    const std::string editing = tidy_equivalence(item_text(dialog, idu_edit));
    LRESULT sel = SendDlgItemMessage(dialog, idu_list, LB_GETCURSEL, 0, 0);
    const bool have_sel = sel >= 0 && static_cast<std::size_t>(sel) < list.size();
    switch (id) {
    case idu_add:
        if (editing.empty()) {
            MessageBeep(0);
            return;
        }
        if (list.size() >= static_cast<std::size_t>(max_units_equivalences)) {
            report(8, "Can only have %d equivalences", max_units_equivalences);
            return;
        }
        list.push_back(editing);
        show_units(dialog, list);
        st->selected = static_cast<int>(list.size()) - 1;
        SendDlgItemMessage(dialog, idu_list, LB_SETCURSEL, static_cast<WPARAM>(st->selected), 0);
        return;
    case idu_modify:
        if (!have_sel || editing.empty()) {
            MessageBeep(0);
            return;
        }
        list[static_cast<std::size_t>(sel)] = editing;
        show_units(dialog, list);
        SendDlgItemMessage(dialog, idu_list, LB_SETCURSEL, static_cast<WPARAM>(sel), 0);
        st->selected = static_cast<int>(sel);
        return;
    case idu_delete:
        if (!have_sel) {
            MessageBeep(0);
            return;
        }
        list.erase(list.begin() + sel);
        show_units(dialog, list);
        st->selected = -1;
        SetDlgItemText(dialog, idu_edit, "");
        return;
    case idu_get_default: {
        std::vector<std::string> d = units_keys_list("UnitsDefault");
        if (d.empty()) d.assign(std::begin(default_units), std::end(default_units));
        show_units(dialog, d);
        st->selected = -1;
        return;
    }
    case idu_set_default:
        if (ask_question(question_yes_no, "Do you want to replace default units equivalences?",
                         IDNO) == IDYES)
            store_units_list("UnitsDefault", list);
        return;
    default:
        return;
    }
}

} // namespace

INT_PTR unitset_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<units_state>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        st = begin_dialog<units_state>(dialog, lparam);
        // The list lives in the settings file: read it as it is now.
        if (!read_settings_for_dialog("Unable to access %s")) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        show_units(dialog, units_keys_list("Units"));
        set_check(dialog, idu_strictest,
                  ini_value("UnitsStrictest") &&
                      std::strcmp(ini_value("UnitsStrictest"), "1") == 0);
        return TRUE;
    case WM_COMMAND: {
        if (!st) return FALSE;
        const int id = LOWORD(wparam);
        if (id == idu_list && HIWORD(wparam) == LBN_SELCHANGE) {
            units_select(dialog, st);
            return TRUE;
        }
        if (id == IDOK) {
            store_units_list("Units", listed_units(dialog));
            ini_set("UnitsStrictest", checked(dialog, idu_strictest) ? "1" : "0");
            if (write_ini_file(2) <= 0) return TRUE; // the writer said why; stay open
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        units_command(dialog, st, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

int units_equivalences_dialog() {
    units_state st;
    return run_dialog(dlg_units, nullptr, unitset_proc, reinterpret_cast<LPARAM>(&st)) == IDOK ? 1
                                                                                               : 0;
}

// -------------------------------------------------------- sketch settings ---

INT_PTR sketchset_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        // lParam: the font_spec the page's font button edits (may be null).
        SetWindowLongPtr(page, DWLP_USER, lparam);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id == IDOK || id == IDCANCEL) {
            // The page's sheet answers for it: the dialog two levels up.
            HWND parent = GetParent(page);
            HWND sheet = parent ? GetParent(parent) : nullptr;
            if (sheet) SendMessage(sheet, WM_COMMAND, wparam, lparam);
            return TRUE;
        }
        if (id == ids_sketch_font) {
            auto* font = reinterpret_cast<font_spec*>(GetWindowLongPtr(page, DWLP_USER));
            if (font && choose_font(font, 0) == 2) {
                const std::string text = "Font - " + font_description(*font);
                SetDlgItemText(page, ids_sketch_font, text.c_str());
            }
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}
