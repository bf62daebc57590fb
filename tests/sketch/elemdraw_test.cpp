// Elements drawn as their author stored them: every shape, the element's own
// outline, fill, font face, size, style and colour, the four label places, a
// long name wrapped in its box, stored bitmaps and metafiles, initial-value
// links in the view's colour for them, the marks of what may be changed in
// Simulation Setup and Livesweep; and the same drawing on screen, in a
// recorded metafile and on a printed page.
#include <gtest/gtest.h>

#include <optional>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <QImage>

#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/printing.h"
#include "model/context.h"
#include "model/model.h"
#include "platform/clip.h"
#include "platform/gdi_internal.h"
#include "platform/global.h"
#include "platform/print.h"
#include "shell/settings_rows.h"
#include "sim/simdata.h"
#include "sketch/drawsketch.h"
#include "sketch/pictures.h"
#include "sketch/viewprint.h"
#include "sketch/views.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/driver/driver.h"
#include "tests/sketch/pictures_fixture.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/view_layout.h"

namespace {

constexpr int W = 900, H = 560;
constexpr COLORREF red = RGB(255, 0, 0), green = RGB(0, 160, 0), magenta = RGB(200, 0, 200);
constexpr COLORREF fill_blue = RGB(120, 160, 255);

font_spec font(int size, int style, std::uint32_t colour = 0xFFFFFFFFu, const char* face = "") {
    font_spec f{};
    f.size = static_cast<std::uint8_t>(size);
    f.style = static_cast<std::uint8_t>(style);
    f.colour = colour;
    std::snprintf(f.face, sizeof f.face, "%s", face);
    return f;
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

// A 4 x 4 red BMP as a sized block.
std::vector<std::uint8_t> red_bitmap() {
    const std::uint32_t row = 12, pixels = row * 4, file = 14 + 40 + pixels;
    std::vector<std::uint8_t> b(4 + file, 0);
    put32(b, 0, static_cast<std::uint32_t>(b.size()));
    b[4] = 'B', b[5] = 'M';
    put32(b, 6, file);
    put32(b, 14, 54);
    put32(b, 18, 40);
    put32(b, 22, 4);
    put32(b, 26, 4);
    b[30] = 1, b[32] = 24;
    put32(b, 38, pixels);
    for (std::uint32_t i = 0; i < pixels; i += 3) b[58 + i + 2] = 255; // blue, green, red
    return b;
}

class ElementDrawing : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        test_driver::start();
        b_.constant("k", 1);
        b_.constant("plain", 2);
        b_.constant("bold one", 3);
        b_.constant("big one", 4);
        b_.aux("a", "k * 2");
        b_.aux("b", "a + k");
        b_.aux("c", "b + 1");
        b_.aux("d", "c + 1");
        b_.aux("e2", "d + 1");
        b_.aux("f", "e2 + 1");
        b_.aux("g", "f + 1");
        b_.aux("h", "g + 1");
        b_.aux("below", "1");
        b_.aux("left", "1");
        b_.aux("above", "1");
        b_.aux("right", "1");
        b_.aux("coloured", "1");
        b_.lookup("table", {{0, 0}, {1, 1}});
        b_.aux("a very long name of a stock that the author wrapped in its box for all to read",
               "1");
        b_.level("S", "k", "i0");
        b_.constant("i0", 5);
        ASSERT_TRUE(b_.finish());
        view_layout v(b_, "Looks");
        using look = view_layout::look;
        look fill_green{4, 0, green, {}, 1};
        // Row 1: shapes 2, 3 (own red outline), 4, 5, 6, 9, 10, 11 (80 x 80).
        const char* names[] = {"a", "b", "c", "d", "e2", "f", "g", "h"};
        const int shapes[] = {2, 3, 4, 5, 6, 9, 10, 11};
        for (int i = 0; i < 8; ++i) {
            look l = fill_green;
            if (shapes[i] == 3) l = look{1 | 4, red, green, {}, 2};
            shape_el_[i] =
                v.styled(ek_variable, b_.id(names[i]), 60 + i * 105, 60, 40, 40, shapes[i], 255, l);
        }
        // Row 2: fonts.
        plain_ = v.styled(ek_variable, b_.id("plain"), 80, 170, 0, 0, 0, 255, look{});
        bold_ = v.styled(ek_variable, b_.id("bold one"), 230, 170, 0, 0, 0, 255,
                         look{16, 0, 0, font(0, font_bold | font_italic | font_underline)});
        big_ = v.styled(ek_variable, b_.id("big one"), 400, 170, 0, 0, 0, 255,
                        look{8 | 32, 0, 0, font(18, 0, 0, "Serif")});
        coloured_ = v.styled(ek_variable, b_.id("coloured"), 580, 170, 0, 0, 0, 255,
                             look{2, 0, 0, font(0, 0, magenta)});
        eight_bare_ = v.styled(ek_text, 0, 720, 170, 40, 20, 8, 255, look{}, "bare");
        eight_filled_ =
            v.styled(ek_text, 0, 820, 170, 40, 20, 8, 255, look{4, 0, fill_blue, {}}, "filled");
        // Row 3: the four label places round 60 x 30 boxes.
        const char* places[] = {"below", "left", "above", "right"};
        for (int i = 0; i < 4; ++i)
            placed_[i] = v.styled(ek_variable, b_.id(places[i]), 110 + i * 180, 290, 30, 15, 3,
                                  i + 1, look{});
        // Row 4: a long name in a stock's box, the pictures, a lookup.
        long_ = v.styled(ek_variable,
                         b_.id("a very long name of a stock that the author wrapped in its box "
                               "for all to read"),
                         110, 430, 60, 40, 3, 255, look{});
        bitmap_ = v.picture(ek_bitmap, red_bitmap(), 300, 430, 30, 30);
        metafile_ =
            v.picture(ek_metafile, sketch_pictures::filled_metafile(green), 420, 430, 30, 30);
        constant_ = v.styled(ek_variable, b_.id("k"), 560, 430, 0, 0, 0, 255, look{});
        lookup_ = v.styled(ek_variable, b_.id("table"), 700, 430, 0, 0, 0, 255, look{});
        stock_ = v.styled(ek_variable, b_.id("S"), 820, 500, 30, 15, 3, 255, look{});
        init_ = v.styled(ek_variable, b_.id("i0"), 820, 400, 0, 0, 0, 255, look{});
        v.arrows_from_causes();
        s.symbols = b_.symbols();
        s.header = b_.header();
        ASSERT_GE(load_view(s, 0, 0, false, 0, false), 0);
        s.view.rec.init_link_colour = RGB(0, 200, 200);
        saved_symbols_ = cur_model_symbols;
        cur_model_symbols = s.symbols;
        // A colour surface, as the window's (a memory context's own is
        // monochrome).
        canvas_.emplace(W, H);
        dc_ = canvas_->dc();
    }
    void TearDown() override {
        sim_phase = phase_idle;
        livesweep_state = ls_off;
        cur_model_symbols = saved_symbols_;
        canvas_.reset();
        dc_ = nullptr;
        s.view = working_view{};
        test_driver::reset();
        SketchTest::TearDown();
    }
    void paint() { paint_sketch(dc_, s, RECT{0, 0, W, H}); }
    COLORREF at(int x, int y) { return GetPixel(dc_, x, y); }
    const sketch_elem& e(int n) { return s.view.elems[static_cast<std::size_t>(n)]; }
    RECT box(int n) {
        const sketch_elem& x = e(n);
        return RECT{x.x - x.w, x.y - x.h, x.x + x.w, x.y + x.h};
    }
    // Pixels of a colour (or, with dark, of any dark colour) in a rectangle.
    int count(RECT r, COLORREF c, bool dark = false) {
        int n = 0;
        for (int y = std::max<int>(0, r.top); y < std::min<int>(H, r.bottom); ++y)
            for (int x = std::max<int>(0, r.left); x < std::min<int>(W, r.right); ++x) {
                const COLORREF p = at(x, y);
                if (dark ? GetRValue(p) + GetGValue(p) + GetBValue(p) < 300 : p == c) ++n;
            }
        return n;
    }
    int ink(RECT r) { return count(r, 0, true); }
    // Rows of r holding dark pixels.
    int inked_rows(RECT r) {
        int rows = 0;
        for (int y = r.top; y < r.bottom; ++y) rows += ink(RECT{r.left, y, r.right, y + 1}) > 0;
        return rows;
    }
    model_builder b_{"looks"};
    sketch_state s;
    handle saved_symbols_ = 0;
    std::optional<memory_canvas> canvas_; // the colour surface painted on
    HDC dc_ = nullptr;
    int shape_el_[8]{}, placed_[4]{};
    int plain_ = 0, bold_ = 0, big_ = 0, coloured_ = 0, eight_bare_ = 0, eight_filled_ = 0;
    int long_ = 0, bitmap_ = 0, metafile_ = 0, constant_ = 0, lookup_ = 0, stock_ = 0, init_ = 0;
};

