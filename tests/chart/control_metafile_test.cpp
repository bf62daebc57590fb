// Whole charts drawn by the control's OnDraw on the platform's metafile
// devices: the picture reads back valid, an independent reader converts it
// with the legend and axis texts, and every object the chart creates while
// drawing is deleted again.
#include "chart/chart.h"
#include "chart/data.h"
#include "chart_fixture.h"
#include "platform/metafile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// Output to a picture of a fixed size.
struct PictureServices : charttest::FixedServices {
    bool graphics_file_output() const override { return true; }
    void out_size(int* w, int* h) const override {
        *w = 800;
        *h = 600;
    }
};

// Two series of a sine and a ramp, with legends, titles and both axes, as
// the chart-control graph fills it.
void fill(CChartCtrl& c, int type, int dimension) {
    c.CreateChart(type, dimension, 3);
    for (int i = 0; i <= 40; ++i) {
        c.AddPoint(1, i, 50 + 40 * std::sin(i / 6.0));
        c.AddPoint(2, i, 2.0 * i);
    }
    c.AddLegend("Population", -117.0, -130.0, 100.0);
    c.AddLegend("Births", -117.0, -141.0, 100.0);
    c.SetAxisTitle("Growth", 1);
    c.SetYRange(0, 100);
    c.SetViewRect(16, 19, 10, 6);
    c.SetViewOption(1);
    c.SetXRange(0, 40);
    c.SetAxis(2, 4, 1, 5.0, 0);
    c.SetAxis(4, 5, 1, 5.0, 0);
}

DWORD u32(const std::vector<BYTE>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
}

} // namespace

TEST(ChartControlPicture, OnDrawOnAMetafileReadsBackAndConverts) {
    test_driver::start();
    PictureServices sv;
    charttest::ServicesGuard guard(&sv);
    CChartCtrl c;
    fill(c, 4, 1);
    HDC rec = CreateMetaFile(nullptr);
    ASSERT_NE(rec, nullptr);
    {
        CDC dc;
        dc.Attach(rec);
        c.OnDraw(&dc);
        dc.Detach();
    }
    HMETAFILE mf = CloseMetaFile(rec);
    ASSERT_NE(mf, nullptr);
    std::vector<BYTE> bits(GetMetaFileBitsEx(mf, 0, nullptr));
    ASSERT_GT(bits.size(), 100u);
    GetMetaFileBitsEx(mf, static_cast<UINT>(bits.size()), bits.data());
    std::string error;
    EXPECT_TRUE(gdi::validate_wmf(bits.data(), bits.size(), error)) << error;

    const std::string wmf = ::testing::TempDir() + "/chart_control.wmf";
    ASSERT_TRUE(write_placeable_metafile(wmf.c_str(), mf, 0, 0, 800, 600, 96));
    DeleteMetaFile(mf);
    const std::string svg = wmf + ".svg";
    ASSERT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + wmf + "' 2>/dev/null").c_str()), 0);
    std::ifstream in(svg);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const char* want : {"Population", "Births", "Growth", "100", "40"})
        EXPECT_NE(text.find(want), std::string::npos) << want;
}

// Pens, brushes and fonts come and go in pairs through every kind of plot
// the graph makes (2D lines and points, 3D lines, ribbons and areas) and the
// bar and pie plots.
TEST(ChartControlPicture, EveryObjectCreatedWhileDrawingIsDeleted) {
    test_driver::start();
    PictureServices sv;
    charttest::ServicesGuard guard(&sv);
    const int kinds[][2] = {{4, 1}, {6, 1}, {4, 2}, {7, 2}, {1, 2}, {2, 1}, {5, 1}, {2, 2}};
    for (const auto& k : kinds) {
        CChartCtrl c;
        fill(c, k[0], k[1]);
        HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(rec, nullptr);
        {
            CDC dc;
            dc.Attach(rec);
            c.OnDraw(&dc);
            c.OnDraw(&dc); // a repaint without a data change
            dc.Detach();
        }
        HENHMETAFILE mf = CloseEnhMetaFile(rec);
        ASSERT_NE(mf, nullptr);
        std::vector<BYTE> bytes(GetEnhMetaFileBits(mf, 0, nullptr));
        GetEnhMetaFileBits(mf, static_cast<UINT>(bytes.size()), bytes.data());
        DeleteEnhMetaFile(mf);
        std::map<DWORD, int> n;
        for (std::size_t at = 0; at + 8 <= bytes.size();) {
            const DWORD type = u32(bytes, at), size = u32(bytes, at + 4);
            if (size < 8 || at + size > bytes.size()) break;
            ++n[type];
            at += size;
        }
        const int created =
            n[emr::CREATEPEN] + n[emr::CREATEBRUSHINDIRECT] + n[emr::EXTCREATEFONTINDIRECTW];
        EXPECT_GT(created, 10) << "type " << k[0] << " dimension " << k[1];
        EXPECT_EQ(n[emr::DELETEOBJECT], created) << "type " << k[0] << " dimension " << k[1];
        // A pie's value axes make no ticks, so it writes no numbers.
        if (k[0] == 5)
            EXPECT_EQ(n[emr::EXTTEXTOUTW], 0) << "dimension " << k[1];
        else
            EXPECT_GT(n[emr::EXTTEXTOUTW], 4) << "type " << k[0] << " dimension " << k[1];
    }
}
