// Printing and copying a view: the page arithmetic (page lines, the area,
// the print factor, paging), and whole prints to the PDF printer and copies
// to the private clipboard of a sample model's view.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "draw/drawing.h"
#include "draw/printing.h"
#include "model/model.h"
#include "platform/clip.h"
#include "platform/print.h"
#include "shell/settings_rows.h"
#include "sketch/drawsketch.h"
#include "sketch/viewprint.h"
#include "sketch/views.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/driver/driver.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

using ViewPages = SketchTest;

TEST_F(ViewPages, AnUnknownOrEmptyPageTakesTheDefaultAndPageLinesEnd) {
    const SIZE def = default_view_page(96, 96);
    EXPECT_EQ(def.cx, 691); // 7.2 inches
    EXPECT_EQ(def.cy, 931); // 9.7 inches
    for (int w : {0, -5}) {
        SIZE p = view_page_size(w, 700, 600, 600, 96, 96);
        EXPECT_EQ(p.cx, def.cx);
        EXPECT_EQ(p.cy, def.cy);
    }
    EXPECT_EQ(view_page_size(100, 100, 0, 600, 96, 96).cx, def.cx);
    // A known page: 7.5 by 10 inches at 600 dpi is 720 by 960 screen pixels.
    SIZE p = view_page_size(4500, 6000, 600, 600, 96, 96);
    EXPECT_EQ(p.cx, 720);
    EXPECT_EQ(p.cy, 960);

    EXPECT_TRUE(page_line_positions(0, 1000, 0).empty());
    EXPECT_TRUE(page_line_positions(0, 1000, -100).empty());
    EXPECT_EQ(page_line_positions(-250, 450, 200), (std::vector<int>{-200, 0, 200, 400}));
    EXPECT_EQ(page_line_positions(201, 399, 200), std::vector<int>{});
}

TEST_F(ViewPages, TheAreaIsTheViewTheSelectionOrWholePages) {
    view_output_settings set;
    view_output_area a;
    EXPECT_FALSE(plan_view_area(s, vo_print, set, SIZE{100, 100}, &a)); // empty view

    int b1 = box(-150, 40, 20, 10);
    int b2 = box(230, 300, 30, 20);
    s.min_x = -170, s.min_y = 30, s.max_x = 260, s.max_y = 320;
    ASSERT_TRUE(plan_view_area(s, vo_copy_view, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.x, -190); // 20 units of room either side
    EXPECT_EQ(a.w, 470);
    EXPECT_FALSE(a.paged);

    // Pages round out: floor for the negative minimum, up for the maximum.
    set.on_pages = true;
    ASSERT_TRUE(plan_view_area(s, vo_print, set, SIZE{100, 200}, &a));
    EXPECT_TRUE(a.paged);
    EXPECT_EQ(a.x, -200);
    EXPECT_EQ(a.w, 500);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.h, 400);
    // At 50 % a page covers twice the view; a fit bit turns paging off.
    set.sizing = 16;
    set.percent = 50;
    ASSERT_TRUE(plan_view_area(s, vo_print, set, SIZE{100, 200}, &a));
    EXPECT_EQ(a.x, -200);
    EXPECT_EQ(a.w, 600);
    set.sizing = 8;
    ASSERT_TRUE(plan_view_area(s, vo_print, set, SIZE{100, 200}, &a));
    EXPECT_FALSE(a.paged);

    // The selection: nothing selected gives nothing; else its rectangle,
    // 3 units round for the outlines.
    EXPECT_FALSE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    el(b2).runtime |= ef_selected;
    ASSERT_TRUE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    EXPECT_TRUE(a.selection);
    EXPECT_EQ(a.x, 197);
    EXPECT_EQ(a.y, 277);
    EXPECT_EQ(a.w, 66);
    EXPECT_EQ(a.h, 46);
    // A name under the box (an input slider's too) takes a line of the
    // view's font (8 points: 15 units) below it; one on the left, on the left.
    el(b2).label = 1;
    ASSERT_TRUE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.y, 277);
    EXPECT_EQ(a.h, 46 + 15);
    el(b2).label = 2;
    ASSERT_TRUE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.x, 197 - 15);
    EXPECT_EQ(a.h, 46);
    // Above and on the right: the same line and the same width, on the
    // other side.
    el(b2).label = 3;
    ASSERT_TRUE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.y, 277 - 15);
    EXPECT_EQ(a.h, 46 + 15);
    EXPECT_EQ(a.x, 197);
    EXPECT_EQ(a.w, 66);
    el(b2).label = 4;
    ASSERT_TRUE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.x, 197);
    EXPECT_EQ(a.w, 66 + 15);
    EXPECT_EQ(a.y, 277);
    EXPECT_EQ(a.h, 46);
    el(b2).label = 255;
    el(b2).kind = ek_text;
    el(b2).flags |= ef_io_object;
    el(b2).label = 0;
    ASSERT_TRUE(plan_view_area(s, vo_copy_selection, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.h, 46 + 15);
    el(b1).runtime |= ef_selected;
    set.what = 1;
    ASSERT_TRUE(plan_view_area(s, vo_print, set, SIZE{100, 100}, &a));
    EXPECT_EQ(a.x, -173);
    EXPECT_EQ(a.w, 436);
}

