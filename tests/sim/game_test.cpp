// Gaming: interval by interval, the player's decisions between intervals, the
// run file rewritten at each interval's end, and the game's end.
#include <fstream>

#include "foundation/memory.h"

#include "foundation/files.h"
#include "model/context.h"
#include "model/modelfile.h"
#include "sim/control.h"
#include "sim/currentrun.h"
#include "sim/game.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

// Makes a finished model's variable the player's input, and gives the
// model its value slots again.
void make_game_input(model_builder& b, symbol_id id) {
    symbol_record r = get_symbol(b.symbols(), id);
    r.type = st_game;
    put_symbol(b.symbols(), id, r);
    assign_value_slots(b.symbols());
}

// The game's model: a stock that takes the player's order every step.
void build_game_model(model_builder& b) {
    b.control(0, 6, 1, 1);
    symbol_id order = b.aux("order", "1");
    b.level("Stock", "order", "0");
    ASSERT_TRUE(b.finish());
    make_game_input(b, order);
}

class Game : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        file_ = testing::TempDir() + "/game_" + std::to_string(counter_++) + ".kdf";
        model_builder b("game");
        build_game_model(b);
        if (HasFatalFailure()) return;
        order_ = slot_of(b, "order");
        stock_ = slot_of(b, "Stock");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
        game_interval = 2;
    }
    void TearDown() override {
        end_game();
        clear_setup();
        close_model(0, 0);
        game_interval = 0;
    }
    // Saved times in the run file (header word 30).
    int saved_in_file() {
        std::ifstream f(file_, std::ios::binary);
        char h[164] = {};
        f.read(h, sizeof h);
        std::int32_t n = 0;
        std::memcpy(&n, h + 120, 4);
        return n;
    }
    message_capture messages;
    std::string file_;
    std::int32_t order_ = 0, stock_ = 0;
    static int counter_;
};
int Game::counter_ = 0;

TEST_F(Game, IntervalsFollowThePlayersDecisions) {
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    sim_options o;
    o.run_file = file_.c_str();
    EXPECT_EQ(start_game(o), sim_done) << messages.joined();
    EXPECT_TRUE(game_in_progress());
    EXPECT_EQ(game_state, 1);
    EXPECT_EQ(saved_in_file(), 3); // 0, 1, 2
    EXPECT_EQ(game_saved_times, 3);
    EXPECT_FLOAT_EQ(value_array[stock_], 2);
    // The player orders 5 a step from time 2 on.
    ASSERT_EQ(set_setup_value(order_, 5), 1);
    EXPECT_EQ(continue_game(), sim_done);
    EXPECT_EQ(saved_in_file(), 5);
    EXPECT_FLOAT_EQ(value_array[stock_], 2 + 2 * 5);
    EXPECT_DOUBLE_EQ(sim_time, 4);
    // The last interval ends the game.
    EXPECT_EQ(continue_game(), sim_done);
    EXPECT_EQ(saved_in_file(), 7);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
    EXPECT_EQ(value_array, nullptr);
    EXPECT_EQ(continue_game(), sim_refused);
}

TEST_F(Game, EndingAGameFreesItsGaugeRows) {
    sim_options o;
    ASSERT_EQ(start_game(o), sim_done);
    game_gauges = new_handle(64);
    game_gauge_count = 2;
    end_game();
    EXPECT_EQ(game_gauges, 0u);
    EXPECT_EQ(game_gauge_count, 0);
    EXPECT_FALSE(game_in_progress());
}

// The end-game command with no shell to end it: the engine's own end frees
// the session, so nothing is left in progress for the next run to find.
TEST_F(Game, TheEndCommandWithoutTheShellEndsTheGameItself) {
    set_end_game_hook(nullptr);
    sim_options o;
    o.run_file = file_.c_str();
    ASSERT_EQ(start_game(o), sim_done) << messages.joined();
    game_gauges = new_handle(64);
    game_gauge_count = 2;
    EXPECT_EQ(sim_control_command(sc_end_game, 0, 0), 1);
    EXPECT_EQ(game_state, 0);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(value_array, nullptr);
    EXPECT_EQ(game_gauges, 0u);
    EXPECT_EQ(continue_game(), sim_refused);
    // Ended once; a second end has nothing to end.
    EXPECT_EQ(sim_control_command(sc_end_game, 0, 0), 0);
    // The three saves of the first interval stay in the run file.
    EXPECT_EQ(saved_in_file(), 3);
}