TEST_F(ElementDrawing, EachShapeHasItsOwnOutlineAndFill) {
    paint();
    if (const char* keep = std::getenv("KAVREL_SCREENSHOTS")) {
        QImage img(W, H, QImage::Format_RGB32);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const COLORREF p = at(x, y);
                img.setPixel(x, y, qRgb(GetRValue(p), GetGValue(p), GetBValue(p)));
            }
        img.save(QString::fromStdString(std::string(keep) + "/element_looks.png"));
    }
    auto filled = [&](int x, int y) { return at(x, y) == green; };
    // 2 ellipse, 6 hexagon, 11 diamond at a quarter of the height: only the
    // hexagon's side reaches the left edge there; at the middle the diamond's
    // point does too; the ellipse's corner is empty.
    const RECT ell = box(shape_el_[0]), hex = box(shape_el_[4]), dia = box(shape_el_[7]);
    const int q = 80 / 4 + 2;
    EXPECT_FALSE(filled(ell.left + 2, ell.top + q));
    EXPECT_TRUE(filled(hex.left + 2, hex.top + q));
    EXPECT_FALSE(filled(dia.left + 2, dia.top + q));
    EXPECT_TRUE(filled(dia.left + 3, dia.top + 40));
    EXPECT_TRUE(filled(ell.left + 40, ell.top + 15));
    // 3: the element's own red outline two pixels wide, filled inside.
    const RECT rect = box(shape_el_[1]);
    EXPECT_GE(count(RECT{rect.left + 5, rect.top - 1, rect.right - 5, rect.top + 2}, red), 2 * 70);
    EXPECT_TRUE(filled(rect.left + 5, rect.top + 5));
    // 9 apex up, 10 apex down.
    const RECT up = box(shape_el_[5]), down = box(shape_el_[6]);
    EXPECT_TRUE(filled(up.left + 40, up.top + 4));
    EXPECT_FALSE(filled(up.left + 4, up.top + 4));
    EXPECT_TRUE(filled(up.left + 4, up.bottom - 2));
    EXPECT_TRUE(filled(down.left + 4, down.top + 2));
    EXPECT_FALSE(filled(down.left + 4, down.bottom - 4));
    // 4 and 5: the open quarter at the top left or right, an arrowhead in
    // the outline colour at the arc's end.
    const RECT four = box(shape_el_[2]), five = box(shape_el_[3]);
    EXPECT_GT(ink(RECT{four.left - 4, four.top + 20, four.left + 5, four.top + 40}), 10);
    EXPECT_GT(ink(RECT{five.right - 5, five.top + 20, five.right + 4, five.top + 40}), 10);
    EXPECT_EQ(ink(RECT{four.left + 4, four.top, four.left + 20, four.top + 4}), 0);
    EXPECT_GT(ink(RECT{four.right - 20, four.top, four.right - 4, four.top + 8}), 0);
    // 8: no outline; a fill only of its own.
    const RECT bare = box(eight_bare_), full = box(eight_filled_);
    EXPECT_EQ(at(bare.left, bare.top + 5), RGB(255, 255, 255));
    EXPECT_EQ(at(full.left + 2, full.top + 2), fill_blue);
}

