// What the stacked graphs read of a variable in a run: a series as saved, a
// constant as a flat line from the axis's first time to its last.
#include "foundation/memory.h"
#include "graphs/linegraph.h"
#include "graphs/varlist.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/rundrv.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class SeriesOrConstant : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        install_run_driver();
        ask_dataset_overwrite = false;
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "base");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        ASSERT_GE(loaded_run_names(1), 1);
        run_ = model_rec->runs[0].run;
    }
    void TearDown() override {
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    int run_ = -1;
};

TEST_F(SeriesOrConstant, AConstantIsAFlatLineAcrossTheAxis) {
    std::vector<float> values, times;
    ASSERT_EQ(read_series_or_constant("birth rate", nullptr, run_, 10, 60, values, times), 2);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_FLOAT_EQ(times[0], 10);
    EXPECT_FLOAT_EQ(times[1], 60);
    EXPECT_FLOAT_EQ(values[0], values[1]);
    // A series comes as saved, a point per saved time.
    const int n = read_series_or_constant("Population", nullptr, run_, 10, 60, values, times);
    ASSERT_GT(n, 2);
    EXPECT_EQ(times.size(), values.size());
    EXPECT_FLOAT_EQ(values[0], 1000); // the initial population
    // A name the run does not hold: nothing.
    EXPECT_EQ(read_series_or_constant("no such thing", nullptr, run_, 10, 60, values, times), 0);
    EXPECT_TRUE(times.empty());
}

// A line graph of a constant draws it flat from the run's first saved time
// to its last, at its value.
TEST_F(SeriesOrConstant, ALineGraphDrawsAConstantAcrossTheWholeRun) {
    handle h = new_line_graph_record();
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    graph_series s;
    s.name = "birth rate";
    s.label = "birth rate";
    s.run = run_;
    g->series.push_back(s);
    EXPECT_EQ(gather_graph_series(*g, true), 1);
    const graph_series& got = g->series[0];
    ASSERT_EQ(got.times.size(), 2u);
    ASSERT_EQ(got.values.size(), 2u);
    EXPECT_FLOAT_EQ(got.times[0], static_cast<float>(model_rec->start));
    EXPECT_FLOAT_EQ(got.times[1], static_cast<float>(model_rec->end));
    EXPECT_FLOAT_EQ(got.values[0], got.values[1]);
    EXPECT_GT(got.values[0], 0);
    // Drawn from the plot's left edge to its right.
    ASSERT_EQ(got.xs.size(), 2u);
    EXPECT_EQ(got.xs[0], 0);
    EXPECT_EQ(got.xs[1], 10000);
    auto* o = static_cast<output_record*>(lock_handle(h));
    void (*release)(handle) = o->release;
    unlock_handle(h);
    release(h);
    free_output_record(h);
}

} // namespace