// Copying the whole view: a name outside its box widens the area on its own
// side by the same line (above or below) or the same width (left or right).
TEST_F(ViewPages, ANameOutsideItsBoxWidensTheViewOnItsOwnSide) {
    // Names are measured in their fonts: the windowing system is needed.
    test_driver::start();
    struct driver_reset {
        ~driver_reset() { test_driver::reset(); }
    } reset_after;
    const int t = box(0, 100, 20, 10, 3, ek_text);
    el(t).text = "A longer name";
    s.min_x = -20, s.min_y = 90, s.max_x = 20, s.max_y = 110;
    view_output_settings set;
    auto area = [&](int label) {
        el(t).label = static_cast<std::uint8_t>(label);
        view_output_area a;
        EXPECT_TRUE(plan_view_area(s, vo_copy_view, set, SIZE{100, 100}, &a));
        return a;
    };
    const view_output_area inside = area(0); // wrapped inside its box
    EXPECT_EQ(inside.x, -40);
    EXPECT_EQ(inside.y, 70);
    EXPECT_EQ(inside.w, 80);
    EXPECT_EQ(inside.h, 60);
    const view_output_area below = area(1), above = area(3);
    const int line = below.h - 60;
    EXPECT_GT(line, 5);
    EXPECT_EQ(below.y, 70);
    EXPECT_EQ(above.y, 70 - line);
    EXPECT_EQ(above.h, below.h);
    const view_output_area left = area(2), right = area(4);
    const int width = right.w - 80;
    EXPECT_GT(width, 20);
    EXPECT_EQ(right.x, -40);
    EXPECT_EQ(left.x, -40 - width);
    EXPECT_EQ(left.w, right.w);
    EXPECT_EQ(left.y, 70);
    EXPECT_EQ(left.h, 60);
}

TEST_F(ViewPages, ThePrintFactorFollowsTheScalingBits) {
    const printer_page page{600 * 17 / 2, 600 * 11, 600, 600}; // 8.5 x 11 inches
    view_output_settings set;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 1000, 1000, page), 1.0);
    set.sizing = 16;
    set.percent = 5; // too small to mean anything: 100 %
    EXPECT_DOUBLE_EQ(view_print_factor(set, 1000, 1000, page), 1.0);
    set.percent = 250;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 1000, 1000, page), 2.5);
    // Fit: the smaller axis wins; bit 4 alone never enlarges.
    set.sizing = 8;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 1500, 1000, page), 4500.0 / 1500);
    set.sizing = 4;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 1500, 1000, page), 1.0);
    EXPECT_DOUBLE_EQ(view_print_factor(set, 9000, 1000, page), 4500.0 / 9000);
    // Inches: 2 inches wide at 600 dpi; a height of 0 does not count.
    set.sizing = 1 | 2;
    set.width_in = 2;
    set.height_in = 0;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 600, 100, page), 2.0);
}

