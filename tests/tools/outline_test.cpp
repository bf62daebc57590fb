// Outline lines: markers and indentation, depth, the uses direction, hidden
// kinds lifting their children, and deep trees of long names kept within the
// report's line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/tools/tools_fixture.h"
#include "tools/outline.h"

namespace {

class Outline : public ToolsTest {
protected:
    void build() {
        model_builder b("outline");
        b.level("Population", "births - deaths", "initial population");
        b.constant("initial population", 1000);
        b.aux("births", "Population * fertility");
        b.aux("fertility", "birth rate * 1");
        b.aux("deaths", "Population / lifetime");
        b.constant("birth rate", 0.03f);
        b.constant("lifetime", 70);
        b.aux("alone", "3");
        make_current(b);
    }
    std::string outline(const char* name, const outline_options& o) {
        text_report(512, 512, 0, report_none, 0, 0);
        outline_text(find_symbol(name), o);
        return report_text();
    }
};

TEST_F(Outline, CausesToDepthAndUses) {
    build();
    outline_options o;
    EXPECT_EQ(outline("alone", o), "- alone\n");
    o.depth = 1;
    EXPECT_EQ(outline("Population", o), "+ Population\n"
                                        "     - births\n"
                                        "     - deaths\n"
                                        "     - initial population\n");
    o.depth = 2;
    EXPECT_EQ(outline("Population", o), "+ Population\n"
                                        "     + births\n"
                                        "          - fertility\n"
                                        "          - Population\n"
                                        "     + deaths\n"
                                        "          - lifetime\n"
                                        "          - Population\n"
                                        "     - initial population\n");
    o.direction = 1;
    o.depth = 3;
    EXPECT_EQ(outline("birth rate", o), "+ birth rate\n"
                                        "     + fertility\n"
                                        "          + births\n"
                                        "               - Population\n");
}

TEST_F(Outline, HiddenKindsLiftTheirChildren) {
    build();
    outline_options o;
    o.depth = 3;
    o.show[1] = 0; // no auxiliaries: fertility's cause moves up to Population
    o.show[4] = 0; // no constants
    EXPECT_EQ(outline("Population", o), "+ Population\n"
                                        "     - Population\n"
                                        "     - Population\n");
}

TEST_F(Outline, DeepTreeOfLongNamesStaysWithinTheLine) {
    model_builder b("deep");
    const std::string tail(240, 'n');
    for (int i = 0; i < 70; ++i) {
        std::string name = "v" + std::to_string(i) + tail;
        std::string cause = "v" + std::to_string(i + 1) + tail;
        b.aux(name.c_str(), i < 69 ? cause.c_str() : "1");
    }
    make_current(b);
    outline_options o;
    o.depth = 70;
    std::string text = outline(("v0" + tail).c_str(), o);
    std::istringstream in(text);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        EXPECT_LE(line.size(), 512u) << lines;
        EXPECT_NE(line.find("v" + std::to_string(lines - 1) + tail), std::string::npos) << lines;
    }
    EXPECT_EQ(lines, max_tree_level + 1); // one line per node, none cut in two
}

} // namespace
