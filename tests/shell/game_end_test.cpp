// Ending a game through the workbench: the game-end command frees the game,
// so the next Run Game starts afresh; a game ends with its model; and the
// interval that reaches FINAL TIME leaves nothing waiting for decisions, so
// the next Simulate is an ordinary run and opening a model asks nothing.
// The run reader's header names a field "slots", which Qt's headers define as
// a macro: it comes before them.
#include "runs/runfile.h"

#include "population_fixture.h"

#include "runs/select.h"
#include "shell/rundrv.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

namespace {

class GameEnd : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        ask_dataset_overwrite = false;
        name_run("game");
    }
};

TEST_F(GameEnd, TheEndCommandEndsTheGameAndTheNextGameStartsAfresh) {
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    EXPECT_EQ(game_state, 4); // waiting for decisions
    const std::uint16_t first_interval = game_saved_times;
    EXPECT_EQ(first_interval, 2); // times 0 and 1
    menu_command(cmd_simulate);   // the next interval
    EXPECT_EQ(game_saved_times, 3);

    menu_command(sc_end_game);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
    EXPECT_EQ(game_run().run_file, "");

    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    EXPECT_EQ(game_saved_times, first_interval); // not the old game's 4
}

TEST_F(GameEnd, OpeningAModelEndsTheGameWhenTheUserAgrees) {
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    const handle old_symbols = cur_model_symbols;
    answerer::box("Question from Kavrel").text("Do you want to end the game?").press(IDNO);
    set_pending_open(1, model_.c_str(), 0);
    menu_command(cmd_open_model);
    EXPECT_TRUE(game_in_progress());
    EXPECT_EQ(cur_model_symbols, old_symbols);
    answerer::box("Question from Kavrel").text("Do you want to end the game?").press(IDYES);
    set_pending_open(1, model_.c_str(), 0);
    menu_command(cmd_open_model);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
    // A game never outlives its model, whatever road closes the model.
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    model_closing();
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
}

TEST_F(GameEnd, TheLastIntervalEndsTheGameAndLeavesNothingWaiting) {
    game_interval = 100; // two intervals reach FINAL TIME 200
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    EXPECT_EQ(game_state, 4);
    menu_command(cmd_simulate);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
    EXPECT_EQ(game_saved_times, 201);
    EXPECT_EQ(last_run_result, sim_done);
    // The next Simulate is an ordinary run, and opening a model asks nothing
    // about a game (the answerer fails on any box not expected).
    menu_command(cmd_simulate);
    EXPECT_EQ(last_run_result, sim_done);
    EXPECT_FALSE(game_in_progress());
    set_pending_open(1, model_.c_str(), 0);
    menu_command(cmd_open_model);
    for (const auto& text : seen_texts()) EXPECT_EQ(text.find("game"), std::string::npos) << text;
}

} // namespace
