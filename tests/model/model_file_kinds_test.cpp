// A model file's kind and the writer's failures: a file of another kind (a
// graph set, a run) is no model to open, and a model part that cannot be
// written says whether it went into a model or a run file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/common/fault_child.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;
using bytes = std::vector<unsigned char>;

bytes many_constants(const char* name) {
    model_builder b("kinds");
    for (int i = 0; i < 200; ++i) b.constant(("constant " + std::to_string(i)).c_str(), 1);
    EXPECT_TRUE(b.finish());
    const std::string path = fresh_dir("kinds") + "/" + name;
    EXPECT_EQ(b.write(path.c_str()), 1);
    return file_bytes(path);
}

// The file-type letter is the header's fourth byte: only 'M' is a model.
TEST(ModelFileKinds, OnlyAModelFileOpensAsAModel) {
    bytes image = many_constants("kind.kmf");
    ASSERT_GT(image.size(), 164u);
    ASSERT_EQ(image[3], 'M');
    {
        captured_reports r;
        model_pair m = read_model_bytes(image.data(), image.size(), "kind.kmf");
        EXPECT_NE(m.symbols, 0u) << r.text();
        if (m.symbols) free_model(m.header, m.symbols);
    }
    for (char other : {'G', 'R', 'N', 'm'}) {
        bytes copy = image;
        copy[3] = static_cast<unsigned char>(other);
        captured_reports r;
        model_pair m = read_model_bytes(copy.data(), copy.size(), "kind.kmf");
        EXPECT_EQ(m.symbols, 0u) << other;
        if (m.symbols) free_model(m.header, m.symbols);
        EXPECT_NE(r.text().find("kind.kmf is not a binary model file"), std::string::npos)
            << other << ": " << r.text();
    }
}

// A model part cut short by a full disk names what it was written into.
TEST(ModelFileKinds, AModelPartThatCannotBeWrittenSaysWhereItWasGoing) {
    bytes image = many_constants("big.kmf");
    ASSERT_GT(image.size(), 4096u);
    model_pair m = read_model_bytes(image.data(), image.size(), "big.kmf");
    ASSERT_NE(m.symbols, 0u);
    const std::string dir = fresh_dir("kindsfull");
    const std::pair<const char*, const char*> cases[] = {{"cut.kmf", "the model"},
                                                         {"cut.kdf", "the run file"}};
    for (const auto& [name, what] : cases) {
        const std::string p = dir + "/" + name;
        int result = -1;
        auto said = fault_child::under_size_limit(
            1024,
            [&] {
                file_handle fh = fh_open_write(p.c_str(), 0, 0);
                if (fh < 0) return -2;
                int ok = write_model_part(fh, m.symbols, false);
                fh_close(fh);
                return ok;
            },
            &result);
        EXPECT_EQ(result, 0) << name;
        ASSERT_FALSE(said.empty()) << name;
        const std::string want = std::string("Unable to write ") + what + " " + p;
        EXPECT_EQ(said[0].text.rfind(want, 0), 0u) << said[0].text;
    }
    free_model(m.header, m.symbols);
}

// The names of the symbol kinds, in the order the document tool's kind
// option and the variable selection's type filter index them.
TEST(ModelFileKinds, SymbolKindNamesInTheirIndexOrder) {
    const std::vector<std::pair<int, std::string>> want = {{-1, "All"},
                                                           {st_level, "Level"},
                                                           {st_aux, "Auxiliary"},
                                                           {st_data, "Data"},
                                                           {st_initial, "Initial"},
                                                           {st_constant, "Constant"},
                                                           {st_lookup, "Lookup"},
                                                           {st_group, "Group"},
                                                           {st_range, "Subscript Range"},
                                                           {st_constraint, "Constraint"},
                                                           {st_test_input, "Test Input"},
                                                           {st_time_base, "Time Base"},
                                                           {st_game, "Game"},
                                                           {-2, "Orphan"}};
    ASSERT_EQ(want.size(), 14u);
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(symbol_type_table[i].type, want[i].first) << i;
        EXPECT_EQ(std::string(symbol_type_table[i].name), want[i].second) << i;
    }
    // The codes as the files store them.
    EXPECT_EQ(st_level, 8);
    EXPECT_EQ(st_aux, 17);
    EXPECT_EQ(st_range, 132);
    EXPECT_EQ(st_test_input, 28);
}

// Opening a block file tells a file that is missing or too short (-1) from
// one that is no block file at all (-2), each with its message.
TEST(ModelFileKinds, OpeningTellsAMissingFileFromAForeignOne) {
    const std::string dir = fresh_dir("kindsopen");
    const std::string text = dir + "/notes.kmf";
    {
        std::FILE* f = std::fopen(text.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("This is no model at all\n", f);
        std::fclose(f);
    }
    kmf_header h{};
    {
        captured_reports r;
        EXPECT_EQ(open_block_file(text.c_str(), &h, 0), -2);
        EXPECT_NE(r.text().find(text + " is not a binary model or data file"), std::string::npos)
            << r.text();
    }
    {
        captured_reports r;
        EXPECT_EQ(open_block_file((dir + "/none.kmf").c_str(), &h, 0), -1);
        EXPECT_NE(r.text().find("Unable to open " + dir + "/none.kmf"), std::string::npos)
            << r.text();
    }
    {
        const std::string tiny = dir + "/tiny.kmf";
        std::FILE* f = std::fopen(tiny.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("\x7f", f);
        std::fclose(f);
        captured_reports r;
        EXPECT_EQ(open_block_file(tiny.c_str(), &h, 0), -1);
        EXPECT_NE(r.text().find("the file has 1 bytes, too few for any header"), std::string::npos)
            << r.text();
    }
}

} // namespace
