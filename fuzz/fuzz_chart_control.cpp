// Drives the chart control as graph code would, with random calls: any chart
// type and dimension, points with any numbers (NaN, infinities, huge data-set
// numbers), legends and titles, user texts as the axes' number formats, tick
// counts and lengths of any size, ranges, margins and view factors, then
// draws it into a small image. Nothing may crash or hang, and the context's
// stacks must come back empty.
#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/data.h"
#include "chart/plot.h"
#include "platform/gdi.h"
#include "tests/driver/headless.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Input {
    const std::uint8_t* p;
    std::size_t n;
    bool empty() const { return n == 0; }
    std::uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    int integer() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return static_cast<int>(v);
    }
    // Mostly small numbers, sometimes any 64 bits.
    double number() {
        if (byte() & 1) return static_cast<int>(byte()) - 100;
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    std::string text() {
        std::size_t len = byte() % 64;
        if (len > n) len = n;
        std::string s(reinterpret_cast<const char*>(p), len);
        p += len, n -= len;
        return s;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::start_gui("fuzz_chart_control");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::start_gui("fuzz_chart_control");
    if (size > 2048) return 0;
    Input in{data, size};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 64, 48);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bm);
    {
        CDC base;
        base.Attach(mem);
        CChartCtrl ctrl;
        int steps = 0;
        while (!in.empty() && ++steps < 300) {
            switch (in.byte() % 16) {
            case 0:
                ctrl.CreateChart(in.byte() % 12, in.byte() % 4, in.byte() % 5);
                break;
            case 1:
            case 2:
            case 3:
                ctrl.AddPoint(in.byte() % 8 ? in.byte() % 6 : in.integer(), in.number(),
                              in.number());
                break;
            case 4: {
                const std::string t = in.text();
                ctrl.AddLegend(t.c_str(), in.number(), in.number(), in.number());
                break;
            }
            case 5: {
                const std::string t = in.text();
                ctrl.SetAxisTitle(t.c_str(), in.byte() % 4);
                break;
            }
            case 6: {
                CChartAxis* a = ctrl.SetAxis(in.byte() % 9, in.integer() % 5000, in.integer() % 20,
                                             in.number(), in.byte());
                if (a && (in.byte() & 1)) {
                    const std::string f = in.text();
                    a->GetTextStyle()->SetText(f.c_str());
                }
                break;
            }
            case 7:
                ctrl.SetXRange(in.number(), in.number());
                break;
            case 8:
                ctrl.SetYRange(in.number(), in.number());
                break;
            case 9:
                ctrl.SetViewRect(in.number(), in.number(), in.number(), in.number());
                break;
            case 10:
                ctrl.SetViewOption(in.byte() % 3);
                break;
            case 11:
                ctrl.ClearData(in.byte() & 1);
                break;
            case 12:
                if (CChart* c = ctrl.GetChart()) {
                    c->GetPlot()->SetRotation(in.number(), in.number());
                    c->GetPlot()->SetPerspective(in.number());
                }
                break;
            case 13:
                if (CChart* c = ctrl.GetChart())
                    c->GetPlot()->SetViewFactors(in.number(), in.number());
                break;
            case 14:
                if (CChartTextStyle* t = ctrl.GetTitleTextStyle(in.byte() % 9)) {
                    const std::string f = in.text();
                    t->SetText(f.c_str());
                    t->SetAngle(in.integer());
                }
                break;
            case 15:
                if (CChart* c = ctrl.GetChart()) c->GetPlot()->SetBarWidth(in.number());
                break;
            }
        }
        ctrl.OnDraw(&base);
        ctrl.OnDraw(&base);
        base.Detach();
    }
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    return 0;
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
