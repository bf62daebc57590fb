// What a bar graph draws, read off its picture and its texts: the value
// axis numbered from its low end, a two-sided graph's second axis growing
// to the left, group labels under the middle of their bars, and bars below
// zero hanging from the zero line.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "graphs/bargraph.h"
#include "graphs/graphwin.h"
#include "platform/gdi_internal.h"
#include "tests/driver/driver.h"
#include "tests/graphs/drawn_texts.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

std::vector<drawn_text> all_named(const std::vector<drawn_text>& t, const std::string& what) {
    std::vector<drawn_text> out;
    for (const drawn_text& d : t)
        if (d.text == what) out.push_back(d);
    return out;
}

bar_graph bars(std::vector<std::vector<float>> values, double low, double high) {
    bar_graph g;
    g.title = "Bars";
    g.run_count = static_cast<int>(values.empty() ? 1 : values[0].size());
    for (int r = 0; r < g.run_count; ++r) g.run_labels.push_back("run" + std::to_string(r));
    for (std::size_t i = 0; i < values.size(); ++i) g.labels.push_back("g" + std::to_string(i));
    g.low = low;
    g.high = high;
    g.divisions = 4;
    g.divisions_given = true;
    g.force_bars = 1;
    for (font_spec* f : {&g.font, &g.small_font}) {
        f->size = 10;
        std::strcpy(f->face, "DejaVu Sans");
    }
    build_bar_heights(g, values);
    return g;
}

class BarDrawing : public ::testing::Test {
protected:
    void SetUp() override { td::start(); }
    void TearDown() override {
        for (handle h : made_) {
            auto* o = static_cast<output_record*>(lock_handle(h));
            void (*release)(handle) = o ? o->release : nullptr;
            if (o) unlock_handle(h);
            if (release) release(h);
            free_output_record(h);
        }
    }
    // The graph drawn at w x h: its picture, and its texts into `texts`.
    QImage draw(const bar_graph& g, int w, int h, std::vector<drawn_text>* texts) {
        handle rec = new_bar_record(g);
        EXPECT_NE(rec, 0u);
        made_.push_back(rec);
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::white);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, w, h)));
        std::string gtx;
        set_gtx_sink(&gtx);
        cur_output = rec;
        out_size = SIZE{w, h};
        // Points are pixels while it draws: the transfer text's positions are
        // the image's (the screen's resolution is put back after).
        const int saved_res[2] = {drawing.device_res[0], drawing.device_res[1]};
        {
            draw_pass pass(dc, dc);
            drawing.device_res[0] = drawing.device_res[1] = 72;
            auto* o = static_cast<output_record*>(lock_handle(rec));
            bar_draw(o);
            unlock_handle(rec);
        }
        drawing.device_res[0] = saved_res[0];
        drawing.device_res[1] = saved_res[1];
        out_size = SIZE{0, 0};
        set_gtx_sink(nullptr);
        gdi_delete_image_dc(dc);
        cur_output = 0;
        *texts = texts_of(gtx);
        return img;
    }
    std::vector<handle> made_;
};

// Upright bars: the value axis reads 0 at the bottom up to 100 at the top,
// a number per division.
TEST_F(BarDrawing, TheValueAxisIsNumberedUpFromItsLowEnd) {
    std::vector<drawn_text> t;
    draw(bars({{30}, {70}}, 0, 100), 500, 400, &t);
    int last_y = 1 << 30;
    for (const char* v : {"0", "25", "50", "75", "100"}) {
        const auto found = all_named(t, v);
        ASSERT_EQ(found.size(), 1u) << v;
        EXPECT_LT(found[0].y, last_y) << v << " stands above the smaller number";
        last_y = found[0].y;
    }
}

