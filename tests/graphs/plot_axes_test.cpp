// The axes of stacked plots (strip and sensitivity windows): the value
// numbers up the left from the low end, and the axis labels under the last
// plot centred on their divisions.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "foundation/memory.h"
#include "graphs/varlist.h"
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

namespace {

class PlotAxes : public ::testing::Test {
protected:
    void SetUp() override { test_driver::start(); }
    // Runs `draw` on a 400 x 300 picture in a 10-point font, points being
    // pixels; the texts drawn.
    template <class Draw> std::vector<drawn_text> drawn(Draw&& draw) {
        QImage img(400, 300, QImage::Format_RGB32);
        img.fill(Qt::white);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 400, 300)));
        std::string gtx;
        set_gtx_sink(&gtx);
        const int saved_res[2] = {drawing.device_res[0], drawing.device_res[1]};
        // No output record: the title's hot spot is nobody's.
        const handle saved_output = cur_output;
        cur_output = 0;
        {
            draw_pass pass(dc, dc);
            drawing.device_res[0] = drawing.device_res[1] = 72;
            font_spec f{};
            f.size = 10;
            std::strcpy(f.face, "DejaVu Sans");
            select_font(1, &f, nullptr, 0, 0xFFFFFFFFu, 0, false);
            draw();
        }
        drawing.device_res[0] = saved_res[0];
        drawing.device_res[1] = saved_res[1];
        cur_output = saved_output;
        set_gtx_sink(nullptr);
        gdi_delete_image_dc(dc);
        return texts_of(gtx);
    }
};

// Values 0 to 40 in four divisions: 0 at the bottom, 40 at the top, each
// number on its grid line and right of nothing but the margin.
TEST_F(PlotAxes, ValueNumbersClimbFromTheLowEndAtTheBottom) {
    const auto t = drawn([] { draw_plot_axes(60, 20, 380, 260, 4, 5, 0, 40, 0); });
    std::vector<int> ys;
    for (const char* v : {"0", "10", "20", "30", "40"}) {
        const drawn_text* d = nullptr;
        for (const drawn_text& e : t)
            if (e.text == v) d = &e;
        ASSERT_NE(d, nullptr) << v;
        EXPECT_LT(d->x, 60) << v;
        ys.push_back(d->y);
    }
    for (std::size_t i = 1; i < ys.size(); ++i) {
        EXPECT_LT(ys[i], ys[i - 1]) << "each larger number stands higher";
        EXPECT_NEAR(ys[i - 1] - ys[i], 60, 1); // a division of 240 / 4
    }
}

// Each axis label is centred under its division: its left edge lies half
// its width left of the division's x.
TEST_F(PlotAxes, AxisLabelsAreCentredOnTheirDivisions) {
    handle texts = new_hblock(0, 0, 0);
    ASSERT_NE(texts, 0u);
    std::int32_t title_cell = 0;
    int widths[3] = {};
    const auto t = drawn([&] {
        draw_axis_labels({"0", "50", "100"}, 100, 300, 200, "Time", texts, &title_cell);
        widths[0] = text_width("0");
        widths[1] = text_width("50");
        widths[2] = text_width("100");
    });
    free_hblock(texts);
    const int at[3] = {100, 200, 300};
    const char* names[3] = {"0", "50", "100"};
    for (int i = 0; i < 3; ++i) {
        const drawn_text* d = nullptr;
        for (const drawn_text& e : t)
            if (e.text == names[i]) d = &e;
        ASSERT_NE(d, nullptr) << names[i];
        EXPECT_NEAR(d->x, at[i] - widths[i] / 2, 1) << names[i];
        EXPECT_GT(d->y, 200) << names[i];
    }
    EXPECT_NE(title_cell, 0);
}

} // namespace
