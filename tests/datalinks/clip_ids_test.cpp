// The grid window registers the spreadsheet clipboard formats by name
// through the platform, below the data links; the links' own ids are made
// the same way, so the worksheet the grid copies is found under the id the
// links hold, whichever of the two registered first.
#include "datalinks/client.h"
#include "platform/clip.h"
#include "platform/global.h"
#include "shell/mainwnd.h"
#include "tests/shell/shell_fixture.h"
#include "tests/tools/grid_fixture.h"
#include "tools/gridwin.h"
#include "tools/output.h"

namespace {

class ClipIds : public GridWindowTest {};

TEST_F(ClipIds, TheGridsWorksheetIsUnderTheLinksBiffId) {
    handle rec = open_spread_window("Grid", 10, 10, 400, 200, nullptr, 10, 8, 0);
    ASSERT_NE(rec, 0u);
    const float v[2] = {1.5f, 3};
    spread_add_row(rec, "births", nullptr, v, nullptr, 2, false, nullptr, 0, 0);
    // The grid copies before the links ever registered their formats.
    ASSERT_EQ(spread_copy(rec), 1);
    register_clip_formats();
    const clip_format_ids ids = clip_formats();
    EXPECT_NE(ids.biff, 0u);
    EXPECT_NE(ids.xltable, ids.wk1);
    EXPECT_NE(ids.biff, ids.xltable);
    EXPECT_NE(ids.biff, static_cast<UINT>(CF_TEXT));
    EXPECT_EQ(ids.xltable, RegisterClipboardFormat("XlTable"));
    EXPECT_EQ(ids.wk1, RegisterClipboardFormat("WK1"));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(IsClipboardFormatAvailable(ids.biff)) << "the grid's worksheet is under another id";
    std::size_t size = 0;
    if (HANDLE h = GetClipboardData(ids.biff)) {
        const auto* p = static_cast<const unsigned char*>(GlobalLock(static_cast<HGLOBAL>(h)));
        size = GlobalSize(static_cast<HGLOBAL>(h));
        // A worksheet: it opens with the BOF record.
        EXPECT_TRUE(p && size >= 4 && p[0] == 0x09 && p[1] == 0x00);
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    EXPECT_GT(size, 4u);
}

} // namespace
