// The fixture of the Subscript Control's tests: a plain top-level window
// stands in for the workbench's container, the panel's window class is
// installed, and models are written to a folder of the test's own; after each
// test the panel and its class are gone, the model closed and the container
// put back.
#pragma once

#include "shell_fixture.h"

#include "model/model.h"
#include "model/subpanel.h"
#include "model/varnames.h"
#include "shell/subpanel_wnd.h"
#include "tests/support/model_builder.h"

#include <cstdlib>
#include <string>
#include <vector>

class SubscriptPanelTest : public ShellDialogTest {
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
        pattern += "/subpanel_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
    }
    void TearDown() override {
        create_subscript_panel(-1, -1, -1, -1, -1);
        remove_subscript_panel_window();
        set_subscript_change_hook(nullptr);
        close_model(0, 0);
        workbench_var = {};
        if (container_wnd) DestroyWindow(container_wnd);
        container_wnd = saved_container_;
        ShellDialogTest::TearDown();
    }
    // Writes the builder's model into the test's folder and opens it.
    void open_model_file(model_builder& b, const char* name) {
        const std::string path = dir_ + "/" + name;
        ASSERT_EQ(b.write(path.c_str()), 1);
        ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
    }

    std::string dir_;

private:
    HWND saved_container_ = nullptr;
};
