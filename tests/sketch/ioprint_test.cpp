// Input and output objects in prints and copies: an output graph on a view
// is printed and copied with its own picture, an input slider as its window
// shows it.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <filesystem>
#include <vector>

#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/printing.h"
#include "graphs/chartgraph.h"
#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/sets/graphset.h"
#include "platform/clip.h"
#include "platform/gdi_internal.h"
#include "platform/print.h"
#include "shell/controls/slider.h"
#include "shell/mainwnd.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/wip.h"
#include "sim/simdata.h"
#include "sketch/ioobjects.h"
#include "sketch/keys.h"
#include "sketch/viewnav.h"
#include "sketch/viewprint.h"
#include "sketch/views.h"
#include "tests/common/command_output.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"
#include "tests/sketch/pictures_fixture.h"
#include "tools/output.h"

namespace {

namespace td = test_driver;

// Pixels of an image near a colour, inside a rectangle (the whole image
// when the rectangle is empty).
int pixels_near(const QImage& image, QColor colour, QRect in = {}) {
    if (in.isEmpty()) in = image.rect();
    in = in.intersected(image.rect());
    int n = 0;
    for (int y = in.top(); y <= in.bottom(); ++y)
        for (int x = in.left(); x <= in.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) < 60 &&
                 std::abs(c.green() - colour.green()) < 60 &&
                 std::abs(c.blue() - colour.blue()) < 60;
        }
    return n;
}

// The clipboard's copied view as an image (kept as a placeable file under
// KAVREL_SCREENSHOTS when a name is given, for outside readers).
QImage copied_view(const char* keep_as = nullptr) {
    const sketch_pictures::copied_picture c = sketch_pictures::clipboard_picture();
    const char* keep = std::getenv("KAVREL_SCREENSHOTS");
    if (keep && keep_as && !c.placeable.empty())
        if (std::FILE* f = std::fopen((std::string(keep) + "/" + keep_as).c_str(), "wb")) {
            std::fwrite(c.placeable.data(), 1, c.placeable.size(), f);
            std::fclose(f);
        }
    return c.image;
}

// The element of a view's output graph (0 none).
int graph_element_of(HWND view) {
    const sketch_state* s = sketch_of(view);
    if (!s) return 0;
    for (int i = 1; i < s->view.count(); ++i) {
        const sketch_elem& e = s->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object) && e.label == io_output_graph) return i;
    }
    return 0;
}

class OutputObjects : public LiveSketch {
protected:
    const char* sample_name() const override { return "inventory.kmf"; }
    void SetUp() override {
        install_tools_hooks();
        install_graph_hooks();
        install_graph_set_hooks(); // the model's graph set, with its "Orders"
        LiveSketch::SetUp();
        refresh_sketch_values(); // the objects follow the run
        td::run_until_idle();
        clip_use_private(true);
        clip_reset();
        saved_ = opts;
        opts.printer_name.clear();
    }
    void TearDown() override {
        opts = saved_;
        set_graph_set_hook(nullptr);
        graphics_window_hook = nullptr;
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        clip_reset();
        clip_use_private(false);
        LiveSketch::TearDown();
    }
    // The element of the view's output graph.
    int graph_element() { return graph_element_of(view_); }
    opt_block saved_;
};

// Updating the open model's objects makes the output graph's window again
// for the runs loaded now and says an output window is open; with the
// objects taken down and the object state cleared there is nothing to
// update, and nothing is made.
TEST_F(OutputObjects, UpdatingTheObjectsRemakesTheOutputGraphAndSaysOneIsOpen) {
    const int n = graph_element();
    ASSERT_GT(n, 0);
    HWND before = io_object_window(view_, n);
    ASSERT_NE(before, nullptr);
    EXPECT_TRUE(update_io_objects());
    td::run_until_idle();
    HWND after = io_object_window(view_, n);
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(IsWindow(after));
    EXPECT_FALSE(IsWindow(before) && before != after) << "the old window stays beside the new";
    EXPECT_TRUE(s_->view.elems[static_cast<std::size_t>(n)].runtime & ef_io_window);

    destroy_io_objects(view_, *s_);
    td::run_until_idle();
    s_->io_state = 0;
    EXPECT_FALSE(update_io_objects());
    EXPECT_EQ(io_object_window(view_, n), nullptr);
}

