// Drives the chart library with random calls: data sets, points and labels
// with any numbers (NaN, infinities, huge counts), legends and annotations,
// user texts used as number formats, tick runs over any range, and elements
// selected and unselected on a device context over a small image. Nothing
// may crash or hang, and the context's stacks must come back empty.
#include "chart/data.h"
#include "chart/element.h"
#include "chart/tick_run.h"
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
    double number() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    std::string text() {
        std::size_t len = byte();
        if (len > n) len = n;
        std::string s(reinterpret_cast<const char*>(p), len);
        p += len, n -= len;
        return s;
    }
};

struct Probe : CChartElement {};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::start_gui("fuzz_chart_calls");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::start_gui("fuzz_chart_calls");
    if (size > 4096) return 0;
    Input in{data, size};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 32, 32);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bm);
    {
        CDC base;
        base.Attach(mem);
        CChartDC dc(&base);
        CChartData d(nullptr, in.byte() % 4);
        CChartStyle shared;
        Probe e;
        int steps = 0;
        while (!in.empty() && ++steps < 200) {
            switch (in.byte() % 14) {
            case 0:
                d.SelectDataSet(in.integer());
                break;
            case 1:
                d.AddPoint(in.number(), in.number());
                break;
            case 2: {
                std::string a = in.text(), b = in.text();
                d.AddPoint(in.number(), in.number(), a.c_str(), b.c_str());
                break;
            }
            case 3:
                d.AddLegend(in.text().c_str(), in.number(), in.number(), in.number());
                break;
            case 4:
                d.GetLegend(in.integer());
                break;
            case 5:
                d.GetAnnotation(in.integer())->SetName(in.text().c_str());
                break;
            case 6:
                d.SetAxisTitle(in.text().c_str(), in.integer(), 0, 115, -115);
                break;
            case 7: {
                CChartString s;
                std::string f = in.text();
                s.SetNumber(in.number(), f.c_str(), 14);
                break;
            }
            case 8: {
                chart::TickRunSettings t;
                t.step = in.number();
                t.major_every = in.byte() % 4;
                t.grid_every = in.byte() % 4;
                t.label_every = in.byte() % 4;
                t.x_mode = in.byte() % 4;
                chart::plan_range_ticks(t, in.number(), in.number());
                break;
            }
            case 9:
                d.Clear();
                break;
            case 10: {
                d.SetFixedXMax(in.number());
                d.SetFixedYMin(in.number());
                d.SetZeroFactor(in.number());
                (void)(d.GetXMin() + d.GetXMax() + d.GetXStep() + d.GetYMin() + d.GetYMax() +
                       d.GetStackMax() + d.GetStackMin() + d.GetZMin() + d.GetZMax());
                break;
            }
            case 11:
                e.SelectBrush(&dc);
                e.SelectPen(&dc);
                e.SetHidden(in.byte() & 1);
                e.SetNoOutline(in.byte() & 1);
                e.UnselectPen(&dc);
                e.UnselectBrush(&dc);
                break;
            case 12: {
                CChartTextStyle* t = d.GetTitle(in.integer())->GetTextStyle();
                t->SetPointSize(in.number());
                t->SetAngle(in.integer());
                t->Realize(&dc);
                break;
            }
            case 13: {
                // A shared style must outlive the element: the harness's does.
                shared.SetPenWidth(in.byte() % 8);
                shared.SetPenStyle(in.byte() % 6);
                shared.SetFillColor(d.PaletteColour(in.integer()));
                if (in.byte() & 1)
                    e.SetStyle(&shared);
                else
                    e.MakeStyle();
                break;
            }
            }
        }
        if (dc.BrushDepth() || dc.PenDepth() || dc.FontDepth()) std::abort();
        e.SetStyle(nullptr);
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
