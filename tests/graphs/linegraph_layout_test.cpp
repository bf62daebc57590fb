// What a line graph shows of its texts and lines: the title's smallest font
// before it is cut, the legend's columns read down then across, numbers of
// the x axis to the step's decimals, the other scales' values at a label
// list's places, names cut with "...", line widths by series and the x range
// of a variable of one value.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "platform/gdi_internal.h"
#include "shell/controlpanel.h"
#include "shell/settings_rows.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/graphs/drawn_texts.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace td = test_driver;

namespace {

class LineGraphLayout : public ::testing::Test {
protected:
    void SetUp() override {
        td::start();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        h_ = new_line_graph_record();
        ASSERT_NE(h_, 0u);
        g_ = graph_of(h_);
        ASSERT_NE(g_, nullptr);
        saved_modes_ = opts.colour_modes[0];
    }
    void TearDown() override {
        opts.colour_modes[0] = saved_modes_;
        auto* o = static_cast<output_record*>(lock_handle(h_));
        void (*release)(handle) = o->release;
        unlock_handle(h_);
        release(h_);
        free_output_record(h_);
        set_message_hook(nullptr);
    }
    void add(const std::string& label, std::vector<float> t, std::vector<float> v) {
        graph_series s;
        s.label = label;
        s.times = std::move(t);
        s.values = std::move(v);
        g_->series.push_back(std::move(s));
    }
    // The graph drawn at w x h: its picture, and its texts into `texts`
    // (at points the image's pixels unless `points` is false).
    QImage draw(int w, int h, std::vector<drawn_text>* texts = nullptr, bool points = true) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::white);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, w, h)));
        std::string gtx;
        set_gtx_sink(&gtx);
        cur_output = h_;
        out_size = SIZE{w, h};
        // Points are pixels while it draws: the transfer text's positions are
        // the image's (the screen's resolution is put back after).
        const int saved_res[2] = {drawing.device_res[0], drawing.device_res[1]};
        {
            draw_pass pass(dc, dc);
            if (points) drawing.device_res[0] = drawing.device_res[1] = 72;
            draw_line_graph(*g_, 1);
        }
        drawing.device_res[0] = saved_res[0];
        drawing.device_res[1] = saved_res[1];
        out_size = SIZE{0, 0};
        set_gtx_sink(nullptr);
        gdi_delete_image_dc(dc);
        reset_hot_spots(h_);
        cur_output = 0;
        if (texts) *texts = texts_of(gtx);
        return img;
    }
    // The width of a text in the title's face at `size` points on the screen.
    int width_at(const char* text, int size) {
        QImage img(10, 10, QImage::Format_RGB32);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 10, 10)));
        int w = 0;
        {
            draw_pass pass(dc, dc);
            font_spec f = g_->fonts[3];
            f.size = static_cast<std::uint8_t>(size);
            select_font(1, &f, nullptr, 0, 0xFFFFFFFFu, 0, false);
            w = text_width(text);
        }
        gdi_delete_image_dc(dc);
        return w;
    }
    static std::string all_texts(const std::vector<drawn_text>& t) {
        std::string out;
        for (const drawn_text& d : t)
            out += std::to_string(d.x) + "," + std::to_string(d.y) + " " + d.text + "\n";
        return out;
    }
    // The width of a text and the character width in the graph's font i.
    std::pair<int, int> measure_in(int i, const char* text) {
        QImage img(10, 10, QImage::Format_RGB32);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 10, 10)));
        std::pair<int, int> out;
        const int saved_res[2] = {drawing.device_res[0], drawing.device_res[1]};
        {
            draw_pass pass(dc, dc);
            drawing.device_res[0] = drawing.device_res[1] = 72; // as draw() has it
            select_font(1, &g_->fonts[i], nullptr, 0, 0xFFFFFFFFu, 0, false);
            out = {text_width(text), drawing.char_width};
        }
        drawing.device_res[0] = saved_res[0];
        drawing.device_res[1] = saved_res[1];
        gdi_delete_image_dc(dc);
        return out;
    }
    const drawn_text* find(const std::vector<drawn_text>& t, const std::string& what) {
        for (const drawn_text& d : t)
            if (d.text == what) return &d;
        return nullptr;
    }
    handle h_ = 0;
    line_graph* g_ = nullptr;
    std::uint8_t saved_modes_ = 0;
};

