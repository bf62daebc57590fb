// Setup copies and changes files: reading, applying to a run, writing back,
// and bad lines that change nothing.
#include <sys/stat.h>

#include <fstream>
#include <limits>

#include "foundation/files.h"
#include "foundation/memory.h"
#include <cstring>

#include "sim/changes.h"
#include "sim/currentrun.h"
#include "sim/setup.h"
#include "tests/sim/engine_fixture.h"

namespace {

class Changes : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        dir_ = testing::TempDir() + "/changes_" + std::to_string(counter_++);
        ASSERT_EQ(std::system(("mkdir -p '" + dir_ + "'").c_str()), 0);
        model_dir = dir_ + "/";
        model_builder b("changes");
        b.control(0, 4, 1, 1);
        b.range("region", {"north", "south", "east"});
        b.constant("k", 2);
        b.constant("c[region]", 1);
        b.lookup("curve", {{0, 0}, {10, 10}});
        b.aux("shaped", "curve(Time) * k");
        b.level("S[region]", "c[region]", "0");
        b.string_var("label", "old");
        b.aux("not constant", "k + 1");
        ASSERT_TRUE(b.finish());
        slot_k_ = slot_of(b, "k");
        slot_c_ = slot_of(b, "c");
        slot_shaped_ = slot_of(b, "shaped");
        slot_s_ = slot_of(b, "S");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    void TearDown() override {
        clear_setup();
        close_model(0, 0);
        model_dir.clear();
    }
    float value(std::int32_t slot) {
        handle_lock<float> v(setup_copy);
        return v ? v.get()[slot] : -999.0f;
    }
    // Runs the current model with the setup copies.
    sim_output run_with_copies() {
        setup_state* st = setup_copies();
        EXPECT_NE(st, nullptr);
        handle_lock<float> values(setup_copy);
        sim_options o;
        o.setup_values = values.get();
        o.setup_changed = st->changed.data();
        o.setup = st;
        sim_output out;
        EXPECT_EQ(simulate_model(cur_model_symbols, o, &out), sim_done) << messages.joined();
        return out;
    }

    message_capture messages;
    std::string dir_;
    std::int32_t slot_k_ = 0, slot_c_ = 0, slot_shaped_ = 0, slot_s_ = 0;
    static int counter_;
};
int Changes::counter_ = 0;

TEST_F(Changes, ConstantsListsLookupsAndStringsReachTheNextRun) {
    ASSERT_EQ(read_changes_text("* a comment\n"
                                "k = 5\n"
                                "c[region] = 1, 2, 3\n"
                                "c[east] = 7\n"
                                "curve = (0,0) (5,10), (10,30)\n"
                                "label = \"new text\"\n",
                                "test.cin"),
              1)
        << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 5);
    EXPECT_FLOAT_EQ(value(slot_c_ + 1), 2);
    EXPECT_FLOAT_EQ(value(slot_c_ + 2), 7);
    sim_output out = run_with_copies();
    EXPECT_FLOAT_EQ(saved_value(out, 4, slot_s_ + 0), 4);      // 4 steps of 1
    EXPECT_FLOAT_EQ(saved_value(out, 4, slot_s_ + 1), 8);      // of 2
    EXPECT_FLOAT_EQ(saved_value(out, 4, slot_s_ + 2), 28);     // of 7
    EXPECT_FLOAT_EQ(saved_value(out, 2, slot_shaped_), 4 * 5); // curve(2) = 4, k = 5
    EXPECT_EQ(setup_copies()->strings[0], "new text");
    // The run driver's road writes the run file with the changes.
    EXPECT_EQ(run_simulation(nullptr).status, sim_done);
    EXPECT_TRUE(std::ifstream(dir_ + "/Current.kdf").good());
}