// A run of a model whose graph set is shown during runs follows on the
// sketch: at its start the output graph is made again for the run and the
// progress panel stands aside, with "Open WIP Graph on Sim" off.
TEST_F(OutputObjects, ARunOfASetShownDuringRunsRemakesTheOutputGraphAtItsStart) {
    const int n = graph_element();
    ASSERT_GT(n, 0);
    graph_set* set = graph_set_at(current_graph_set());
    ASSERT_NE(set, nullptr);
    for (graph_def& d : set->defs)
        if (d.name == "Orders") d.wip = 1;
    set->wip = 1;
    const auto saved_float = float_opts;
    float_opts &= ~fo_wip_graph;
    static HWND view, before, during;
    static bool panel_shown;
    static sim_pump_fn pump;
    view = view_;
    before = io_object_window(view_, n);
    ASSERT_NE(before, nullptr);
    during = before;
    panel_shown = false;
    pump = sim_pump_hook();
    ASSERT_NE(pump, nullptr);
    set_sim_pump_hook([] {
        pump();
        during = io_object_window(view, graph_element_of(view));
        panel_shown = panel_shown || (wip_wnd && IsWindowVisible(wip_wnd));
    });
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "second");
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    set_sim_pump_hook(pump);
    float_opts = saved_float;
    EXPECT_NE(during, before) << "made again at the run's start";
    EXPECT_NE(during, nullptr);
    EXPECT_FALSE(panel_shown);
}

// The clipboard's metafile picture header (mapping mode, extents); false
// when there is none.
bool clip_picture(METAFILEPICT* out) {
    if (!OpenClipboard(nullptr)) return false;
    HANDLE h = GetClipboardData(CF_METAFILEPICT);
    const auto* pict =
        h ? static_cast<const METAFILEPICT*>(GlobalLock(static_cast<HGLOBAL>(h))) : nullptr;
    if (pict) {
        *out = *pict;
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    return pict != nullptr;
}

// Selects element n alone, as a click does.
void select_only(sketch_state& s, int n) {
    for (sketch_elem& e : s.view.elems) e.runtime &= static_cast<std::uint8_t>(~ef_selected);
    s.view.elems[static_cast<std::size_t>(n)].runtime |= ef_selected;
    s.selection = 1;
}

// Copy with one element selected: an output graph copies itself, as its own
// window's copy does (its picture at its window's size); a stored metafile
// picture copies as that very picture, with its own mapping and extents.
TEST_F(OutputObjects, OneSelectedOutputObjectOrPictureCopiesAsItself) {
    const int n = graph_element();
    ASSERT_GT(n, 0);
    HWND w = io_object_window(view_, n);
    ASSERT_NE(w, nullptr);
    HWND frame = GetParent(view_);
    select_only(*s_, n);
    clip_reset();
    SendMessage(frame, WM_COMMAND, skc_copy, 0);
    td::run_until_idle();
    // The graph's own copy: its enhanced metafile, with the graph's curves,
    // not a picture of the view's area.
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT));
    ASSERT_TRUE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto emf = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    CloseClipboard();
    ASSERT_NE(emf, nullptr);
    RECT c;
    GetClientRect(w, &c);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, c.right, c.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    FillRect(mem, &c, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    PlayEnhMetaFile(mem, emf, &c);
    SelectObject(mem, old);
    const QImage copy = gdi_bitmap_image(bmp);
    DeleteObject(bmp);
    DeleteDC(mem);
    EXPECT_GT(pixels_near(copy, QColor(160, 0, 160)), 20); // the graph's Workforce curve
    METAFILEPICT pict{};

    // A stored metafile picture: a green square, 1000 by 1000 in its own
    // anisotropic mapping.
    HDC rec = CreateMetaFile(nullptr);
    SetWindowExtEx(rec, 100, 100, nullptr);
    HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
    SelectObject(rec, green);
    Rectangle(rec, 0, 0, 100, 100);
    HMETAFILE h = CloseMetaFile(rec);
    DeleteObject(green);
    const UINT bytes = GetMetaFileBitsEx(h, 0, nullptr);
    std::vector<std::uint8_t> blob(20 + bytes, 0);
    const std::uint32_t head[4] = {static_cast<std::uint32_t>(blob.size()), MM_ANISOTROPIC, 1000,
                                   1000};
    std::memcpy(blob.data(), head, sizeof head);
    GetMetaFileBitsEx(h, bytes, blob.data() + 20);
    DeleteMetaFile(h);
    const int p = add_sketch_element(s_->view, ek_metafile, 150, 150, 0, 0, ef_primary, 0);
    ASSERT_GT(p, 0);
    s_->view.elems[static_cast<std::size_t>(p)].w = 30;
    s_->view.elems[static_cast<std::size_t>(p)].h = 30;
    s_->view.elems[static_cast<std::size_t>(p)].blob = blob;
    select_only(*s_, p);
    clip_reset();
    SendMessage(frame, WM_COMMAND, skc_copy, 0);
    td::run_until_idle();
    ASSERT_TRUE(clip_picture(&pict));
    EXPECT_EQ(pict.mm, MM_ANISOTROPIC);
    EXPECT_EQ(pict.xExt, 1000);
    EXPECT_EQ(pict.yExt, 1000);
    EXPECT_GT(pixels_near(copied_view(), QColor(0, 160, 0)), 500);

    // A stored bitmap (4 by 4, red, 24 bits) copies as its own device-
    // independent bitmap: the file image's header and bits.
    const std::uint32_t row = 12, bits = row * 4, file = 14 + 40 + bits;
    std::vector<std::uint8_t> image(4 + file, 0);
    auto put = [&](std::size_t at, std::uint32_t v) { std::memcpy(image.data() + at, &v, 4); };
    put(0, static_cast<std::uint32_t>(image.size()));
    image[4] = 'B', image[5] = 'M';
    put(6, file);
    put(14, 54);
    put(18, 40);
    put(22, 4);
    put(26, 4);
    image[30] = 1, image[32] = 24;
    put(38, bits);
    for (std::uint32_t i = 0; i < bits; i += 3) image[58 + i + 2] = 255;
    const int b = add_sketch_element(s_->view, ek_bitmap, 250, 150, 0, 0, ef_primary, 0);
    ASSERT_GT(b, 0);
    s_->view.elems[static_cast<std::size_t>(b)].w = 10;
    s_->view.elems[static_cast<std::size_t>(b)].h = 10;
    s_->view.elems[static_cast<std::size_t>(b)].blob = image;
    select_only(*s_, b);
    clip_reset();
    SendMessage(frame, WM_COMMAND, skc_copy, 0);
    td::run_until_idle();
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT));
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto dib = static_cast<HGLOBAL>(GetClipboardData(CF_DIB));
    std::vector<std::uint8_t> got;
    if (dib) {
        const auto* p = static_cast<const std::uint8_t*>(GlobalLock(dib));
        got.assign(p, p + GlobalSize(dib));
        GlobalUnlock(dib);
    }
    CloseClipboard();
    EXPECT_EQ(got, std::vector<std::uint8_t>(image.begin() + 18, image.end()));
}

