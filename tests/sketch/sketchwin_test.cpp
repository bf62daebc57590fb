// The sketch window as a user sees it: opened by the shell's open path on the
// population sample's diagram, checked on its pixels; scrolled by the bars'
// range and the wheel.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <string>

#include "model/context.h"
#include "model/modelfile.h"
#include "shell/mainplace.h"
#include "shell/menucmd.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "sketch/drawsketch.h"
#include "sketch/geometry.h"
#include "sketch/ioobjects.h"
#include "sketch/sketchwin.h"
#include "tests/driver/driver.h"
#include "tests/sketch/window_fixture.h"
#include "tools/output.h"

namespace td = test_driver;

namespace {

bool near_colour(QRgb p, int r, int g, int b) {
    return std::abs(qRed(p) - r) < 40 && std::abs(qGreen(p) - g) < 40 &&
           std::abs(qBlue(p) - b) < 40;
}
bool dark(QRgb p) {
    return qRed(p) + qGreen(p) + qBlue(p) < 300;
}

// Edges of a box in the outline colour, counted along its top and bottom.
int outline_pixels(const QImage& img, int l, int t, int r, int b) {
    int n = 0;
    for (int x = l + 2; x < r - 2; ++x)
        for (int y : {t, b})
            if (near_colour(img.pixel(x, y), 0, 0, 0)) ++n;
    return n;
}

TEST_F(SketchWindow, OpeningAModelShowsItsDiagram) {
    // The first view that is not the shared one, in a frame in the container.
    EXPECT_STREQ(s_->view.rec.name, "Population");
    EXPECT_EQ(GetParent(GetParent(view_)), container_wnd);
    EXPECT_EQ(build_wnd, GetParent(view_));
    const sketch_elem* stock = variable("Population");
    ASSERT_NE(stock, nullptr);
    QImage img = shot("sketch_population.png");
    ASSERT_FALSE(img.isNull());
    // The stock's box at its mapped rectangle: outline along the top and
    // bottom edges (arrows meet them in places), text pixels inside.
    const int l = stock->x - stock->w, r = stock->x + stock->w;
    const int t = stock->y - stock->h, b = stock->y + stock->h;
    ASSERT_LT(r, img.width());
    ASSERT_LT(b, img.height());
    EXPECT_GT(outline_pixels(img, l, t, r, b), (r - l) * 2 * 3 / 4);
    int inside = 0;
    for (int y = t + 3; y < b - 2; ++y)
        for (int x = l + 3; x < r - 2; ++x)
            if (dark(img.pixel(x, y))) ++inside;
    EXPECT_GT(inside, 20) << "the name inside the box";
    // An arrowhead of a plain arrow, filled in the connector colour at its
    // computed base.
    int heads = 0;
    for (const sketch_elem& c : s_->view.elems) {
        // (Initial-value links are drawn in the view's colour for them.)
        if (c.kind != ek_connector || c.width_code != 0 || c.init_link) continue;
        float hx[3], hy[3];
        if (!arrowhead_points(c, hx, hy)) continue;
        int cx = static_cast<int>(std::lround((hx[0] + hx[1] + hx[2]) / 3));
        int cy = static_cast<int>(std::lround((hy[0] + hy[1] + hy[2]) / 3));
        if (cx < 0 || cy < 0 || cx >= img.width() || cy >= img.height()) continue;
        EXPECT_TRUE(near_colour(img.pixel(cx, cy), 0, 0, 255))
            << "arrowhead of " << c.tail << "->" << c.head << " at " << cx << "," << cy;
        ++heads;
    }
    EXPECT_GT(heads, 3);
    // Closing asks nothing of a view-only window.
    EXPECT_EQ(query_close_sketch_windows(0), 1);
    EXPECT_EQ(close_sketch_windows(0), 1);
    EXPECT_EQ(current_sketch_view(), nullptr);
    EXPECT_EQ(build_wnd, nullptr);
}

TEST_F(SketchWindow, ScrollingMovesTheDiagramWithinItsRange) {
    const sketch_elem* stock = variable("Population");
    ASSERT_NE(stock, nullptr);
    scroll_sketch_to(view_, 40, 30);
    EXPECT_EQ(s_->scroll_x, 40);
    EXPECT_EQ(s_->scroll_y, 30);
    QImage img = shot("sketch_scrolled.png");
    const int l = stock->x - stock->w - 40, r = stock->x + stock->w - 40;
    const int t = stock->y - stock->h - 30, b = stock->y + stock->h - 30;
    EXPECT_GT(outline_pixels(img, l, t, r, b), (r - l) * 2 * 3 / 4);
    // Far past the end it stops at the range's end, and the bar agrees.
    scroll_sketch_to(view_, 0, 100000);
    RECT rc;
    GetClientRect(view_, &rc);
    int lo, hi;
    sketch_scroll_range(s_->min_y, s_->max_y, s_->zoom, rc.bottom, &lo, &hi);
    EXPECT_EQ(s_->scroll_y, hi);
    EXPECT_EQ(GetScrollPos(view_, SB_VERT), hi);
    // The wheel: a notch, or any part of one, moves one line.
    scroll_sketch_to(view_, 0, 0);
    td::wheel(view_, 50, 50, -1);
    td::run_until_idle();
    EXPECT_EQ(s_->scroll_y, std::min(16, hi));
    td::wheel(view_, 50, 50, -240);
    td::run_until_idle();
    EXPECT_EQ(s_->scroll_y, std::min(48, hi));
    td::wheel(view_, 50, 50, 119);
    td::run_until_idle();
    EXPECT_EQ(s_->scroll_y, std::min(32, hi));
    td::wheel(view_, 50, 50, 240);
    td::run_until_idle();
    EXPECT_EQ(s_->scroll_y, 0);
    // A bar's arrow moves one line.
    int lo_x, hi_x;
    sketch_scroll_range(s_->min_x, s_->max_x, s_->zoom, rc.right, &lo_x, &hi_x);
    SendMessage(view_, WM_HSCROLL, SB_LINERIGHT, 0);
    EXPECT_EQ(s_->scroll_x, std::min(16, hi_x));
    EXPECT_EQ(GetScrollPos(view_, SB_HORZ), s_->scroll_x);
}

TEST_F(SketchWindow, AnotherModelReplacesTheDiagramAndClosingTheModelClosesIt) {
    ASSERT_EQ(shell_open_model(1, 0, sample("epidemic.kmf").c_str(), 0), 1);
    td::run_until_idle();
    HWND view = current_sketch_view();
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(IsWindow(view_)); // the population window is gone
    EXPECT_STREQ(sketch_of(view)->view.rec.name, "Epidemic");
    EXPECT_EQ(td::find_windows("Kavrel_sketch").size(), 1u);
    // No model: no diagram.
    shell_open_model(0, 1, "", 0);
    td::run_until_idle();
    EXPECT_EQ(current_sketch_view(), nullptr);
    EXPECT_FALSE(IsWindow(view));
    EXPECT_TRUE(td::find_windows("Kavrel_sketch").empty());
}

TEST_F(SketchWindow, ZoomDoublesTheBoxAndCtrlWheelZoomsAboutTheCentre) {
    const sketch_elem* stock = variable("Population");
    ASSERT_NE(stock, nullptr);
    set_sketch_zoom(view_, 200);
    EXPECT_EQ(s_->zoom, 200);
    EXPECT_EQ(model_rec->sketch_zoom, 200);
    const int l = 2 * (stock->x - stock->w), r = 2 * (stock->x + stock->w);
    const int t = 2 * (stock->y - stock->h), b = 2 * (stock->y + stock->h);
    scroll_sketch_to(view_, l - 20, t - 20);
    ASSERT_EQ(s_->scroll_x, l - 20);
    ASSERT_EQ(s_->scroll_y, t - 20);
    QImage img = shot("sketch_zoom200.png");
    // The same box twice the size: its edges where the doubled rectangle lands.
    EXPECT_GT(outline_pixels(img, 20, 20, 20 + r - l, 20 + b - t), (r - l) * 2 * 3 / 4);

    // Ctrl+wheel: 10 points a whole notch, the point at the window's centre
    // staying there; a part of a notch does nothing.
    RECT vc;
    GetClientRect(view_, &vc);
    const POINT mid{vc.right / 2, vc.bottom / 2};
    const int ux = pixel_to_unit(mid.x, s_->zoom, s_->scroll_x);
    const int uy = pixel_to_unit(mid.y, s_->zoom, s_->scroll_y);
    SendMessage(view_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 119), 0);
    EXPECT_EQ(s_->zoom, 200);
    SendMessage(view_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-119)), 0);
    EXPECT_EQ(s_->zoom, 200);
    SendMessage(view_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 120), 0);
    EXPECT_EQ(s_->zoom, 210);
    EXPECT_NEAR(pixel_to_unit(mid.x, s_->zoom, s_->scroll_x), ux, 1);
    EXPECT_NEAR(pixel_to_unit(mid.y, s_->zoom, s_->scroll_y), uy, 1);
    SendMessage(view_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-360)), 0);
    EXPECT_EQ(s_->zoom, 180);
    // Never past 500 % nor below 10 %.
    set_sketch_zoom(view_, 900);
    EXPECT_EQ(s_->zoom, 500);
    set_sketch_zoom(view_, 1);
    EXPECT_EQ(s_->zoom, 10);
}

