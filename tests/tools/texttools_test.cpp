// The Loops, Outline and Document tools run from the palette on the
// population sample: the lines of their text windows, the reuse of a tool's
// window, the refusals, and their option lines read and written back.
#include "foundation/docwriter.h"
#include "foundation/ini.h"
#include "foundation/textsrc.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/varnames.h"
#include "resources/dialogs.h"
#include "resources/varselect.h"
#include "shell/palette.h"
#include "shell/toolset.h"
#include "shell/wip.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/shot.h"
#include "tests/support/model_builder.h"
#include "tests/tools/text_tools_fixture.h"
#include "tools/document.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/texttools.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class TextTools : public TextToolsTest {
protected:
    static void choose(const char* name) {
        lock_model(0);
        workbench_var.var = name ? find_symbol(name) : 0;
        unlock_model(0);
    }
    static std::string title(handle rec) {
        HWND w = outwin_window(rec);
        HWND frame = w ? GetParent(w) : nullptr;
        char buf[256] = {};
        if (frame) GetWindowText(frame, buf, sizeof buf);
        return buf;
    }
};

TEST_F(TextTools, LoopsListsTheTwoLoopsOfPopulationAndReusesItsWindow) {
    handle loops = tool("Loops", "Loops");
    choose("Population");
    handle rec = run(loops);
    ASSERT_NE(rec, 0u);
    const std::vector<std::string> got = lines(rec);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], "Loop Number 1 of length 1");
    EXPECT_EQ(got[1], "  Population");
    EXPECT_EQ(got[3], "Loop Number 2 of length 1");
    EXPECT_EQ(got[4], "  Population");
    // One loop through each flow, in either order.
    std::vector<std::string> members{got[2], got[5]};
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, (std::vector<std::string>{"       births", "       deaths"}));
    EXPECT_EQ(title(rec), "Population : Loops");
    // The report lets go of the window once the tool is done.
    docprintf("stray line\n");
    EXPECT_EQ(lines(rec).size(), 6u);

    // On screen: six lines of ink, each loop's name further in than its
    // heading and each member further in again, nothing below.
    auto* o = static_cast<output_record*>(lock_handle(rec));
    HWND w = o->window;
    unlock_handle(rec);
    const QImage shot = save_shot(w, "loops_population.png");
    ASSERT_FALSE(shot.isNull());
    const int lh = textwin_line_height(rec);
    ASSERT_GT(lh, 0);
    auto left_ink = [&](int line) {
        for (int x = 0; x < shot.width(); ++x)
            for (int y = line * lh; y < std::min(shot.height(), (line + 1) * lh); ++y)
                if (qGray(shot.pixel(x, y)) < 96) return x;
        return -1;
    };
    std::vector<int> left;
    for (int i = 0; i < 6; ++i) left.push_back(left_ink(i));
    for (int i = 0; i < 6; ++i) EXPECT_GE(left[static_cast<std::size_t>(i)], 0) << "line " << i;
    EXPECT_LT(left[0], left[1]);
    EXPECT_LT(left[1], left[2]);
    EXPECT_EQ(left[0], left[3]);
    EXPECT_EQ(left[2], left[5]);
    ASSERT_GT(shot.height(), 8 * lh);
    EXPECT_EQ(left_ink(6), -1);
    EXPECT_EQ(left_ink(7), -1);

    // A second run replaces the text in the same window.
    const std::size_t windows = open_windows.size();
    choose("births");
    handle again = run(loops);
    ASSERT_NE(again, 0u);
    EXPECT_EQ(open_windows.size(), windows);
    EXPECT_EQ(lines(again).size(), 3u);
    EXPECT_EQ(lines(again)[1], "  births");
    EXPECT_EQ(title(again), "births : Loops");
}

TEST_F(TextTools, LoopsRefusesWithoutAFittingVariableAndOpensNoWindow) {
    handle loops = tool("Loops", "Loops");
    answerer::box(severity_caption(8)).press(IDOK);
    run(loops); // no workbench variable
    answerer::box(severity_caption(8)).press(IDOK);
    choose("birth rate");
    run(loops);
    for (const std::string& t : seen_texts())
        EXPECT_EQ(t, "Only Auxiliary and Level variables can be involved in feedback loops");
    EXPECT_EQ(seen_texts().size(), 2u);
    tool_record* r = lock_tool(loops);
    EXPECT_EQ(r->output, 0u);
    unlock_tool(loops);
}

