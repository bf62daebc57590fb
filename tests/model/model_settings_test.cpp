// The settings stored in a model: what each settings line gives the open
// model, and that saving the settings and reading them back keeps them.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using model_fixture::fresh_dir;

struct graph_call {
    std::string text;
    int from_text;
};
std::vector<graph_call> graph_calls;

int record_graph_set(const char* text_or_name, int from_text) {
    graph_calls.push_back({text_or_name ? text_or_name : "", from_text});
    return 3;
}

std::string handle_string(handle h) {
    if (!h) return {};
    handle_lock<char> b(h);
    return std::string(b.get(), strnlen(b.get(), handle_size(h)));
}

std::string file_text(const std::string& path) {
    auto bytes = model_fixture::file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class ModelSettings : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        reset_report_counts();
        previous_hook_ = modelfile_format::current_graph_set_hook();
        set_graph_set_hook(nullptr);
        graph_calls.clear();
    }
    void TearDown() override {
        close_model(0, 0);
        set_graph_set_hook(previous_hook_);
    }
    // Opens a model holding the settings text as the current model.
    void open_with(const char* settings) {
        model_builder b("settings");
        b.constant("rate", 1);
        b.settings_text(settings);
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols);
        ASSERT_NE(model_rec, nullptr);
    }
    graph_set_hook_fn previous_hook_ = nullptr;
};

const char* full_settings = ":FLAGS 5 1\n"
                            ":NOTE first line\n"
                            ":NOTE second\n"
                            ":REF pop=pop.xls\n"
                            ":REF cost=c.csv\n"
                            ":TIME 1.5 12.25 3\n"
                            ":SKETCH 200 2\n"
                            ":RUN base\n"
                            ":TIMEBASE months\n"
                            ":DATA a.vdf\n"
                            ":GRAPHS g.kgs\n";

TEST_F(ModelSettings, EachLineGivesItsSetting) {
    set_graph_set_hook(record_graph_set);
    open_with(full_settings);
    EXPECT_EQ(model_rec->start, 1.5);
    EXPECT_EQ(model_rec->end, 12.25);
    EXPECT_EQ(model_rec->special, 3);
    EXPECT_EQ(model_rec->sketch_zoom, 200);
    EXPECT_EQ(model_rec->sketch_view, 2);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "base");
    EXPECT_STREQ(ctx_text(model_rec, model_rec->time_base_name), "months");
    EXPECT_STREQ(ctx_text(model_rec, model_rec->data_list), "a.vdf");
    // No graph set in the text: the named file is loaded.
    ASSERT_EQ(graph_calls.size(), 1u);
    EXPECT_EQ(graph_calls[0].text, "g.kgs");
    EXPECT_EQ(graph_calls[0].from_text, 0);
    EXPECT_EQ(model_rec->graph_set, 3);

    model_settings* ms = lock_model_settings(cur_model_symbols);
    EXPECT_EQ(ms->flags, 5);
    EXPECT_EQ(ms->flags2, 1);
    EXPECT_EQ(handle_string(ms->notes), "first line\nsecond\n");
    EXPECT_EQ(handle_string(ms->refs), "pop=pop.xls\ncost=c.csv\n");
    EXPECT_EQ(ms->refs_length, 23u); // 12 + 11 bytes with their line ends
    EXPECT_STREQ(ms->graph_set_file, "g.kgs");
    unlock_model_settings(cur_model_symbols);
}

// A time line missing a value is ignored rather than half applied.
TEST_F(ModelSettings, ShortTimeAndSketchLinesKeepTheDefaults) {
    open_with(":TIME 5 9\n:SKETCH 300\n");
    EXPECT_EQ(model_rec->start, 0);
    EXPECT_EQ(model_rec->end, 100);
    EXPECT_EQ(model_rec->sketch_view, 0);
}

