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
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* lookup_name = "crowding effect on deaths";

void type_into(HWND d, int id, const std::string& text, int leave_to) {
    HWND f = GetDlgItem(d, id);
    SetFocus(f);
    SendMessage(f, EM_SETSEL, 0, -1);
    test_driver::type_text(text);
    test_driver::run_until_idle();
    SetFocus(GetDlgItem(d, leave_to));
    test_driver::run_until_idle();
}

class LookupReference : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_lookup_editor_hooks();
        make_workbench();
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
    }
    void TearDown() override {
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        lookup_editor_hooks = {};
        ShellWorkbenchTest::TearDown();
    }
    lookup_points working() {
        lookup_points p;
        EXPECT_TRUE(working_lookup_points(lookup_slot_of(lookup_name), &p));
        return p;
    }
};

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
