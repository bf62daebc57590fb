// Shared set-up of the text tools' core tests: a built model made the current
// one (with a model context), messages captured from a temporary stream, and
// the report kept in memory.
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

class ToolsTest : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        register_text_writers();
        reset_report_counts();
        workbench_var = {};
        text_report(512, 0, 0, report_none, 0, 0);
    }
    void TearDown() override {
        if (model_lock_flag != -1) unlock_model(model_lock_flag);
        close_model(0, 0);
        text_report(0, 0, 0, report_none, 0, 0);
        clear_cause_element_list();
        workbench_var = {};
        for (int& f : tree_kind_flags) f = 1;
        cause_opts[0] = cause_opts[1] = 1;
        free_scratch();
    }

    // Makes the builder's model the current one, with a model context.
    void make_current(model_builder& b) {
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors().front());
        model_pair m = b.release();
        ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
        close_model(m.header, m.symbols);
    }

    // The report's lines so far, each ended by a line feed.
    static std::string report_text() { return join_report_lines(1); }

    // The messages logged so far.
    std::string messages() { return log_.text(); }

    report_log log_;
};