TEST_F(ElementDrawing, TextsTakeTheElementsOwnFontAndColour) {
    paint();
    const RECT plain = box(plain_), bold = box(bold_), big = box(big_), coloured = box(coloured_);
    // Bold, italic and underlined text inks more than plain text of the same length.
    EXPECT_GT(ink(bold), ink(plain) * 3 / 2);
    // 18 points stand taller than the view's 8.
    auto around = [](RECT r) { return RECT{r.left - 30, r.top - 20, r.right + 30, r.bottom + 20}; };
    EXPECT_GT(inked_rows(around(big)), inked_rows(around(plain)) * 3 / 2);
    // The own text colour.
    EXPECT_GT(count(coloured, magenta), 5);
    EXPECT_EQ(count(plain, magenta), 0);
    // The view's font change reaches every text without one of its own.
    const int before = inked_rows(plain);
    s.view.rec.font.size = 16;
    paint();
    EXPECT_GT(
        inked_rows(RECT{plain.left - 40, plain.top - 10, plain.right + 40, plain.bottom + 10}),
        before * 3 / 2);
    // A font without a size is drawn at 8 points.
    const RECT wide{plain.left - 40, plain.top - 10, plain.right + 40, plain.bottom + 10};
    s.view.rec.font.size = 8;
    paint();
    const int at8 = ink(wide), rows8 = inked_rows(wide);
    s.view.rec.font.size = 0;
    paint();
    EXPECT_EQ(ink(wide), at8);
    EXPECT_EQ(inked_rows(wide), rows8);
}

