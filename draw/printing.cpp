// Printing (see printing.h).
#include "draw/printing.h"

#include "platform/dlg.h"

#include "draw/drawing.h"
#include "draw/prims.h"
#include "foundation/report.h"
#include "shell/options.h"
#include "shell/settings_rows.h"
#include "shell/wip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

print_state printer;
SIZE out_size{0, 0};

namespace {

void clear_progress() {
    if (printer.progress_shown) wip_message(0, "%s", "");
    printer.progress_shown = false;
}

// The fields of a profile value separated by commas, leading blanks skipped.
std::string field(const char* s, int index) {
    std::string f;
    for (int i = 0; *s; ++s) {
        if (*s == ',') {
            if (i++ == index) return f;
            f.clear();
            continue;
        }
        if (f.empty() && *s == ' ') continue;
        f.push_back(*s);
    }
    return f;
}

void read_resolution(HDC dc) {
    int x = GetDeviceCaps(dc, LOGPIXELSX), y = GetDeviceCaps(dc, LOGPIXELSY);
    drawing.device_res[2] = x < 1 ? 72 : x;
    drawing.device_res[3] = y < 1 ? 72 : y;
}

int res_x() {
    return drawing.device_res[2];
}
int res_y() {
    return drawing.device_res[3];
}

int width_of(const char* s, int n) {
    SIZE z{};
    if (!drawing.cur_dc || n <= 0 || !GetTextExtentPoint32(drawing.cur_dc, s, n, &z)) return 0;
    return z.cx;
}

} // namespace

bool printer_is_open() {
    return drawing.printer_dc != nullptr;
}

HDC open_printer_dc(const char* orientation, const char* name, HWND setup_owner, bool quiet) {
    if (orientation && !quiet) {
        wip_message(1, "%s", "Printing");
        printer.progress_shown = true;
    }
    // Which printer: the name, the settings' choice, else the default.
    delete_marker_font(); // made for the screen's resolution
    std::string device = name && *name ? name : opts.printer_name;
    char buf[512] = {};
    if (!device.empty()) GetProfileString("PrinterPorts", device.c_str(), "", buf, sizeof buf);
    if (device.empty() || !buf[0]) {
        GetProfileString("windows", "device", "", buf, sizeof buf);
        device = field(buf, 0);
    }
    if (orientation && drawing.printer_dc) {
        DeleteDC(drawing.printer_dc);
        drawing.printer_dc = nullptr;
    }
    HDC dc = nullptr;
    if (!device.empty() && (orientation || setup_owner)) {
        HANDLE h = nullptr;
        PRINTER_DEFAULTS defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        bool opened = OpenPrinter(device.c_str(), &h, &defaults) ||
                      (defaults.DesiredAccess = PRINTER_ACCESS_USE,
                       OpenPrinter(device.c_str(), &h, &defaults));
        DEVMODE dm{};
        bool configured = false;
        if (opened) {
            DocumentProperties(nullptr, h, device.c_str(), &dm, nullptr, DM_OUT_BUFFER);
            if (setup_owner) {
                LONG r = DocumentProperties(setup_owner, h, device.c_str(), &dm, &dm,
                                            DM_IN_BUFFER | DM_IN_PROMPT | DM_OUT_BUFFER);
                ClosePrinter(h);
                if (r < 0) report(8, "Unable to load printer setup");
                clear_progress();
                return nullptr;
            }
            dm.dmFields |= DM_ORIENTATION;
            dm.dmOrientation = (orientation[0] == 'L' || orientation[0] == 'l') ? DMORIENT_LANDSCAPE
                                                                                : DMORIENT_PORTRAIT;
            configured = DocumentProperties(nullptr, h, device.c_str(), &dm, &dm,
                                            DM_IN_BUFFER | DM_OUT_BUFFER) >= 0;
            ClosePrinter(h);
        }
        if (!configured) {
            if (setup_owner)
                report(8, "Unable to load printer setup");
            else if (!quiet)
                report(5, "Unable to configure printer");
        } else {
            dc = print_create_dc(device.c_str(), &dm);
        }
    }
    if (!dc && !device.empty()) dc = print_create_dc(device.c_str(), nullptr);
    if (!dc) {
        clear_progress();
        return nullptr;
    }
    read_resolution(dc);
    if (name) { // choosing a printer: tested, remembered, not kept open
        DeleteDC(dc);
        opts.printer_name = name;
        return dc; // stale now, but non-zero: the choice succeeded
    }
    drawing.printer_dc = dc;
    return dc;
}