TEST_F(TextTools, LoopsAsksBeforeShowingMoreThanFifty) {
    // A hub used by 51 auxiliaries that each use it: 51 loops of length 1.
    model_builder b("star");
    std::string sum;
    for (int i = 0; i < 51; ++i) {
        const std::string u = "u" + std::to_string(i);
        b.aux(u.c_str(), "hub * 0.5");
        sum += (i ? " + " : "") + u;
    }
    b.aux("hub", sum.c_str());
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
    close_model(m.header, m.symbols);
    handle loops = tool("Loops", "Loops");
    choose("hub");
    answerer::box(question_caption)
        .text("There are 51 loops - do you want to see more than the first 50??")
        .press(IDNO);
    std::vector<std::string> got = lines(run(loops));
    ASSERT_EQ(got.size(), 150u);
    EXPECT_EQ(got[147], "Loop Number 50 of length 1");
    answerer::box(question_caption).press(IDYES);
    got = lines(run(loops));
    ASSERT_EQ(got.size(), 153u);
    EXPECT_EQ(got[150], "Loop Number 51 of length 1");
}

TEST_F(TextTools, OutlineWritesCausesAndUsesWithItsOptions) {
    handle outline = tool("Outline", "Outline");
    choose("births");
    handle rec = run(outline);
    ASSERT_NE(rec, 0u);
    std::vector<std::string> got = lines(rec);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0], "+ births");
    EXPECT_EQ(title(rec), "births : Outline");
    // The direct causes, one level in, sorted; the constant is a leaf.
    std::string text;
    for (const auto& l : got) text += l + "\n";
    EXPECT_NE(text.find("     - birth rate\n"), std::string::npos) << text;
    EXPECT_NE(text.find("     + Population\n"), std::string::npos) << text;

    // Uses, depth 1, constants hidden: the tool's own option block.
    tool_record* r = lock_tool(outline);
    auto* o = static_cast<outline_tool_options*>(tool_options(r));
    o->depth = 1;
    o->direction = 1;
    unlock_tool(outline);
    choose("birth rate");
    got = lines(run(outline));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "+ birth rate");
    EXPECT_EQ(got[1], "     - births");
}

TEST_F(TextTools, DocumentWritesTheWorkbenchVariablesEntry) {
    handle doc = tool("Document", "Document");
    choose("birth rate");
    handle rec = run(doc);
    ASSERT_NE(rec, 0u);
    const std::vector<std::string> got = lines(rec);
    ASSERT_FALSE(got.empty());
    std::string text;
    for (const auto& l : got) text += l + "\n";
    EXPECT_NE(text.find("birth rate"), std::string::npos) << text;
    EXPECT_NE(text.find("0.04"), std::string::npos) << text;
    EXPECT_NE(text.find("1/year"), std::string::npos) << text;
    EXPECT_EQ(got.back(), std::string(62, '*'));
    EXPECT_EQ(title(rec), "birth rate : Document") << "named as the other text tools are";
}