// A shadow copy of a variable shows its name in grey, unless it has a text
// colour of its own; the variable itself is drawn in the view's ink.
TEST_F(ElementDrawing, ShadowNamesAreGreyUnlessTheyHaveTheirOwnColour) {
    const COLORREF grey = RGB(128, 128, 128);
    auto around = [&](int n) {
        const RECT r = box(n);
        return RECT{r.left - 45, r.top - 10, r.right + 45, r.bottom + 10};
    };
    paint();
    ASSERT_GT(ink(around(plain_)), 5);
    EXPECT_EQ(count(around(plain_), grey), 0);
    s.view.elems[static_cast<std::size_t>(plain_)].flags &= static_cast<std::uint8_t>(~ef_primary);
    s.view.elems[static_cast<std::size_t>(coloured_)].flags &=
        static_cast<std::uint8_t>(~ef_primary);
    paint();
    EXPECT_GT(count(around(plain_), grey), 5);
    EXPECT_GT(count(around(coloured_), magenta), 5);
    EXPECT_EQ(count(around(coloured_), grey), 0);
}

// The outline is as wide as the element's line width, its sign ignored; a
// width of 0 still draws a line.
TEST_F(ElementDrawing, OutlineWidthsTakeTheMagnitudeOfTheStoredWidth) {
    const RECT r = box(shape_el_[1]);
    const int cx = (r.left + r.right) / 2;
    auto red_rows = [&] { return count(RECT{cx, r.top - 5, cx + 1, r.top + 6}, red); };
    sketch_elem& e = s.view.elems[static_cast<std::size_t>(shape_el_[1])];
    e.line_width = -4;
    paint();
    EXPECT_GE(red_rows(), 4);
    EXPECT_LE(red_rows(), 5);
    e.line_width = 0;
    paint();
    EXPECT_EQ(red_rows(), 1);
}

