// Shared pieces of the chart library's tests: an image device to draw into
// and services with a fixed resolution.
#pragma once

#include "chart/services.h"
#include "chart/values.h"
#include "chart/vertex.h"
#include "chart/view3d.h"
#include "platform/gdi.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

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

// Angles 0 and no margins: projected x, y = box x, y and z = box z; on a
// 200 x 200 device box unit u lands at pixel 100 + 2u (y upward).
inline CChartView3D flat_view() {
    CChartView3D v;
    v.SetAngles(0, 0);
    v.SetTopMargin(0);
    v.SetBottomMargin(0);
    v.SetLeftMargin(0);
    v.SetRightMargin(0);
    v.SetScaleMode(1);
    v.FitToRect(CChartRect(0, 0, 200, 200));
    return v;
}

// Vertices added to a face, polyline or vertex set, as copies.
template <class Set> void add(Set& s, std::initializer_list<std::array<double, 3>> pts) {
    for (const auto& p : pts) s.AddVertexCopy(CChartVertex(p[0], p[1], p[2]));
}

} // namespace charttest