TEST_F(ViewPages, PagingKeepsToThePageAndRefusesWhatCannotEnd) {
    const printer_page page{5100, 6600, 600, 600}; // printable 4500 x 6000
    page_plan p;
    // Exactly the printable width fits one page, centred.
    ASSERT_TRUE(plan_print_pages(4500, 100, 1.0, page, false, &p));
    EXPECT_EQ(p.cols, 1);
    EXPECT_EQ(p.rows, 1);
    EXPECT_EQ(p.margin_x, 300);
    EXPECT_EQ(p.margin_y, (6600 - 100) / 2);
    // One pixel wide: one page, centred; paged output keeps half-inch margins.
    ASSERT_TRUE(plan_print_pages(1, 1, 1.0, page, false, &p));
    EXPECT_EQ(p.margin_x, 2549);
    ASSERT_TRUE(plan_print_pages(1, 1, 1.0, page, true, &p));
    EXPECT_EQ(p.margin_x, 300);
    // One pixel wider: two pages across, stepping by the printable width.
    ASSERT_TRUE(plan_print_pages(4501, 100, 1.0, page, false, &p));
    EXPECT_EQ(p.cols, 2);
    EXPECT_EQ(p.rows, 1);
    EXPECT_DOUBLE_EQ(p.step_x, 4500);
    EXPECT_EQ(p.margin_x, 300);
    EXPECT_EQ(p.margin_y, (6600 - 100) / 2); // still centred down, where it fits
    // At twice the size each page holds half as much of the picture.
    ASSERT_TRUE(plan_print_pages(4000, 7000, 2.0, page, false, &p));
    EXPECT_DOUBLE_EQ(p.step_x, 2250);
    EXPECT_EQ(p.cols, 2);
    EXPECT_EQ(p.rows, 3);

    // A printable size of an inch or less cannot step: refused, not looped.
    const printer_page tiny{600, 600, 600, 600};
    EXPECT_FALSE(plan_print_pages(1000, 1000, 1.0, tiny, false, &p));
    const printer_page sliver{601, 5000, 600, 600}; // one pixel: steps below 1 unit
    EXPECT_FALSE(plan_print_pages(10, 10, 20.0, sliver, false, &p));
    // Printed sizes out of range.
    EXPECT_FALSE(plan_print_pages(32001, 10, 1.0, page, false, &p));
    EXPECT_FALSE(plan_print_pages(10, 10, 0.01, page, false, &p));
    EXPECT_FALSE(plan_print_pages(10, 10, 0.0, page, false, &p));
}

TEST_F(ViewPages, TheHeaderNamesTheView) {
    EXPECT_EQ(view_page_header("Model VIEW: old", "Stocks"), "Model VIEW:  Stocks");
    EXPECT_EQ(view_page_header("view:", "Main"), "view: Main");
    EXPECT_EQ(view_page_header("Review", "Main"), "Review");
    EXPECT_EQ(view_page_header("", "Main"), "");
}

std::string said_all() {
    std::string all;
    for (const auto& m : message_log::messages) all += m.text + "\n";
    return all;
}

class ViewOutput : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        ASSERT_EQ(packages_missing({"poppler-utils"}), "");
        test_driver::start();
        print_use_system_printers(false);
        clip_use_private(true);
        clip_reset();
        saved_ = opts;
        opts.printer_name.clear();
        drawing = draw_state{};
        printer = print_state{};
        pdf_ = testing::TempDir() + "viewprint_test.pdf";
        std::filesystem::remove(pdf_);
        printer.output_file = pdf_;
        std::string path = std::string(KAVREL_BINARY_DIR) + "/samples/population.kmf";
        m_ = read_model_file(path.c_str());
        ASSERT_NE(m_.symbols, 0u);
        s.symbols = m_.symbols;
        s.header = m_.header;
        // View 1 holds the stocks and flows (view 0 is a note).
        ASSERT_EQ(load_view(s, 1, 0, false, 0, false), 1);
        s.zoom = 150;
        s.scroll_x = 37;
        s.scroll_y = -12;
    }
    void TearDown() override {
        s.view = working_view{};
        if (m_.symbols) free_model(m_.header, m_.symbols);
        if (drawing.printer_dc) DeleteDC(drawing.printer_dc);
        drawing = draw_state{};
        printer = print_state{};
        opts = saved_;
        clip_reset();
        clip_use_private(false);
        test_driver::reset();
        print_use_system_printers(true);
        SketchTest::TearDown();
    }
    void expect_untouched() {
        EXPECT_EQ(s.zoom, 150);
        EXPECT_EQ(s.scroll_x, 37);
        EXPECT_EQ(s.scroll_y, -12);
        EXPECT_EQ(drawing.printing, 0);
        EXPECT_EQ(drawing.gtx_mode, 0);
        EXPECT_FALSE(printer_is_open());
    }
    int pdf_pages() {
        const std::string info = command_output("pdfinfo '" + pdf_ + "'");
        const auto at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
    }
    model_pair m_{};
    opt_block saved_;
    std::string pdf_;
};

