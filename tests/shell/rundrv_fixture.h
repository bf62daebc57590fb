// The fixture of the run driver's tests: the population sample copied into a
// folder of the test's own (its runs are written beside it) and opened, the
// run driver installed and a run's file overwritten without asking; after
// each test every hook of a run is cleared, the model and its runs are gone
// and the simulation is idle.
#pragma once

// The run reader's header names a field "slots", which Qt's headers define
// as a macro: it comes before them.
#include "runs/runfile.h"
#include "shell_fixture.h"
#include "tests/shell/run_state.h"

#include "model/context.h"
#include "runs/select.h"
#include "shell/rundrv.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <filesystem>
#include <string>

class RunDriverTest : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        namespace fs = std::filesystem;
        dir_ = testing::TempDir() + "shd_run_" + std::to_string(++counter_);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string sample = std::string(KAVREL_BINARY_DIR) + "/samples/population.kmf";
        ASSERT_TRUE(fs::exists(sample)) << sample;
        model_ = dir_ + "/population.kmf";
        fs::copy_file(sample, model_);
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        ASSERT_NE(model_rec, nullptr);
        install_run_driver();
        ask_dataset_overwrite = false;
    }
    void TearDown() override {
        set_sim_pump_hook(nullptr);
        set_run_command_hook(nullptr);
        set_livesweep_refresh_hook(nullptr);
        set_livesweep_save_hook(nullptr);
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        sim_phase = phase_idle;
        game_state = 0;
        livesweep_state = ls_off;
        stop_request = 0;
        run_kind = 0;
        ask_dataset_overwrite = true;
        std::filesystem::remove_all(dir_);
        ShellDialogTest::TearDown();
    }
    static void set_run_name(const char* name) { name_next_run(name); }
    static std::string first_selected() { return first_selected_run(); }

    std::string dir_, model_;

private:
    static inline int counter_ = 0;
};