// Sets a Document tool's scope switches (saved positions 10, 12 and 17).
void set_document_scope(handle doc, int scope, int kind, int to_file) {
    tool_record* r = lock_tool(doc);
    auto* o = static_cast<document_tool_options*>(tool_options(r));
    o->switches[17] = static_cast<std::uint8_t>(scope);
    o->switches[10] = static_cast<std::uint8_t>(kind);
    o->switches[12] = static_cast<std::uint8_t>(to_file);
    unlock_tool(doc);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

TEST_F(TextTools, DocumentWritesTheModelAGroupOrAFile) {
    handle doc = tool("Document", "Document");
    // The whole model into the tool's window, no workbench variable needed.
    set_document_scope(doc, 1, 0, 0);
    handle rec = run(doc);
    ASSERT_NE(rec, 0u);
    std::string text = joined(lines(rec));
    for (const char* name : {"Population", "births", "deaths", "birth rate", "average lifetime"})
        EXPECT_NE(text.find(name), std::string::npos) << name << "\n" << text;
    EXPECT_EQ(wip_line(1), "") << "the run's line is cleared at the end";
    // While the panel shows, it names the group being written.
    wip_message(1, "Documenting model");
    text_report(512, 75, 0, report_none, 0, 0);
    document_options all;
    all.scope = 1;
    all.ordering = 2;
    EXPECT_GT(document_model(all, 0), 0);
    EXPECT_EQ(wip_line(2), "Formatting group .Population sector");
    wip_message(0, "%s", "");

    // A group named by the user; a name that is no group is refused.
    set_document_scope(doc, 2, 0, 0);
    answerer::dialog(dlg_variable_dialog).set_text(idv_name, "births").press(idv_exact);
    answerer::box(severity_caption(8)).text("births is not a group name").press(IDOK);
    run(doc);
    answerer::dialog(dlg_variable_dialog).press(IDCANCEL);
    run(doc);
    EXPECT_EQ(joined(lines(rec)), text) << "a refused or cancelled group leaves the window";
    answerer::dialog(dlg_variable_dialog).set_text(idv_name, "Population sector").press(IDOK);
    rec = run(doc);
    ASSERT_NE(rec, 0u);
    const std::string group = joined(lines(rec));
    EXPECT_NE(group.find("births"), std::string::npos) << group;
    EXPECT_EQ(title(rec), ".Population sector : Document"); // a group as the model writes it
    EXPECT_LT(group.size(), text.size()) << group;

    // Into a file; a cancelled file dialog writes nothing.
    set_document_scope(doc, 1, 0, 1);
    const std::string path = dir + "/model.txt";
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    run(doc);
    EXPECT_FALSE(std::filesystem::exists(path));
    answerer::dialog(dlg_file_choice).set_text(fdc_name, path.c_str()).press(IDOK);
    run(doc);
    const std::string file = read_file(path);
    EXPECT_NE(file.find("births"), std::string::npos) << file;
    EXPECT_NE(file.find("average lifetime"), std::string::npos) << file;
    EXPECT_EQ(file.find('\r'), std::string::npos);

    // The group kind writes the skeleton of the groups to a file.
    set_document_scope(doc, 3, 7, 0);
    const std::string skeleton = dir + "/skeleton.txt";
    answerer::dialog(dlg_file_choice).set_text(fdc_name, skeleton.c_str()).press(IDOK);
    run(doc);
    EXPECT_NE(read_file(skeleton).find("sector\" = A FUNCTION OF("), std::string::npos)
        << read_file(skeleton);
}

TEST_F(TextTools, OptionLinesReadAndWriteBack) {
    struct row_case {
        const char* row;
        const char* line;
    };
    for (const row_case& c :
         {row_case{"Outline", "3,1,0,1,1,0,1,1,0,1,1,0,Arial|12|B|0-0-0,"},
          row_case{"Document", "0,1,0,0,1,1,0,0,1,1,3,1,0,1,0,0,0,1,1,0,90,Arial|9||0-0-0,"}}) {
        const int row = find_tool_row(c.row);
        handle t = tool(c.row, c.row);
        const char* const text[] = {c.line};
        ASSERT_EQ(push_text_source(text, 1, 0), 1);
        analysis_tool_table[row].setup(0, t, nullptr, "x");
        close_text_source();
        std::string out;
        analysis_tool_table[row].setup(1, t, &out, nullptr);
        EXPECT_EQ(out, std::string(c.line) + "\n") << c.row;
        tool_record* r = lock_tool(t);
        if (row == find_tool_row("Outline")) {
            auto* o = static_cast<outline_tool_options*>(tool_options(r));
            EXPECT_EQ(o->depth, 3);
            EXPECT_EQ(o->direction, 1);
            EXPECT_EQ(o->font.size, 12);
        } else {
            auto* o = static_cast<document_tool_options*>(tool_options(r));
            EXPECT_EQ(o->switches[10], 3); // the kind, saved after the wrapped comment
            EXPECT_EQ(o->line_width, 90);
        }
        unlock_tool(t);
    }
}

TEST_F(TextTools, TheBuiltInSetWritesBackTheSameWithTheseSetups) {
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    const std::string first = write_toolset_text(0);
    free_toolset(0);
    // Loops has no option line; Document's switches and width stand as given.
    EXPECT_NE(first.find("Loops|Loops\n=0,=4,=-1,=-1,=0,=0,=0,=0,=0,\nDocument|Document\n"
                         "=0,=6,=-1,=-1,=0,=0,=0,=0,=0,\n"
                         "0,0,0,0,0,1,0,0,1,1,0,1,0,1,0,0,0,0,1,0,75,"),
              std::string::npos)
        << first;
    const std::string path = dir + "/round.kts";
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(first.c_str(), f);
        std::fclose(f);
    }
    ASSERT_EQ(read_toolset(path.c_str(), 0), 9);
    EXPECT_EQ(write_toolset_text(0), first);
    free_toolset(0);
}

} // namespace

namespace {

TEST_F(TextTools, LoopsShowAllKeepsHiddenMembersWhenItsSettingIsOn) {
    model_builder b("hidden");
    b.aux("a", "h * 0.5");
    b.aux("h", "a + 1");
    b.flags(b.id("h"), sf_hidden);
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
    close_model(m.header, m.symbols);
    handle loops = tool("Loops", "Loops");
    choose("a");
    ASSERT_FALSE(loops_show_all()) << "off by default";
    std::vector<std::string> got = lines(run(loops));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "Loop Number 1 of length 0") << "the hidden member is left out";
    ASSERT_EQ(ini_set(loops_show_all_key, "1"), 1);
    EXPECT_TRUE(loops_show_all());
    got = lines(run(loops));
    ini_set(loops_show_all_key, nullptr);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "Loop Number 1 of length 1");
    EXPECT_EQ(got[2], "       h");
}

} // namespace
