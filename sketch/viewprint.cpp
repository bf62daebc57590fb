// Printing and copying a view: page planning, recording the view into a
// metafile and playing it onto printer pages or the clipboard.
#include "sketch/viewprint.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "draw/drawing.h"
#include "draw/printing.h"
#include "foundation/report.h"
#include "platform/clip.h"
#include "platform/gdi.h"
#include "shell/settings_rows.h"
#include "sketch/drawsketch.h"
#include "sketch/fontbar.h"
#include "sketch/ioobjects.h"

void (*record_sliders_hook)(HDC dc, HWND view, const sketch_state& rs) = nullptr;

namespace {

// The printable page assumed when no printer says otherwise.
constexpr double default_page_w_in = 7.2, default_page_h_in = 9.7;
// Room kept around a whole view's bounds (sketch units).
constexpr int view_output_pad = 20;
// The largest printed side (device pixels) the page mapping takes.
constexpr int max_printed_side = 32000;

long long floor_div(long long a, long long b) {
    long long q = a / b;
    if ((a % b) != 0 && ((a < 0) != (b < 0))) --q;
    return q;
}

long long ceil_div(long long a, long long b) {
    return -floor_div(-a, b);
}

// Everything a recording or print changes outside this file, put back on
// every way out: the drawing layer's output flags, an open printer, the
// cursor.
class output_guard {
public:
    output_guard() : printing_(drawing.printing), gtx_(drawing.gtx_mode) {}
    ~output_guard() {
        if (printer_open_ && printer_is_open()) close_printer(-1);
        drawing.printing = printing_;
        drawing.gtx_mode = gtx_;
        if (cursor_) SetCursor(cursor_);
    }
    output_guard(const output_guard&) = delete;
    output_guard& operator=(const output_guard&) = delete;
    void printer_opened() { printer_open_ = true; }
    void printer_closed() { printer_open_ = false; }
    void wait_cursor() { cursor_ = SetCursor(LoadCursor(nullptr, IDC_WAIT)); }

private:
    std::uint8_t printing_;
    std::int32_t gtx_;
    bool printer_open_ = false;
    HCURSOR cursor_ = nullptr;
};

// The selection's state scaled for a recording: zoom 100, the area's corner
// at the origin.
sketch_state recording_state(const sketch_state& s, const view_output_area& a) {
    sketch_state r = s;
    r.zoom = 100;
    r.scroll_x = a.x;
    r.scroll_y = a.y;
    r.hover = 0;
    r.handles = 0;
    r.band_shown = false;
    return r;
}

// The view as a print or copy shows it: the diagram, and in Livesweep the
// sliders of its constants.
void record_view(HDC mf, const sketch_state& rs, const RECT& client, HWND view) {
    paint_sketch(mf, rs, client, true, view);
    if (view && record_sliders_hook) record_sliders_hook(mf, view, rs);
}

void draw_page_frame(HDC dc, const printer_page& page, const view_output_settings& set,
                     const std::string& view_name) {
    LOGFONT lf{};
    lf.lfHeight = -std::max(page.dpi_y, 1) / 6; // 12 point
    std::strcpy(lf.lfFaceName, "Helvetica");
    HFONT font = CreateFontIndirect(&lf);
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    const std::string header = view_page_header(set.header, view_name);
    if (!header.empty()) {
        SIZE sz{};
        GetTextExtentPoint32(dc, header.c_str(), static_cast<int>(header.size()), &sz);
        TextOut(dc, (page.hres - sz.cx) / 2, page.dpi_y / 4, header.c_str(),
                static_cast<int>(header.size()));
    }
    std::string footer = set.footer;
    if (set.date_stamp) {
        make_date_stamp();
        if (!footer.empty()) footer += "  ";
        footer += printer.date_stamp;
    }
    if (!footer.empty()) {
        TEXTMETRIC tm{};
        GetTextMetrics(dc, &tm);
        TextOut(dc, page.dpi_x / 4, page.vres - page.dpi_y / 4 - tm.tmHeight, footer.c_str(),
                static_cast<int>(footer.size()));
    }
    if (old) SelectObject(dc, old);
    if (font) DeleteObject(font);
}

void copy_to_clipboard(HWND owner, HWND view, const sketch_state& rs, const view_output_area& a,
                       const view_output_settings& set) {
    HDC ref = GetDC(nullptr);
    const int dpi_x = std::max(ref ? GetDeviceCaps(ref, LOGPIXELSX) : 96, 1);
    const int dpi_y = std::max(ref ? GetDeviceCaps(ref, LOGPIXELSY) : 96, 1);
    const RECT client{0, 0, a.w, a.h};
    bool done = false;
    if (set.enhanced) {
        const RECT frame{0, 0, static_cast<LONG>(a.w * 2540LL / dpi_x),
                         static_cast<LONG>(a.h * 2540LL / dpi_y)};
        HDC mf = CreateEnhMetaFile(ref, nullptr, &frame, "Kavrel\0\0");
        HENHMETAFILE emf = nullptr;
        if (mf) {
            SetBkMode(mf, TRANSPARENT);
            record_view(mf, rs, client, view);
            emf = CloseEnhMetaFile(mf);
        }
        done = clip_put(owner, CF_ENHMETAFILE, emf);
        if (!done && emf) DeleteEnhMetaFile(emf);
    } else {
        HDC mf = CreateMetaFile(nullptr);
        HMETAFILE wmf = nullptr;
        if (mf) {
            SetBkMode(mf, TRANSPARENT);
            SetWindowExtEx(mf, a.w, a.h, nullptr);
            record_view(mf, rs, client, view);
            wmf = CloseMetaFile(mf);
        }
        done = wmf && put_metafile_picture(owner, wmf, MM_ANISOTROPIC,
                                           static_cast<LONG>(a.w * 2540LL / dpi_x),
                                           static_cast<LONG>(a.h * 2540LL / dpi_y));
    }
    if (ref) ReleaseDC(nullptr, ref);
    if (!done) report(8, "Unable to copy to the clipboard");
}

void print_view(HWND view, const sketch_state& s, const sketch_state& rs, const view_output_area& a,
                const view_output_settings& set, output_guard& guard, view_print_job* job) {
    const int sdx = std::max<int>(drawing.device_res[0], 1);
    const int sdy = std::max<int>(drawing.device_res[1], 1);
    const char* orientation = set.orientation == 1           ? "L"
                              : set.orientation == 2         ? "P"
                              : (a.w > a.h && !set.on_pages) ? "L"
                                                             : "P";
    // A job of several views goes on in the printer its first view opened.
    const bool going_on = job && job->dc && drawing.printer_dc == job->dc;
    HDC dc = going_on ? job->dc : open_printer_dc(orientation, nullptr, nullptr, false);
    if (!dc) return;
    if (!job) guard.printer_opened();
    drawing.printing = 1;
    printer_page page;
    page.hres = GetDeviceCaps(dc, HORZRES);
    page.vres = GetDeviceCaps(dc, VERTRES);
    page.dpi_x = std::max(GetDeviceCaps(dc, LOGPIXELSX), 1);
    page.dpi_y = std::max(GetDeviceCaps(dc, LOGPIXELSY), 1);
    const int pic_w = static_cast<int>(std::min<long long>(
        static_cast<long long>(a.w) * page.dpi_x / sdx, max_printed_side * 100LL));
    const int pic_h = static_cast<int>(std::min<long long>(
        static_cast<long long>(a.h) * page.dpi_y / sdy, max_printed_side * 100LL));
    const double factor = view_print_factor(set, pic_w, pic_h, page);
    page_plan plan;
    if (!plan_print_pages(pic_w, pic_h, factor, page, a.paged, &plan)) {
        report(8, "Too big to print");
        if (job && !going_on) close_printer(-1);
        return;
    }
    // The recording: the painter draws in sketch units at zoom 100 (screen
    // pixels); the page mapping scales it to the printed size.
    HDC mf = CreateMetaFile(nullptr);
    HMETAFILE wmf = nullptr;
    if (mf) {
        SetBkMode(mf, TRANSPARENT);
        record_view(mf, rs, RECT{0, 0, a.w, a.h}, view);
        wmf = CloseMetaFile(mf);
    }
    if (!wmf) {
        if (job && !going_on) close_printer(-1);
        return;
    }
    if (!going_on && !start_print_doc()) {
        guard.printer_closed(); // start_print_doc let it go
        DeleteMetaFile(wmf);
        return;
    }
    if (job) job->dc = dc;
    drawing.printing = 1;
    const double to_rec_x = static_cast<double>(a.w) / std::max(pic_w, 1);
    const double to_rec_y = static_cast<double>(a.h) / std::max(pic_h, 1);
    int own_pages = 0;
    int& pages = job ? job->pages : own_pages; // a job's pages run on
    const int first = pages;
    bool failed = false;
    for (int row = 0; row < plan.rows && !failed; ++row)
        for (int col = 0; col < plan.cols && !failed; ++col) {
            if (pages > 0 && EndPage(dc) <= 0) {
                failed = true;
                break;
            }
            if (StartPage(dc) <= 0) {
                failed = true;
                break;
            }
            ++pages;
            const int saved = SaveDC(dc);
            if (pages == first + 1) draw_page_frame(dc, page, set, s.view.rec.name);
            SetBkMode(dc, TRANSPARENT);
            // Each page shows only its share of the picture.
            IntersectClipRect(dc, plan.margin_x, plan.margin_y,
                              plan.margin_x + std::min(plan.w, page.hres - page.dpi_x),
                              plan.margin_y + std::min(plan.h, page.vres - page.dpi_y));
            SetMapMode(dc, MM_ISOTROPIC);
            SetWindowExtEx(dc, a.w, a.h, nullptr);
            SetViewportExtEx(dc, plan.w, plan.h, nullptr);
            SetWindowOrgEx(dc, static_cast<int>(col * plan.step_x * to_rec_x),
                           static_cast<int>(row * plan.step_y * to_rec_y), nullptr);
            SetViewportOrgEx(dc, plan.margin_x, plan.margin_y, nullptr);
            PlayMetaFile(dc, wmf);
            RestoreDC(dc, saved);
        }
    DeleteMetaFile(wmf);
    if (job) {
        job->failed = job->failed || failed;
        return;
    }
    guard.printer_closed();
    close_printer(failed ? -1 : pages);
    if (failed) report(8, "Problems printing (%d)", pages);
}

} // namespace

