// The Subscript Control's buttons follow what there is to select: with no
// elements (a model without ranges) All, None and the list are grey, and
// with a range to show they all work again.
#include "shell_fixture.h"

#include "model/model.h"
#include "model/subpanel.h"
#include "resources/subpanel.h"
#include "shell/subpanel_wnd.h"
#include "tests/support/model_builder.h"

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class SubscriptButtons : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        init_vocabulary();
        saved_container_ = container_wnd;
        container_wnd = CreateWindowEx(0, WC_STATIC, "container", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                       0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(container_wnd, nullptr);
        install_subscript_panel_window();
        std::string pattern = testing::TempDir();
        while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
        pattern += "/subbuttons_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
    }
    void TearDown() override {
        create_subscript_panel(-1, -1, -1, -1, -1);
        remove_subscript_panel_window();
        close_model(0, 0);
        if (container_wnd) DestroyWindow(container_wnd);
        container_wnd = saved_container_;
        ShellDialogTest::TearDown();
    }
    void open(model_builder& b, const char* name) {
        ASSERT_TRUE(b.finish());
        const std::string path = dir_ + "/" + name;
        ASSERT_EQ(b.write(path.c_str()), 1);
        ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
        td::run_until_idle();
    }
    static bool enabled(int id) {
        return IsWindowEnabled(GetDlgItem(subscript_panel_hwnd(), id)) != 0;
    }
    std::string dir_;
    HWND saved_container_ = nullptr;
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
