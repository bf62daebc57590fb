// The model pages' tests work on a copy of the population sample in a folder
// of their own (the pages save into the model), with the long list control
// the references page and the reorder dialog hold.
#pragma once

#include "shell/controls/longlist.h"
#include "shell_fixture.h"

#include <filesystem>
#include <string>

class ModelCopyTest : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        WNDCLASS lc{};
        lc.style = CS_DBLCLKS;
        lc.lpfnWndProc = longlist_proc;
        lc.cbWndExtra = 8;
        lc.hInstance = handle_from_token<HINSTANCE>(1);
        lc.lpszClassName = "Kavrel_longlist";
        RegisterClass(&lc);
        namespace fs = std::filesystem;
        dir_ = testing::TempDir() + "shd_model_" + std::to_string(++counter_);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::string sample = std::string(KAVREL_BINARY_DIR) + "/samples/population.kmf";
        ASSERT_TRUE(fs::exists(sample)) << sample;
        model_ = dir_ + "/population.kmf";
        fs::copy_file(sample, model_);
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        model_dir = dir_;
    }
    void TearDown() override {
        close_model(0, 0);
        model_dir.clear();
        std::filesystem::remove_all(dir_);
        ShellDialogTest::TearDown();
    }
    std::string dir_, model_;
    static inline int counter_ = 0;
};