// A page scroll moves a window's height less one line, so the line at the
// edge stays in sight; never past the range's ends.
TEST_F(SketchWindow, PageScrollsKeepOneLineOfThePageBefore) {
    set_sketch_zoom(view_, 400); // more diagram than window
    scroll_sketch_to(view_, 0, 0);
    RECT rc;
    GetClientRect(view_, &rc);
    int lo, hi, lo_x, hi_x;
    sketch_scroll_range(s_->min_y, s_->max_y, s_->zoom, rc.bottom, &lo, &hi);
    sketch_scroll_range(s_->min_x, s_->max_x, s_->zoom, rc.right, &lo_x, &hi_x);
    ASSERT_GT(hi, 2 * rc.bottom);
    ASSERT_GT(hi_x, 2 * rc.right);
    SendMessage(view_, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(s_->scroll_y, rc.bottom - 16);
    SendMessage(view_, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(s_->scroll_y, 2 * (rc.bottom - 16));
    SendMessage(view_, WM_VSCROLL, SB_PAGEUP, 0);
    EXPECT_EQ(s_->scroll_y, rc.bottom - 16);
    SendMessage(view_, WM_HSCROLL, SB_PAGERIGHT, 0);
    EXPECT_EQ(s_->scroll_x, rc.right - 16);
    SendMessage(view_, WM_HSCROLL, SB_PAGELEFT, 0);
    SendMessage(view_, WM_HSCROLL, SB_PAGELEFT, 0);
    EXPECT_EQ(s_->scroll_x, lo_x);
    SendMessage(view_, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(s_->scroll_y, hi);
    // A diagram reaching above the origin: the top is its top edge (less the
    // margin of 20), at 400 %.
    s_->min_y = -300;
    SendMessage(view_, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(s_->scroll_y, -300 * 4 - 20);
}

// The zoom kept with the model opens the diagram again at it, from 10 % to
// 500 %; anything else opens at 100 %. (Here the views keep no zoom of
// their own, which would come first.)
TEST_F(SketchWindow, TheKeptZoomOpensTheDiagramFrom10To500Percent) {
    const handle views = get_header_word(cur_model_symbols, mh_views);
    const std::uint32_t count = get_header_word(cur_model_symbols, mh_view_count) & 0xFFFF;
    ASSERT_GE(handle_size(views) / sizeof(view_rec), count);
    {
        handle_lock<view_rec> recs(views);
        ASSERT_TRUE(recs);
        for (std::uint32_t i = 0; i < count; ++i) recs.get()[i].zoom = 0;
    }
    for (const auto& [kept, opened] :
         {std::pair{10, 10}, {500, 500}, {150, 150}, {9, 100}, {501, 100}, {-20, 100}}) {
        model_rec->sketch_zoom = static_cast<std::int16_t>(kept);
        HWND view = open_sketch_window();
        ASSERT_NE(view, nullptr) << kept;
        EXPECT_EQ(sketch_of(view)->zoom, opened) << kept;
        EXPECT_FALSE(sketch_of(view)->fit) << kept;
    }
}

TEST(SketchScrollRange, KeepsTheOriginAndTheMarginsAndNeverInverts) {
    int lo, hi;
    sketch_scroll_range(100, 900, 100, 300, &lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 900 + 20 - 300);
    sketch_scroll_range(-50, 100, 200, 1000, &lo, &hi);
    EXPECT_EQ(lo, -120);
    EXPECT_EQ(hi, 0); // all of it fits: the origin is in range
    sketch_scroll_range(-32768, 32767, 500, 10, &lo, &hi);
    EXPECT_LT(lo, 0);
    EXPECT_GT(hi, 32767);
}

} // namespace

namespace {

// The workbench finds the sketch by its model file's name through its output
// record, and closes it by that record.
TEST_F(SketchWindow, TheSketchIsFoundAndClosedByItsOutputRecord) {
    const handle record = sketch_record(view_);
    ASSERT_NE(record, 0u);
    {
        handle_lock<output_record> r(record);
        ASSERT_TRUE(r);
        EXPECT_EQ(r.get()->type, '+');
        EXPECT_EQ(r.get()->window, view_);
    }
    EXPECT_NE(cur_output, record) << "the tools' current record is left alone";
    EXPECT_EQ(find_sketch_window("POPULATION.kmf", 0, 0), record);
    EXPECT_EQ(find_sketch_window("population.kmf", -1, 0), record);
    EXPECT_EQ(find_sketch_window(sample("population.kmf").c_str(), -1, 1), record);
    EXPECT_EQ(find_sketch_window("population.kmf", -1, 1), 0u) << "not the whole path";
    EXPECT_EQ(find_sketch_window("inventory.kmf", 0, 0), 0u);
    EXPECT_EQ(find_sketch_window(nullptr, 0, 0), 0u);
    EXPECT_EQ(close_sketch_windows(record + 1), 1);
    EXPECT_NE(current_sketch_view(), nullptr) << "another record closes nothing";
    EXPECT_EQ(close_sketch_windows(record), 1);
    td::run_until_idle();
    EXPECT_EQ(current_sketch_view(), nullptr);
    EXPECT_EQ(find_sketch_window("population.kmf", 0, 0), 0u);
}

} // namespace

namespace {

// Fitting shows the whole diagram, is kept as zoom 5 for the next opening,
// and a zoom chosen afterwards ends it.
TEST_F(SketchWindow, ZoomToFitShowsTheWholeDiagramAndIsKept) {
    zoom_to_fit(view_);
    RECT rc;
    GetClientRect(view_, &rc);
    EXPECT_TRUE(s_->fit);
    EXPECT_EQ(model_rec->sketch_zoom, 5);
    EXPECT_LT(s_->zoom, 100) << "the diagram is larger than the window";
    EXPECT_LE(unit_to_pixel(s_->max_x, s_->zoom, s_->scroll_x), rc.right);
    EXPECT_LE(unit_to_pixel(s_->max_y, s_->zoom, s_->scroll_y), rc.bottom);
    EXPECT_GE(unit_to_pixel(s_->min_x, s_->zoom, s_->scroll_x), 0);
    EXPECT_GE(unit_to_pixel(s_->min_y, s_->zoom, s_->scroll_y), 0);
    const int fitted = s_->zoom;
    // Reopened, the model's sketch fits again.
    ASSERT_NE(open_sketch_window(), nullptr);
    view_ = current_sketch_view();
    s_ = sketch_of(view_);
    EXPECT_TRUE(s_->fit);
    EXPECT_EQ(s_->zoom, fitted);
    set_sketch_zoom(view_, 150);
    EXPECT_FALSE(s_->fit);
    EXPECT_EQ(model_rec->sketch_zoom, 150);
}

} // namespace

namespace {

// What text elements show: a file link its caption, an input slider its
// variable's name, any other text the whole of it.
TEST_F(SketchWindow, TextElementsShowTheirCaptionsAndObjectsTheirVariables) {
    const sketch_elem* slider = nullptr;
    sketch_elem* note = nullptr;
    for (sketch_elem& e : s_->view.elems) {
        if (e.kind != ek_text) continue;
        if (e.flags & ef_io_object) slider = &e;
        if (e.text == "See the crowding effects") note = &e;
    }
    ASSERT_NE(slider, nullptr);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(sketch_element_text(*s_, *slider), "birth rate");
    EXPECT_EQ(sketch_element_text(*s_, *note), "See the crowding effects");
    note->link_lo = note->link_hi = 253;
    note->text = "notes.txt|Read the notes";
    EXPECT_EQ(sketch_element_text(*s_, *note), "Read the notes");
    note->text = "notes.txt";
    EXPECT_EQ(sketch_element_text(*s_, *note), "");
    // An object whose stored number names nothing shows nothing.
    sketch_elem broken = *slider;
    broken.text = "999999,|0,1,0";
    EXPECT_EQ(sketch_element_text(*s_, broken), "");
    // On screen: a live slider stands on the box, its variable's name in
    // text pixels under it.
    scroll_sketch_to(view_, 0, slider->y - 100);
    QImage img = shot("sketch_slider.png");
    const int n = static_cast<int>(slider - s_->view.elems.data());
    HWND live = io_object_window(view_, n);
    ASSERT_NE(live, nullptr);
    RECT wr{};
    GetWindowRect(live, &wr);
    EXPECT_EQ(wr.right - wr.left, 2 * slider->w);
    const int sy = s_->scroll_y;
    const int l = slider->x - slider->w + 2, r = slider->x + slider->w - 2;
    const int t = slider->y + slider->h + 1 - sy, b = t + 14;
    ASSERT_LT(r, img.width());
    ASSERT_LT(b, img.height());
    // The name's ink spans a name's width ("birth rate"), not a number's.
    int first = r, last = l;
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            if (dark(img.pixel(x, y))) first = std::min(first, x), last = std::max(last, x);
    EXPECT_GT(last - first, 40);
}

} // namespace