// The end asked for from the pump while an interval runs (the game-end
// command reaching the program between save points).
int pumps_before_end = 0;
void end_from_pump() {
    if (--pumps_before_end == 0) end_game();
}

TEST_F(Game, AnEndAskedDuringAnIntervalEndsTheGameWhenTheIntervalDoes) {
    sim_options o;
    ASSERT_EQ(start_game(o), sim_done);
    pumps_before_end = 1;
    set_sim_pump_hook(&end_from_pump);
    EXPECT_EQ(continue_game(), sim_done);
    set_sim_pump_hook(nullptr);
    EXPECT_EQ(pumps_before_end, -1); // asked at the first save; the second followed
    EXPECT_EQ(game_saved_times, 5);  // the interval ran to its end (times 0 to 4)
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
    EXPECT_EQ(value_array, nullptr);
}

// A model's GAME INTERVAL sets the interval only when above 0; else SAVEPER
// does (an interval of 0 would never move the game on).
TEST_F(Game, AModelsGameIntervalCountsOnlyAboveZero) {
    game_interval = 0;
    for (const auto& [given, want] : {std::pair<float, double>{0, 2}, {-1, 2}, {3, 3}}) {
        end_game();
        model_builder b("paced");
        b.control(0, 6, 1, 2);
        symbol_id order = b.aux("order", "1");
        b.level("Stock", "order", "0");
        b.constant("GAME INTERVAL", given);
        ASSERT_TRUE(b.finish());
        make_game_input(b, order);
        model_pair m = b.release();
        close_model(m.header, m.symbols);
        sim_options o;
        ASSERT_EQ(start_game(o), sim_done) << given;
        EXPECT_DOUBLE_EQ(read_game_interval(0), want) << given;
    }
}

TEST_F(Game, TheIntervalComesFromTheDialogOrTheModel) {
    game_interval = 0;
    sim_options o;
    EXPECT_EQ(start_game(o), sim_done);
    EXPECT_DOUBLE_EQ(read_game_interval(0), 1); // SAVEPER
    EXPECT_DOUBLE_EQ(sim_time, 1);
    game_interval = 3;
    EXPECT_DOUBLE_EQ(read_game_interval(0), 3);
    EXPECT_EQ(continue_game(), sim_done);
    EXPECT_DOUBLE_EQ(sim_time, 4);
    end_game();
    EXPECT_FALSE(game_in_progress());
}

TEST_F(Game, LaterIntervalsWriteOnIntoTheFileTheGameStartedWith) {
    // The game's model opened as the current model, so that it has a run setup.
    std::string model = testing::TempDir() + "/game_named.kmf";
    {
        model_builder b("game");
        build_game_model(b);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(b.write(model.c_str()), 1);
    }
    ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1) << messages.joined();
    ASSERT_NE(model_rec, nullptr);
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    std::uint8_t old_kind = run_kind;
    run_kind = rk_game;
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "opening");
    run_result first = run_simulation(&model_rec->setup);
    EXPECT_EQ(first.status, sim_done) << messages.joined();
    EXPECT_EQ(first.run_name, "opening");
    EXPECT_EQ(first.run_file, full_path(nullptr, "opening.kdf"));
    EXPECT_TRUE(game_in_progress());
    // A new name in the setup does not move the game to another file.
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "renamed");
    run_result next = run_simulation(&model_rec->setup);
    EXPECT_EQ(next.status, sim_done);
    EXPECT_EQ(next.run_name, "opening");
    EXPECT_EQ(next.run_file, first.run_file);
    EXPECT_FALSE(std::ifstream(full_path(nullptr, "renamed.kdf")).good());
    run_kind = old_kind;
}