// The sample's "Orders" graph stands on the view over its box; printed and
// copied, its curves (red and purple, colours the diagram has not) are drawn
// where the screen shows them, not a stand-in line.
TEST_F(OutputObjects, AnOutputGraphIsPrintedAndCopiedWithItsOwnPicture) {
    const int n = graph_element();
    ASSERT_GT(n, 0);
    HWND w = io_object_window(view_, n);
    ASSERT_NE(w, nullptr) << "the graph opened on the view after the run";
    EXPECT_EQ(GetParent(w), view_);
    const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];

    view_output_settings set;
    const QImage page = sketch_pictures::printed_view(view_, *s_, set, "ioprint_test");
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(pixels_near(page, QColor(255, 0, 0)), 3);    // expected orders
    EXPECT_GT(pixels_near(page, QColor(160, 0, 160)), 20); // Workforce

    output_view(nullptr, view_, *s_, vo_copy_view, set);
    const QImage copy = copied_view("inventory_view.wmf");
    ASSERT_FALSE(copy.isNull());
    // In the copy the graph's box is where the element's box is, the
    // recording's origin at the view's bounds.
    const int pad = 20; // the recording's margin round the view's bounds
    const QRect box(e.x - e.w - s_->min_x + pad, e.y - e.h - s_->min_y + pad, 2 * e.w, 2 * e.h);
    EXPECT_GT(pixels_near(copy, QColor(255, 0, 0), box), 20);
    EXPECT_GT(pixels_near(copy, QColor(160, 0, 160), box), 20);
    EXPECT_EQ(pixels_near(copy, QColor(255, 0, 0), QRect(0, 0, copy.width(), box.top() - 2)), 0);
}