TEST_F(ViewOutput, APrintedViewCarriesItsNamesAndHeader) {
    view_output_settings set;
    set.header = "Population View:";
    set.footer = "Footnote here";
    output_view(nullptr, nullptr, s, vo_print, set);
    ASSERT_TRUE(std::filesystem::exists(pdf_)) << said_all();
    const std::string text = pdf_text(pdf_);
    EXPECT_NE(text.find(std::string("Population View: ") + s.view.rec.name), std::string::npos)
        << text;
    EXPECT_NE(text.find("Footnote here"), std::string::npos) << text;
    // Every variable's name shows (pdftotext may break a name across lines,
    // so the first word is enough).
    int named = 0;

    for (int n = 1; n < s.view.count(); ++n) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
        if (e.kind != ek_variable) continue;
        std::string name = sketch_element_text(s, e);
        name = name.substr(0, name.find(' '));
        if (name.empty()) continue;
        ++named;

        EXPECT_NE(text.find(name), std::string::npos) << name;
    }
    EXPECT_GT(named, 0);
    EXPECT_EQ(pdf_pages(), 1);
    expect_untouched();
}

// Printing every view: each view adds its pages to one document, which
// ends when the job does; a job with a page that failed says so and leaves
// no printer open.
TEST_F(ViewOutput, ViewsPrintedIntoOneJobMakeOneDocument) {
    view_output_settings set;
    view_print_job job;
    print_view_into(nullptr, s, set, job);
    ASSERT_NE(job.dc, nullptr) << said_all();
    EXPECT_EQ(job.pages, 1);
    EXPECT_TRUE(printer_is_open());
    print_view_into(nullptr, s, set, job);
    EXPECT_EQ(job.pages, 2);
    EXPECT_FALSE(std::filesystem::exists(pdf_) && pdf_pages() > 0); // not ended yet
    end_view_print_job(job);
    EXPECT_EQ(job.dc, nullptr);
    EXPECT_EQ(pdf_pages(), 2) << said_all();
    EXPECT_FALSE(message_log::said("Problems printing")) << said_all();
    expect_untouched();

    std::filesystem::remove(pdf_);
    print_view_into(nullptr, s, set, job);
    ASSERT_NE(job.dc, nullptr) << said_all();
    job.failed = true;
    end_view_print_job(job);
    EXPECT_TRUE(message_log::said("Problems printing (1)", 8)) << said_all();
    EXPECT_EQ(job.dc, nullptr);
    EXPECT_EQ(job.pages, 0);
    expect_untouched();
}

TEST_F(ViewOutput, ALargeScalePrintsOnSeveralPages) {
    view_output_settings set;
    set.sizing = 16;
    set.percent = 600;
    output_view(nullptr, nullptr, s, vo_print, set);
    ASSERT_TRUE(std::filesystem::exists(pdf_)) << said_all();
    EXPECT_GT(pdf_pages(), 1);
    expect_untouched();
}

TEST_F(ViewOutput, RefusalsLeaveTheViewAndTheOutputFlagsAsTheyWere) {
    view_output_settings set;
    set.sizing = 16;
    set.percent = 100000; // far past the largest printed size
    output_view(nullptr, nullptr, s, vo_print, set);
    EXPECT_TRUE(message_log::said("Too big to print")) << said_all();
    EXPECT_FALSE(std::filesystem::exists(pdf_));
    expect_untouched();

    message_log::messages.clear();
    sketch_state empty;
    output_view(nullptr, nullptr, empty, vo_copy_view, set);
    EXPECT_TRUE(message_log::said("Nothing to print or export"));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT));
}

