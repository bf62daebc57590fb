// The sketch window opened by the shell's open path on a sample, for tests
// that drive it through the platform's test driver.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>

#include "model/context.h"
#include "model/model.h"
#include "shell/mainplace.h"
#include "shell/menucmd.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sketch/sketchwin.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"

class SketchWindow : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_sketch_hooks();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 600, 380, TRUE);
        layout_frame(main_wnd);
        ASSERT_EQ(shell_open_model(1, 0, sample(sample_name()).c_str(), 0), 1);
        test_driver::run_until_idle();
        view_ = current_sketch_view();
        ASSERT_NE(view_, nullptr);
        s_ = sketch_of(view_);
        ASSERT_NE(s_, nullptr);
    }
    // The sample the window shows.
    virtual const char* sample_name() const { return "population.kmf"; }
    void TearDown() override {
        close_sketch_windows(0);
        sketch_hooks = sketch_window_hooks{};
        set_wip_run_start_hook(nullptr);
        ShellWorkbenchTest::TearDown();
    }
    QImage shot(const std::string& name) {
        test_driver::run_until_idle();
        QImage image = test_driver::image(view_);
        image.save(QString::fromStdString(testing::TempDir() + "/" + name));
        if (const char* keep = std::getenv("KAVREL_SCREENSHOTS"))
            image.save(QString::fromStdString(std::string(keep) + "/" + name));
        return image;
    }
    // The element of a variable by name.
    const sketch_elem* variable(const char* name) {
        lock_model(0);
        symbol_id id = find_symbol(name);
        unlock_model(0);
        int n = find_symbol_element(s_->view, id, false);
        return n ? &s_->view.elems[static_cast<std::size_t>(n)] : nullptr;
    }
    HWND view_ = nullptr;
    sketch_state* s_ = nullptr;
};