// A graph drawn through the chart control (the graph set's "Style_1") on a
// view prints with its chart's own picture: the box holds the chart's
// colours, where the stand-in has only its frame and one black line.
TEST_F(OutputObjects, AChartGraphOnAViewIsCopiedWithItsChart) {
    install_chart_graph_hooks();
    ASSERT_EQ(init_mfc_app(), 1);
    struct chart_app_reset {
        HWND view;
        sketch_state* s;
        ~chart_app_reset() {
            destroy_io_objects(view, *s); // the chart goes before its application
            exit_mfc_app();
            chart_app = chart_app_hooks{};
        }
    } reset{view_, s_};
    const int n =
        add_sketch_element(s_->view, ek_text, 400, 1000, 0, 3, ef_primary | ef_io_object, 0);
    ASSERT_GT(n, 0);
    sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    e.text = "0,Style_1";
    e.label = io_output_graph;
    e.w = 150, e.h = 100;
    s_->max_y = std::max<std::int32_t>(s_->max_y, 1100);
    make_io_objects(view_, *s_, 0);
    td::run_until_idle();
    HWND w = io_object_window(view_, n);
    ASSERT_NE(w, nullptr);
    const handle rec = record_of(w);
    ASSERT_NE(rec, 0u);
    auto* o = static_cast<output_record*>(lock_handle(rec));
    ASSERT_NE(o, nullptr);
    const bool chart = o->chart != nullptr;
    unlock_handle(rec);
    ASSERT_TRUE(chart) << "Style_1 draws through the chart control";
    view_output_settings set;
    output_view(nullptr, view_, *s_, vo_copy_view, set);
    const QImage copy = copied_view();
    ASSERT_FALSE(copy.isNull());
    const int pad = 20;
    const QRect box(e.x - e.w - s_->min_x + pad + 2, e.y - e.h - s_->min_y + pad + 2, 2 * e.w - 4,
                    2 * e.h - 4);
    int coloured = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = copy.pixelColor(x, y);
            coloured += std::max({c.red(), c.green(), c.blue()}) -
                            std::min({c.red(), c.green(), c.blue()}) >
                        60;
        }
    EXPECT_GT(coloured, 50);
}

// The inventory sample opened with no run loaded: its "Orders" graph cannot
// open yet, so the view shows the graph's stand-in (its box and a rising
// line) in the object's place.
class OutputObjectsBeforeARun : public SketchWindow {
protected:
    const char* sample_name() const override { return "inventory.kmf"; }
    void SetUp() override {
        install_tools_hooks();
        install_graph_hooks();
        install_graph_set_hooks();
        SketchWindow::SetUp();
        MoveWindow(main_wnd, 0, 0, 1200, 800, TRUE);
        layout_frame(main_wnd);
        td::run_until_idle();
    }
    void TearDown() override {
        set_graph_set_hook(nullptr);
        graphics_window_hook = nullptr;
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        SketchWindow::TearDown();
    }
};

TEST_F(OutputObjectsBeforeARun, TheViewShowsTheGraphsStandInWhileItCannotOpen) {
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object) && e.label == io_output_graph) n = i;
    }
    ASSERT_GT(n, 0);
    EXPECT_EQ(io_object_window(view_, n), nullptr) << "no run is loaded";
    const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    scroll_sketch_to(view_, 0, e.y - e.h - 40);
    td::run_until_idle();
    const QImage img = td::image(view_);
    const int left = e.x - e.w - s_->scroll_x, top = e.y - e.h - s_->scroll_y;
    const int right = e.x + e.w - s_->scroll_x, bottom = e.y + e.h - s_->scroll_y;
    ASSERT_GT(top, 0);
    ASSERT_LT(right, img.width());
    ASSERT_LT(bottom, img.height());
    auto dark_at = [&](int x, int y) { return qGray(img.pixel(x, y)) < 96; };
    // The box's four sides are drawn, and the line rises from its lower
    // left corner to its upper right one (dark inside the box, between them).
    int top_side = 0, left_side = 0, inside = 0;
    for (int x = left + 4; x < right - 4; ++x) top_side += dark_at(x, top);
    for (int y = top + 4; y < bottom - 4; ++y) left_side += dark_at(left, y);
    for (int y = top + 2; y < bottom - 2; ++y)
        for (int x = left + 2; x < right - 2; ++x) inside += dark_at(x, y);
    EXPECT_GT(top_side, (right - left) * 3 / 4);
    EXPECT_GT(left_side, (bottom - top) * 3 / 4);
    EXPECT_GT(inside, (right - left) / 2);
    EXPECT_FALSE(dark_at((left + right) / 2, top + 3)) << "a line, not a filled box";
}

