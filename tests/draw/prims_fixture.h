// The fixture of the drawing primitives' tests: a 64 x 32 memory bitmap to
// draw into (dc_), the drawing state fresh; after each test the active
// contexts are popped and the screen's colour mode put back.
#pragma once

#include "draw/drawing.h"
#include "draw/prims.h"
#include "platform/gdi_internal.h"
#include "shell/settings_rows.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <cstdint>

class PrimsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        drawing = draw_state{};
        saved_ = opts.colour_modes[0];
        dc_ = CreateCompatibleDC(nullptr);
        bm_ = CreateCompatibleBitmap(dc_, 64, 32);
        old_ = SelectObject(dc_, bm_);
    }
    void TearDown() override {
        while (drawing.depth > 0) active_dc_pop(nullptr);
        SelectObject(dc_, old_);
        DeleteObject(bm_);
        DeleteDC(dc_);
        opts.colour_modes[0] = saved_;
    }
    HDC dc_ = nullptr;
    HBITMAP bm_ = nullptr;
    HGDIOBJ old_ = nullptr;
    std::uint8_t saved_ = 0;
};
