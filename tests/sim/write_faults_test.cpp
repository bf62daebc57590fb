// The engine's writers under real faults: a run or changes file that cannot
// be written is named with the system's reason, the old one kept; a read-only
// run file is not replaced without asking.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "sim/changes.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/fault_child.h"
#include "tests/foundation/foundation_fixture.h"
#include "tests/sim/engine_fixture.h"

namespace fs = std::filesystem;

namespace {

using foundation_fixture::messages;
using foundation_fixture::next_answer;
using foundation_fixture::slurp;

class EngineWriteFaults : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        dir_ = testing::TempDir() + "engine_wfaults_" + std::to_string(::getpid()) + "_" +
               std::to_string(counter_++);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        model_dir = dir_ + "/";
        messages.clear();
        next_answer = 7;
        set_message_hook(foundation_fixture::test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        clear_setup();
        close_model(0, 0);
        model_dir.clear();
        ask_dataset_overwrite = true;
        std::error_code ec;
        fs::remove_all(dir_, ec);
        free_scratch();
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::size_t files_in_folder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    static void build(model_builder& b) {
        b.control(0, 20, 0.25f, 0.25f);
        b.constant("k", 2);
        b.level("Stock", "k", "1");
        ASSERT_TRUE(b.finish());
    }
    static int simulate_to(model_builder& b, const std::string& p) {
        sim_options o;
        o.run_file = p.c_str();
        return simulate_model(b.symbols(), o, nullptr);
    }

    std::string dir_;
    static int counter_;
};
int EngineWriteFaults::counter_ = 0;

std::string reason(int error) {
    return std::string(": ") + std::strerror(error);
}

TEST_F(EngineWriteFaults, ARunThatCannotBeWrittenNamesItsFileAndTheReason) {
    model_builder b("runs");
    build(b);
    std::string nowhere = path("none/r.kdf");
    EXPECT_EQ(simulate_to(b, nowhere), sim_write_failed);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Unable to write the run file " + nowhere + reason(ENOENT) + "; no file was written");
    EXPECT_EQ(messages[0].kind, 8);

    std::string p = path("r.kdf");
    ASSERT_EQ(simulate_to(b, p), sim_done);
    const std::string before = slurp(p);
    ASSERT_GT(before.size(), 1024u);
    int status = 0;
    auto said = fault_child::under_size_limit(
        1024, [&] { return simulate_to(b, p); }, &status);
    EXPECT_EQ(status, sim_write_failed);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].text,
              "Unable to write the run file " + p + reason(EFBIG) + "; the old file is kept");
    EXPECT_EQ(said[0].kind, 8);
    EXPECT_EQ(slurp(p), before);
    EXPECT_EQ(files_in_folder(), 1u) << "no temporary file left";
}

TEST_F(EngineWriteFaults, AChangesFileThatCannotBeWrittenNamesItsFileAndTheReason) {
    {
        model_builder b("changes");
        b.control(0, 4, 1, 1);
        for (int i = 0; i < 200; ++i) b.constant(("constant " + std::to_string(i)).c_str(), 1);
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    ASSERT_EQ(read_changes_text("constant 7 = 5\n", "x"), 1);
    std::string nowhere = path("none/c.cin");
    EXPECT_EQ(write_changes_file(nowhere.c_str(), 2), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Unable to write the changes file " + nowhere + reason(ENOENT) +
                                    "; no file was written");
    EXPECT_EQ(messages[0].kind, 8);

    std::string p = path("c.cin");
    std::ofstream(p) << "constant 7 = 3\n";
    // Every constant written: larger than the limit.
    auto said =
        fault_child::under_size_limit(512, [&] { return write_changes_file(p.c_str(), 2); });
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].text,
              "Unable to write the changes file " + p + reason(EFBIG) + "; the old file is kept");
    EXPECT_EQ(said[0].kind, 8);
    EXPECT_EQ(slurp(p), "constant 7 = 3\n");
    EXPECT_EQ(files_in_folder(), 1u) << "no temporary file left";
}

TEST_F(EngineWriteFaults, AReadOnlyRunFileIsAskedAboutWhateverTheOverwriteSetting) {
    std::ofstream(path("kept.kdf")) << "run";
    ::chmod(path("kept.kdf").c_str(), 0444);
    const std::string q =
        "The file " + path("kept.kdf") + " is read only\nDo you want to overwrite it anyway";
    char name[] = "kept";
    char* slot = name;
    ask_dataset_overwrite = false;
    EXPECT_EQ(check_dataset_name(&slot, 0), -1);
    EXPECT_EQ(check_dataset_name(&slot, 1), -1);
    ask_dataset_overwrite = true;
    EXPECT_EQ(check_dataset_name(&slot, 0), -1);
    ASSERT_EQ(messages.size(), 3u) << "one question each time";
    for (const auto& m : messages) {
        EXPECT_EQ(m.kind, question_yes_no);
        EXPECT_EQ(m.text, q);
    }
    next_answer = 6;
    EXPECT_EQ(check_dataset_name(&slot, 1), 1);
    // A run file that may be written is replaced as before, without a word
    // when overwriting is allowed.
    ::chmod(path("kept.kdf").c_str(), 0644);
    messages.clear();
    EXPECT_EQ(check_dataset_name(&slot, 1), 1);
    EXPECT_TRUE(messages.empty());
}

} // namespace
