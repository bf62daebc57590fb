// Tabs in a text window move to the next tab stop: text shorter than a stop
// before each tab does not make the line any wider.
#include "tests/tools/textwin_fixture.h"

#include "tools/outwin_common.h"

#include <string>

namespace {

class TextWindowTabs : public TextWindowTest {};

TEST_F(TextWindowTabs, ATabReachesTheNextStopWhateverCameBeforeIt) {
    auto longest_of = [](const char* line, int x) {
        handle rec = open_text_window("Tabs", x, 10, 300, 200, 0, nullptr);
        EXPECT_NE(rec, 0u);
        if (!rec) return -1;
        textwin_printf(0, rec, 1, "%s\n", line);
        test_driver::run_until_idle();
        return textwin_view(rec).longest;
    };
    std::string tabs, after_short, plain_text;
    for (int i = 0; i < 10; ++i) {
        tabs += "\t";
        after_short += "MM\t";
        plain_text += "MM";
    }
    const int tab_alone = longest_of((tabs + "MMMM").c_str(), 10);
    const int after_two = longest_of((after_short + "MMMM").c_str(), 40);
    const int plain = longest_of((plain_text + "MMMM").c_str(), 70);
    EXPECT_GT(tab_alone, plain) << "a tab takes room";
    EXPECT_EQ(after_two, tab_alone);
}

} // namespace
