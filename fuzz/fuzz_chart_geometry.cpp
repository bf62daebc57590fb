// Drives the chart's 3D geometry with random views (angles, perspective,
// margins, box sizes from 0 to huge) and random ribbons, vertex sets,
// polylines, polygons and frames at any coordinates (NaN and infinities
// included): projected, mapped and drawn into a small image. Nothing may
// crash or hang, and the context's stacks must come back empty.
#include "chart/frame.h"
#include "chart/ribbon.h"
#include "chart/view3d.h"
#include "platform/gdi.h"
#include "tests/driver/headless.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

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
    // Mostly small numbers in the box's range, sometimes any double.
    double number() {
        std::uint8_t kind = byte();
        if (kind < 200) return static_cast<double>(static_cast<std::int8_t>(byte()));
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::start_gui("fuzz_chart_geometry");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::start_gui("fuzz_chart_geometry");
    if (size > 4096) return 0;
    Input in{data, size};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 64, 48);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bm);
    {
        CDC base;
        base.Attach(mem);
        CChartDC dc(&base);
        CChartView3D view;
        CChartStyle style;
        CChartRibbon ribbon(in.byte() & 1 ? &style : nullptr);
        CChartPolyline line(&style);
        CChartVertexSet points(&style);
        CChartFace face(&style);
        CChartFrame frame(&view);
        std::vector<CChartElement*> all = {&ribbon, &line, &points, &face};
        int steps = 0, faces = 0;
        while (!in.empty() && ++steps < 200) {
            switch (in.byte() % 12) {
            case 0:
                view.SetAngles(in.number(), in.number());
                break;
            case 1:
                view.SetPerspective(in.number());
                break;
            case 2:
                view.SetBoxSize(in.number(), in.number(), in.number());
                break;
            case 3:
                view.SetTopMargin(in.number());
                view.SetLeftMargin(in.number());
                view.SetBottomMargin(in.number());
                view.SetRightMargin(in.number());
                view.SetScaleMode(in.byte() & 1);
                break;
            case 4:
                if (faces < 60) {
                    double x1 = in.number(), x2 = in.number(), y1 = in.number();
                    double y2 = in.number(), z1 = in.number(), z2 = in.number();
                    if (in.byte() & 1) {
                        ribbon.AddBox(x1, x2, y1, y2, z1, z2);
                        faces += 6;
                    } else {
                        ribbon.AddPanel(x1, x2, y1, y2, z1, z2);
                        ++faces;
                    }
                }
                break;
            case 5: {
                auto* f = new CChartFace();
                int n = in.byte() % 6;
                for (int i = 0; i < n; ++i)
                    f->AddVertexCopy(CChartVertex(in.number(), in.number(), in.number()));
                ribbon.AddPart(f);
                ++faces;
                break;
            }
            case 6: {
                CChartVertex v(in.number(), in.number(), in.number());
                int which = in.byte() % 3;
                (which == 0   ? static_cast<CChartVertexSet&>(line)
                 : which == 1 ? static_cast<CChartVertexSet&>(points)
                              : static_cast<CChartVertexSet&>(face))
                    .AddVertexCopy(v);
                break;
            }
            case 7: {
                double a = in.number(), b = in.number(), c = in.number();
                CChartElement* e = all[in.byte() % all.size()];
                if (in.byte() & 1)
                    e->Scale(a, b, c);
                else
                    e->Translate(a, b, c);
                break;
            }
            case 8: {
                std::uint8_t f = in.byte();
                ribbon.SetFlagA(f & 1);
                ribbon.SetFlagB((f >> 1) & 1);
                ribbon.SetFlagC((f >> 2) & 1);
                face.SetFlagC((f >> 3) & 1);
                ribbon.SetOutlined((f >> 4) & 1);
                style.SetSwitchA((f >> 5) & 1);
                style.SetSwitchB((f >> 6) & 1);
                break;
            }
            case 9:
                view.FitToDC(&dc);
                for (CChartElement* e : all) {
                    e->SetView(&view);
                    e->Project(&view);
                    e->ToScreen(&view);
                }
                break;
            case 10:
                for (CChartElement* e : all) {
                    if (in.byte() & 1)
                        e->Draw(&dc);
                    else
                        e->DrawBody(&dc);
                }
                face.DrawOutline(&dc);
                break;
            case 11:
                frame.SetName(in.byte() & 1 ? "picture" : "");
                view.FitToDC(&dc);
                frame.DrawBody(&dc);
                if (in.byte() & 1) {
                    line.Clear();
                    points.Clear();
                }
                break;
            }
        }
        if (dc.BrushDepth() || dc.PenDepth() || dc.FontDepth()) std::abort();
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