// A title too long for the graph shrinks down to 7 points before it is cut:
// more of it shows than an 8-point title could hold, and what shows ends in
// "..." within the window.
TEST_F(LineGraphLayout, ALongTitleShrinksToSevenPointsBeforeItIsCut) {
    add("a", {0, 1, 2}, {1, 2, 3});
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    std::string caption;
    while (caption.size() < 400) caption += "Population growth of the region ";
    g_->caption = caption;
    std::vector<drawn_text> t;
    draw(500, 360, &t, false); // at the screen's resolution, where 7 and 8 points differ
    ASSERT_FALSE(t.empty());
    const std::string shown = t.front().text; // the title comes first
    ASSERT_GT(shown.size(), 3u);
    EXPECT_EQ(shown.substr(shown.size() - 3), "...");
    const std::size_t kept = shown.size() - 3;
    EXPECT_EQ(shown.substr(0, kept), caption.substr(0, kept));
    EXPECT_LE(width_at(shown.c_str(), 7), 500);
    // At 8 points this many would not fit the window.
    EXPECT_GT(width_at(shown.c_str(), 8), 500);
}

// A legend of many series goes into columns read down each column, then
// across; every column's names start at the top row and every name lies in
// the window.
TEST_F(LineGraphLayout, ALongLegendFillsItsColumnsDownThenAcross) {
    const int n = 19; // an odd count: the last column is one short
    for (int i = 0; i < n; ++i) add("v" + std::to_string(i), {0, 1, 2}, {1.0f * i, 2, 3});
    ASSERT_EQ(gather_graph_series(*g_, false), n);
    const int W = 640, H = 300;
    std::vector<drawn_text> t;
    draw(W, H, &t);
    std::vector<const drawn_text*> entry;
    for (int i = 0; i < n; ++i) {
        entry.push_back(find(t, "v" + std::to_string(i)));
        ASSERT_NE(entry.back(), nullptr) << i;
        EXPECT_GE(entry.back()->x, 0) << i;
        EXPECT_LT(entry.back()->x, W) << i;
        EXPECT_LT(entry.back()->y, H) << i;
    }
    std::vector<int> columns;
    for (const drawn_text* e : entry)
        if (std::find(columns.begin(), columns.end(), e->x) == columns.end())
            columns.push_back(e->x);
    const int c = static_cast<int>(columns.size());
    ASSERT_GE(c, 2);
    const int rows = (n + c - 1) / c;
    for (int i = 0; i < n; ++i) {
        // Entry i stands in column i / rows, row i % rows.
        EXPECT_EQ(entry[static_cast<std::size_t>(i)]->x,
                  entry[static_cast<std::size_t>(i / rows * rows)]->x)
            << i;
        EXPECT_EQ(entry[static_cast<std::size_t>(i)]->y,
                  entry[static_cast<std::size_t>(i % rows)]->y)
            << i;
        if (i % rows) {
            EXPECT_GT(entry[static_cast<std::size_t>(i)]->y,
                      entry[static_cast<std::size_t>(i - 1)]->y)
                << i;
        }
    }
    EXPECT_LT(entry[0]->x, entry[static_cast<std::size_t>(rows)]->x);
}

// The x numbers show as many decimals as the step needs: 0 to 1 in fifths.
TEST_F(LineGraphLayout, XNumbersShowTheDecimalsOfTheirStep) {
    // Values below zero: no y number reads "0" under the plot.
    add("a", {0, 0.5f, 1}, {-300, -200, -100});
    g_->x_min = 0;
    g_->x_max = 1;
    g_->x_divisions = 5;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    ASSERT_EQ(g_->x_divisions, 5);
    std::vector<drawn_text> t;
    draw(600, 400, &t);
    std::vector<int> xs;
    for (const char* label : {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}) {
        const drawn_text* d = nullptr;
        for (const drawn_text& e : t)
            if (e.text == label && e.y > 300) d = &e; // under the plot
        ASSERT_NE(d, nullptr) << label << " in\n" << all_texts(t);
        xs.push_back(d->x);
    }
    EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end()));
}

