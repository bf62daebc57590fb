// Shared set-up of the equation-text, tree, units, names and time-base tests:
// a built model made the current one (with a model context), messages sunk
// into a temporary stream, and a report captured in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/trees.h"
#include "model/varnames.h"
#include "tests/common/report_log.h"
#include "tests/support/model_builder.h"

class TextTest : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        register_text_writers();
        reset_report_counts();
        workbench_var = {};
    }
    void TearDown() override {
        if (model_lock_flag != -1) unlock_model(model_lock_flag);
        close_model(0, 0);
        text_report(0, 0, 0, report_none, 0, 0);
        clear_cause_element_list();
        workbench_var = {};
        for (int& f : tree_kind_flags) f = 1;
        cause_opts[0] = cause_opts[1] = 1;
    }

    // Makes the builder's model the current one, with a model context.
    void make_current(model_builder& b, bool context = true) {
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors().front());
        model_pair m = b.release();
        if (context) {
            ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
        }
        close_model(m.header, m.symbols);
    }

    // Starts a report kept in memory (wrap 0: none), or one that collects names.
    static void begin_report(int wrap = 0, bool collect = false) {
        text_report(512, wrap, 0, collect ? report_collect : report_none, 0, 0);
        doc_clear_collected();
    }
    static std::string report_text() { return join_report_lines(1); }

    // The messages written so far.
    std::string messages() { return log_.text(); }

    report_log log_;
};
