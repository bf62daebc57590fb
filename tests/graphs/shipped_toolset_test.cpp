// The tool set shipped beside the program: every analysis tool the program
// has is placed in the palette's first row, nothing is reported while it is
// read, the copy beside the built program is the shipped one, and what the
// program writes of it reads back to the same tools.
#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/graphtool.h"
#include "graphs/moregraphs.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"
#include "tools/output.h"
#include "tools/runscompare.h"
#include "tools/texttools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string shipped = KAVREL_SOURCE_DIR "/resources/default.kts";
const std::string beside_program = KAVREL_BINARY_DIR "/app/default.kts";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct placed {
    int row, col, type;
    std::string name;
    bool operator==(const placed&) const = default;
};

std::vector<placed> palette_tools() {
    std::vector<placed> out;
    for (int r = 0; r < palette_cells.rows; ++r)
        for (int c = 0; c < palette_cells.cols; ++c)
            if (handle t = grid_tool(palette_cells, r, c)) {
                tool_record* rec = lock_tool(t);
                const int type = rec ? rec->type : -1;
                unlock_tool(t);
                out.push_back({r, c, type, tool_name(t)});
            }
    return out;
}

class ShippedToolset : public ::testing::Test {
protected:
    void SetUp() override {
        install_tools_hooks();
        install_graph_hooks();
        install_more_graphs();
        install_text_tools();
        install_runs_compare();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        log_ = std::tmpfile();
        set_report_stream(log_);
        free_toolset(0);
    }
    void TearDown() override {
        free_toolset(0);
        set_report_stream(nullptr);
        set_message_hook(nullptr);
        if (log_) std::fclose(log_);
    }
    std::FILE* log_ = nullptr;
};

TEST_F(ShippedToolset, PlacesEveryAnalysisToolInTheFirstRowWithoutAMessage) {
    const int n = read_toolset(shipped.c_str(), 0);
    EXPECT_TRUE(message_log::messages.empty())
        << (message_log::messages.empty() ? "" : message_log::messages.front().text);
    const std::vector<placed> tools = palette_tools();
    EXPECT_EQ(n, static_cast<int>(tools.size()));
    std::set<int> types;
    for (const placed& p : tools) {
        EXPECT_EQ(p.row, 0) << p.name;
        types.insert(p.type);
    }
    // The thirteen rows of the analysis-tool table, each at least once.
    for (int row = 0; row < 13; ++row)
        EXPECT_TRUE(types.count(static_cast<int>(analysis_tool_table[row].type)))
            << analysis_tool_table[row].name;
    // Every tool can be run: its setup gave it an action.
    for (const placed& p : tools) {
        handle t = grid_tool(palette_cells, p.row, p.col);
        tool_record* rec = lock_tool(t);
        ASSERT_TRUE(rec);
        EXPECT_NE(rec->action, 0u) << p.name;
        unlock_tool(t);
    }
}

TEST_F(ShippedToolset, TheCopyBesideTheProgramIsTheShippedFile) {
    EXPECT_EQ(slurp(beside_program), slurp(shipped));
    // The start-up's own road ("" with no current set) finds it there when
    // the program directory is the build's app folder; here it is read by
    // name, which names it the current set.
    ASSERT_GT(read_toolset(beside_program.c_str(), 0), 0);
    EXPECT_EQ(palette_tools().size(), 15u);
}

TEST_F(ShippedToolset, WhatTheProgramWritesReadsBackToTheSameTools) {
    ASSERT_EQ(read_toolset(shipped.c_str(), 0), 15);
    const std::vector<placed> first = palette_tools();
    const std::string text = write_toolset_text(0);
    const std::string again = ::testing::TempDir() + "/shipped_again.kts";
    std::ofstream(again, std::ios::binary) << text;
    free_toolset(0);
    ASSERT_EQ(read_toolset(again.c_str(), 0), 15);
    EXPECT_EQ(palette_tools(), first);
    EXPECT_EQ(write_toolset_text(0), text);
    std::remove(again.c_str());
}

} // namespace