TEST_F(ElementDrawing, LabelsStandWhereTheirPlaceSaysAndLongNamesWrapInTheBox) {
    paint();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        const RECT r = box(placed_[i]);
        const RECT inner{r.left + 2, r.top + 2, r.right - 1, r.bottom - 1};
        EXPECT_EQ(ink(inner), 0) << "no text inside the box";
        const RECT where[] = {{r.left - 10, r.bottom + 1, r.right + 10, r.bottom + 16},
                              {r.left - 60, r.top, r.left - 1, r.bottom},
                              {r.left - 10, r.top - 16, r.right + 10, r.top - 1},
                              {r.right + 2, r.top, r.right + 60, r.bottom}};
        EXPECT_GT(ink(where[i]), 10);
    }
    // The long name stays inside its 120-pixel box, on several lines.
    const RECT l = box(long_);
    EXPECT_EQ(ink(RECT{l.left - 60, l.top + 2, l.left - 1, l.bottom - 2}), 0);
    EXPECT_EQ(ink(RECT{l.right + 2, l.top + 2, l.right + 60, l.bottom - 2}), 0);
    EXPECT_GE(inked_rows(RECT{l.left + 2, l.top + 2, l.right - 1, l.bottom - 1}), 20);
}

TEST_F(ElementDrawing, StoredPicturesAndInitialValueLinksShow) {
    paint();
    EXPECT_GT(count(box(bitmap_), red), 50 * 50);
    EXPECT_GT(count(box(metafile_), green), 50 * 50);
    // The link from the initial value's constant to the stock is in the
    // view's colour for initial-value links; the stock's others are not.
    int init_links = 0;
    for (const sketch_elem& c : s.view.elems)
        if (c.kind == ek_connector && c.init_link) ++init_links;
    ASSERT_GT(init_links, 0);
    EXPECT_GT(count(RECT{800, 400, 840, 490}, RGB(0, 200, 200)), 10);
}

TEST_F(ElementDrawing, SetupMarksWhatCanBeChanged) {
    const RECT k = box(constant_), t = box(lookup_), a = box(shape_el_[0]);
    const COLORREF yellow = RGB(255, 255, 0);
    paint();
    EXPECT_EQ(count(k, yellow), 0);
    sim_phase = phase_setup;
    paint();
    EXPECT_GT(count(k, yellow), 20);
    EXPECT_GT(count(t, yellow), 20);
    EXPECT_EQ(count(a, yellow), 0);
    // Livesweep: the constants have their sliders; the lookups are marked.
    sim_phase = phase_livesweep_ready;
    livesweep_state = ls_on;
    paint();
    EXPECT_EQ(count(k, yellow), 0);
    EXPECT_GT(count(t, yellow), 20);
}

// The same drawing on screen and played back from the recorded metafile a
// copy puts on the clipboard: nearly every pixel agrees.
TEST_F(ElementDrawing, AMetafileCopyDrawsWhatTheScreenShows) {
    paint();
    const auto played = sketch_pictures::replayed_sketch(s, W, H);
    ASSERT_NE(played, nullptr);
    HDC other = played->dc;
    int differ = 0, inked = 0;
    for (int y = 0; y < H; y += 2)
        for (int x = 0; x < W; x += 2) {
            const COLORREF p = GetPixel(dc_, x, y);
            inked += p != RGB(255, 255, 255);
            differ += p != GetPixel(other, x, y);
        }
    ASSERT_GT(inked, 2000);
    EXPECT_LT(differ, inked / 20) << differ << " of " << inked;
}

// Printed to the PDF printer, the page carries the same colours: the own
// outline, text colour, fills, the stored pictures.
TEST_F(ElementDrawing, APrintedViewCarriesTheLooks) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const view_output_settings set;
    const QImage page = sketch_pictures::printed_view(nullptr, s, set, "elemdraw_test");
    ASSERT_FALSE(page.isNull());
    auto has = [&](int r, int g, int b) {
        int n = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                n += std::abs(c.red() - r) < 40 && std::abs(c.green() - g) < 40 &&
                     std::abs(c.blue() - b) < 40;
            }
        return n;
    };
    EXPECT_GT(has(255, 0, 0), 50);     // the own outline and the bitmap
    EXPECT_GT(has(0, 160, 0), 200);    // fills and the metafile
    EXPECT_GT(has(120, 160, 255), 20); // shape 8's own fill
    EXPECT_GT(has(200, 0, 200), 3);    // the own text colour
}

} // namespace

