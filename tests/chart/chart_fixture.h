// Shared pieces of the chart library's tests: an image device to draw into
// and services with a fixed resolution.
#pragma once

#include "chart/services.h"
#include "chart/values.h"
#include "platform/gdi.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

namespace charttest {

// A white bitmap selected into a memory context, wrapped as a class-library
// context.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    CDC cdc;
    Canvas(int w, int h) {
        test_driver::start();
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, w, h, WHITENESS);
        cdc.Attach(dc);
    }
    ~Canvas() {
        cdc.Detach();
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y) & 0xFFFFFF; }
};

// Screen services at a fixed resolution.
struct FixedServices : chart::Services {
    int res_x = 96, res_y = 96;
    void device_res(int* x, int* y) const override {
        *x = res_x;
        *y = res_y;
    }
};

// Installs `s` for the life of the guard.
struct ServicesGuard {
    explicit ServicesGuard(chart::Services* s) { chart::set_services(s); }
    ~ServicesGuard() { chart::set_services(nullptr); }
};

} // namespace charttest