BOOL abort_print_proc(HDC, int error) {
    return error == 0;
}

int start_print_doc() {
    HDC dc = drawing.printer_dc;
    DOCINFO di{};
    di.cbSize = sizeof di;
    di.lpszDocName = "Kavrel";
    di.lpszOutput = printer.output_file.empty() ? nullptr : printer.output_file.c_str();
    ui_clear_last_error();
    if (dc && SetAbortProc(dc, printer.abort_proc ? printer.abort_proc : abort_print_proc) > 0 &&
        StartDoc(dc, &di) > 0)
        return 1;
    // The printer's own words (a file that cannot be written names the file
    // and the system's reason).
    const std::string why = ui_last_error();
    if (dc) {
        if (drawing.cur_dc == dc) active_dc_pop(dc);
        DeleteDC(dc);
    }
    drawing.printer_dc = nullptr;
    drawing.printing = 0;
    clear_progress();
    if (why.empty())
        report(8, "Unable to start the printer");
    else
        report(8, "Unable to start the printer\n%s", why.c_str());
    return 0;
}

void close_printer(int pages) {
    drawing.printing = 0;
    HDC dc = drawing.printer_dc;
    if (!dc) {
        report(10, "close_printer");
        return;
    }
    if (drawing.cur_dc == dc) active_dc_pop(dc);
    delete_marker_font();
    if (pages > 0) EndPage(dc);
    if (pages >= 0) {
        ui_clear_last_error();
        int r = EndDoc(dc);
        // The file's name once it is whole (a name taken meanwhile moves it on).
        const std::string file = print_output_file(dc);
        const std::string why = ui_last_error();
        if (r <= 0 && !why.empty())
            report(8, "Unable to print\n%s", why.c_str());
        else if (r <= 0)
            report(8, "Problems printing (%d)", r);
        else if (!file.empty() && printer.output_file.empty())
            // The PDF printer chose the file: say which (the documents
            // folder, or the home folder of an account without one).
            report(6, "Printed to the file %s", file.c_str());
    }
    DeleteDC(dc);
    drawing.printer_dc = nullptr;
    if (pages >= 0) clear_progress();
}

std::string date_stamp_of(const std::tm& when) {
    char date[64];
    if (!std::strftime(date, sizeof date, "%a %b %d", &when)) date[0] = '\0';
    int h = when.tm_hour;
    bool pm = h >= 12;
    if (h > 12) h -= 12;
    if (h == 0) h = 12; // midnight is 12 AM
    char tail[64];
    std::snprintf(tail, sizeof tail, ", %d %d:%2.2d%s", when.tm_year + 1900, h, when.tm_min,
                  pm ? "PM" : "AM");
    return std::string(date).substr(0, 10) + tail;
}

void make_date_stamp() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    printer.date_stamp = date_stamp_of(t);
}

