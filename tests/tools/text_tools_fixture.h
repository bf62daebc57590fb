// The fixture of the tests of the text tools run from the palette: the
// workbench shown with the tools and text windows installed and the
// population sample open, no workbench variable chosen. The tools a test
// makes are freed after it, with their windows closed and the rows' setups
// and the report's text sink cleared.
#pragma once

#include "foundation/docwriter.h"
#include "model/model.h"
#include "model/varnames.h"
#include "shell/palette.h"
#include "shell/toolset.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/texttools.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TextToolsTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_text_hooks();
        install_text_tools();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        layout_frame(main_wnd);
        const std::string model = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
        workbench_var = {};
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        for (handle t : tools_) free_tool(t);
        for (const char* row : {"Loops", "Outline", "Document"})
            set_tool_setup(find_tool_row(row), nullptr);
        set_report_sink(report_text, nullptr);
        workbench_var = {};
        ShellWorkbenchTest::TearDown();
    }
    // A tool of a palette row with the row's default options, as the
    // palette makes it; freed after the test.
    handle tool(const char* row, const char* name) {
        const int r = find_tool_row(row);
        handle t = new_tool(r, name, analysis_tool_table[r].setup(0, 0, nullptr, nullptr));
        analysis_tool_table[r].setup(0, t, nullptr, nullptr);
        tools_.push_back(t);
        return t;
    }
    // Runs a tool as the palette does; the record of its window (0 none).
    static handle run(handle t) {
        run_palette_tool(t);
        test_driver::run_until_idle();
        tool_record* r = lock_tool(t);
        handle out = r ? r->output : 0;
        unlock_tool(t);
        return out;
    }
    // The lines of a text window.
    static std::vector<std::string> lines(handle rec) {
        std::vector<std::string> out;
        if (const text_lines* l = textwin_lines(rec))
            for (int i = 0; i < l->lines(); ++i) out.emplace_back(l->line(i));
        return out;
    }

    std::vector<handle> tools_;
};