TEST_F(ViewOutput, ACopyIsAMetafilePictureOrAnEnhancedMetafile) {
    view_output_settings set;
    output_view(nullptr, nullptr, s, vo_copy_view, set);
    ASSERT_TRUE(IsClipboardFormatAvailable(CF_METAFILEPICT)) << said_all();
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE h = GetClipboardData(CF_METAFILEPICT);
    ASSERT_NE(h, nullptr);
    const auto* pict = static_cast<const METAFILEPICT*>(GlobalLock(static_cast<HGLOBAL>(h)));
    ASSERT_NE(pict, nullptr);
    EXPECT_EQ(pict->mm, MM_ANISOTROPIC);
    // Hundredths of a millimetre of the view's extent at the screen's 96
    // dpi: the elements' bounds and 20 units round, and below the lowest
    // element (the input slider) the line of its name.
    EXPECT_EQ(pict->xExt, static_cast<LONG>((s.max_x - s.min_x + 40) * 2540LL / 96));
    const long with_name = (s.max_y - s.min_y + 40) * 2540L / 96;
    EXPECT_GT(pict->yExt, with_name + 8 * 2540L / 96);
    EXPECT_LT(pict->yExt, with_name + 20 * 2540L / 96);
    EXPECT_GT(GetMetaFileBitsEx(pict->hMF, 0, nullptr), 100u); // something was drawn
    GlobalUnlock(static_cast<HGLOBAL>(h));
    CloseClipboard();
    expect_untouched();

    set.enhanced = true;
    output_view(nullptr, nullptr, s, vo_copy_view, set);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT));
    expect_untouched();
}

// Page lines at both ends of the range are drawn (a view exactly two pages
// wide shows three lines); a printer of different resolutions across and down
// gives each side its own: 3000 by 4000 dots at 300 by 600 dpi is 10 by 6.67
// inches, 960 by 640 screen pixels at 96 dpi.
TEST_F(ViewPages, PageLinesIncludeBothEndsAndEachSideTakesItsOwnResolution) {
    EXPECT_EQ(page_line_positions(0, 400, 200), (std::vector<int>{0, 200, 400}));
    EXPECT_EQ(page_line_positions(-200, -200, 200), std::vector<int>{-200});
    const SIZE p = view_page_size(3000, 4000, 300, 600, 96, 96);
    EXPECT_EQ(p.cx, 960);
    EXPECT_EQ(p.cy, 640);
    const SIZE q = view_page_size(3000, 4000, 300, 300, 96, 120);
    EXPECT_EQ(q.cx, 960);
    EXPECT_EQ(q.cy, 1600);
}

// With no orientation chosen, a printed area wider than tall goes on a
// landscape page and any other, a square one too, on a portrait page: a
// selection of one unlabelled element 30 by 30 is square, 60 by 30 wide.
TEST_F(ViewOutput, AWideAreaPrintsLandscapeAndASquareOnePortrait) {
    int pick = 0;
    for (int n = 1; n < s.view.count() && !pick; ++n)
        if (s.view.elems[static_cast<std::size_t>(n)].kind == ek_variable) pick = n;
    ASSERT_GT(pick, 0);
    sketch_elem& e = s.view.elems[static_cast<std::size_t>(pick)];
    e.runtime |= ef_selected;
    e.flags |= ef_no_label;
    view_output_settings set;
    set.what = 1;
    set.orientation = 0;
    for (int half_w : {15, 30}) {
        SCOPED_TRACE(half_w);
        e.w = static_cast<std::int16_t>(half_w);
        e.h = 15;
        std::filesystem::remove(pdf_);
        output_view(nullptr, nullptr, s, vo_print, set);
        ASSERT_TRUE(std::filesystem::exists(pdf_)) << said_all();
        const std::string info = command_output("pdfinfo '" + pdf_ + "'");
        const auto at = info.find("Page size:");
        ASSERT_NE(at, std::string::npos) << info;
        double w = 0, h = 0;
        ASSERT_EQ(std::sscanf(info.c_str() + at + 10, " %lf x %lf", &w, &h), 2) << info;
        if (half_w > 15)
            EXPECT_GT(w, h) << info;
        else
            EXPECT_LT(w, h) << info;
    }
}

// The sizes Print Options offers are the areas a print or copy takes, in
// inches of the screen: the whole view's and the selection's, each side on
// its own.
TEST_F(ViewPages, PrintSizesAreTheAreasInScreenInches) {
    box(-150, 40, 20, 10);
    const int b2 = box(230, 300, 30, 20);
    s.min_x = -170, s.min_y = 30, s.max_x = 260, s.max_y = 320;
    el(b2).runtime |= ef_selected;
    HDC ref = GetDC(nullptr);
    const double dpi_x = ref ? GetDeviceCaps(ref, LOGPIXELSX) : 96;
    const double dpi_y = ref ? GetDeviceCaps(ref, LOGPIXELSY) : 96;
    if (ref) ReleaseDC(nullptr, ref);
    const view_print_sizes z = view_print_sizes_of(s);
    // The view: 20 units of room round the elements; the selection: 3.
    EXPECT_NEAR(z.view_w, 470 / dpi_x, 1e-9);
    EXPECT_NEAR(z.view_h, 330 / dpi_y, 1e-9);
    EXPECT_NEAR(z.sel_w, 66 / dpi_x, 1e-9);
    EXPECT_NEAR(z.sel_h, 46 / dpi_y, 1e-9);
}