class SliderCopy : public LiveSketch {
protected:
    void SetUp() override {
        LiveSketch::SetUp();
        clip_use_private(true);
        clip_reset();
    }
    void TearDown() override {
        clip_reset();
        clip_use_private(false);
        LiveSketch::TearDown();
    }
};

// Ctrl+A, Ctrl+C on the population view: the picture holds the input
// slider whole, its value box and its name under it.
TEST_F(SliderCopy, SelectAllAndCopyHoldTheSlidersName) {
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object) && e.label == io_input_slider) n = i;
    }
    ASSERT_GT(n, 0);
    HWND frame = GetParent(view_);
    SendMessage(frame, WM_COMMAND, skc_select_all, 0);
    SendMessage(frame, WM_COMMAND, skc_copy, 0);
    td::run_until_idle();
    const QImage copy = copied_view("population_selection.wmf");
    ASSERT_FALSE(copy.isNull());
    view_output_area a;
    ASSERT_TRUE(plan_view_area(*s_, vo_copy_selection, view_output_settings{}, SIZE{0, 0}, &a));
    const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    const int bottom = e.y + e.h - a.y;
    EXPECT_GT(copy.height(), bottom + 10);
    // The name's ink in the band under the box.
    int dark = 0;
    for (int y = bottom; y < std::min(copy.height(), bottom + 16); ++y)
        for (int x = std::max(0, e.x - e.w - a.x); x < std::min(copy.width(), e.x + e.w - a.x); ++x)
            dark += qGray(copy.pixel(x, y)) < 100;
    EXPECT_GT(dark, 15);
}

} // namespace

namespace {

namespace td = test_driver;

// The population sample, its view's slider on birth rate (the model's 0.04).
class ReadOnlySlider : public LiveSketch {
protected:
    void TearDown() override {
        opts = saved_;
        LiveSketch::TearDown();
    }
    int slider_element() {
        for (int i = 1; i < s_->view.count(); ++i) {
            const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
            if (e.kind == ek_text && (e.flags & ef_io_object) && e.label == io_input_slider)
                return i;
        }
        return 0;
    }
    // The view printed to a PDF, as text.
    std::string printed_text() {
        print_use_system_printers(false);
        opts.printer_name.clear();
        const std::string pdf = testing::TempDir() + "ioprint_slider.pdf";
        std::filesystem::remove(pdf);
        printer.output_file = pdf;
        output_view(nullptr, view_, *s_, vo_print, view_output_settings{});
        printer.output_file.clear();
        print_use_system_printers(true);
        return std::filesystem::exists(pdf) ? pdf_text(pdf) : std::string();
    }
    opt_block saved_ = opts;
};

// After a run made in Setup with birth rate at 0.07, the slider is back to
// read-only and shows the run's 0.07, not the model's 0.04: in its thumb's
// value, its value box and the print of the view.
TEST_F(ReadOnlySlider, AfterARunWithAChangedConstantItShowsTheRunsValue) {
    const int n = slider_element();
    ASSERT_GT(n, 0);
    const std::int32_t slot = slot_of("birth rate");
    menu_command(cmd_setup);
    td::run_until_idle();
    ASSERT_EQ(sim_phase, phase_setup);
    ASSERT_EQ(set_setup_value(slot, 0.07f), 1);
    answerer::box("Question from Kavrel").press(IDYES); // over the base run
    menu_command(cmd_simulate);
    td::run_until_idle();
    ASSERT_NE(sim_phase, phase_setup);
    ASSERT_EQ(model_rec->run_count, 1);
    EXPECT_EQ(answerer::pending(), 0u);

    HWND slider = io_object_window(view_, n);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider_slot(slider), 0); // read-only
    float v = -1;
    SendMessage(slider, vs_get_value, 0, reinterpret_cast<LPARAM>(&v));
    EXPECT_FLOAT_EQ(v, 0.07f);
    char box[64] = "";
    GetWindowText(GetDlgItem(slider, slider_edit_id), box, sizeof box);
    EXPECT_STREQ(box, "0.07");
    float drawn = -1;
    ASSERT_TRUE(io_slider_value(s_->view.elems[static_cast<std::size_t>(n)], &drawn));
    EXPECT_FLOAT_EQ(drawn, 0.07f);

    const std::string text = printed_text();
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("0.07"), std::string::npos) << text;
    EXPECT_EQ(text.find("0.04"), std::string::npos) << text;
}

} // namespace
