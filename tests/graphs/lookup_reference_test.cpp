// The lookup editor's new-point fields and its reference curve: a point
// typed into the two new-point fields goes in where its x belongs, the
// current points can be kept as the reference and brought back after they
// were cleared, and OK with the points brought back changes the next run.
#include "foundation/report.h"
#include "graphs/lookupdlg.h"
#include "graphs/lookupedit.h"
#include "model/context.h"
#include "resources/dialogs.h"
#include "resources/lookupdlg.h"
#include "runs/access.h"
#include "shell/rundrv.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/setup.h"
#include "tests/graphs/lookup_editor_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using LookupReference = LookupEditorTest;

TEST_F(LookupReference, NewPointsAndTheReferenceCurve) {
    const lookup_points model = working();
    ASSERT_EQ(model.count(), 5);
    const float mid = (model.x[0] + model.x[1]) / 2;
    lookup_points kept;
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            // An x alone is no point yet.
            type_into(e, idl_new_x, std::to_string(mid), idl_new_y);
            EXPECT_EQ(p->count(), 5);
            type_into(e, idl_new_y, "0.25", idl_row_x);
            ASSERT_EQ(p->count(), 6);
            EXPECT_FLOAT_EQ(p->x[1], mid) << "the point goes where its x belongs";
            EXPECT_FLOAT_EQ(p->y[1], 0.25f);
            EXPECT_FLOAT_EQ(p->x[2], model.x[1]);
            EXPECT_EQ(test_driver::item_text(e, idl_new_x), "");
            EXPECT_EQ(test_driver::item_text(e, idl_new_y), "");

            // No reference yet: bringing it back leaves the points.
            SendMessage(e, WM_COMMAND, idl_ref_to_cur, 0);
            EXPECT_EQ(p->count(), 6);

            SendMessage(e, WM_COMMAND, idl_cur_to_ref, 0);
            EXPECT_EQ(p->ref_x, p->x);
            EXPECT_EQ(p->ref_y, p->y);
            kept = *p;
            SendMessage(e, WM_COMMAND, idl_clear_all, 0);
            EXPECT_EQ(p->count(), 0);
            EXPECT_EQ(test_driver::item_text(e, idl_row_x), "");
            // With no points, there is nothing to keep: the reference stays.
            SendMessage(e, WM_COMMAND, idl_cur_to_ref, 0);
            EXPECT_EQ(p->ref_x, kept.x);
            SendMessage(e, WM_COMMAND, idl_ref_to_cur, 0);
            EXPECT_EQ(p->x, kept.x);
            EXPECT_EQ(p->y, kept.y);
            EXPECT_EQ(std::stof(test_driver::item_text(e, idl_row_x + 1)), mid);

            SendMessage(e, WM_COMMAND, idl_clear_ref, 0);
            EXPECT_TRUE(p->ref_x.empty());
            EXPECT_TRUE(p->ref_y.empty());
            EXPECT_EQ(p->x, kept.x) << "clearing the reference leaves the points";
        })
        .press(idl_ok);
    EXPECT_EQ(edit_lookup(lookup_name), 1);
    EXPECT_EQ(answerer::pending(), 0u) << joined_failures();
    EXPECT_TRUE(failures.empty()) << joined_failures();
    const lookup_points now = working();
    EXPECT_EQ(now.x, kept.x);
    EXPECT_EQ(now.y, kept.y);
}

} // namespace
