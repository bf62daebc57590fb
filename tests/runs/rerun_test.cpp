// A run file written anew under the same name: no loaded record of the old
// file answers for the new one, whether the engine replaced it (and said so)
// or something else put another file there.
#include "model/modelfile.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "runs_fixture.h"
#include "sim/run.h"

namespace {

class rerun_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        model_dir = dir_;
    }
    void TearDown() override {
        reset_value_cache(-1, 2, 1);
        close_model(0, 0);
        model_dir.clear();
        runs_test::TearDown();
    }
    // Opens a model whose Stock starts at start and grows by growth a step.
    void open_model_named(const std::string& name, float start, float growth,
                          bool extra_first = false) {
        close_model(0, 0);
        model_builder b(name.c_str());
        b.control(0, 4, 1, 1);
        // Another variable first moves every value slot.
        if (extra_first) b.level("Extra", "growth", "1");
        b.level("Stock", "growth", std::to_string(start).c_str());
        b.constant("growth", growth);
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path(name + ".kmf").c_str());
        ASSERT_NE(model_rec, nullptr);
        reset_value_cache(-1, 1, 1);
    }
    // Simulates the open model into Current and selects that run as the
    // shell does after a run.
    void simulate_and_select() {
        sim_options o;
        std::string p = path("Current.kdf");
        o.run_file = p.c_str();
        o.run_name = "Current";
        ASSERT_EQ(simulate_model(cur_model_symbols, o, nullptr), sim_done);
        captured().clear();
        ASSERT_EQ(load_runs(model_rec, 0, "Current", 0, 0), 1);
        reset_value_cache(-1, 1, 1);
    }
    // The origin line shown when the run was loaded.
    static std::string shown_origin() {
        const auto& m = captured();
        for (std::size_t k = 0; k + 1 < m.size(); ++k)
            if (m[k].text.find("Origin is") != std::string::npos) return m[k + 1].text;
        return {};
    }
    static int slot(const char* name) {
        return get_symbol(cur_model_symbols, find_symbol_in(cur_model_symbols, name)).slot;
    }
};

TEST_F(rerun_test, each_model_simulated_into_current_reads_back_as_itself) {
    struct step {
        const char* model;
        float start, growth;
        bool extra_first;
    };
    for (const step& s : {step{"alpha", 10, 1, false}, step{"beta", 100, 5, true},
                          step{"gamma", -3, 0.5f, false}}) {
        SCOPED_TRACE(s.model);
        open_model_named(s.model, s.start, s.growth, s.extra_first);
        simulate_and_select();
        EXPECT_EQ(shown_origin().rfind(std::string(s.model) + ".kmf ", 0), 0u) << shown_origin();

        // Through the accessors, by the run's name.
        int run = kdf_open(path("Current").c_str());
        ASSERT_GE(run, 0);
        EXPECT_EQ(run, model_rec->runs[0].run);
        std::vector<float> v, t;
        ASSERT_EQ(read_run_series("Stock", "Time", run, v, t), 5);
        EXPECT_EQ(v[0], s.start);
        EXPECT_EQ(v[4], s.start + 4 * s.growth);

        // Through the value cache, by the open model's slot.
        const float *times = nullptr, *values = nullptr;
        ASSERT_EQ(cached_series(slot("Stock"), &times, &values, 0), 5);
        EXPECT_EQ(values[0], s.start);
        EXPECT_EQ(values[4], s.start + 4 * s.growth);
        float g = 0;
        ASSERT_EQ(run_constant_value("growth", run, &g), 1);
        EXPECT_EQ(g, s.growth);
    }
}

TEST_F(rerun_test, a_file_put_over_a_loaded_run_is_read_afresh) {
    model_builder mb;
    build_test_model(mb);
    run_builder first(mb.symbols());
    first.times(ramp(11, 0, 1)).series("Stock", ramp(11, 10, 1));
    std::string p = write_run("Base.kdf", first);
    int a = kdf_open(p.c_str());
    ASSERT_GE(a, 0);

    // The same name written through the file layer (a new file renamed over
    // the old one), with nobody telling the loaded-run table.
    run_builder second(mb.symbols());
    second.times(ramp(11, 0, 1)).series("Stock", ramp(11, 50, 2));
    write_run("Base.kdf", second);
    EXPECT_EQ(find_run(p.c_str()), -1);
    int b = kdf_open(p.c_str());
    ASSERT_GE(b, 0);
    EXPECT_NE(b, a);
    std::vector<float> v, t;
    ASSERT_EQ(read_run_series("Stock", "Time", b, v, t), 11);
    EXPECT_EQ(v[0], 50);
    EXPECT_EQ(v[10], 70);
    EXPECT_EQ(find_run(p.c_str()), b);
    // Opened again unchanged, it is the same record.
    EXPECT_EQ(kdf_open(p.c_str()), b);
}

} // namespace
