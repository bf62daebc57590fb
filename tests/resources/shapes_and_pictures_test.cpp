// The input options name each shape button by the shape its code stands
// for, and a picture symmetric on its grid is drawn as wide as it is tall in
// a square box.
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "resources/sketchdlg.h"
#include "resources/sketchpics.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace {

// The shape codes of the input overrides, by the name the dialog shows.
TEST(InputOptions, EachShapeButtonCarriesItsShapesCode) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_input_options);
    ASSERT_NE(t, nullptr);
    const std::map<int, std::string> shapes = {{632, "Exponential Decay"},
                                               {637, "Exponential Growth"},
                                               {644, "Pulse"},
                                               {645, "Pulse Train"},
                                               {646, "Ramp"},
                                               {647, "Sin Wave"},
                                               {648, "Constant (with slider)"},
                                               {649, "Square Wave"},
                                               {650, "Step Change"}};
    for (const auto& [code, name] : shapes) {
        const DialogItem* b = template_item(*t, code);
        ASSERT_NE(b, nullptr) << code;
        ASSERT_NE(b->text, nullptr) << code;
        EXPECT_EQ(std::string(b->text), name) << code;
    }
}

// Picture 25 is a diamond through the middles of the grid's sides: in a
// square box its ink is exactly as wide as it is tall, and centred.
TEST(SketchPictureShapes, ADiamondInASquareBoxIsAsTallAsItIsWide) {
    test_driver::start();
    for (int side : {24, 48, 61}) {
        SCOPED_TRACE(side);
        const int size = side + 20;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bm = CreateCompatibleBitmap(screen, size, size);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bm);
        const RECT all{0, 0, size, size};
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(dc, &all, white);
        DeleteObject(white);
        ASSERT_TRUE(draw_sketch_picture(dc, 25, RECT{10, 10, 10 + side, 10 + side}, RGB(0, 0, 0),
                                        RGB(255, 255, 255)));
        int left = size, right = -1, top = size, bottom = -1;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if ((GetPixel(dc, x, y) & 0xFFFFFF) != RGB(255, 255, 255)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        SelectObject(dc, old);
        DeleteObject(bm);
        DeleteDC(dc);
        ASSERT_LE(left, right);
        EXPECT_EQ(right - left, bottom - top);
        EXPECT_EQ(left - 10, top - 10);
    }
}

} // namespace