HDC start_text_print(const char* title, const font_spec* font, int record) {
    // "Open on printing": the print options first; Cancel prints nothing.
    if (printer.open_on_printing && !print_options_dialog(record)) return nullptr;
    printer.has_title = title != nullptr;
    printer.page_title = title ? title : "";
    out_size = SIZE{0, 0};
    HDC dc = open_printer_dc(opts.orientation == 1 ? "L" : "P", nullptr, nullptr, false);
    if (!dc) return nullptr;
    drawing.printing = 2;
    if (!start_print_doc()) return nullptr;
    make_date_stamp();
    if (!active_dc_push(dc, dc)) {
        close_printer(-1);
        return nullptr;
    }
    SetBkMode(dc, TRANSPARENT);
    select_font(1, font, nullptr, 0, 0xFFFFFFFF, 0, true);
    printer.page_x = GetDeviceCaps(dc, HORZRES) - 2 * res_x();
    printer.page_y = std::max(1, drawing.line_height); // no font made: still a pitch
    printer.lines_per_page = (GetDeviceCaps(dc, VERTRES) - 2 * res_y()) / printer.page_y;
    printer.page_number = 0;
    printer.cur_line = printer.lines_per_page;
    return dc;
}

void print_text_line(const char* text, int length, int x, bool advance) {
    HDC dc = drawing.printer_dc;
    if (!dc || !text) return;
    length = std::max(0, length);
    if (printer.cur_line >= printer.lines_per_page || (length > 0 && text[0] == '\f')) {
        if (length > 0 && text[0] == '\f') {
            ++text;
            --length;
        }
        if (printer.page_number > 0) {
            font_spec keep = drawing.active_font;
            EndPage(dc);
            StartPage(dc);
            drawing.font_valid = false;
            select_font(1, &keep, nullptr, 0, 0xFFFFFFFF, 0, true);
        } else {
            StartPage(dc);
        }
        ++printer.page_number;
        int hy = res_y() / 2;
        const char* head =
            printer.has_title ? printer.page_title.c_str() : opts.print_comment.c_str();
        int hx = res_x();
        if (*head) {
            TextOut(dc, hx, hy, head, static_cast<int>(std::strlen(head)));
            hx += width_of(head, static_cast<int>(std::strlen(head)));
        }
        if (opts.print_date) {
            hx += width_of("W", 1);
            TextOut(dc, hx, hy, printer.date_stamp.c_str(),
                    static_cast<int>(printer.date_stamp.size()));
        }
        char page[32];
        int n = std::snprintf(page, sizeof page, "Page %d", printer.page_number);
        TextOut(dc, res_x() + printer.page_x - width_of(page, n), hy, page, n);
        printer.cur_line = 0;
    }
    if (length > 0 && x < printer.page_x) {
        int y = res_y() + printer.cur_line * printer.page_y;
        if (x < 0) {
            TextOut(dc, res_x() + (printer.page_x - width_of(text, length)) / 2, y, text, length);
        } else {
            int unit = std::max(1, width_of("0", 1) * drawing.tab_stops);
            int at = x, start = 0;
            for (int i = 0; i <= length; ++i) {
                if (i < length && text[i] != '\t') continue;
                if (i > start) TextOut(dc, res_x() + at, y, text + start, i - start);
                if (i < length) {
                    at += width_of(text + start, i - start);
                    at = (at / unit + 1) * unit;
                }
                start = i + 1;
            }
        }
    }
    if (advance) ++printer.cur_line;
}

void end_text_print() {
    if (printer_is_open()) close_printer(printer.page_number);
}

void print_page_footer(const font_spec* font, int graph_height) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    select_font(1, font, nullptr, 0, 0xFFFFFFFF, 0, true);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    int y = GetDeviceCaps(dc, VERTRES) - cm_to_device(0.1, 0);
    int x = cm_to_device(0.3, 1);
    if (opts.info_corner == 0) {
        y = std::min(y, drawing.line_height + graph_height + drawing.page_offset_y);
        x = std::max(x, drawing.page_offset_x);
    }
    y -= drawing.line_height;
    if (!opts.print_comment.empty()) {
        TextOut(dc, x, y, opts.print_comment.c_str(), static_cast<int>(opts.print_comment.size()));
        x += width_of(opts.print_comment.c_str(), static_cast<int>(opts.print_comment.size())) +
             drawing.char_width;
    }
    if (opts.print_date)
        TextOut(dc, x, y, printer.date_stamp.c_str(), static_cast<int>(printer.date_stamp.size()));
}