view_print_sizes view_print_sizes_of(const sketch_state& s) {
    view_print_sizes out;
    HDC ref = GetDC(nullptr);
    const double dpi_x = std::max(ref ? GetDeviceCaps(ref, LOGPIXELSX) : 96, 1);
    const double dpi_y = std::max(ref ? GetDeviceCaps(ref, LOGPIXELSY) : 96, 1);
    if (ref) ReleaseDC(nullptr, ref);
    view_output_settings whole;
    view_output_area a;
    if (plan_view_area(s, vo_print, whole, SIZE{0, 0}, &a)) {
        out.view_w = a.w / dpi_x;
        out.view_h = a.h / dpi_y;
    }
    if (plan_view_area(s, vo_copy_selection, whole, SIZE{0, 0}, &a)) {
        out.sel_w = a.w / dpi_x;
        out.sel_h = a.h / dpi_y;
    }
    // The views the view list offers (and printing all of them prints).
    if (s.symbols) out.views = static_cast<int>(listed_views(s.symbols).size());
    return out;
}

view_output_settings view_output_settings_now() {
    view_output_settings set;
    set.what = opts.print_selection <= 2 ? opts.print_selection : 0;
    set.orientation = opts.orientation;
    set.on_pages = opts.sketch_positioning == 1;
    set.sizing = opts.sizing;
    set.width_in = opts.print_width;
    set.height_in = opts.print_height;
    set.percent = opts.print_percent;
    set.header = opts.title.empty() ? "View:" : opts.title;
    set.footer = opts.print_comment;
    set.date_stamp = opts.print_date != 0;
    return set;
}

