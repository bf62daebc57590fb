// Document texts: each option on a small model of two groups, the orderings,
// kinds and scopes, number widths, numbers past 16 bits, the workbench entry,
// the skeleton per group, files that cannot be opened or fail while written.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "foundation/files.h"
#include "tests/common/fault_child.h"
#include "tests/tools/tools_fixture.h"
#include "tools/document.h"

namespace {

class Document : public ToolsTest {
protected:
    void build() {
        model_builder b("doc");
        symbol_id g1 = b.group("people");
        symbol_id g2 = b.group("money");
        symbol_id pop = b.level("Population", "births", "1000", "people");
        symbol_id births = b.aux("births", "Population * fertility", "people/Year");
        symbol_id fert = b.constant("fertility", 0.03f, "1/Year");
        symbol_id cash = b.aux("cash", "Population * 2", "dollar");
        b.lookup("effect", {{0, 1}, {1, 2}});
        b.in_group(pop, g1).in_group(births, g1).in_group(fert, g1).in_group(cash, g2);
        b.comment(pop, "How many\nlive here");
        b.limits(fert, NA, 0.1f, 0);
        b.limits(births, 0, 100, 5);
        b.pair(births, pop, "grows it");
        b.comment(fert, "Births per person");
        make_current(b);
    }
    std::string model_doc(const document_options& o, symbol_id group = 0) {
        text_report(512, o.line_width, 0, report_none, 0, 0);
        document_model(o, group);
        return report_text();
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(Document, GroupScopeWithCausesAndUsers) {
    build();
    document_options o;
    o.scope = 2;
    o.ordering = 2;
    o.users = 1;
    o.cause_comments = 1;
    EXPECT_EQ(model_doc(o, find_symbol(".people")), "********************************\n"
                                                    "   .people\n"
                                                    "********************************\n"
                                                    "\n"
                                                    "births = Population * fertility\n"
                                                    "\tUnits: people/Year [0,100,5]\n"
                                                    "\t:GROUP .people\n"
                                                    "\tPopulation grows it\n"
                                                    "\tfertility - Births per person\n"
                                                    "\tPopulation - How many live here\n"
                                                    "\tUsed by:\tPopulation - \n"
                                                    "\n"
                                                    "fertility = 0.03\n"
                                                    "\tUnits: 1/Year [?,0.1]\n"
                                                    "\t:GROUP .people\n"
                                                    "\t\t\tBirths per person\n"
                                                    "\tUsed by:\tbirths - \n"
                                                    "\n"
                                                    "Population = INTEG(births, 1000)\n"
                                                    "\tUnits: people\n"
                                                    "\t:GROUP .people\n"
                                                    "\t\t\tHow many\n"
                                                    "\t\t\tlive here\n"
                                                    "\tbirths - \n"
                                                    "\tUsed by:\tbirths - \n"
                                                    "\t\tcash - \n"
                                                    "\n");
}

TEST_F(Document, OptionsOffAndWrappedComment) {
    build();
    document_options o;
    o.scope = 2;
    o.ordering = 1;
    o.equations = 0;
    o.units = 0;
    o.group_line = 0;
    o.pair_lines = 0;
    o.range = 0;
    o.wrapped_comment = 1;
    // The name line is closed where the range would go; the comment follows
    // as one paragraph at the first level.
    EXPECT_EQ(model_doc(o, find_symbol(".people")), "births - \n"
                                                    "\n"
                                                    "fertility - \n"
                                                    "\tBirths per person\n"
                                                    "\n"
                                                    "Population - \n"
                                                    "\tHow many live here\n"
                                                    "\n");
    o.comment = 0;
    o.units = 1;
    EXPECT_EQ(model_doc(o, find_symbol(".money")), "cash - \n\tUnits: dollar\n\n");
}

TEST_F(Document, OrderingsNumbersAndKinds) {
    build();
    document_options o;
    o.scope = 1;
    o.ordering = 1;
    o.numbering = 1;
    o.units = 0;
    o.group_line = 0;
    o.pair_lines = 0;
    o.comment = 0;
    o.range = 0;
    // Nine numbered entries: two digits, since the width counts the digits of
    // the count plus one. Alphabetical, no banners.
    std::string text = model_doc(o);
    EXPECT_EQ(text.rfind("(01)\tbirths = Population * fertility\n\n(02)\tcash = ", 0), 0u) << text;
    EXPECT_NE(text.find("(09)\tTIME STEP = 1\n\n"), std::string::npos);
    EXPECT_EQ(text.find("****"), std::string::npos);

    // By group: each group's banner before its members, the ungrouped after.
    o.ordering = 2;
    text = model_doc(o);
    auto at = [&](const char* what) { return text.find(what); };
    EXPECT_LT(at("   .Control\n"), at("   .money\n"));
    EXPECT_LT(at("   .money\n"), at("cash = "));
    EXPECT_LT(at("cash = "), at("   .people\n"));
    EXPECT_LT(at("   .people\n"), at("births = "));
    EXPECT_LT(at("Population = "), at("effect("));

    // By definition: the order the equations were given in.
    o.ordering = 0;
    text = model_doc(o);
    EXPECT_LT(at("Population = "), at("births = "));
    EXPECT_LT(at("births = "), at("fertility = "));
    EXPECT_LT(at("fertility = "), at("cash = "));

    // A kind keeps its entries' numbers, with the gaps of the others.
    o.ordering = 1;
    o.scope = 3;
    o.kind = 6; // Lookup
    EXPECT_EQ(model_doc(o), "(03)\teffect((0,1),(1,2))\n\n");
    o.kind = 13; // Orphan
    EXPECT_EQ(model_doc(o), "");
    o.kind = 0; // All
    EXPECT_EQ(model_doc(o).find("(01)\tbirths"), 0u);
}

TEST_F(Document, NumbersPast16Bits) {
#if defined(KAVREL_DEBUG_MEMORY) && KAVREL_DEBUG_MEMORY
    GTEST_SKIP() << "the memory checks move the symbol block on every lock, so building 32,770 "
                    "symbols takes many minutes; the build without them runs this test";
#endif
    model_builder b("many");
    for (int i = 0; i < 32770; ++i) b.constant(("c" + std::to_string(100000 + i)).c_str(), 1);
    make_current(b);
    document_options o;
    o.scope = 1;
    o.ordering = 1;
    o.numbering = 1;
    o.units = 0;
    o.group_line = 0;
    std::string text = model_doc(o);
    // 32,774 entries with the control variables: five digits each.
    EXPECT_NE(text.find("(32768)\tc132767 = 1\n"), std::string::npos);
    EXPECT_NE(text.find("(32770)\tc132769 = 1\n"), std::string::npos);
    EXPECT_EQ(text.find("(-"), std::string::npos);
}

TEST_F(Document, WorkbenchEntryEndsWithTheClosingLine) {
    build();
    document_options o;
    o.users = 1;
    o.cause_comments = 1;
    text_report(512, 75, 0, report_none, 0, 0);
    ASSERT_EQ(document_variable(find_symbol("births"), o), 1);
    EXPECT_EQ(report_text(), "births = Population * fertility\n"
                             "Units: people/Year [0,100,5]\n"
                             ":GROUP .people\n"
                             "Population grows it\n"
                             "     fertility - Births per person\n"
                             "     Population - How many live here\n"
                             "Used by:     Population - \n"
                             "\n"
                             "**************************************************************\n");
}

TEST_F(Document, SkeletonListsEachGroupsOwnUses) {
    model_builder b("skel");
    symbol_id ga = b.group("farm.north");
    symbol_id gb = b.group("town");
    symbol_id gc = b.group("weather");
    symbol_id gd = b.group("idle");
    symbol_id rain = b.aux("rain", "3");
    symbol_id crop = b.aux("crop", "rain * 2");
    symbol_id water = b.aux("water", "rain + crop");
    symbol_id lone = b.constant("lone", 1);
    b.in_group(rain, gc).in_group(crop, ga).in_group(water, gb).in_group(lone, gd);
    make_current(b);
    const std::string path = testing::TempDir() + "a3core_skeleton.mdl";
    ASSERT_EQ(document_skeleton(path.c_str()), 1);
    EXPECT_EQ(read(path), "\"Control sector\" = A FUNCTION OF(\n)~~|\n"
                          "\"farm north sector\" = A FUNCTION OF(\nrain\n)~~|\n"
                          "\"idle sector\" = A FUNCTION OF(\n)~~|\n"
                          "\"town sector\" = A FUNCTION OF(\nrain,\ncrop\n)~~|\n"
                          "\"weather sector\" = A FUNCTION OF(\n)~~|\n"
                          "crop = A FUNCTION OF(\"farm north sector\")~~|\n"
                          "rain = A FUNCTION OF(\"weather sector\")~~|\n");
    std::remove(path.c_str());
}

TEST_F(Document, FilesThatCannotBeWritten) {
    build();
    document_options o;
    o.scope = 1;
    EXPECT_EQ(document_model_to_file("/nonexistent-dir/doc.txt", o, 0), 0);
    EXPECT_NE(messages().find("Unable to open /nonexistent-dir/doc.txt to write documentor"),
              std::string::npos);
    EXPECT_EQ(document_skeleton("/nonexistent-dir/skel.txt"), 0);
    EXPECT_NE(messages().find("Unable to open /nonexistent-dir/skel.txt"), std::string::npos);

    // Width out of range is taken to the nearer bound.
    EXPECT_EQ(document_line_width(5), 20);
    EXPECT_EQ(document_line_width(5000), 1000);
    EXPECT_EQ(document_line_width(75), 75);

    // A disk that fills up while the text is written keeps the old file.
    const std::string path = testing::TempDir() + "a3core_doc.txt";
    {
        std::ofstream old(path);
        old << "old text\n";
    }
    int result = -1;
    auto said = fault_child::under_size_limit(
        200, [&] { return document_model_to_file(path.c_str(), o, 0); }, &result);
    EXPECT_EQ(result, 0);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(read(path), "old text\n");
    // A whole write gives the text with LF line ends.
    ASSERT_EQ(document_model_to_file(path.c_str(), o, 0), 1);
    std::string text = read(path);
    EXPECT_NE(text.find("births = Population * fertility\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::remove(path.c_str());
}

} // namespace