// A list of two files, the first named in quotes because of its blank and
// the second without an extension: both are read, in order, from the
// model's folder, so the second's k wins and the first's c stays.
TEST_F(Changes, AListWithAQuotedNameAppliesEveryFile) {
    std::ofstream(dir_ + "/first one.cin") << "k = 5\nc[region] = 4, 5, 6\n";
    std::ofstream(dir_ + "/second.cin") << "k = 9\n";
    ASSERT_EQ(read_change_files("\"first one.cin\" second"), 1) << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 9);
    EXPECT_FLOAT_EQ(value(slot_c_ + 0), 4);
    EXPECT_FLOAT_EQ(value(slot_c_ + 2), 6);
    sim_output out = run_with_copies();
    EXPECT_FLOAT_EQ(saved_value(out, 4, slot_s_ + 1), 20); // 4 steps of 5
    EXPECT_FLOAT_EQ(saved_value(out, 2, slot_shaped_), 2 * 9);

    // A name that is not there refuses the list from that file on, and says
    // which file it was.
    clear_setup();
    EXPECT_EQ(read_change_files("second \"no such.cin\""), 0);
    EXPECT_TRUE(messages.contains("no such.cin")) << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 9); // the file before it stays applied
}

TEST_F(Changes, ABadLineIsShownWithItsCaretAndChangesNothing) {
    EXPECT_EQ(read_changes_text("k = 5\nc[region] = 1, 2\n", "bad.cin"), 0);
    EXPECT_TRUE(
        messages.contains("c needs 1 or 3 values (has 2)\nc[region] = 1, 2\n^\nLine 2 of file"))
        << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 2); // the good first line was not applied either
    struct bad {
        const char* text;
        const char* message;
    } cases[] = {
        {"nothing here = 3", "Unknown variable nothing here"},
        {"not constant = 3", "not constant is not a constant"},
        {"k = 3 4", "Unexpected text after the change"},
        {"k = abc", "Expected a number"},
        {"k 3", "Expected = after the name"},
        {"c[west] = 1", "Unknown subscript west"},
        {"curve = (0,1) (2)", "Expected , between x and y"},
        {"curve = (5,1) (2,3)", "The x values of a lookup must increase"},
        {"label = \"open", "Unclosed quote"},
        {"k = 1e999", "The number is out of range"},
        {"k = inf", "Expected a number"},
        {"k = 0x10", "Expected a number"},
        {"curve = (0,1) (1,:NA:)", "A lookup point cannot be :NA:"},
    };
    for (const bad& b : cases) {
        EXPECT_EQ(read_changes_text(b.text, "bad.cin"), 0) << b.text;
        EXPECT_TRUE(messages.contains(b.message)) << b.text << "\n" << messages.joined();
    }
    EXPECT_FLOAT_EQ(value(slot_k_), 2);
}

// Lines starting with '*' or ';' (after blanks) are comments; one number
// sets every element a name gives; more subscripts than the variable has
// are refused.
TEST_F(Changes, CommentsOneNumberForAllElementsAndTooManySubscripts) {
    ASSERT_EQ(read_changes_text("; k = 9\n   ; indented = 1\n* star\nc = 4\n", "c.cin"), 1)
        << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 2);
    for (int e = 0; e < 3; ++e) EXPECT_FLOAT_EQ(value(slot_c_ + e), 4) << e;
    EXPECT_EQ(read_changes_text("c[north, south] = 1\n", "bad.cin"), 0);
    EXPECT_TRUE(messages.contains("Too many subscripts for c")) << messages.joined();
    EXPECT_EQ(read_changes_text("k[north] = 1\n", "bad.cin"), 0);
    EXPECT_TRUE(messages.contains("Too many subscripts for k")) << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 2);
}

// A data constant takes a change as a constant does.
TEST(ChangesOfDataConstants, AreTakenAsConstantsAre) {
    init_vocabulary();
    message_capture messages;
    model_builder b("data constants");
    b.control(0, 2, 1, 1);
    const symbol_id dc = b.constant("from sheet", 3);
    b.aux("twice", "from sheet * 2");
    ASSERT_TRUE(b.finish());
    symbol_record r = get_symbol(b.symbols(), dc);
    r.type = st_data_constant;
    put_symbol(b.symbols(), dc, r);
    const std::int32_t slot = r.slot;
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    ASSERT_EQ(read_changes_text("from sheet = 8\n", "dc.cin"), 1) << messages.joined();
    {
        handle_lock<float> v(setup_copy);
        ASSERT_TRUE(v);
        EXPECT_FLOAT_EQ(v.get()[slot], 8);
    }
    clear_setup();
    close_model(0, 0);
}