SIZE default_view_page(int screen_dpi_x, int screen_dpi_y) {
    return SIZE{static_cast<LONG>(std::lround(default_page_w_in * std::max(screen_dpi_x, 1))),
                static_cast<LONG>(std::lround(default_page_h_in * std::max(screen_dpi_y, 1)))};
}

SIZE view_page_size(int printable_w, int printable_h, int printer_dpi_x, int printer_dpi_y,
                    int screen_dpi_x, int screen_dpi_y) {
    if (printable_w <= 0 || printable_h <= 0 || printer_dpi_x <= 0 || printer_dpi_y <= 0)
        return default_view_page(screen_dpi_x, screen_dpi_y);
    const long long w =
        static_cast<long long>(printable_w) * std::max(screen_dpi_x, 1) / printer_dpi_x;
    const long long h =
        static_cast<long long>(printable_h) * std::max(screen_dpi_y, 1) / printer_dpi_y;
    if (w <= 0 || h <= 0) return default_view_page(screen_dpi_x, screen_dpi_y);
    return SIZE{static_cast<LONG>(std::min(w, 1000000LL)),
                static_cast<LONG>(std::min(h, 1000000LL))};
}

std::vector<int> page_line_positions(int lo, int hi, int page) {
    std::vector<int> lines;
    if (page <= 0 || hi < lo) return lines;
    for (long long p = ceil_div(lo, page) * page; p <= hi; p += page)
        lines.push_back(static_cast<int>(p));
    return lines;
}

