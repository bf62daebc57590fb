// Shared by the tests of the dialog utilities, the file choice dialog, the
// work-in-progress window and the run driver: the test driver, the answerer
// (every box and dialog must be answered), the reporter's hook set to the
// shell's show_message, and a log stream off the disk.
#pragma once

#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/testing/answerer.h"
#include "platform/testing/driver.h"
#include "resources/dialogs.h"
#include "shell/dialogs.h"
#include "shell/msgbox.h"
#include "shell/pump.h"
#include "shell/questions.h"
#include "shell/showqueue.h"
#include "shell/wip.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

class ShellDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        reset_pump_state();
        reset_dialog_state();
        reset_message_box_state();
        register_dialog_templates();
        answerer::clear();
        answerer::install([this](const std::string& m) { failures.push_back(m); });
        set_message_hook(show_message);
        log_ = std::tmpfile();
        set_report_stream(log_);
        clear_message_list();
    }
    void TearDown() override {
        EXPECT_TRUE(failures.empty()) << joined_failures();
        EXPECT_EQ(answerer::pending(), 0u) << "answers left unused";
        EXPECT_EQ(modal_count, 0);
        EXPECT_EQ(dialog_depth, 0);
        EXPECT_EQ(busy_depth, 0);
        answerer::uninstall();
        answerer::clear();
        wip_destroy();
        set_message_hook(nullptr);
        set_report_stream(nullptr);
        if (log_) std::fclose(log_);
        test_driver::reset();
        reset_pump_state();
        reset_dialog_state();
        reset_message_box_state();
        set_dialog_font_specs("", "", "");
        free_dialog_fonts();
    }
    std::string joined_failures() const {
        std::string s;
        for (const auto& f : failures) s += f + "\n";
        return s;
    }
    // The captions of the boxes and dialogs seen so far.
    static std::vector<std::string> seen_captions() {
        std::vector<std::string> out;
        for (const auto& s : answerer::seen()) out.push_back(s.caption);
        return out;
    }

    std::vector<std::string> failures;
    std::FILE* log_ = nullptr;
};