// The dialogs' fields go through the same rule: whole fields, blanks around
// allowed, nothing after the number, and what a file refuses refused.
TEST(ChangeNumbers, FieldsFollowTheFileRule) {
    float v = 0;
    std::string why;
    EXPECT_TRUE(parse_change_number(" 12.5 ", &v, &why));
    EXPECT_FLOAT_EQ(v, 12.5f);
    EXPECT_TRUE(parse_change_number("-.5e1", &v, &why));
    EXPECT_FLOAT_EQ(v, -5);
    EXPECT_TRUE(parse_change_number(":NA:", &v, &why));
    EXPECT_TRUE(is_na(v));
    v = 7;
    for (const char* bad : {"", "  ", "1.5x", "x1", "nan", "inf", "0x1p3", "1e40", "1 2", "--1"}) {
        why.clear();
        EXPECT_FALSE(parse_change_number(bad, &v, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
        EXPECT_FLOAT_EQ(v, 7) << bad; // untouched
    }
    std::size_t bad = 99;
    EXPECT_TRUE(check_lookup_points({0, 0, 1}, {1, 2, 3}, &bad, &why)); // a step is allowed
    EXPECT_FALSE(check_lookup_points({0, 2, 1}, {1, 2, 3}, &bad, &why));
    EXPECT_EQ(bad, 2u);
    EXPECT_FALSE(check_lookup_points({0, 1}, {NA, 2}, &bad, &why));
    EXPECT_EQ(bad, 0u);
    EXPECT_FALSE(check_lookup_points({}, {}, &bad, &why));
    EXPECT_FALSE(check_lookup_points({0, 1}, {1}, &bad, &why));
}

// A missing value written into a changes file reads back as missing.
TEST_F(Changes, AMissingValueIsWrittenAndReadBackAsMissing) {
    ASSERT_EQ(read_changes_text("c[south] = :NA:\n", "x"), 1) << messages.joined();
    EXPECT_TRUE(is_na(value(slot_c_ + 1)));
    const std::string changed = dir_ + "/missing.cin";
    ASSERT_EQ(write_changes_file(changed.c_str(), 0), 1);
    std::ifstream f(changed);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(text.find("c[south] = :NA:\n"), std::string::npos) << text;
    clear_setup();
    ASSERT_EQ(read_change_files(("\"" + changed + "\"").c_str()), 1) << messages.joined();
    EXPECT_TRUE(is_na(value(slot_c_ + 1)));
    EXPECT_FLOAT_EQ(value(slot_c_ + 0), 1);
}

// The largest floats are numbers a file may hold: written, they read back.
TEST_F(Changes, TheLargestFloatsAreWrittenAndReadBack) {
    ASSERT_EQ(read_changes_text("k = 3.4028235e+38\nc[region] = -3.4028235e38, 1, 2\n", "x"), 1)
        << messages.joined();
    EXPECT_EQ(value(slot_k_), std::numeric_limits<float>::max());
    EXPECT_EQ(value(slot_c_), -std::numeric_limits<float>::max());
    const std::string all = dir_ + "/largest.cin";
    ASSERT_EQ(write_changes_file(all.c_str(), 2), 1);
    clear_setup();
    ASSERT_EQ(read_change_files(("\"" + all + "\"").c_str()), 1) << messages.joined();
    EXPECT_EQ(value(slot_k_), std::numeric_limits<float>::max());
    EXPECT_EQ(value(slot_c_), -std::numeric_limits<float>::max());
}

// Subscripts of a two-dimensional constant: an element or a range in each
// place, the elements taken with the last subscript varying fastest; a
// change must give every dimension or none.
TEST(ChangesOfTables, EachSubscriptPicksItsElementsInItsOwnDimension) {
    init_vocabulary();
    message_capture messages;
    model_builder b("table");
    b.control(0, 1, 1, 1);
    b.range("region", {"north", "south"});
    b.range("age", {"young", "mid", "old"});
    b.constant("m[region,age]", 0);
    ASSERT_TRUE(b.finish());
    const std::int32_t m = slot_of(b, "m");
    model_pair mp = b.release();
    close_model(mp.header, mp.symbols);
    auto cells = [&] {
        std::vector<float> out;
        handle_lock<float> v(setup_copy);
        for (int k = 0; k < 6; ++k) out.push_back(v ? v.get()[m + k] : -999.0f);
        return out;
    };
    ASSERT_EQ(read_changes_text("m[south,age] = 1, 2, 3\n", "t.cin"), 1) << messages.joined();
    EXPECT_EQ(cells(), (std::vector<float>{0, 0, 0, 1, 2, 3}));
    ASSERT_EQ(read_changes_text("m[region,old] = 7, 8\n", "t.cin"), 1) << messages.joined();
    EXPECT_EQ(cells(), (std::vector<float>{0, 0, 7, 1, 2, 8}));
    ASSERT_EQ(read_changes_text("m[north,mid] = 5\n", "t.cin"), 1) << messages.joined();
    EXPECT_EQ(cells(), (std::vector<float>{0, 5, 7, 1, 2, 8}));
    ASSERT_EQ(read_changes_text("m = 1, 2, 3, 4, 5, 6\n", "t.cin"), 1) << messages.joined();
    EXPECT_EQ(cells(), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(read_changes_text("m[north] = 9\n", "t.cin"), 0);
    EXPECT_TRUE(messages.contains("m needs 2 subscripts")) << messages.joined();
    EXPECT_EQ(cells(), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    clear_setup();
    close_model(0, 0);
}

// A number that would not fit a float is refused, just beyond the largest
// float as far beyond it; the largest floats themselves are numbers.
TEST(ChangeNumbers, NumbersBeyondTheLargestFloatAreRefused) {
    float v = 7;
    std::string why;
    for (const char* big : {"3.45e38", "-3.45e38", "3.5e38", "1e39", "-1e300"}) {
        why.clear();
        EXPECT_FALSE(parse_change_number(big, &v, &why)) << big;
        EXPECT_EQ(why, "The number is out of range") << big;
        EXPECT_FLOAT_EQ(v, 7) << big;
    }
    EXPECT_TRUE(parse_change_number("3.4e38", &v, &why));
    EXPECT_EQ(v, 3.4e38f);
    EXPECT_TRUE(parse_change_number("-3.4e38", &v, &why));
    EXPECT_EQ(v, -3.4e38f);
}

TEST(ChangeNumbers, TheLargestFloatsAreNumbers) {
    float v = 0;
    std::string why;
    EXPECT_TRUE(parse_change_number("3.4028235e+38", &v, &why)) << why;
    EXPECT_EQ(v, std::numeric_limits<float>::max());
    EXPECT_TRUE(parse_change_number("-3.4028235e38", &v, &why)) << why;
    EXPECT_EQ(v, -std::numeric_limits<float>::max());
}

TEST_F(Changes, WrittenFilesReadBackToTheSameCopies) {
    ASSERT_EQ(read_changes_text(
                  "k = 0.1\nc[south] = 3.25\ncurve = (0,1) (1,2) (2,4)\nlabel = \"shown\"\n", "x"),
              1);
    std::string all = dir_ + "/all.cin", changed = dir_ + "/changed.cin";
    ASSERT_EQ(write_changes_file(all.c_str(), 2), 1);
    ASSERT_EQ(write_changes_file(changed.c_str(), 0), 1);
    std::ifstream f(changed);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(text.find("c[south] = 3.25\n"), std::string::npos) << text;
    EXPECT_NE(text.find("curve = (0,1) (1,2) (2,4)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("label = \"shown\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("c[north]"), std::string::npos) << text; // unchanged: not written
    // A float is written as the shortest text that reads back the same, not
    // as nine digits of its noise ("0.100000001").
    std::ifstream fa(all);
    const std::string all_text((std::istreambuf_iterator<char>(fa)), {});
    EXPECT_NE(all_text.find("k = 0.1\n"), std::string::npos) << all_text;
    // A fresh copy with the full file gives the same values.
    std::vector<float> before;
    for (int s = 0; s < 6; ++s) before.push_back(value(slot_c_ + s % 3));
    clear_setup();
    ASSERT_EQ(read_change_files(("\"" + all + "\"").c_str()), 1) << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 0.1f);
    for (int s = 0; s < 3; ++s)
        EXPECT_FLOAT_EQ(value(slot_c_ + s), before[static_cast<std::size_t>(s)]);
    const setup_state* st = setup_copies();
    EXPECT_EQ(st->strings[0], "shown");
    ASSERT_EQ(st->lookups[0].count, 3u);
    EXPECT_FLOAT_EQ(st->lookup_data[st->lookups[0].y + 2], 4);
    // A missing file is reported.
    EXPECT_EQ(read_change_files("nowhere"), 0);
    EXPECT_TRUE(messages.contains("Unable to open the changes file")) << messages.joined();
}

// A changes file cut at any byte: a cut inside a change is refused with its
// line, whatever the cut leaves looking like a whole change ("k = 20" of
// "k = 200"); a cut at a line end reads the lines before it, each with the
// value the whole file gives.
TEST_F(Changes, AFileCutInsideAChangeIsRefused) {
    ASSERT_EQ(read_changes_text("k = 200\nc[region] = 1.5, 22.25, 300\ncurve = (0,1) (10,20)\n"
                                "label = \"new text\"\n",
                                "x"),
              1);
    std::string all = dir_ + "/all.cin";
    ASSERT_EQ(write_changes_file(all.c_str(), 2), 1);
    std::ifstream f(all, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    ASSERT_NE(text.find("k = 200\n"), std::string::npos) << text;
    std::string cut_path = dir_ + "/cut.cin";
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        {
            std::ofstream o(cut_path, std::ios::binary | std::ios::trunc);
            o << text.substr(0, cut);
        }
        clear_setup();
        const std::size_t before = messages.all().size();
        std::size_t line_start = text.rfind('\n', cut ? cut - 1 : 0);
        line_start = cut == 0 || line_start == std::string::npos ? 0 : line_start + 1;
        std::string tail = text.substr(line_start, cut - line_start);
        bool inside_change = !tail.empty() && tail[0] != '*';
        int r = read_change_files(("\"" + cut_path + "\"").c_str());
        if (inside_change) {
            EXPECT_EQ(r, 0) << "cut at " << cut << " after \"" << tail << "\"";
            ASSERT_EQ(messages.all().size(), before + 1) << cut << "\n" << messages.joined();
            EXPECT_NE(messages.all().back().find("The file ends inside this line (a change needs "
                                                 "its line end)\n" +
                                                 tail + "\n"),
                      std::string::npos)
                << cut << "\n"
                << messages.all().back();
            EXPECT_FLOAT_EQ(value(slot_k_), 2) << cut; // nothing applied
            continue;
        }
        EXPECT_EQ(r, 1) << "cut at " << cut << "\n" << messages.joined();
        float k = value(slot_k_), c = value(slot_c_ + 2);
        EXPECT_TRUE(k == 2 || k == 200) << cut << ": k = " << k;
        EXPECT_TRUE(c == 1 || c == 300) << cut << ": c[east] = " << c;
    }
    // A last line without its line end is refused also when nothing was cut,
    // but a last comment needs none.
    {
        std::ofstream o(cut_path, std::ios::binary | std::ios::trunc);
        o << "k = 5\r\n* the end";
    }
    clear_setup();
    EXPECT_EQ(read_change_files(("\"" + cut_path + "\"").c_str()), 1) << messages.joined();
    EXPECT_FLOAT_EQ(value(slot_k_), 5);
}

// A file of no change at all (empty, comments only, or cut inside its first
// comment line) is taken, and said to hold no changes.
TEST_F(Changes, AFileOfNoChangesSaysSo) {
    std::string path = dir_ + "/none.cin";
    for (const char* text : {"", "* changes of", "* changes of the base run\n\n"}) {
        SCOPED_TRACE(text);
        {
            std::ofstream o(path, std::ios::binary | std::ios::trunc);
            o << text;
        }
        clear_setup();
        const std::size_t before = messages.all().size();
        EXPECT_EQ(read_change_files(("\"" + path + "\"").c_str()), 1);
        ASSERT_EQ(messages.all().size(), before + 1) << messages.joined();
        EXPECT_NE(messages.all().back().find("none.cin holds no changes"), std::string::npos)
            << messages.all().back();
        const bool cut = std::string(text) == "* changes of";
        EXPECT_EQ(messages.all().back().find("cut short") != std::string::npos, cut);
        EXPECT_FLOAT_EQ(value(slot_k_), 2);
    }
}

// A read-only changes file is replaced only when the user agrees; its mode stays.
TEST_F(Changes, AReadOnlyFileIsAskedAbout) {
    ASSERT_EQ(read_changes_text("k = 200\n", "x"), 1);
    const std::string path = dir_ + "/ro.cin";
    ASSERT_EQ(write_changes_file(path.c_str(), 2), 1);
    std::ifstream f(path, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(f)), {});
    ASSERT_EQ(std::system(("chmod 444 '" + path + "'").c_str()), 0);
    ASSERT_EQ(read_changes_text("k = 300\n", "x"), 1);
    message_capture::answer() = 7;
    EXPECT_EQ(write_changes_file(path.c_str(), 2), 0);
    EXPECT_TRUE(messages.contains("is read only")) << messages.joined();
    std::ifstream g(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(g)), {}), before);
    message_capture::answer() = 6;
    EXPECT_EQ(write_changes_file(path.c_str(), 2), 1);
    std::ifstream h(path, std::ios::binary);
    EXPECT_NE(std::string((std::istreambuf_iterator<char>(h)), {}).find("k = 300"),
              std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// A NUL byte ends the reading of a text file early: the changes before it are
// not a whole file, so nothing is applied and the open failure says why.
TEST_F(Changes, AFileWithANulByteOrThatCannotBeOpenedChangesNothing) {
    std::string path = dir_ + "/nul.cin";
    {
        std::ofstream o(path, std::ios::binary | std::ios::trunc);
        o << "k = 7\n";
        o.put('\0');
        o << "k = 9\n";
    }
    clear_setup();
    EXPECT_EQ(read_change_files(("\"" + path + "\"").c_str()), 0);
    EXPECT_FLOAT_EQ(value(slot_k_), 2);
    EXPECT_NE(messages.joined().find("NUL"), std::string::npos) << messages.joined();

    const std::size_t before = messages.all().size();
    std::string folder = dir_ + "/a_folder.cin";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(read_change_files(("\"" + folder + "\"").c_str()), 0);
    ASSERT_EQ(messages.all().size(), before + 1);
    EXPECT_NE(messages.all().back().find("Unable to open the changes file "), std::string::npos)
        << messages.all().back();
    EXPECT_NE(messages.all().back().find("a_folder.cin: Is a directory"), std::string::npos)
        << messages.all().back();
}

} // namespace

namespace {

class DelayStates : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override {
        clear_setup();
        close_model(0, 0);
    }
    // The model "pipes" of one variable, late = the given DELAY FIXED, made
    // the current model; late's slot.
    static std::int32_t open_pipes(float final_time, float step, const char* late) {
        model_builder b("pipes");
        b.control(0, final_time, step, step);
        b.aux("late", late);
        EXPECT_TRUE(b.finish());
        const std::int32_t slot = slot_of(b, "late");
        model_pair m = b.release();
        close_model(m.header, m.symbols);
        return slot;
    }
    // Simulates the current model from its setup copy, as a run that carries
    // the saved states does.
    void simulate_from_setup(sim_output& out) {
        setup_state* st = setup_copies();
        ASSERT_NE(st, nullptr);
        handle_lock<float> values(setup_copy);
        sim_options o;
        o.setup = st;
        o.setup_values = values.get();
        o.setup_changed = st->changed.data();
        ASSERT_EQ(simulate_model(cur_model_symbols, o, &out), sim_done) << messages.joined();
    }
    message_capture messages;
};

// A pipeline object holding the given (value, due) entries.
std::vector<std::uint8_t> pipeline(std::uint16_t capacity, const std::vector<delay_entry>& entries,
                                   float output) {
    std::vector<std::uint8_t> b(delay_object_bytes(capacity), 0);
    delay_object d{};
    d.kind = fn_delay_fixed;
    d.first = 0;
    d.live = static_cast<std::int32_t>(entries.size());
    d.delay = 3;
    d.initial = output;
    d.output = output;
    d.capacity = capacity;
    std::memcpy(b.data(), &d, sizeof d);
    std::memcpy(b.data() + sizeof d, entries.data(), sizeof(delay_entry) * entries.size());
    return b;
}

TEST_F(DelayStates, SavedPipelinesCarryIntoTheNextRun) {
    const std::int32_t late = open_pipes(4, 1, "DELAY FIXED(100 + Time, 3, -1)");
    // Entries leaving at times 1 and 2 (from an earlier run), output 7 until then.
    std::vector<std::vector<std::uint8_t>> states = {pipeline(2, {{11, 1}, {12, 2}}, 7)};
    ASSERT_EQ(accept_run_delays(states), 1) << messages.joined();
    sim_output out;
    ASSERT_NO_FATAL_FAILURE(simulate_from_setup(out));
    EXPECT_FLOAT_EQ(saved_value(out, 0, late), 7);
    EXPECT_FLOAT_EQ(saved_value(out, 1, late), 11);
    EXPECT_FLOAT_EQ(saved_value(out, 2, late), 12);
    EXPECT_FLOAT_EQ(saved_value(out, 3, late), 100); // the run's own input from time 0
    // States that do not describe a delay object are refused.
    std::vector<std::vector<std::uint8_t>> bad = {std::vector<std::uint8_t>(30, 0)};
    EXPECT_EQ(accept_run_delays(bad), 0);
    auto broken = pipeline(2, {{1, 1}}, 0);
    std::int32_t live = 5;
    std::memcpy(broken.data() + 8, &live, 4);
    EXPECT_EQ(accept_run_delays({broken}), 0);
    // The ring's first entry must lie inside it: at its capacity or below 0
    // it would be read outside the entries.
    for (std::int32_t first : {2, -1}) {
        auto outside = pipeline(2, {{1, 1}}, 0);
        std::memcpy(outside.data() + 4, &first, 4);
        EXPECT_EQ(accept_run_delays({outside}), 0) << first;
    }
}

// A run file keeps due times as floats; taken back, each is the shortest
// decimal that gives it, as the time axis takes the control values: 4.05f
// (4.0500002) is due at Time 3.9 with TIME STEP 0.3, where 3.9 + 0.15 is
// 4.05, not a step later. The live ring is larger than the saved one.
TEST_F(DelayStates, ASavedDueTimeIsTakenAsWritten) {
    const std::int32_t late = open_pipes(4.8f, 0.3f, "DELAY FIXED(100 + Time, 5, -1)");
    std::vector<std::vector<std::uint8_t>> states = {pipeline(2, {{11, 4.05f}}, 7)};
    const float delay = 5; // the saved object's, as the model's
    std::memcpy(states[0].data() + 12, &delay, 4);
    ASSERT_EQ(accept_run_delays(states), 1) << messages.joined();
    sim_output out;
    ASSERT_NO_FATAL_FAILURE(simulate_from_setup(out));
    ASSERT_EQ(out.times.size(), 17u);
    EXPECT_EQ(saved_value(out, 12, late), 7.0f);  // Time 3.6
    EXPECT_EQ(saved_value(out, 13, late), 11.0f); // Time 3.9
    EXPECT_EQ(saved_value(out, 16, late), 11.0f); // the run's own input is due at 5
}

// A saved ring that is full and wraps (its oldest entry in the middle) grows
// when the run pushes its first input: the entries keep their order, oldest
// first, so the run's outputs are those due at each time in turn.
TEST_F(DelayStates, AFullWrappedRingGrowsKeepingItsOrder) {
    const std::int32_t late = open_pipes(6, 1, "DELAY FIXED(100 + Time, 3, -1)");
    // Capacity 8, the oldest entry in slot 5: entry k (value 10 k, due at k)
    // sits in slot (5 + k - 1) mod 8. The model's own ring would hold 7.
    constexpr std::uint16_t cap = 8;
    std::vector<delay_entry> ring(cap);
    for (int k = 1; k <= cap; ++k)
        ring[static_cast<std::size_t>((5 + k - 1) % cap)] = {10.0f * k, static_cast<float>(k)};
    std::vector<std::uint8_t> state = pipeline(cap, ring, 7);
    const std::int32_t first = 5;
    std::memcpy(state.data() + 4, &first, 4);
    ASSERT_EQ(accept_run_delays({state}), 1) << messages.joined();
    sim_output out;
    ASSERT_NO_FATAL_FAILURE(simulate_from_setup(out));
    ASSERT_EQ(out.times.size(), 7u);
    EXPECT_FLOAT_EQ(saved_value(out, 0, late), 7);
    for (std::size_t t = 1; t <= 6; ++t) EXPECT_FLOAT_EQ(saved_value(out, t, late), 10.0f * t) << t;
}

} // namespace