namespace {

// Widens r to hold the names drawn beside or across the elements (all shown
// ones, or the selected ones only): a name is measured in the view's font
// (the element's own size and face where it has them) at 100 %, as the
// recording draws it; a name wider than its text-only box spills both ways.
void widen_for_names(const sketch_state& s, RECT& r, bool selected_only) {
    HDC dc = GetDC(nullptr);
    if (!dc) return;
    std::map<std::string, HFONT> fonts;
    const int dpi = std::max(GetDeviceCaps(dc, LOGPIXELSY), 1);
    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind < ek_variable || e.kind == ek_valve || (e.flags & ef_no_label)) continue;
        if (selected_only ? !(e.runtime & ef_selected)
                          : e.hidden() || e.level_value() > s.shown_level)
            continue;
        std::string text = sketch_element_text(s, e);
        const bool slider = e.kind == ek_text && (e.flags & ef_io_object) && e.label == 0;
        if (slider) text = io_slider_name(s, e);
        if (text.empty()) continue;
        font_spec f = s.view.rec.font;
        if (e.style & 8) f.size = e.font.size;
        if ((e.style & 32) && e.font.face[0]) std::memcpy(f.face, e.font.face, sizeof f.face);
        int points = static_cast<std::int8_t>(f.size);
        if (points <= 0) points = 8;
        const std::string key =
            std::string(f.face, strnlen(f.face, sizeof f.face)) + "|" + std::to_string(points);
        HFONT& font = fonts[key];
        if (!font)
            font = CreateFont(-std::max(1, points * dpi / 72), 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0,
                              f.face[0] ? f.face : "Sans");
        HGDIOBJ old = SelectObject(dc, font);
        SIZE z{};
        GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &z);
        SelectObject(dc, old);
        const int tw = static_cast<int>(z.cx), lh = static_cast<int>(z.cy);
        const int place = slider ? 1 : static_cast<std::int8_t>(e.label);
        RECT b{e.x - e.w, e.y - e.h, e.x + e.w, e.y + e.h};
        if (e.shape_code() == 0 || place <= 0) {
            if (e.shape_code() != 0) continue; // wrapped inside its box
            b = RECT{e.x - tw / 2, e.y - lh / 2, e.x + tw / 2 + 1, e.y + lh / 2 + 1};
        } else if (place == 1 || place == 3) {
            b = RECT{e.x - tw / 2, place == 3 ? e.y - e.h - lh : e.y + e.h, e.x + tw / 2 + 1,
                     place == 3 ? e.y - e.h : e.y + e.h + lh};
        } else if (place == 2 || place == 4) {
            b = RECT{place == 2 ? e.x - e.w - 2 - tw : e.x + e.w + 2, e.y - lh / 2,
                     place == 2 ? e.x - e.w - 2 : e.x + e.w + 2 + tw, e.y + lh / 2 + 1};
        }
        r.left = std::min(r.left, b.left);
        r.top = std::min(r.top, b.top);
        r.right = std::max(r.right, b.right);
        r.bottom = std::max(r.bottom, b.bottom);
    }
    for (auto& f : fonts)
        if (f.second) DeleteObject(f.second);
    ReleaseDC(nullptr, dc);
}

} // namespace

