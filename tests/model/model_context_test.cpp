// A model's context as it starts, before any run or saved setting: the time
// range 0 to 100 marked as made up, the special time at its end, no runs, no
// window placement, and the diagram at full size.
#include <gtest/gtest.h>

#include "foundation/memory.h"
#include "model/context.h"

namespace {

TEST(ModelContext, ANewContextStartsWithTheDefaults) {
    handle h = new_model_context();
    ASSERT_NE(h, 0u);
    {
        handle_lock<model_context> c(h);
        EXPECT_EQ(c->start, 0);
        EXPECT_EQ(c->end, 100);
        EXPECT_EQ(c->full_start, 0);
        EXPECT_EQ(c->full_end, 100);
        EXPECT_EQ(c->full_step, 1);
        EXPECT_EQ(c->made_up_range, 1);
        // The special time stands at the end until the user moves it.
        EXPECT_EQ(c->special, c->end);
        EXPECT_EQ(c->state, 2);
        EXPECT_EQ(c->run_count, 0);
        for (const auto& r : c->runs) EXPECT_EQ(r.run, -1);
        for (int w : c->window) EXPECT_EQ(w, -1);
        // 100 percent: a model without a saved zoom shows its diagram full size.
        EXPECT_EQ(c->sketch_zoom, 100);
    }
    free_model_context(h);
}

} // namespace
