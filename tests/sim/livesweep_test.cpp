// Livesweep re-runs: the save steps reach the cache's hook, a request while a
// re-run is busy stops it and runs again from the 100 ms timer, and the
// requesting window hears message 1089.
#include <cmath>
#include <vector>

#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

struct record {
    std::vector<std::pair<int, int>> timers;         // id, ms
    std::vector<std::pair<std::uint32_t, int>> sent; // window, message
    int saves = 0;
    std::vector<float> first_values, last_values;
    int refreshes = 0;
    bool interrupt = false; // ask for another re-run from the first save step
};
record rec;

void timer(int id, int ms) {
    rec.timers.push_back({id, ms});
}
void send(std::uint32_t w, int m) {
    rec.sent.push_back({w, m});
}
void save_step(const float* values, std::uint32_t slots, int) {
    if (rec.saves++ == 0) rec.first_values.assign(values, values + slots);
    rec.last_values.assign(values, values + slots);
}
void pump() {
    if (rec.interrupt) {
        rec.interrupt = false;
        EXPECT_EQ(livesweep_rerun(8, 0, 0), 1);
    }
}
void refresh(int) {
    ++rec.refreshes;
}

class Livesweep : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        rec = record{};
        set_livesweep_timer_hook(&timer);
        set_window_message_hook(&send);
        set_livesweep_save_hook(&save_step);
        set_livesweep_refresh_hook(&refresh);
        set_sim_pump_hook(&pump);
        model_builder b("sweep");
        b.control(0, 10, 1, 1);
        b.constant("growth", 0.1f);
        b.constant("start", 100);
        b.level("Stock", "growth * Stock", "start");
        ASSERT_TRUE(b.finish());
        growth_ = slot_of(b, "growth");
        start_ = slot_of(b, "start");
        stock_ = slot_of(b, "Stock");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    void TearDown() override {
        leave_livesweep();
        set_livesweep_timer_hook(nullptr);
        set_window_message_hook(nullptr);
        set_livesweep_save_hook(nullptr);
        set_livesweep_refresh_hook(nullptr);
        set_sim_pump_hook(nullptr);
        clear_setup();
        close_model(0, 0);
        sim_phase = phase_idle;
        stop_request = 0;
        report_livesweep_on = false;
    }
    message_capture messages;
    std::int32_t growth_ = 0, start_ = 0, stock_ = 0;
};

TEST_F(Livesweep, ASliderChangeReRunsWithTheNewValue) {
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 0); // not in Livesweep
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    EXPECT_EQ(livesweep_state, 2);
    EXPECT_EQ(sim_phase, phase_livesweep_ready);
    ASSERT_EQ(set_setup_value(growth_, 0.2f), 1);
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_EQ(rec.saves, 11); // every save step, the initial one too
    ASSERT_FALSE(rec.last_values.empty());
    ASSERT_FALSE(rec.first_values.empty());
    EXPECT_FLOAT_EQ(rec.first_values[static_cast<std::size_t>(stock_)], 100);
    EXPECT_FLOAT_EQ(rec.first_values[static_cast<std::size_t>(growth_)], 0.2f);
    EXPECT_NEAR(rec.last_values[static_cast<std::size_t>(stock_)], 100 * std::pow(1.2, 10), 1e-2);
    EXPECT_EQ(rec.sent, (std::vector<std::pair<std::uint32_t, int>>{{5, livesweep_done_message}}));
    EXPECT_EQ(rec.refreshes, 2);
    EXPECT_EQ(sim_phase, phase_livesweep_ready);
    EXPECT_EQ(value_array, nullptr);
}

// A slider on an initial value changes the re-run from its first point: the
// cache is handed the initial save as well, or the shown run would keep the
// old starting value there.
TEST_F(Livesweep, AnInitialValueSliderChangesTheFirstPoint) {
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    ASSERT_EQ(set_setup_value(start_, 40), 1);
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    ASSERT_EQ(rec.saves, 11);
    EXPECT_FLOAT_EQ(rec.first_values[static_cast<std::size_t>(stock_)], 40);
    EXPECT_NEAR(rec.last_values[static_cast<std::size_t>(stock_)], 40 * std::pow(1.1, 10), 1e-2);
}

TEST_F(Livesweep, ARequestWhileBusyStopsTheRunAndComesBackByTheTimer) {
    ASSERT_EQ(enter_livesweep(1), 1);
    rec.interrupt = true;
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    // The request came with the initial save; the run stops at the next one.
    EXPECT_EQ(rec.saves, 2);
    EXPECT_EQ(rec.timers,
              (std::vector<std::pair<int, int>>{{livesweep_timer_id, livesweep_timer_ms}}));
    EXPECT_EQ(rec.sent.size(), 1u); // the stopped run still answers its window
    // The timer fires: the deferred request runs whole and answers its window.
    rec.saves = 0;
    EXPECT_EQ(inline_again_proc(0, wm_timer_message, livesweep_timer_id, 0), 0);
    EXPECT_EQ(rec.saves, 11);
    ASSERT_EQ(rec.sent.size(), 2u);
    EXPECT_EQ(rec.sent[1], (std::pair<std::uint32_t, int>{8, livesweep_done_message}));
    EXPECT_EQ(rec.timers.back(), (std::pair<int, int>{livesweep_timer_id, 0}));
    // Another timer message with nothing pending does nothing.
    rec.saves = 0;
    inline_again_proc(0, wm_timer_message, livesweep_timer_id, 0);
    EXPECT_EQ(rec.saves, 0);
}

TEST_F(Livesweep, TheControlCommandLeavesLivesweep) {
    ASSERT_EQ(enter_livesweep(1), 1);
    EXPECT_TRUE(report_livesweep_on);
    EXPECT_EQ(sim_control_command(sc_livesweep, 0, 0), 1);
    EXPECT_EQ(livesweep_state, 0);
    EXPECT_FALSE(report_livesweep_on);
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 0);
}

} // namespace