bool selection_bounds(const sketch_state& s, RECT* out) {
    bool any = false;
    RECT r{0, 0, 0, 0};
    // A name beside its box takes a line of the view's font on that side
    // (an input slider's name stands under it); a few units more hold the
    // outlines' width.
    int points = static_cast<std::int8_t>(s.view.rec.font.size);
    if (points <= 0) points = 8;
    const int line = points * 96 * 5 / (72 * 4) + 2;
    constexpr int edge = 3;
    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind < ek_variable || !(e.runtime & ef_selected)) continue;
        RECT b{e.x - e.w - edge, e.y - e.h - edge, e.x + e.w + edge, e.y + e.h + edge};
        const bool slider = e.kind == ek_text && (e.flags & ef_io_object) && e.label == 0;
        const int place = slider ? 1 : static_cast<std::int8_t>(e.label);
        if (e.shape_code() != 0 && !(e.flags & ef_no_label)) {
            if (place == 1) b.bottom += line;
            if (place == 2) b.left -= line;
            if (place == 3) b.top -= line;
            if (place == 4) b.right += line;
        }
        if (!any) {
            r = b;
            any = true;
        } else {
            r.left = std::min(r.left, b.left);
            r.top = std::min(r.top, b.top);
            r.right = std::max(r.right, b.right);
            r.bottom = std::max(r.bottom, b.bottom);
        }
    }
    if (any && out) *out = r;
    return any;
}

bool plan_view_area(const sketch_state& s, int mode, const view_output_settings& set, SIZE page,
                    view_output_area* out) {
    if (s.max_x <= s.min_x || s.max_y <= s.min_y) return false;
    view_output_area a;
    a.selection = mode == vo_copy_selection || (mode == vo_print && set.what == 1);
    if (a.selection) {
        RECT r;
        if (!selection_bounds(s, &r)) return false;
        widen_for_names(s, r, true);
        a.x = r.left;
        a.y = r.top;
        a.w = std::max<int>(r.right - r.left, 1);
        a.h = std::max<int>(r.bottom - r.top, 1);
    } else if (mode == vo_print && set.on_pages && page.cx > 0 && page.cy > 0 &&
               !(set.sizing & 12u)) {
        long long pw = page.cx, ph = page.cy;
        if ((set.sizing & 16u) && set.percent > 5) {
            pw = std::max(1LL, pw * 100 / set.percent);
            ph = std::max(1LL, ph * 100 / set.percent);
        }
        const long long x0 = floor_div(s.min_x, pw) * pw, y0 = floor_div(s.min_y, ph) * ph;
        a.x = static_cast<int>(x0);
        a.y = static_cast<int>(y0);
        a.w = static_cast<int>(ceil_div(s.max_x, pw) * pw - x0);
        a.h = static_cast<int>(ceil_div(s.max_y, ph) * ph - y0);
        a.paged = true;
    } else {
        // Names and arrowheads reach a little past the elements' bounds, as
        // the window's scroll margin allows for.
        // Names wider than their elements widen the bounds first.
        RECT r{s.min_x, s.min_y, s.max_x, s.max_y};
        widen_for_names(s, r, false);
        a.x = r.left - view_output_pad;
        a.y = r.top - view_output_pad;
        a.w = r.right - r.left + 2 * view_output_pad;
        a.h = r.bottom - r.top + 2 * view_output_pad;
    }
    if (out) *out = a;
    return true;
}

double view_print_factor(const view_output_settings& set, int pic_w, int pic_h,
                         const printer_page& page) {
    const double w = std::max(pic_w, 1), h = std::max(pic_h, 1);
    double fx = 0, fy = 0;
    if (set.sizing & 12u) {
        fx = (page.hres - page.dpi_x) / w;
        fy = (page.vres - page.dpi_y) / h;
        if ((set.sizing & 4u) && !(set.sizing & 8u)) {
            fx = std::min(fx, 1.0);
            fy = std::min(fy, 1.0);
        }
    } else if (set.sizing & 16u) {
        fx = fy = set.percent < 6 ? 1.0 : set.percent / 100.0;
    } else {
        if ((set.sizing & 1u) && set.width_in > 0 && std::isfinite(set.width_in))
            fx = std::trunc(page.dpi_x * static_cast<double>(std::min(set.width_in, 1000.0f))) / w;
        if ((set.sizing & 2u) && set.height_in > 0 && std::isfinite(set.height_in))
            fy = std::trunc(page.dpi_y * static_cast<double>(std::min(set.height_in, 1000.0f))) / h;
    }
    if (fx > 0 && fy > 0) return std::min(fx, fy);
    if (fx > 0) return fx;
    if (fy > 0) return fy;
    return 1.0;
}

