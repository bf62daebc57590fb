// Arguments as a launcher passes them (blanks and line ends around them) and
// the title that says how to leave each simulation mode.
#include "population_fixture.h"

#include "resources/menus.h"
#include "shell/menucmd.h"
#include "shell/startup.h"
#include "sim/livesweep.h"

#include <string>
#include <vector>

namespace {

TEST(StartArgumentBlanks, BlanksAndLineEndsAroundAnArgumentAreNotPartOfIt) {
    start_arguments a = parse_start_arguments({"population.kmf \r\n"});
    EXPECT_EQ(a.name, "population.kmf");
    a = parse_start_arguments({"/tmp/my settings.ini \t", "  a model.kmf\t"});
    EXPECT_EQ(a.settings, "/tmp/my settings.ini");
    EXPECT_EQ(a.name, "a model.kmf");
    a = parse_start_arguments({"population.kmf", "-N \n"});
    EXPECT_TRUE(a.no_model);
    EXPECT_EQ(a.name, "");
    a = parse_start_arguments({"--help\r"});
    EXPECT_TRUE(a.help);
    EXPECT_EQ(a.error, "");
}

// The usage names every argument with what it does.
TEST(StartArgumentBlanks, TheUsageSaysWhatEachArgumentDoes) {
    const std::string u = usage_text();
    EXPECT_EQ(u.rfind("Usage: kavrel [SETTINGS.ini] [MODEL] [-N]\n", 0), 0u) << u;
    for (const char* line :
         {"  -N            start with no model open\n", "  -h, --help    show this text and exit\n",
          "  --version     show the version and exit\n"})
        EXPECT_NE(u.find(line), std::string::npos) << line;
}

class ModeTitles : public PopulationTest {};

TEST_F(ModeTitles, EachModeSaysHowToLeaveIt) {
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_NE(title().find(" - Livesweep (Stop Simulation to leave)"), std::string::npos)
        << title();
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    answerer::box("Question from Kavrel").text("exists").press(IDYES);
    menu_command(cmd_stop_simulation);
    ASSERT_EQ(livesweep_state, ls_off);
    menu_command(cmd_setup);
    EXPECT_NE(title().find(" - Simulation Setup (Esc or Stop Simulation to leave)"),
              std::string::npos)
        << title();
    answerer::box("Question from Kavrel").text("stop simulation setup").press(IDYES);
    menu_command(cmd_stop_simulation);
    EXPECT_EQ(title().find("Simulation Setup"), std::string::npos) << title();
}

} // namespace
