// The message reporter: prefixes, routing, drop rules, unwinding, the error
// log and parse-error lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/errlog.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "tests/common/env_override.h"
#include "tests/foundation/foundation_fixture.h"

namespace {

struct shown {
    int kind;
    std::string caption;
    std::string text;
};
std::vector<shown> hook_calls;
int hook_answer = 0;

int capture_hook(int kind, const char* caption, const char* text) {
    hook_calls.push_back({kind, caption, text});
    return hook_answer;
}

std::vector<std::string> made_dirs; // removed after each test

std::string make_temp_dir() {
    std::string pattern = testing::TempDir() + "kavrel_report_XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    made_dirs.push_back(pattern);
    return pattern;
}

using foundation_fixture::slurp;
using foundation_fixture::write_file;

// Every test starts from a quiet reporter: no hook, no stream, no log.
class Report : public testing::Test {
protected:
    void SetUp() override {
        while (err_log_stream) error_log(0);
        hook_calls.clear();
        hook_answer = 0;
        set_message_hook(capture_hook);
        set_report_stream(nullptr);
        err_window_on = 0;
        report_livesweep_on = false;
        report_message_level = 0;
        writer_depth = 0;
        reset_report_counts();
        stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
    }
    void TearDown() override {
        set_report_stream(nullptr);
        set_message_hook(nullptr);
        while (err_log_stream) error_log(0);
        set_log_directories(nullptr, nullptr);
        std::fclose(stream);
        std::error_code ec;
        for (const auto& dir : made_dirs) std::filesystem::remove_all(dir, ec);
        made_dirs.clear();
    }
    // What the redirected stream received so far.
    std::string stream_text() {
        std::fflush(stream);
        long size = std::ftell(stream);
        std::string out(static_cast<std::size_t>(size), '\0');
        std::rewind(stream);
        std::size_t got = std::fread(out.data(), 1, out.size(), stream);
        out.resize(got);
        std::fseek(stream, 0, SEEK_END);
        return out;
    }
    std::FILE* stream = nullptr;
};

TEST_F(Report, PrefixesAndCaptionsAreExact) {
    const char* expected[11] = {
        "",
        "             ",
        "USE FLAG:    ",
        "WARNING:     ",
        "NOT DEFINED: ",
        "ERROR:       ",
        "PLEASE NOTE: ",
        "YIELD:       ",
        "STOP:        ",
        "FATAL ERROR KAVREL ABORTING\n             ",
        "PROGRAM ERROR PLEASE CONTACT TOLMERA\n             ",
    };
    for (int s = 0; s <= 10; ++s) EXPECT_STREQ(severity_prefix(s), expected[s]) << s;
    for (int s = 1; s <= 8; ++s) EXPECT_EQ(std::string(severity_prefix(s)).size(), 13u) << s;
    EXPECT_STREQ(severity_prefix(-3), expected[10]);

    EXPECT_STREQ(severity_caption(5), "");
    EXPECT_STREQ(severity_caption(6), "Message from Kavrel");
    EXPECT_STREQ(severity_caption(7), "Caution from Kavrel");
    EXPECT_STREQ(severity_caption(8), "Stop from Kavrel");
    EXPECT_STREQ(severity_caption(9), "Fatal Error for Kavrel");
    EXPECT_STREQ(severity_caption(10), "Kavrel Program Error");
}

TEST_F(Report, RedirectedStreamGetsPrefixedLinesAndHookGetsBareText) {
    set_report_stream(stream);
    report(3, "value %d of %s", 42, "x");
    report(0, "plain\n");
    report(-1, "RT%d", 2314);
    EXPECT_EQ(stream_text(), "WARNING:     value 42 of x\n"
                             "plain\n"
                             "PROGRAM ERROR PLEASE CONTACT TOLMERA\n             RT2314\n");
    ASSERT_EQ(hook_calls.size(), 3u);
    EXPECT_EQ(hook_calls[0].kind, 3);
    EXPECT_EQ(hook_calls[0].caption, "");
    EXPECT_EQ(hook_calls[0].text, "value 42 of x");
    EXPECT_EQ(hook_calls[2].kind, 10);
    EXPECT_EQ(hook_calls[2].caption, "Kavrel Program Error");
    EXPECT_EQ(report_counts[10], 1);
    EXPECT_EQ(report_counts[3], 1);
}

TEST_F(Report, BoxSeveritiesReachHookWithTheirCaptionAndAnswer) {
    hook_answer = 6;
    EXPECT_EQ(report(6, "note"), 6);
    EXPECT_EQ(report(7, "caution"), 6);
    hook_answer = 0;
    EXPECT_EQ(report(8, "stop"), 8); // no writer: a Stop box, then back to the caller
    ASSERT_EQ(hook_calls.size(), 3u);
    EXPECT_EQ(hook_calls[0].caption, "Message from Kavrel");
    EXPECT_EQ(hook_calls[1].caption, "Caution from Kavrel");
    EXPECT_EQ(hook_calls[2].caption, "Stop from Kavrel");
}

TEST_F(Report, DropRulesAndCounters) {
    set_report_stream(stream);
    report_livesweep_on = true;
    EXPECT_EQ(report(5, "dropped in livesweep"), 0);
    report(6, "shown in livesweep");
    report_livesweep_on = false;

    report_message_level = 11;
    report(2, "dropped at level 11");
    report(7, "shown at level 11");

    report_message_level = 1;
    report(3, "warning dropped at level 1");
    report(5, "error shown at level 1");
    report_message_level = 0;
    report(3, "warning shown at level 0");

    EXPECT_EQ(stream_text(), "PLEASE NOTE: shown in livesweep\n"
                             "YIELD:       shown at level 11\n"
                             "ERROR:       error shown at level 1\n"
                             "WARNING:     warning shown at level 0\n");
    EXPECT_EQ(hook_calls.size(), 4u);
    // Dropped messages are still counted.
    EXPECT_EQ(report_counts[5], 2);
    EXPECT_EQ(report_counts[3], 2);
    EXPECT_EQ(report_counts[2], 1);
    reset_report_counts();
    EXPECT_EQ(report_counts[5], 0);
}

TEST_F(Report, FatalThrowsAfterLoggingAndShowing) {
    set_report_stream(stream);
    try {
        report(9, "Insufficient memory to allocate handle for %u bytes", 12u);
        FAIL() << "severity 9 returned";
    } catch (const fatal_unwind& e) {
        EXPECT_EQ(e.code, 9);
        EXPECT_STREQ(e.what(), "Insufficient memory to allocate handle for 12 bytes");
    }
    EXPECT_EQ(stream_text(), "FATAL ERROR KAVREL ABORTING\n             "
                             "Insufficient memory to allocate handle for 12 bytes\n");
    ASSERT_EQ(hook_calls.size(), 1u);
    EXPECT_EQ(hook_calls[0].caption, "Fatal Error for Kavrel");
    EXPECT_EQ(report_counts[9], 1);
}

TEST_F(Report, StopUnwindsOnlyInsideAWriter) {
    EXPECT_NO_THROW(report(8, "outside"));
    {
        writer_guard outer;
        writer_guard inner;
        EXPECT_EQ(writer_depth, 2);
        EXPECT_THROW(report(8, "Error writing %s", "run.kdf"), writer_unwind);
        EXPECT_NO_THROW(report(7, "cautions do not unwind"));
    }
    EXPECT_EQ(writer_depth, 0);
    // The stop was shown before the unwind.
    ASSERT_EQ(hook_calls.size(), 3u);
    EXPECT_EQ(hook_calls[1].text, "Error writing run.kdf");
}

TEST_F(Report, LongMessagesAreNotCut) {
    set_report_stream(stream);
    std::string long_text(100000, 'q');
    long_text.back() = 'Z';
    report(5, "[%s|%s]", long_text.c_str(), long_text.c_str());
    std::string expected = "ERROR:       [" + long_text + "|" + long_text + "]\n";
    EXPECT_EQ(stream_text(), expected);
    ASSERT_EQ(hook_calls.size(), 1u);
    EXPECT_EQ(hook_calls[0].text.size(), 2 * long_text.size() + 3);
}

TEST_F(Report, QuestionsGoThroughTheHook) {
    set_message_hook(nullptr);
    EXPECT_EQ(ask_question(question_yes_no, "Save?", 7), 7);
    set_message_hook(capture_hook);
    hook_answer = 6;
    EXPECT_EQ(ask_question(question_yes_no_cancel, "Save the model?", 2), 6);
    ASSERT_EQ(hook_calls.size(), 1u);
    EXPECT_EQ(hook_calls[0].kind, question_yes_no_cancel);
    EXPECT_EQ(hook_calls[0].caption, "Question from Kavrel");
    EXPECT_EQ(report_counts[6], 0); // a question is not a message
}

TEST_F(Report, ErrorTitleIsACopy) {
    char title[] = "Simulation errors";
    set_error_title(title);
    title[0] = 'X';
    EXPECT_STREQ(error_title(), "Simulation errors");
    set_error_title(nullptr);
    EXPECT_STREQ(error_title(), "");
}

// ------------------------------------------------------------- error log ---

TEST_F(Report, ErrorLogBannerAndAppendingAfterClose) {
    std::string dir = make_temp_dir();
    set_log_directories(dir.c_str(), (dir + "/unused").c_str());
    ASSERT_EQ(error_log(2), 1);
    ASSERT_NE(err_log_stream, nullptr);
    EXPECT_EQ(std::string(error_log_path()), dir + "/kavrel.err");
    report(5, "while open");
    error_log(0);
    EXPECT_EQ(err_log_stream, nullptr);
    report(4, "after close");

    std::string text = slurp(dir + "/kavrel.err");
    const std::string banner = "Kavrel Viewer version 0.1.0 error log starting ";
    ASSERT_EQ(text.compare(0, banner.size(), banner), 0) << text;
    auto first_nl = text.find('\n');
    ASSERT_NE(first_nl, std::string::npos);
    EXPECT_GT(first_nl, banner.size()); // a date follows
    EXPECT_EQ(text.substr(first_nl + 1), "ERROR:       while open\n"
                                         "NOT DEFINED: after close\n");
}

TEST_F(Report, ErrorWindowTakesLowSeveritiesOutOfTheLog) {
    std::string dir = make_temp_dir();
    set_log_directories(dir.c_str(), nullptr);
    ASSERT_EQ(error_log(2), 1);
    err_window_on = -1;
    report(5, "listed in the error window");
    report(6, "a note still logged");
    err_window_on = 0;
    error_log(0);
    std::string text = slurp(dir + "/kavrel.err");
    EXPECT_EQ(text.find("listed in the error window"), std::string::npos);
    EXPECT_NE(text.find("PLEASE NOTE: a note still logged\n"), std::string::npos);
    ASSERT_EQ(hook_calls.size(), 2u);
    EXPECT_EQ(hook_calls[0].text, "listed in the error window");
}

TEST_F(Report, ErrorLogFallsBackThroughItsDirectories) {
    std::string dir = make_temp_dir();
    // A folder below a plain file can never be made, whoever runs the test.
    std::string blocker = dir + "/plain_file";
    write_file(blocker, "x");
    std::string bad = blocker + "/sub";
    std::string system_dir = dir + "/config/kavrel"; // made on demand
    set_log_directories(bad.c_str(), system_dir.c_str());
    ASSERT_EQ(error_log(2), 1);
    EXPECT_EQ(std::string(error_log_path()), system_dir + "/kavrel.err");
    error_log(0);

    std::string tmp = dir + "/tmp";
    ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
    env_override env;
    env.set("TMPDIR", tmp.c_str());
    set_log_directories(bad.c_str(), (bad + "2").c_str());
    EXPECT_EQ(error_log(2), 1);
    EXPECT_EQ(std::string(error_log_path()), tmp + "/kavrel.err");
    error_log(0);

    env.set("TMPDIR", (bad + "3").c_str());
    EXPECT_EQ(error_log(2), 0);
    EXPECT_EQ(err_log_stream, nullptr);
    EXPECT_STREQ(error_log_path(), "");
}

// An empty TMPDIR names no folder: the last resort is /tmp.
TEST_F(Report, AnEmptyTmpdirLeavesTmpAsTheLogsLastResort) {
    std::string dir = make_temp_dir();
    std::string blocker = dir + "/plain_file";
    write_file(blocker, "x");
    set_log_directories((blocker + "/a").c_str(), (blocker + "/b").c_str());
    env_override env;
    env.set("TMPDIR", "");
    ASSERT_EQ(error_log(2), 1);
    EXPECT_STREQ(error_log_path(), "/tmp/kavrel.err");
    error_log(0);
}

// The banner's date ends with the time and the year in full.
TEST_F(Report, TheLogsBannerGivesTheYearInFull) {
    std::string dir = make_temp_dir();
    set_log_directories(dir.c_str(), nullptr);
    std::time_t now = std::time(nullptr);
    ASSERT_EQ(error_log(2), 1);
    error_log(0);
    const std::string text = slurp(dir + "/kavrel.err");
    const std::string line = text.substr(0, text.find('\n'));
    std::tm tm_now{};
    ::localtime_r(&now, &tm_now);
    const std::string year = std::to_string(tm_now.tm_year + 1900);
    ASSERT_GE(line.size(), 25u) << line;
    // "... starting Www Mmm dd hh:mm:ss yyyy"
    EXPECT_EQ(line.substr(line.size() - 5), " " + year) << line;
    EXPECT_EQ(line[line.size() - 8], ':') << line;
    EXPECT_EQ(line[line.size() - 11], ':') << line;
}

TEST_F(Report, ErrorLogLevelsAndReading) {
    std::string dir = make_temp_dir();
    set_log_directories(dir.c_str(), nullptr);
    ASSERT_EQ(error_log(2), 1);
    ASSERT_EQ(error_log(1), 1); // a second level
    error_log(0);
    EXPECT_NE(err_log_stream, nullptr); // one level still open
    error_log(0);
    EXPECT_EQ(err_log_stream, nullptr);

    ASSERT_EQ(error_log(-1), 1);
    char line[200] = {};
    ASSERT_NE(std::fgets(line, sizeof line, err_log_stream), nullptr);
    EXPECT_EQ(std::string(line).rfind("Kavrel Viewer version 0.1.0", 0), 0u);
    // Messages while the log is open for reading still reach the file.
    report(5, "while reading");
    error_log(0);
    EXPECT_NE(slurp(dir + "/kavrel.err").find("ERROR:       while reading\n"), std::string::npos);
}

// ----------------------------------------------------------- parse errors ---

TEST(ParseErrorCaret, KeepsTabsAndClampsTheColumn) {
    EXPECT_EQ(parse_error_caret("abc", 0), "^");
    EXPECT_EQ(parse_error_caret("abcdef", 3), "   ^");
    EXPECT_EQ(parse_error_caret("\tx\ty", 3), "\t \t^");
    EXPECT_EQ(parse_error_caret("ab", 10), "  ^");
    EXPECT_EQ(parse_error_caret("ab", -4), "^");
}

TEST_F(Report, ParseErrorShowsTheLineCaretAndPlace) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/changes.cin";
    write_file(path, "a = 1\n\tgrowth\trate = x y\r\nlast\n");
    ASSERT_EQ(open_text_source(path.c_str(), 0, 0), 1);
    ASSERT_EQ(read_line(0), 1);
    ASSERT_EQ(read_line(0), 1);
    set_report_stream(stream);
    parse_error(5, 15, "Bad number %s", "x"); // under the "x"
    close_text_source();