// The print settings come from the options: the positioning choice 1 prints
// on whole pages, an empty title gives the header "View:", an unknown
// selection choice prints the whole view.
TEST_F(ViewPages, PrintSettingsComeFromTheOptions) {
    const opt_block saved = opts;
    opts.sketch_positioning = 1;
    opts.title.clear();
    opts.print_selection = 7;
    opts.print_comment = "note";
    opts.print_date = 1;
    view_output_settings set = view_output_settings_now();
    EXPECT_TRUE(set.on_pages);
    EXPECT_EQ(set.header, "View:");
    EXPECT_EQ(set.what, 0);
    EXPECT_EQ(set.footer, "note");
    EXPECT_TRUE(set.date_stamp);
    opts.sketch_positioning = 0;
    opts.title = "Model: m View:";
    opts.print_selection = 2;
    opts.print_date = 0;
    set = view_output_settings_now();
    EXPECT_FALSE(set.on_pages);
    EXPECT_EQ(set.header, "Model: m View:");
    EXPECT_EQ(set.what, 2);
    EXPECT_FALSE(set.date_stamp);
    opts = saved;
}

// The header stands a quarter inch below the printable top, centred; the
// footer ends a quarter inch above the printable bottom at a quarter inch
// from the left, the date two spaces after the comment.
TEST_F(ViewOutput, HeaderAndFooterStandAQuarterInchInside) {
    view_output_settings set;
    set.header = "Headword View:";
    set.footer = "Footword";
    output_view(nullptr, nullptr, s, vo_print, set);
    ASSERT_TRUE(std::filesystem::exists(pdf_)) << said_all();
    const std::string bbox = pdf_text_bbox(pdf_);
    auto edge = [&](const std::string& word, const char* attr) {
        const std::size_t at = bbox.find(">" + word + "</word>");
        if (at == std::string::npos) return -1.0;
        const std::size_t start = bbox.rfind("<word", at);
        return std::stod(bbox.substr(bbox.find(attr, start) + std::strlen(attr)));
    };
    const std::size_t h_at = bbox.find("height=\"");
    ASSERT_NE(h_at, std::string::npos) << bbox;
    const double height = std::stod(bbox.substr(h_at + 8));
    const double head_top = edge("Headword", "yMin=\""), foot_bottom = edge("Footword", "yMax=\"");
    ASSERT_GE(head_top, 0) << bbox;
    ASSERT_GE(foot_bottom, 0) << bbox;
    // 12 points of a 72-point inch: a quarter inch is 18 points.
    EXPECT_NEAR(head_top, 18, 2);
    EXPECT_NEAR(foot_bottom, height - 18, 2);
    EXPECT_NEAR(edge("Footword", "xMin=\""), 18, 1);
    // The date stamp follows the comment after two spaces (of 12-point
    // Helvetica, 3.3 points each).
    set.date_stamp = true;
    std::filesystem::remove(pdf_);
    output_view(nullptr, nullptr, s, vo_print, set);
    ASSERT_TRUE(std::filesystem::exists(pdf_)) << said_all();
    const std::string dated = pdf_text_bbox(pdf_);
    const std::size_t foot = dated.find(">Footword</word>");
    ASSERT_NE(foot, std::string::npos) << dated;
    const std::size_t next = dated.find("<word", foot);
    ASSERT_NE(next, std::string::npos) << dated;
    const std::size_t fw = dated.rfind("<word", foot);
    const double foot_right = std::stod(dated.substr(dated.find("xMax=\"", fw) + 6));
    const double date_left = std::stod(dated.substr(dated.find("xMin=\"", next) + 6));
    EXPECT_GT(date_left - foot_right, 5.5) << dated;
    EXPECT_LT(date_left - foot_right, 8.5) << dated;
}

} // namespace
