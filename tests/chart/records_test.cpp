// Call detail read back from a recorded metafile: every drawing object the
// chart creates through its context is deleted again, whatever the element
// switches do between selecting and unselecting.
#include "chart/element.h"
#include "chart_fixture.h"
#include "platform/metafile.h"

#include <map>
#include <vector>

namespace {

DWORD u32(const std::vector<BYTE>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
}

// Record counts by type of a recorded enhanced metafile (stock objects are
// selected there without being created, so creates and deletes must pair).
std::map<DWORD, int> record_counts(HDC recording) {
    HENHMETAFILE mf = CloseEnhMetaFile(recording);
    EXPECT_NE(mf, nullptr);
    std::vector<BYTE> bytes(GetEnhMetaFileBits(mf, 0, nullptr));
    GetEnhMetaFileBits(mf, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteEnhMetaFile(mf);
    std::map<DWORD, int> counts;
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        DWORD type = u32(bytes, at), size = u32(bytes, at + 4);
        if (size < 8 || at + size > bytes.size()) break;
        ++counts[type];
        at += size;
    }
    return counts;
}

TEST(ChartRecords, EveryCreatedObjectIsDeleted) {
    test_driver::start();
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(rec, nullptr);
    {
        CDC base;
        base.Attach(rec);
        CChartDC dc(&base);
        CChartElement a, b;
        b.GetStyle()->SetPenStyle(PS_DOT);
        for (int round = 0; round < 3; ++round) {
            a.SelectPen(&dc);
            a.SelectBrush(&dc);
            b.SelectPen(&dc);
            dc.DrawFrame(CChartRect(1, 1, 20, 20));
            b.SetNoOutline(round == 1); // changed between select and unselect
            b.UnselectPen(&dc);
            a.SetHidden(round == 2);
            a.UnselectBrush(&dc);
            a.UnselectPen(&dc);
            a.SetHidden(0);
            b.SetNoOutline(0);
        }
        CChartStyle s;
        s.SelectBrush(&dc);
        s.SelectPen(&dc);
        dc.DrawRectangle(CChartRect(2, 2, 8, 8));
        CChartStyle::PopPenAndDelete(&dc);
        CChartStyle::PopBrushAndDelete(&dc);
        // Left on the stacks: the context deletes them when it goes.
        dc.PushNewPen(CChartColor(9, 9, 9));
        dc.PushNewBrush(CChartColor(9, 9, 9));
        base.Detach();
    }
    std::map<DWORD, int> n = record_counts(rec);
    int created = n[emr::CREATEPEN] + n[emr::CREATEBRUSHINDIRECT] + n[emr::EXTCREATEFONTINDIRECTW];
    EXPECT_GE(n[emr::CREATEPEN], 8);
    EXPECT_GE(n[emr::CREATEBRUSHINDIRECT], 5);
    EXPECT_EQ(n[emr::DELETEOBJECT], created);
    EXPECT_EQ(n[emr::POLYLINE16] + n[emr::POLYLINE], 3);
}

} // namespace
