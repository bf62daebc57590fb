// Printing and copying a view: the view (or the selection) is recorded into
// a metafile by the ordinary view painter at zoom 100, then played onto one
// page or several printer pages, or handed to the clipboard as a metafile
// picture (or an enhanced metafile).
//
// The planning steps are plain functions so the page arithmetic can be
// checked without a printer; output_view does the work.
#pragma once

#include <string>
#include <vector>

#include "platform/win.h"
#include "sketch/sketch.h"

// What output_view makes.
enum : int { vo_print = 0, vo_copy_selection = 1, vo_copy_view = 2 };

// The settings output_view reads (view_output_settings fills them from the
// program's options).
struct view_output_settings {
    int what = 0;            // 0 the current view, 1 the selection only, 2 all views
    int orientation = 0;     // 0 automatic, 1 landscape, 2 portrait
    bool on_pages = false;   // print on whole pages (as the page lines show them)
    unsigned sizing = 0;     // 1 width in inches, 2 height in inches, 4 fit shrinking only,
                             // 8 fit, 16 fixed percentage
    float width_in = 0.0f;   // with bit 1
    float height_in = 0.0f;  // with bit 2
    int percent = 100;       // with bit 16
    std::string header;      // "View:" in it is followed by the view's name
    std::string footer;      // at the bottom left of the first page
    bool date_stamp = false; // the date stamp after the footer
    bool enhanced = false;   // copy an enhanced metafile rather than a metafile picture
};
view_output_settings view_output_settings_now();

// The default page (7.2 by 9.7 inches printable) in screen pixels.
SIZE default_view_page(int screen_dpi_x, int screen_dpi_y);
// The page in screen pixels from a printer's printable pixels and dpi; a
// size of 0 or less (or no dpi) is unknown and gives the default page.
SIZE view_page_size(int printable_w, int printable_h, int printer_dpi_x, int printer_dpi_y,
                    int screen_dpi_x, int screen_dpi_y);
// Where page lines fall between lo and hi (sketch units at zoom 100): every
// multiple of page within the range. A page of 0 or less draws none.
std::vector<int> page_line_positions(int lo, int hi, int page);

// The area recorded, in sketch units at zoom 100.
struct view_output_area {
    int x = 0, y = 0, w = 0, h = 0;
    bool selection = false; // only the selection rectangle
    bool paged = false;     // rounded out to whole pages
};
// False when there is nothing to output (an empty view, or no selection for
// a selection output). `page` is the page in sketch units (see
// view_page_size); it matters only for paged printing.
bool plan_view_area(const sketch_state& s, int mode, const view_output_settings& set, SIZE page,
                    view_output_area* out);
// The rectangle the selected elements cover; false when none is selected.
bool selection_bounds(const sketch_state& s, RECT* out);

// The printer's page: printable pixels and dots per inch.
struct printer_page {
    int hres = 0, vres = 0;
    int dpi_x = 0, dpi_y = 0;
};
// The factor the picture (pic_w by pic_h printer pixels) is printed at.
double view_print_factor(const view_output_settings& set, int pic_w, int pic_h,
                         const printer_page& page);

// How a picture goes onto pages: printed size, margins (device pixels), the
// page grid and the step from page to page in picture units.
struct page_plan {
    int w = 0, h = 0;
    int margin_x = 0, margin_y = 0;
    int cols = 1, rows = 1;
    double step_x = 0, step_y = 0;
};
// False ("Too big to print") when the printed size is below 1 or above 32000
// pixels, or when the page is too small to hold even one picture unit.
bool plan_print_pages(int pic_w, int pic_h, double factor, const printer_page& page, bool paged,
                      page_plan* out);

// The header of a printed view: a header holding "view:" (any case) keeps
// the text up to the character after the colon and adds the view's name.
std::string view_page_header(const std::string& header, const std::string& view_name);

// The sizes Print Options shows for the sketch: the whole current view and
// the selection (inches at the screen's resolution, as the print records
// them; the selection 0 by 0 when none), and the number of views.
struct view_print_sizes {
    double view_w = 0, view_h = 0, sel_w = 0, sel_h = 0;
    int views = 0;
};
view_print_sizes view_print_sizes_of(const sketch_state& s);

// Prints (vo_print) or copies the view of `view_window`'s sketch. Failures
// are reported; the sketch and the output flags are left as they were on
// every path.
void output_view(HWND owner, HWND view_window, sketch_state& s, int mode,
                 const view_output_settings& set);

// One print job for several views (Print's "All Views"): each view printed
// through it adds its pages to one document, which end_view_print_job
// finishes (and the printer says once where it went).
struct view_print_job {
    HDC dc = nullptr;    // the open printer, its document started
    int pages = 0;       // pages begun so far
    bool failed = false; // a page could not be made
};
void print_view_into(HWND view_window, sketch_state& s, const view_output_settings& set,
                     view_print_job& job);
void end_view_print_job(view_print_job& job);

// Draws a view's Livesweep sliders into a print or copy recorded from rs (the
// quick sliders install it; null: none drawn).
extern void (*record_sliders_hook)(HDC dc, HWND view, const sketch_state& rs);

// Puts a metafile picture alone on the clipboard with its mapping mode and
// extents (in the mode's units). The clipboard owns mf after a true return;
// on false mf is deleted.
bool put_metafile_picture(HWND owner, HMETAFILE mf, LONG mapping_mode, LONG x_ext, LONG y_ext);