// With a label list on the first scale the other scales show their values
// at the labels' places: the top label's place is the top of each range.
TEST_F(LineGraphLayout, OtherScalesShowTheirValuesAtALabelListsPlaces) {
    add("a", {0, 1, 2}, {1, 2, 3});
    add("b", {0, 1, 2}, {10, 20, 30});
    g_->series[1].group = 1;
    y_group second;
    second.units = "kg";
    second.y_min = 0;
    second.y_max = 400;
    g_->more_groups.push_back(second);
    g_->y_min = 0;
    g_->y_max = 4;
    ASSERT_TRUE(set_axis_labels(*g_, "0=none?4=four", false));
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    ASSERT_DOUBLE_EQ(group_max(*g_, 1), 400);
    std::vector<drawn_text> t;
    draw(600, 400, &t);
    const drawn_text* four = find(t, "four");
    const drawn_text* none = find(t, "none");
    ASSERT_NE(four, nullptr);
    ASSERT_NE(none, nullptr);
    const drawn_text* top = find(t, "400");
    const drawn_text* bottom = find(t, "0");
    ASSERT_NE(top, nullptr);
    ASSERT_NE(bottom, nullptr);
    EXPECT_NEAR(top->y, four->y, 40);
    EXPECT_NEAR(bottom->y, none->y, 40);
    EXPECT_LT(top->y, bottom->y);
}

// A name too long for its legend entry is cut and ends in "...".
TEST_F(LineGraphLayout, ALegendNameTooLongForItsEntryEndsInThreeDots) {
    add(std::string(200, 'm'), {0, 1, 2}, {1, 2, 3});
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    std::vector<drawn_text> t;
    draw(400, 300, &t);
    const drawn_text* cut = nullptr;
    for (const drawn_text& d : t)
        if (d.text.size() > 3 && d.text[0] == 'm') cut = &d;
    ASSERT_NE(cut, nullptr);
    ASSERT_LT(cut->text.size(), 200u);
    EXPECT_EQ(cut->text.substr(cut->text.size() - 3), "...");
    EXPECT_EQ(cut->text.find_first_not_of('m'), cut->text.size() - 3);
}

// On a device set to widen lines by series, series i draws i + 1 pixels
// wide up to 4: the fifth and sixth as wide as the fourth.
TEST_F(LineGraphLayout, LinesWidenBySeriesUpToFourPixels) {
    const int n = 6;
    for (int i = 0; i < n; ++i) {
        const float v = 10.0f + 15.0f * static_cast<float>(i);
        add("w" + std::to_string(i), {0, 10}, {v, v});
    }
    g_->x_min = 0;
    g_->x_max = 10;
    g_->y_min = 0;
    g_->y_max = 100;
    g_->hide_flags = 1; // no legend: its samples are as wide as the lines
    ASSERT_EQ(gather_graph_series(*g_, true), n);
    opts.colour_modes[0] = static_cast<std::uint8_t>((opts.colour_modes[0] & ~3) | 1 | 0x20);
    const QImage img = draw(600, 500);
    const int mid = 300;
    for (int i = 0; i < n; ++i) {
        const QRgb want = qRgb(GetRValue(colour_table[i]), GetGValue(colour_table[i]),
                               GetBValue(colour_table[i])) &
                          0xFFFFFF;
        // The longest run of the colour down the column (the fifth series
        // is black, as the frame and texts are).
        int thick = 0, run = 0;
        for (int y = 0; y < img.height(); ++y) {
            run = (img.pixel(mid, y) & 0xFFFFFF) == want ? run + 1 : 0;
            thick = std::max(thick, run);
        }
        EXPECT_EQ(thick, std::min(i + 1, 4)) << "series " << i;
    }
}

// An x axis of a variable that holds one value spans from it to one more.
TEST_F(LineGraphLayout, AnXVariableOfOneValueSpansOneUnitFromIt) {
    add("a", {5, 5, 5}, {1, 2, 3});
    g_->xy_mode = true;
    g_->x_is_time = false;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_DOUBLE_EQ(g_->x_min, 5);
    EXPECT_DOUBLE_EQ(g_->x_max, 6);
}

// A label list on the x axis sets its range from the first to the last
// label and a division between each two: three labels, two divisions.
TEST_F(LineGraphLayout, AnXLabelListSetsTheRangeAndADivisionBetweenLabels) {
    ASSERT_TRUE(set_axis_labels(*g_, "0=start?5=middle?10=end", true));
    EXPECT_DOUBLE_EQ(g_->x_min, 0);
    EXPECT_DOUBLE_EQ(g_->x_max, 10);
    EXPECT_EQ(g_->x_divisions, 2);
    ASSERT_EQ(g_->x_custom.size(), 3u);
    EXPECT_EQ(g_->x_custom[1].text, "middle");
    EXPECT_EQ(g_->x_custom[1].pos, 5000);
    EXPECT_FALSE(set_axis_labels(*g_, "0=a?inf=b", true));
}

