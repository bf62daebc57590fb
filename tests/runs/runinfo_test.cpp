// The run information a user reads on the Datasets page: the texts of a run
// file's header and information block, read from the file alone and from a
// loaded run, in both byte orders.
#include "runs/runinfo.h"
#include "runs_fixture.h"

namespace {

class runinfo_test : public runs_test {
protected:
    std::string run_file(const std::string& name, char type, float payoff,
                         const std::string& command, const std::string& comment,
                         bool foreign = false) {
        model_builder mb;
        build_test_model(mb);
        run_builder rb(mb.symbols(), type);
        rb.times({0, 1, 2}).series("Stock", {1, 2, 3});
        rb.origin("base case").payoff(payoff).foreign(foreign);
        if (!command.empty() || !comment.empty()) rb.info(command, comment);
        return write_run(name, rb);
    }
};

// Each line of the message stands only when its value does: the comment line
// only with a comment, the payoff only when it is not zero and the run is not
// an activity run; the last line break is dropped.
TEST_F(runinfo_test, the_message_holds_the_lines_the_file_gives) {
    run_file_info info;
    ASSERT_TRUE(read_run_file_info(run_file("p.kdf", 'R', 2.5f, "kavrel -r p", "").c_str(), info));
    EXPECT_FLOAT_EQ(info.payoff, 2.5f);
    EXPECT_EQ(run_info_message("p", info),
              "Information about run p\nOrigin: base case\nCommand line: kavrel -r p\n"
              "Payoff = 2.5");

    ASSERT_TRUE(
        read_run_file_info(run_file("c.kdf", 'R', 0, "kavrel -r c", "second try").c_str(), info));
    EXPECT_EQ(run_info_message("c", info),
              "Information about run c\nOrigin: base case\nCommand line: kavrel -r c\n"
              "Comment: second try");

    // The payoff word of a foreign file is read in its own byte order.
    ASSERT_TRUE(read_run_file_info(run_file("f.kdf", 'R', -0.75f, "", "", true).c_str(), info));
    EXPECT_FALSE(info.has_info);
    EXPECT_FLOAT_EQ(info.payoff, -0.75f);
    EXPECT_EQ(run_info_message("f", info), "Information about run f\nOrigin: base case\n"
                                           "Payoff = -0.75");

    // An activity run never shows a payoff, whatever the word holds.
    info.type = 'A';
    EXPECT_EQ(run_info_message("f", info), "Information about run f\nOrigin: base case");
}

// A loaded run answers from its record the same as its file does.
TEST_F(runinfo_test, a_loaded_run_answers_as_its_file) {
    const std::string p = run_file("l.kdf", 'R', 4, "kavrel -r l", "note");
    const int run = kdf_open(p.c_str());
    ASSERT_GE(run, 0);
    run_file_info loaded, read;
    ASSERT_TRUE(loaded_run_info(run, loaded));
    ASSERT_TRUE(read_run_file_info(p.c_str(), read));
    EXPECT_EQ(run_info_message("l", loaded), run_info_message("l", read));
    EXPECT_EQ(run_info_message("l", loaded),
              "Information about run l\nOrigin: base case\nCommand line: kavrel -r l\n"
              "Comment: note\nPayoff = 4");
}

} // namespace