namespace {

// A view holding only a stored metafile picture (a green square over its
// whole extent), so every green pixel of a print or copy is the picture's.
class StoredPicture : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        test_driver::start();
        b_.constant("k", 1);
        ASSERT_TRUE(b_.finish());
        view_layout v(b_, "Picture");
        v.picture(ek_metafile, sketch_pictures::filled_metafile(green), 200, 150, 30, 30);
        s.symbols = b_.symbols();
        s.header = b_.header();
        ASSERT_GE(load_view(s, 0, 0, false, 0, false), 0);
        clip_use_private(true);
        clip_reset();
    }
    void TearDown() override {
        clip_reset();
        clip_use_private(false);
        s.view = working_view{};
        test_driver::reset();
        SketchTest::TearDown();
    }
    static int greens(const QImage& img, QRect in = {}) {
        if (in.isEmpty()) in = img.rect();
        in = in.intersected(img.rect());
        int n = 0;
        for (int y = in.top(); y <= in.bottom(); ++y)
            for (int x = in.left(); x <= in.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                n += c.red() < 60 && std::abs(c.green() - 160) < 50 && c.blue() < 60;
            }
        return n;
    }
    model_builder b_{"picture"};
};

// Printed at 100 % (rendered at the screen's 96 dpi) the picture fills its
// 60 x 60 box; copied as a metafile picture and played back it fills the
// same box, the copy's origin being the view's bounds less the margin.
TEST_F(StoredPicture, IsPrintedAndCopiedOverItsOwnBox) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const view_output_settings set;
    const QImage page = sketch_pictures::printed_view(nullptr, s, set, "stored_picture");
    ASSERT_FALSE(page.isNull());
    const int printed = greens(page);
    EXPECT_GT(printed, 3600 * 8 / 10);
    EXPECT_LT(printed, 3600 * 12 / 10);

    output_view(nullptr, nullptr, s, vo_copy_view, set);
    const sketch_pictures::copied_picture c = sketch_pictures::clipboard_picture();
    ASSERT_FALSE(c.image.isNull());
    const QImage& copy = c.image;
    const std::vector<std::uint8_t>& file = c.placeable;
    const int w = copy.width(), ht = copy.height();
    const QRect box(200 - 30 - s.min_x + 20, 150 - 30 - s.min_y + 20, 60, 60);
    EXPECT_GT(greens(copy, box), 3600 * 9 / 10);
    EXPECT_LT(greens(copy), 3600 * 11 / 10);

    // libwmf draws the picture where the copy has it: its green square's
    // bounds, as fractions of the image, are the box's in the copy.
    ASSERT_EQ(packages_missing({"libwmf-bin"}), "");
    const std::string wmf = testing::TempDir() + "stored_picture.wmf";
    const std::string gd = testing::TempDir() + "stored_picture_wmf.png";
    {
        std::FILE* f = std::fopen(wmf.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    if (const char* keep = std::getenv("KAVREL_SCREENSHOTS"))
        std::filesystem::copy_file(wmf, std::string(keep) + "/stored_picture.wmf",
                                   std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(gd);
    command_output("wmf2gd -t png -o '" + gd + "' '" + wmf + "' 2>&1");
    const QImage read(QString::fromStdString(gd));
    ASSERT_FALSE(read.isNull());
    int l = read.width(), t = read.height(), r = -1, b = -1;
    for (int y = 0; y < read.height(); ++y)
        for (int x = 0; x < read.width(); ++x)
            if (greens(read, QRect(x, y, 1, 1))) {
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
            }
    ASSERT_GE(r, l);
    const double fx = static_cast<double>(read.width()) / w,
                 fy = static_cast<double>(read.height()) / ht;
    EXPECT_NEAR(l / fx, box.left(), 3);
    EXPECT_NEAR(t / fy, box.top(), 3);
    EXPECT_NEAR((r + 1) / fx, box.right() + 1, 3);
    EXPECT_NEAR((b + 1) / fy, box.bottom() + 1, 3);
}

} // namespace