// A running graph's newest point: inside the ranges up to and including
// their ends; placed once however often it is asked for.
TEST_F(LineGraphLayout, TheNewestPointIsPlacedOnceAndTheRangesIncludeTheirEnds) {
    add("a", {0, 5}, {0, 50});
    g_->x_min = 0;
    g_->x_max = 10;
    g_->y_min = 0;
    g_->y_max = 100;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_TRUE(point_in_ranges(*g_, 0, 10, 100));
    EXPECT_TRUE(point_in_ranges(*g_, 0, 0, 0));
    EXPECT_FALSE(point_in_ranges(*g_, 0, 10.5, 50));
    EXPECT_FALSE(point_in_ranges(*g_, 0, 5, 100.5));
    EXPECT_FALSE(point_in_ranges(*g_, 1, 5, 50)); // no such series
    graph_series& s = g_->series[0];
    const std::size_t before = s.xs.size();
    s.times.push_back(10);
    s.values.push_back(100);
    map_newest_points(*g_, {0});
    ASSERT_EQ(s.xs.size(), before + 1);
    EXPECT_EQ(s.xs.back(), 10000);
    EXPECT_EQ(s.ys.back(), 0);
    map_newest_points(*g_, {0});
    map_newest_points(*g_, {0, 7});
    EXPECT_EQ(s.xs.size(), before + 1);
}

// A legend entry's units stand right-aligned two characters from the
// column's right edge.
TEST_F(LineGraphLayout, TheLegendsUnitsEndTwoCharactersFromTheRight) {
    add("stock", {0, 1, 2}, {1, 2, 3});
    g_->units = "people";
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    const int W = 500;
    std::vector<drawn_text> t;
    draw(W, 360, &t);
    const drawn_text* units = find(t, "people");
    ASSERT_NE(units, nullptr);
    const auto [width, cw] = measure_in(0, "people"); // one entry: the larger legend font
    ASSERT_GT(width, 0);
    EXPECT_NEAR(units->x + width, W - 2 * std::max(cw, 1), 1);
}

// Labels between the divisions need no half label past the last one: the
// plot reaches further right than with labels on the divisions.
TEST_F(LineGraphLayout, LabelsBetweenDivisionsLetThePlotReachFurtherRight) {
    add("a", {0, 50, 100}, {1, 2, 3});
    g_->x_min = 0;
    g_->x_max = 100;
    g_->x_divisions = 4;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    draw(600, 400);
    const int on_divisions = g_->plot_right;
    g_->labels_between = 1;
    draw(600, 400);
    const int between = g_->plot_right;
    EXPECT_GT(between, on_divisions);
    const auto [width, cw] = measure_in(4, "100");
    EXPECT_EQ(between, 600 - std::max(cw, 1));
    EXPECT_LE(on_divisions, 600 - std::max(cw, 1) - width / 2 + 1);
}

// A series shown as its simulations' lines has a legend sample in their
// colour, and no mean line anywhere when none was asked for.
TEST_F(LineGraphLayout, SimulationLinesSampleInTheirOwnColour) {
    add("runs", {0, 5, 10}, {1, 2, 3});
    graph_series& s = g_->series[0];
    s.sims = {{1, 2, 3}, {2, 3, 4}, {0, 1, 2}};
    s.sims_colour = RGB(0, 160, 0);
    s.mean_colour = RGB(160, 0, 160);
    s.band_mean = false;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    ASSERT_FALSE(g_->series[0].band_xs.empty());
    std::vector<drawn_text> t;
    const QImage img = draw(500, 360, &t);
    const drawn_text* label = find(t, "runs");
    ASSERT_NE(label, nullptr);
    int sims = 0, mean = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y) & 0xFFFFFF;
            if (p == (qRgb(0, 160, 0) & 0xFFFFFF) && y > label->y - 20) ++sims;
            if (p == (qRgb(160, 0, 160) & 0xFFFFFF)) ++mean;
        }
    EXPECT_GT(sims, 20); // the sample's two lines
    EXPECT_EQ(mean, 0);
}

} // namespace