TEST_F(Game, MovingBackReplaysTheEarlierDecisionsAndDropsTheLastInterval) {
    // A longer game of the same model: FINAL TIME 10, intervals of 2.
    {
        model_builder b("long game");
        b.control(0, 10, 1, 1);
        symbol_id order = b.aux("order", "1");
        b.level("Stock", "order", "0");
        ASSERT_TRUE(b.finish());
        make_game_input(b, order);
        order_ = slot_of(b, "order");
        stock_ = slot_of(b, "Stock");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    sim_options o;
    o.run_file = file_.c_str();
    ASSERT_EQ(start_game(o), sim_done) << messages.joined();
    // Nothing to go back to yet: the game stays where it is.
    EXPECT_EQ(game_back(), sim_refused);
    EXPECT_TRUE(game_in_progress());
    EXPECT_DOUBLE_EQ(game_time(), 2);
    ASSERT_EQ(set_setup_value(order_, 5), 1);
    ASSERT_EQ(continue_game(), sim_done);
    ASSERT_EQ(set_setup_value(order_, 2), 1);
    ASSERT_EQ(continue_game(), sim_done);
    EXPECT_FLOAT_EQ(value_array[stock_], 2 + 2 * 5 + 2 * 2);
    EXPECT_EQ(saved_in_file(), 7);
    // Back by one interval: time 4, the order-5 interval replayed, the file
    // written again up to there.
    EXPECT_EQ(game_back(), sim_done) << messages.joined();
    EXPECT_TRUE(game_in_progress());
    EXPECT_DOUBLE_EQ(game_time(), 4);
    EXPECT_FLOAT_EQ(value_array[stock_], 2 + 2 * 5);
    EXPECT_EQ(saved_in_file(), 5);
    EXPECT_EQ(game_saved_times, 5);
    // A new decision from there; and back twice reaches the first interval.
    ASSERT_EQ(set_setup_value(order_, 3), 1);
    ASSERT_EQ(continue_game(), sim_done);
    EXPECT_FLOAT_EQ(value_array[stock_], 2 + 2 * 5 + 2 * 3);
    EXPECT_EQ(game_back(), sim_done);
    EXPECT_EQ(game_back(), sim_done);
    EXPECT_DOUBLE_EQ(game_time(), 2);
    EXPECT_FLOAT_EQ(value_array[stock_], 2);
    EXPECT_EQ(saved_in_file(), 3);
    EXPECT_EQ(game_back(), sim_refused);
    // The game goes on to its end from there.
    EXPECT_EQ(continue_game(), sim_done);
    EXPECT_FLOAT_EQ(value_array[stock_], 2 + 2 * 3); // the order in the copy now
    end_game();
    EXPECT_EQ(game_back(), sim_refused);
    EXPECT_DOUBLE_EQ(game_time(), 0);
}

// An interval is a whole number of steps, the nearest: 0.3 at TIME STEP 0.1
// (a quotient a hair under 3 in floating point) runs three steps, to 0.3,
// saving times 0, 0.1, 0.2 and 0.3.
TEST_F(Game, AnIntervalRunsTheNearestWholeNumberOfSteps) {
    {
        model_builder b("fine game");
        b.control(0, 1, 0.1, 0.1);
        symbol_id order = b.aux("order", "1");
        b.level("Stock", "order", "0");
        ASSERT_TRUE(b.finish());
        make_game_input(b, order);
        stock_ = slot_of(b, "Stock");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    game_interval = 0.3;
    sim_options o;
    ASSERT_EQ(start_game(o), sim_done) << messages.joined();
    EXPECT_NEAR(game_time(), 0.3, 1e-6);
    EXPECT_EQ(game_saved_times, 4);
    EXPECT_NEAR(value_array[stock_], 0.3, 1e-6);
    EXPECT_EQ(continue_game(), sim_done);
    EXPECT_NEAR(game_time(), 0.6, 1e-6);
    EXPECT_EQ(game_saved_times, 7);
}

// Between intervals the player may change constants as well as game inputs:
// a rate raised from 1 to 3 after time 2 fills the stock by 3 a step from there.
TEST_F(Game, AConstantChangedBetweenIntervalsTakesEffect) {
    std::int32_t rate = -1;
    {
        model_builder b("priced game");
        b.control(0, 6, 1, 1);
        symbol_id order = b.aux("order", "0");
        b.constant("rate", 1);
        b.level("Stock", "order + rate", "0");
        ASSERT_TRUE(b.finish());
        make_game_input(b, order);
        stock_ = slot_of(b, "Stock");
        rate = slot_of(b, "rate");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    sim_options o;
    ASSERT_EQ(start_game(o), sim_done) << messages.joined();
    EXPECT_FLOAT_EQ(value_array[stock_], 2);
    ASSERT_EQ(set_setup_value(rate, 3), 1);
    EXPECT_EQ(continue_game(), sim_done);
    EXPECT_FLOAT_EQ(value_array[rate], 3);
    EXPECT_FLOAT_EQ(value_array[stock_], 2 + 2 * 3);
}

} // namespace
