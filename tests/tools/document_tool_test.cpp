// The Document tool's options as the palette runs it: the line width kept
// between 20 and 1000 characters, and a cancelled file choice writing
// nothing anywhere.
#include "foundation/docwriter.h"
#include "model/model.h"
#include "resources/dialogs.h"
#include "shell/filechoice.h"
#include "shell/palette.h"
#include "shell/toolset.h"
#include "shell/wip.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/tools/text_tools_fixture.h"
#include "tools/errwin.h"
#include "tools/gridtool.h"
#include "tools/gridwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/texttools.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class DocumentTool : public TextToolsTest {
protected:
    void SetUp() override {
        TextToolsTest::SetUp();
        if (!HasFatalFailure()) doc = tool("Document", "Document");
    }
    void set(int scope, int to_file, int width) {
        tool_record* r = lock_tool(doc);
        auto* o = static_cast<document_tool_options*>(tool_options(r));
        o->switches[17] = static_cast<std::uint8_t>(scope);
        o->switches[12] = static_cast<std::uint8_t>(to_file);
        o->line_width = width;
        unlock_tool(doc);
    }
    // The model documented into the tool's window with a line width; its
    // lines.
    std::vector<std::string> document_with(int width) {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        set(1, 0, width);
        run_palette_tool(doc);
        test_driver::run_until_idle();
        std::vector<std::string> out;
        tool_record* r = lock_tool(doc);
        const handle rec = r ? r->output : 0;
        unlock_tool(doc);
        if (const text_lines* l = textwin_lines(rec))
            for (int i = 0; i < l->lines(); ++i) out.emplace_back(l->line(i));
        return out;
    }
    handle doc = 0;
};

// A width below 20 documents as 20 does, one above 1000 as 1000.
TEST_F(DocumentTool, TheLineWidthIsKeptBetween20And1000) {
    const std::vector<std::string> at20 = document_with(20);
    ASSERT_FALSE(at20.empty());
    EXPECT_EQ(document_with(5), at20);
    EXPECT_EQ(document_with(-3), at20);
    EXPECT_NE(document_with(60), at20) << "the width matters for this model";
    EXPECT_EQ(document_with(5000), document_with(1000));
}

// Into a file: a cancelled file choice writes no file, in the model's folder
// or the current one, and opens no window.
TEST_F(DocumentTool, ACancelledFileChoiceWritesNothing) {
    set(1, 1, 75);
    const std::filesystem::path before = std::filesystem::current_path();
    const std::filesystem::path empty = std::filesystem::path(dir) / "here";
    std::filesystem::create_directory(empty);
    std::filesystem::current_path(empty);
    const auto files_before = std::distance(std::filesystem::directory_iterator(dir),
                                            std::filesystem::directory_iterator());
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    run_palette_tool(doc);
    test_driver::run_until_idle();
    std::filesystem::current_path(before);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(empty)) << "nothing in the current folder";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              files_before)
        << "nothing beside the model";
    tool_record* r = lock_tool(doc);
    const handle rec = r ? r->output : 0;
    unlock_tool(doc);
    EXPECT_EQ(textwin_lines(rec), nullptr) << "no window";
    EXPECT_EQ(wip_line(1), "");
}

// A grid tool reuses its window only while that window is still a grid:
// a text window left as the tool's output is not written into as one.
TEST_F(DocumentTool, OnlyAGridIsReusedAsAGridToolsWindow) {
    const handle text = open_text_window("Text", 10, 10, 300, 200, 0, nullptr);
    const handle grid = open_spread_window("Grid", 20, 20, 300, 200, nullptr, 10, 8, 0);
    ASSERT_NE(text, 0u);
    ASSERT_NE(grid, 0u);
    auto set_output = [this](handle out) {
        tool_record* r = lock_tool(doc);
        r->output = out;
        unlock_tool(doc);
    };
    set_output(text);
    EXPECT_EQ(grid_tool_reusable(doc), 0u);
    set_output(grid);
    EXPECT_EQ(grid_tool_reusable(doc), grid);
    set_output(0);
    EXPECT_EQ(grid_tool_reusable(doc), 0u);
}

} // namespace
