// Livesweep re-runs: the save steps reach the cache's hook, a request while a
// re-run is busy stops it and runs again from the 100 ms timer, and the
// requesting window hears message 1089.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/files.h"
#include "foundation/paths.h"
#include "model/modelfile.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "sim/control.h"
#include "sim/interp.h"
#include "sim/livesweep.h"
#include "sim/native/native.h"
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
    int native_passes = -1; // the run's passes on native code, at the first save
};
record rec;

void timer(int id, int ms) {
    rec.timers.push_back({id, ms});
}
void send(std::uint32_t w, int m) {
    rec.sent.push_back({w, m});
}
void save_step(const float* values, std::uint32_t slots, int) {
    if (rec.saves++ == 0) {
        rec.first_values.assign(values, values + slots);
        rec.native_passes = static_cast<int>(native_pass_count());
    }
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
    EXPECT_EQ(livesweep_state, ls_on);
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

// The passes built for the set-up copies' initial run are kept for the
// re-runs, so the code their compile started with is what the first re-run
// runs; a constant changed between re-runs keeps them, and every re-run gives
// the interpreter's values to the bit.
TEST_F(Livesweep, ReRunsKeepThePassesAndTheirCodeFromTheSetUpOn) {
    if (!native_available()) GTEST_SKIP() << "this build has no native tier";
    close_model(0, 0);
    model_builder b("chain");
    b.control(0, 20, 0.5f, 1);
    b.constant("growth", 0.01f);
    std::string prev = "Stock";
    for (int i = 0; i < 12; ++i) {
        const std::string n = "a" + std::to_string(i);
        b.aux(n.c_str(), (prev + " * 0.5 + growth * " + std::to_string(i + 1)).c_str());
        prev = n;
    }
    for (int i = 0; i < 3; ++i) // rates enough for a compile of their own
        b.level(i ? ("Stock" + std::to_string(i)).c_str() : "Stock",
                ("growth * Stock - Stock * 0.001 * " + std::to_string(i + 1) + " + " + prev +
                 " * 0.001")
                    .c_str(),
                "100");
    ASSERT_TRUE(b.finish());
    const std::int32_t growth = slot_of(b, "growth");
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    release_run_storage(); // nothing kept from another test's model
    const int mode = native_mode();
    set_native_mode(nm_auto);
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    native_wait_idle();
    for (float g : {0.02f, 0.03f}) {
        ASSERT_EQ(set_setup_value(growth, g), 1);
        rec.saves = 0;
        EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
        EXPECT_EQ(rec.native_passes, 2) << "growth " << g;
        const std::vector<float> native = rec.last_values;
        set_flat_passes(false);
        rec.saves = 0;
        EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
        set_flat_passes(true);
        EXPECT_EQ(rec.native_passes, 0);
        ASSERT_EQ(rec.saves, 21);
        EXPECT_EQ(native, rec.last_values) << "growth " << g;
        EXPECT_FLOAT_EQ(rec.last_values[static_cast<std::size_t>(growth)], g);
    }
    set_native_mode(mode);
}

// Livesweep sets the override tables up for as long as it lasts; while they
// hold no slot the re-run is the one without them, and a held level still
// keeps the value its override supplies.
TEST_F(Livesweep, OverrideTablesHoldingNothingLeaveTheReRunAsItWas) {
    ASSERT_EQ(enter_livesweep(1), 1);
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    const std::vector<float> plain = rec.last_values;
    ASSERT_FALSE(plain.empty());
    std::vector<std::uint8_t> held(plain.size(), 0);
    override_flags = 2;
    override_held = held.data();
    static int hook_calls;
    hook_calls = 0;
    set_override_hook([](int mode) {
        ++hook_calls;
        if (mode == 1 && override_held[1] == 2) value_array[1] = 50;
    });
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_EQ(rec.last_values, plain);
    EXPECT_EQ(hook_calls, 11); // the hook is still asked after every step
    ASSERT_EQ(stock_, 1);      // the only level
    held[1] = 2;
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_FLOAT_EQ(rec.last_values[1], 50);
    set_override_hook(nullptr);
    override_flags = 0;
    override_held = nullptr;
}

// While Livesweep is on its re-runs wait for the passes' code, so the
// compiles take more of the processor; leaving gives it back.
TEST_F(Livesweep, TheControlCommandLeavesLivesweep) {
    EXPECT_FALSE(native_live());
    ASSERT_EQ(enter_livesweep(1), 1);
    EXPECT_TRUE(report_livesweep_on);
    EXPECT_TRUE(native_live());
    EXPECT_EQ(sim_control_command(sc_livesweep, 0, 0), 1);
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_FALSE(report_livesweep_on);
    EXPECT_FALSE(native_live());
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 0);
}

