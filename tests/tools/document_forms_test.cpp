// The Document tool's regenerated and compacted equations, written at the
// second level: for a workbench entry (second level five blanks) blanks stay
// only between two names; in a group's listing (second level two tabs) each
// run of white space is one blank.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/tools_fixture.h"
#include "tools/document.h"

namespace {

class DocumentForms : public ToolsTest {
protected:
    void build() {
        model_builder b("forms");
        symbol_id g = b.group("people");
        symbol_id pop = b.level("Population", "births - deaths", "1000", "people");
        symbol_id births = b.aux("births", "Population * fertility", "people/Year");
        symbol_id deaths = b.aux("deaths", "Population / life time", "people/Year");
        b.constant("fertility", 0.03f, "1/Year");
        b.constant("life time", 70, "Year");
        b.in_group(pop, g).in_group(births, g).in_group(deaths, g);
        make_current(b);
    }
    static document_options plain(int form) {
        document_options o;
        o.units = 0;
        o.group_line = 0;
        o.pair_lines = 0;
        o.range = 0;
        o.comment = 0;
        o.equation_form = static_cast<std::uint8_t>(form);
        return o;
    }
};

TEST_F(DocumentForms, AWorkbenchEntryKeepsBlanksOnlyBetweenNames) {
    build();
    text_report(512, 75, 0, report_none, 0, 0);
    ASSERT_EQ(document_variable(find_symbol("deaths"), plain(2)), 1);
    const std::string text = report_text();
    EXPECT_EQ(text.substr(0, text.find('\n')), "     deaths=Population/life time");

    text_report(512, 75, 0, report_none, 0, 0);
    ASSERT_EQ(document_variable(find_symbol("deaths"), plain(1)), 1);
    const std::string regenerated = report_text();
    EXPECT_EQ(regenerated.substr(0, regenerated.find('\n')), "deaths = Population / life time");
}

TEST_F(DocumentForms, AGroupListingMakesEachRunOfBlanksOne) {
    build();
    document_options o = plain(2);
    o.scope = 2;
    o.ordering = 1;
    text_report(512, 75, 0, report_none, 0, 0);
    document_model(o, find_symbol(".people"));
    EXPECT_EQ(report_text(), "\t\tbirths = Population * fertility\n"
                             "\n"
                             "\t\tdeaths = Population / life time\n"
                             "\n"
                             "\t\tPopulation = INTEG(births - deaths, 1000)\n"
                             "\n");
    // Regenerated without compacting: at the first level, as typed.
    o.equation_form = 1;
    text_report(512, 75, 0, report_none, 0, 0);
    document_model(o, find_symbol(".people"));
    EXPECT_EQ(report_text().substr(0, 32), "births = Population * fertility\n");
}

} // namespace