TEST_F(ModelSettings, SavedSettingsReadBackTheSame) {
    open_with(full_settings);
    model_rec->start = 1234.5678;
    model_rec->end = 98765.4321;
    model_rec->special = 0.000123456;
    model_rec->sketch_zoom = 75;
    model_rec->sketch_view = 4;
    std::string dir = fresh_dir("settings");
    std::string path = dir + "/saved.txt";
    ASSERT_EQ(write_model_settings(0, cur_model_symbols, 0, path.c_str()), 1);
    std::string text = file_text(path);
    EXPECT_NE(text.find(":FLAGS 5 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find(":NOTE first line\n:NOTE second\n"), std::string::npos) << text;
    EXPECT_NE(text.find(":REF pop=pop.xls\n:REF cost=c.csv\n"), std::string::npos) << text;
    EXPECT_NE(text.find(":SKETCH 75 4\n"), std::string::npos) << text;
    EXPECT_NE(text.find(":GRAPHS g.kgs\n"), std::string::npos) << text;
    EXPECT_NE(text.find(":RUN base\n"), std::string::npos) << text;
    EXPECT_NE(text.find(":TIMEBASE months\n"), std::string::npos) << text;

    // Mode 0 stored the same text in the model: reading it gives the values back.
    model_rec->start = model_rec->end = model_rec->special = -1;
    model_rec->sketch_zoom = model_rec->sketch_view = 0;
    handle ctx = read_model_settings(0, cur_model_symbols);
    model_context* c = static_cast<model_context*>(lock_handle(ctx));
    EXPECT_DOUBLE_EQ(c->start, 1234.5678);
    EXPECT_DOUBLE_EQ(c->end, 98765.4321);
    EXPECT_DOUBLE_EQ(c->special, 0.000123456);
    EXPECT_EQ(c->sketch_zoom, 75);
    EXPECT_EQ(c->sketch_view, 4);
    EXPECT_STREQ(ctx_text(c, c->time_base_name), "months");
    EXPECT_STREQ(ctx_text(c, c->data_list), "a.vdf");
    unlock_handle(ctx);
    model_settings* ms = lock_model_settings(cur_model_symbols);
    EXPECT_EQ(handle_string(ms->notes), "first line\nsecond\n");
    EXPECT_EQ(handle_string(ms->refs), "pop=pop.xls\ncost=c.csv\n");
    EXPECT_EQ(ms->flags2, 1);
    unlock_model_settings(cur_model_symbols);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

// A graph set kept in the settings text wins over a named file, is handed
// over as text, and is kept when the settings are saved again.
TEST_F(ModelSettings, EmbeddedGraphSetIsUsedAndKept) {
    set_graph_set_hook(record_graph_set);
    std::string settings = std::string(":GRAPHS other.kgs\n:RUN one\n") + graph_set_marker +
                           "\n:GRAPH pop\n:TITLE Population\n";
    open_with(settings.c_str());
    ASSERT_EQ(graph_calls.size(), 1u);
    EXPECT_EQ(graph_calls[0].from_text, 1);
    EXPECT_EQ(graph_calls[0].text.rfind(graph_set_marker, 0), 0u) << graph_calls[0].text;
    EXPECT_NE(graph_calls[0].text.find(":TITLE Population"), std::string::npos);
    // The lines after the marker are not settings.
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "one");

    ASSERT_EQ(write_model_settings(0, cur_model_symbols, 0, nullptr), 1);
    std::string kept = embedded_graph_set_text(cur_model_symbols);
    EXPECT_EQ(kept.rfind(graph_set_marker, 0), 0u) << kept;
    EXPECT_NE(kept.find(":GRAPH pop\n:TITLE Population"), std::string::npos) << kept;
    graph_calls.clear();
    read_model_settings(0, cur_model_symbols);
    ASSERT_EQ(graph_calls.size(), 1u);
    EXPECT_EQ(graph_calls[0].from_text, 1);
}

// A model without settings opens with the defaults and no graph set.
TEST_F(ModelSettings, NoSettingsGiveTheDefaults) {
    set_graph_set_hook(record_graph_set);
    open_with("");
    EXPECT_TRUE(graph_calls.empty());
    EXPECT_EQ(model_rec->graph_set, 0);
    EXPECT_EQ(model_rec->start, 0);
    EXPECT_EQ(model_rec->end, 100);
    model_settings* ms = lock_model_settings(cur_model_symbols);
    EXPECT_EQ(ms->notes, 0u);
    EXPECT_EQ(ms->refs, 0u);
    EXPECT_EQ(ms->flags, 0);
    unlock_model_settings(cur_model_symbols);
}

} // namespace
