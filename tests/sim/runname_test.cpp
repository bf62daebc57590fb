// Run names and their run files: checking a name, the file's path and the
// overwrite question.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "sim/runname.h"
#include "tests/common/message_log.h"

namespace fs = std::filesystem;

namespace {

using namespace message_log;

class RunNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("kvrunname" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        model_dir = dir_.string();
        messages.clear();
        next_answer = 7;
        set_message_hook(test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        model_dir.clear();
        ask_dataset_overwrite = true;
        std::error_code ec;
        fs::remove_all(dir_, ec);
        free_scratch();
    }
    std::string at(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(RunNameTest, NamesAreTrimmedCheckedAndAskedAboutOverwriting) {
    char name[] = "  base.kdf ";
    char* slot = name;
    EXPECT_EQ(check_dataset_name(&slot, 0), 1);
    EXPECT_STREQ(slot, "base");
    EXPECT_EQ(std::string(dataset_path(slot)), at("base.kdf"));

    std::ofstream(at("base.kdf"), std::ios::binary) << "run";
    messages.clear();
    next_answer = 7;
    EXPECT_EQ(check_dataset_name(&slot, 0), -1);
    EXPECT_TRUE(said("base.kdf exists"));
    EXPECT_EQ(check_dataset_name(&slot, 1), 1);
    ask_dataset_overwrite = false;
    EXPECT_EQ(check_dataset_name(&slot, 0), 1);
    ask_dataset_overwrite = true;
    next_answer = 6;
    EXPECT_EQ(check_dataset_name(&slot, 0), 1);

    for (const char* bad :
         {"", "   ", "a*b", "what?", "x|y", "dir/", "say \"hi\"", "a<b", "a>b", "tab\there"}) {
        char* s = const_cast<char*>(bad);
        messages.clear();
        EXPECT_EQ(check_dataset_name(&s, 1), -1) << bad;
        EXPECT_TRUE(said("is not a valid dataset name", 8)) << bad;
    }
    char* none = nullptr;
    EXPECT_EQ(check_dataset_name(&none, 1), -1);
}

TEST_F(RunNameTest, OnlyTheKnownRunTypeLettersAreRunTypes) {
    for (char t : std::string("RrSsPpA")) EXPECT_TRUE(is_run_type_letter(t)) << t;
    for (char t : {'\0', 'a', 'X', 'q', ' '}) EXPECT_FALSE(is_run_type_letter(t)) << int(t);
}

// The run named in the setup wins over the last run's name, which wins over
// "Current"; an empty name counts as none.
TEST_F(RunNameTest, TheSetupsRunNameComesBeforeTheLastRunsName) {
    EXPECT_STREQ(run_name_or_current(nullptr), "Current");
    handle h = new_model_context();
    set_model_rec(h);
    EXPECT_STREQ(run_name_or_current(nullptr), "Current");
    model_rec->last_run_name = ctx_set_text(model_rec, model_rec->last_run_name, "yesterday");
    EXPECT_STREQ(run_name_or_current(nullptr), "yesterday");
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "next");
    EXPECT_STREQ(run_name_or_current(nullptr), "next");
    EXPECT_STREQ(run_name_or_current(model_rec), "next");
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "");
    EXPECT_STREQ(run_name_or_current(nullptr), "yesterday");
    set_model_rec(0);
    free_model_context(h);
}

} // namespace