// A two-sided graph: the second set's axis grows to the left from its
// right edge, so its 100 stands leftmost and its 0 next to the first set's
// plot; the first set's axis grows to the right.
TEST_F(BarDrawing, TheSecondSetsAxisGrowsToTheLeft) {
    bar_graph g;
    g.title = "Two sides";
    g.run_count = 1;
    g.run_labels = {"run"};
    g.labels = {"a", "b"};
    g.low = 0;
    g.high = 100;
    g.divisions = 4;
    g.divisions_given = true;
    g.force_bars = 1;
    for (font_spec* f : {&g.font, &g.small_font}) {
        f->size = 10;
        std::strcpy(f->face, "DejaVu Sans");
    }
    build_bar_heights(g, {{40}, {60}}, {{20}, {80}});
    ASSERT_EQ(g.horizontal, 1);
    std::vector<drawn_text> t;
    draw(g, 600, 400, &t);
    const auto zeros = all_named(t, "0"), hundreds = all_named(t, "100");
    ASSERT_EQ(zeros.size(), 2u);
    ASSERT_EQ(hundreds.size(), 2u);
    // Left to right: the side's 100, its 0, the first set's 0, its 100.
    const int side_100 = std::min(hundreds[0].x, hundreds[1].x);
    const int main_100 = std::max(hundreds[0].x, hundreds[1].x);
    const int side_0 = std::min(zeros[0].x, zeros[1].x);
    const int main_0 = std::max(zeros[0].x, zeros[1].x);
    EXPECT_LT(side_100, side_0);
    EXPECT_LT(side_0, main_0);
    EXPECT_LT(main_0, main_100);
}

// Each group's label stands centred under its group's bars.
TEST_F(BarDrawing, GroupLabelsStandUnderTheMiddleOfTheirBars) {
    std::vector<drawn_text> t;
    const QImage img = draw(bars({{50}, {80}, {20}}, 0, 100), 600, 400, &t);
    const QRgb red =
        qRgb(GetRValue(colour_table[0]), GetGValue(colour_table[0]), GetBValue(colour_table[0])) &
        0xFFFFFF;
    // The columns of each bar, on a row a little above the plot's bottom
    // where all three have height.
    int row = -1;
    for (int y = img.height() - 1; y > 0 && row < 0; --y) {
        int runs = 0;
        bool in = false;
        for (int x = 0; x < img.width(); ++x) {
            const bool c = (img.pixel(x, y) & 0xFFFFFF) == red;
            runs += c && !in;
            in = c;
        }
        if (runs == 3) row = y - 2;
    }
    ASSERT_GT(row, 0);
    std::vector<std::pair<int, int>> spans;
    bool in = false;
    for (int x = 0; x < img.width(); ++x) {
        const bool c = (img.pixel(x, row) & 0xFFFFFF) == red;
        if (c && !in) spans.push_back({x, x});
        if (c) spans.back().second = x;
        in = c;
    }
    ASSERT_EQ(spans.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const auto found = all_named(t, "g" + std::to_string(i));
        ASSERT_EQ(found.size(), 1u) << i;
        const int mid =
            (spans[static_cast<std::size_t>(i)].first + spans[static_cast<std::size_t>(i)].second) /
            2;
        // The label's left edge is half its width left of the bars' middle.
        EXPECT_LT(found[0].x, mid) << i;
        EXPECT_GT(found[0].x + 30, mid) << i;
        EXPECT_GT(found[0].x, spans[static_cast<std::size_t>(i)].first - 30) << i;
    }
}

// A bar below zero hangs from the zero line: -5 on -10 to 10 fills from the
// middle of the plot a quarter of its height down, not to its bottom.
TEST_F(BarDrawing, ABarBelowZeroHangsFromTheZeroLine) {
    std::vector<drawn_text> t;
    const QImage img = draw(bars({{-5}, {5}}, -10, 10), 500, 400, &t);
    const QRgb red =
        qRgb(GetRValue(colour_table[0]), GetGValue(colour_table[0]), GetBValue(colour_table[0])) &
        0xFFFFFF;
    // The first group's bar: its rows, in its middle column.
    int first_x = -1;
    for (int x = 0; x < img.width() && first_x < 0; ++x)
        for (int y = 0; y < img.height(); ++y)
            if ((img.pixel(x, y) & 0xFFFFFF) == red && y > img.height() / 3) {
                first_x = x + 3;
                break;
            }
    ASSERT_GE(first_x, 0);
    int top = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y)
        if ((img.pixel(first_x, y) & 0xFFFFFF) == red) {
            if (top < 0) top = y;
            bottom = y;
        }
    // The plot's top and bottom from the axis numbers 10 and -10.
    const auto ten = all_named(t, "10"), minus_ten = all_named(t, "-10");
    ASSERT_EQ(ten.size(), 1u);
    ASSERT_EQ(minus_ten.size(), 1u);
    const int plot_h = minus_ten[0].y - ten[0].y; // number baselines, a division apart x 4
    ASSERT_GT(plot_h, 40);
    const int height = bottom - top + 1;
    EXPECT_NEAR(height, plot_h / 4, 3);
    EXPECT_LT(bottom, minus_ten[0].y - plot_h / 8);
}

} // namespace
