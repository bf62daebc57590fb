// The Subscript Control's buttons follow what there is to select: with no
// elements (a model without ranges) All, None and the list are grey, and
// with a range to show they all work again.
#include "subpanel_fixture.h"

#include "model/model.h"
#include "model/subpanel.h"
#include "resources/subpanel.h"
#include "shell/subpanel_wnd.h"
#include "tests/support/model_builder.h"

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class SubscriptButtons : public SubscriptPanelTest {
protected:
    void open(model_builder& b, const char* name) {
        ASSERT_TRUE(b.finish());
        ASSERT_NO_FATAL_FAILURE(open_model_file(b, name));
        td::run_until_idle();
    }
    static bool enabled(int id) {
        return IsWindowEnabled(GetDlgItem(subscript_panel_hwnd(), id)) != 0;
    }
};

TEST_F(SubscriptButtons, NothingToSelectGreysEveryButton) {
    model_builder flat("flat");
    flat.constant("k", 1);
    open(flat, "flat.kmf");
    create_subscript_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    ASSERT_NE(subscript_panel_hwnd(), nullptr);
    EXPECT_FALSE(enabled(idc_sp_all));
    EXPECT_FALSE(enabled(idc_sp_none));
    EXPECT_FALSE(enabled(idc_sp_elements));
    EXPECT_FALSE(enabled(idc_sp_range));

    model_builder regions("regions");
    regions.range("region", {"north", "south"});
    regions.constant("pop[region]", 1);
    open(regions, "regions.kmf");
    EXPECT_TRUE(enabled(idc_sp_all));
    EXPECT_TRUE(enabled(idc_sp_none));
    EXPECT_TRUE(enabled(idc_sp_elements));
    EXPECT_TRUE(enabled(idc_sp_range));
}

// Asked for a place past the container's right or bottom edge, the window
// keeps 30 pixels of itself inside, to be taken hold of again.
TEST_F(SubscriptButtons, APlacePastTheEdgesKeepsThirtyPixelsInside) {
    model_builder regions("regions");
    regions.range("region", {"north", "south"});
    regions.constant("pop[region]", 1);
    open(regions, "regions.kmf");
    create_subscript_panel(1, 5000, 5000, -1, -1);
    td::run_until_idle();
    HWND p = subscript_panel_hwnd();
    ASSERT_NE(p, nullptr);
    RECT c{}, r{};
    GetClientRect(container_wnd, &c);
    GetWindowRect(p, &r);
    POINT tl{r.left, r.top};
    ScreenToClient(container_wnd, &tl);
    EXPECT_EQ(tl.x, c.right - 30);
    EXPECT_EQ(tl.y, c.bottom - 30);
}

} // namespace