bool plan_print_pages(int pic_w, int pic_h, double factor, const printer_page& page, bool paged,
                      page_plan* out) {
    if (pic_w < 1 || pic_h < 1 || !(factor > 0) || !std::isfinite(factor)) return false;
    const double fw = std::trunc(pic_w * factor), fh = std::trunc(pic_h * factor);
    if (fw < 1 || fh < 1 || fw > max_printed_side || fh > max_printed_side) return false;
    page_plan p;
    p.w = static_cast<int>(fw);
    p.h = static_cast<int>(fh);
    const int room_x = page.hres - page.dpi_x, room_y = page.vres - page.dpi_y;
    const int half_x = page.dpi_x / 2, half_y = page.dpi_y / 2;
    if (p.w <= room_x && p.h <= room_y) {
        p.margin_x = paged ? half_x : (page.hres - p.w) / 2;
        p.margin_y = paged ? half_y : (page.vres - p.h) / 2;
        p.step_x = pic_w;
        p.step_y = pic_h;
    } else {
        // A page too small to move the picture on by one unit would repeat the
        // same page for ever.
        p.step_x = std::floor(static_cast<double>(room_x) * pic_w / p.w);
        p.step_y = std::floor(static_cast<double>(room_y) * pic_h / p.h);
        if (p.step_x < 1 || p.step_y < 1) return false;
        p.cols = static_cast<int>(std::ceil(pic_w / p.step_x));
        p.rows = static_cast<int>(std::ceil(pic_h / p.step_y));
        p.margin_x = !paged && p.w <= room_x ? (page.hres - p.w) / 2 : half_x;
        p.margin_y = !paged && p.h <= room_y ? (page.vres - p.h) / 2 : half_y;
    }
    if (out) *out = p;
    return true;
}

std::string view_page_header(const std::string& header, const std::string& view_name) {
    for (std::size_t i = 0; i + 4 < header.size(); ++i) {
        static const char word[] = "view:";
        bool match = true;
        for (std::size_t k = 0; k < 5 && match; ++k)
            match = std::tolower(static_cast<unsigned char>(header[i + k])) == word[k];
        if (match) return header.substr(0, std::min(header.size(), i + 6)) + " " + view_name;
    }
    return header;
}

namespace {

void output_view_in(HWND owner, HWND view_window, sketch_state& s, int mode,
                    const view_output_settings& set, view_print_job* job) {
    const int sdx = std::max<int>(drawing.device_res[0], 1);
    const int sdy = std::max<int>(drawing.device_res[1], 1);
    const SIZE page = default_view_page(sdx, sdy);
    view_output_area a;
    if (!plan_view_area(s, mode, set, page, &a)) {
        report(8, "Nothing to print or export");
        return;
    }
    if (view_window) UpdateWindow(view_window);
    output_guard guard;
    guard.wait_cursor();
    drawing.gtx_mode = a.selection ? 2 : 1;
    const sketch_state rs = recording_state(s, a);
    if (mode == vo_print)
        print_view(view_window, s, rs, a, set, guard, job);
    else
        copy_to_clipboard(owner, view_window, rs, a, set);
    if (view_window) InvalidateRect(view_window, nullptr, TRUE);
}

} // namespace

void output_view(HWND owner, HWND view_window, sketch_state& s, int mode,
                 const view_output_settings& set) {
    output_view_in(owner, view_window, s, mode, set, nullptr);
}

void print_view_into(HWND view_window, sketch_state& s, const view_output_settings& set,
                     view_print_job& job) {
    output_view_in(nullptr, view_window, s, vo_print, set, &job);
}

void end_view_print_job(view_print_job& job) {
    if (!job.dc || drawing.printer_dc != job.dc) {
        job = view_print_job{};
        return;
    }
    const int pages = job.pages;
    const bool failed = job.failed;
    job = view_print_job{};
    close_printer(failed ? -1 : pages);
    if (failed) report(8, "Problems printing (%d)", pages);
}

bool put_metafile_picture(HWND owner, HMETAFILE mf, LONG mapping_mode, LONG x_ext, LONG y_ext) {
    bool done = false;
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT))) {
        auto* pict = static_cast<METAFILEPICT*>(GlobalLock(mem));
        pict->mm = mapping_mode;
        pict->xExt = x_ext;
        pict->yExt = y_ext;
        pict->hMF = mf;
        GlobalUnlock(mem);
        done = clip_put(owner, CF_METAFILEPICT, mem);
        if (!done) GlobalFree(mem);
    }
    if (!done) DeleteMetaFile(mf);
    return done;
}
