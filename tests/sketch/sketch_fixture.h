// Shared helpers of the sketch tests: a message hook that keeps what it was
// shown, working views built element by element, and a memory bitmap to
// paint them into.
#pragma once

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "sketch/drawsketch.h"
#include "sketch/geometry.h"
#include "sketch/sketch.h"
#include "tests/common/message_log.h"

class SketchTest : public ::testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        workbench_metrics() = sketch_metrics{};
    }
    void TearDown() override {
        set_message_hook(nullptr);
        workbench_metrics() = sketch_metrics{};
    }
    // An element of the working view with a size.
    int box(int x, int y, int w, int h, int shape = 3, int kind = ek_variable) {
        int n = add_sketch_element(s.view, kind, x, y, 0, shape, ef_primary, 0);
        s.view.elems[static_cast<std::size_t>(n)].w = static_cast<std::int16_t>(w);
        s.view.elems[static_cast<std::size_t>(n)].h = static_cast<std::int16_t>(h);
        return n;
    }
    sketch_elem& el(int n) { return s.view.elems[static_cast<std::size_t>(n)]; }
    // A connector of a path type through the given points.
    int link(int a, int b, int path, std::vector<sketch_point> points = {{0, 0}}, int width = 0) {
        sketch_elem t;
        t.path = static_cast<std::uint8_t>(path);
        t.points = std::move(points);
        t.width_code = static_cast<std::int8_t>(width);
        int n = add_link_element(s, a, b, &t, 0, false);
        connector_geometry(s, n);
        return n;
    }
    sketch_state s;
};

// A working view with the view's default look, painted into a memory bitmap
// of size x size pixels (dc_).
class SketchPaintTest : public SketchTest {
protected:
    explicit SketchPaintTest(int size) : size_(size) {}
    void SetUp() override {
        SketchTest::SetUp();
        set_view_defaults(s.view.rec);
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, size_, size_);
        old_ = SelectObject(dc_, bitmap_);
    }
    void TearDown() override {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        SketchTest::TearDown();
    }
    const int size_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};