    std::string expected = "ERROR:       Bad number x\n"
                           "\tgrowth\trate = x y\n"
                           "\t      \t       ^\n"
                           "Line 2 of file " +
                           path + "\n";
    EXPECT_EQ(stream_text(), expected);
    EXPECT_EQ(report_counts[5], 1);
}

TEST_F(Report, FatalParseErrorStillCarriesItsLine) {
    const char* lines[] = {"only line"};
    ASSERT_EQ(push_text_source(lines, 1, 0), 1);
    ASSERT_EQ(read_line(0), 1);
    set_report_stream(stream);
    EXPECT_THROW(parse_error(9, 5, "broken"), fatal_unwind);
    close_text_source();
    std::string text = stream_text();
    EXPECT_NE(text.find("broken\nonly line\n     ^\nLine 1 of file"), std::string::npos) << text;
}

// Without a folder set, the log goes to the user's configuration folder:
// kavrel/ under XDG_CONFIG_HOME, else .config/kavrel/ under the home folder.
TEST_F(Report, TheErrorLogsConfigurationFolderFollowsXdgThenHome) {
    std::string dir = make_temp_dir();
    std::string blocker = dir + "/plain_file";
    write_file(blocker, "x");
    const std::string bad = blocker + "/sub"; // never a folder
    env_override env;
    env.set("XDG_CONFIG_HOME", (dir + "/xdg").c_str());
    set_log_directories(bad.c_str(), nullptr);
    ASSERT_EQ(error_log(2), 1);
    EXPECT_EQ(std::string(error_log_path()), dir + "/xdg/kavrel/kavrel.err");
    error_log(0);

    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("HOME", (dir + "/home").c_str());
    ASSERT_EQ(error_log(2), 1);
    EXPECT_EQ(std::string(error_log_path()), dir + "/home/.config/kavrel/kavrel.err");
    error_log(0);
}

} // namespace
