// The population sample's sketch after one simulation, with the Livesweep
// hooks the shell installs at start-up, for the live-sketch tests.
#pragma once

#include "model/context.h"
#include "runs/cache.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/behave.h"
#include "sketch/sliders.h"
#include "tests/sketch/window_fixture.h"

class LiveSketch : public SketchWindow {
protected:
    void SetUp() override {
        SketchWindow::SetUp();
        // Room for the whole diagram and its sliders.
        MoveWindow(main_wnd, 0, 0, 1200, 800, TRUE);
        layout_frame(main_wnd);
        test_driver::run_until_idle();
        install_quick_sliders();
        install_run_driver();
        wip_install_sim_hooks();
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "base");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        test_driver::run_until_idle();
        set_livesweep_refresh_hook(shell_livesweep_refresh);
        set_livesweep_timer_hook(shell_livesweep_timer);
        set_window_message_hook(shell_window_message);
        install_cache_livesweep_hook();
        set_cache_refresh_hook(refresh_sketch_values);
    }
    void TearDown() override {
        if (livesweep_state == ls_on) menu_command(cmd_livesweep);
        test_driver::run_until_idle();
        set_behavior_display(false);
        set_livesweep_refresh_hook(nullptr);
        set_livesweep_timer_hook(nullptr);
        set_window_message_hook(nullptr);
        set_livesweep_save_hook(nullptr);
        set_cache_refresh_hook(nullptr);
        clear_setup();
        sketch_hooks.slider_proc = nullptr;
        SketchWindow::TearDown();
    }
    std::int32_t slot_of(const char* name) {
        lock_model(0);
        const std::int32_t slot = sym(find_symbol(name))->slot;
        unlock_model(0);
        return slot;
    }
};