// Leaving Livesweep from its ready state goes back to Simulation Setup; a
// model that cannot be run never leaves Livesweep half entered; re-runs after
// another model opened run that model.
TEST_F(Livesweep, LeavingEnteringABrokenModelAndAnotherModel) {
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    ASSERT_EQ(sim_phase, phase_livesweep_ready);
    leave_livesweep();
    EXPECT_EQ(sim_phase, phase_setup);
    EXPECT_EQ(livesweep_state, ls_off);

    clear_setup();
    close_model(0, 0);
    model_builder bad("broken");
    add_symbol(bad.symbols(), "undefined thing", st_aux);
    bad.aux("y", "undefined thing");
    ASSERT_TRUE(bad.finish());
    model_pair mb = bad.release();
    close_model(mb.header, mb.symbols);
    EXPECT_EQ(enter_livesweep(1), 0);
    EXPECT_EQ(livesweep_state, ls_off);

    clear_setup();
    close_model(0, 0);
    model_builder other("other");
    other.control(0, 4, 1, 1);
    other.constant("level", 7);
    other.aux("twice", "level * 2");
    ASSERT_TRUE(other.finish());
    const std::int32_t twice = slot_of(other, "twice");
    model_pair mo = other.release();
    close_model(mo.header, mo.symbols);
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    rec = record{};
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_EQ(rec.saves, 5);
    ASSERT_GT(rec.last_values.size(), static_cast<std::size_t>(twice));
    EXPECT_FLOAT_EQ(rec.last_values[static_cast<std::size_t>(twice)], 14);

    // Another model opened while Livesweep is on: its re-run runs it.
    clear_setup();
    model_builder third("third");
    third.control(0, 2, 1, 1);
    third.constant("level", 9);
    third.constant("unused", 1);
    third.aux("twice", "level * 2");
    ASSERT_TRUE(third.finish());
    const std::int32_t twice3 = slot_of(third, "twice");
    model_pair m3 = third.release();
    close_model(m3.header, m3.symbols);
    ASSERT_EQ(ensure_setup_copy(0), 1);
    rec = record{};
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_EQ(rec.saves, 3);
    ASSERT_GT(rec.last_values.size(), static_cast<std::size_t>(twice3));
    EXPECT_FLOAT_EQ(rec.last_values[static_cast<std::size_t>(twice3)], 18);
}

// Reset All in Livesweep puts every slider back and runs again at once: the
// shown run is the model's own values, not the last slider's.
TEST_F(Livesweep, ResetAllReRunsWithTheModelsOwnValues) {
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    ASSERT_EQ(set_setup_value(growth_, 0.2f), 1);
    ASSERT_EQ(livesweep_rerun(5, 0, 0), 1);
    ASSERT_FALSE(rec.last_values.empty());
    EXPECT_NEAR(rec.last_values[static_cast<std::size_t>(stock_)], 100 * std::pow(1.2, 10), 1e-2);
    rec.saves = 0;
    rec.last_values.clear();
    EXPECT_EQ(sim_control_command(sc_reset_all, 0, 0), 1);
    EXPECT_EQ(livesweep_state, ls_on);
    EXPECT_EQ(rec.saves, 11);
    ASSERT_FALSE(rec.last_values.empty());
    EXPECT_FLOAT_EQ(rec.last_values[static_cast<std::size_t>(growth_)], 0.1f);
    EXPECT_NEAR(rec.last_values[static_cast<std::size_t>(stock_)], 100 * std::pow(1.1, 10), 1e-2);
}

// A re-run is written to disk as the current run only when the model's
// settings ask for it; otherwise the shown values live in the cache alone.
TEST_F(Livesweep, ReRunsAreWrittenToDiskOnlyWhenTheModelAsks) {
    const std::string dir = testing::TempDir() + "/livesweep_disk_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    struct dir_back {
        std::string old = model_dir;
        ~dir_back() { model_dir = old; }
    } back;
    model_dir = dir + "/";
    const std::string current = dir + "/Current.kdf";
    std::remove(current.c_str());
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    ASSERT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_EQ(file_status(current.c_str(), 1), 0);
    model_settings* ms = lock_model_settings(cur_model_symbols);
    ASSERT_NE(ms, nullptr);
    ms->flags2 |= msf2_disk_livesweep;
    unlock_model_settings(cur_model_symbols);
    ASSERT_EQ(set_setup_value(growth_, 0.2f), 1);
    ASSERT_EQ(livesweep_rerun(5, 0, 0), 1);
    EXPECT_EQ(file_status(current.c_str(), 1), 1);
    const int run = kdf_open(current.c_str());
    ASSERT_GE(run, 0) << messages.joined();
    std::vector<float> values, times;
    ASSERT_EQ(read_run_series("Stock", "Time", run, values, times), 11);
    EXPECT_NEAR(values[10], 100 * std::pow(1.2, 10), 1e-2);
    unload_runs(1);
    std::remove(current.c_str());
}

// Saving the run shown in Livesweep writes an ordinary run of the slider
// values into the file named: the shown run's cache is not fed by it, and
// it is refused outside Livesweep or without a file name.
TEST_F(Livesweep, TheShownValuesAreSavedAsARunFile) {
    const std::string path = testing::TempDir() + "/livesweep_saved.kdf";
    std::remove(path.c_str());
    EXPECT_EQ(livesweep_write_run(path.c_str(), "Swept"), sim_refused); // not in Livesweep
    ASSERT_EQ(enter_livesweep(1), 1) << messages.joined();
    EXPECT_EQ(livesweep_write_run("", "Swept"), sim_refused);
    ASSERT_EQ(set_setup_value(growth_, 0.2f), 1);
    const std::uint8_t kind = run_kind;
    EXPECT_EQ(livesweep_write_run(path.c_str(), "Swept"), sim_done) << messages.joined();
    EXPECT_EQ(run_kind, kind);
    EXPECT_FALSE(livesweep_busy());
    EXPECT_EQ(rec.saves, 0);
    const int run = kdf_open(path.c_str());
    ASSERT_GE(run, 0) << messages.joined();
    std::vector<float> values, times;
    ASSERT_EQ(read_run_series("Stock", "Time", run, values, times), 11);
    EXPECT_FLOAT_EQ(values[0], 100);
    EXPECT_NEAR(values[10], 100 * std::pow(1.2, 10), 1e-2); // the slider's growth
    float growth = 0;
    ASSERT_EQ(run_constant_value("growth", run, &growth), 1);
    EXPECT_FLOAT_EQ(growth, 0.2f);
    unload_runs(1);
    std::remove(path.c_str());
}

} // namespace
