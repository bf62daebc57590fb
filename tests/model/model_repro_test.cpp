// Inputs that once crashed or misled a reader, kept as regression tests: each
// must be refused with a message naming the file (or read cleanly), never
// crash.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/varnames.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;

std::string repro(const char* name) {
    return std::string(KAVREL_SOURCE_DIR) + "/tests/model/repro/" + name;
}

class ModelRepro : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
};

// The model file of build_full (it has a view with three elements), and the
// file offset of that view's index (right after its 128-byte record).
std::vector<unsigned char> model_with_view(std::size_t* index_at) {
    model_builder b("views");
    build_full(b);
    EXPECT_TRUE(b.finish());
    std::string path = fresh_dir("repro") + "/views.kmf";
    EXPECT_EQ(b.write(path.c_str()), 1);
    auto bytes = file_bytes(path);
    std::string all(bytes.begin(), bytes.end());
    std::size_t name = all.find("View 1");
    EXPECT_NE(name, std::string::npos);
    *index_at = name - 72 + 128;
    return bytes;
}

TEST_F(ModelRepro, AViewIndexCellNearTwoToThe32IsRefused) {
    std::size_t index_at = 0;
    auto bytes = model_with_view(&index_at);
    ASSERT_LT(index_at + 8, bytes.size());
    {
        captured_reports r;
        model_pair m = read_model_bytes(bytes.data(), bytes.size(), "views.kmf");
        ASSERT_NE(m.symbols, 0u) << r.text();
        free_model(m.header, m.symbols);
    }
    // Element 1's index cell: 0xFFFFFFFF once wrapped to 0 in "cell + 1 >
    // used cells" and the record was read 16 GB past the block.
    for (std::uint32_t cell : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u, 0x3FFFFFFFu}) {
        auto bad = bytes;
        std::memcpy(bad.data() + index_at + 4, &cell, 4);
        captured_reports r;
        model_pair m = read_model_bytes(bad.data(), bad.size(), "views.kmf");
        EXPECT_EQ(m.symbols, 0u) << cell;
        EXPECT_NE(r.text().find("views.kmf: view element index"), std::string::npos) << r.text();
    }
}

TEST_F(ModelRepro, ABlockTooLargeForItsByteSizeIsRefused) {
    // A symbol block head claiming 2^30 cells (4 GB: its byte size would wrap
    // to 0 in 32 bits) in a file that is short of it.
    std::size_t index_at = 0;
    auto bytes = model_with_view(&index_at);
    for (std::uint32_t cells : {0x40000000u, 0x40000001u, 0xFFFFFFFFu}) {
        auto bad = bytes;
        std::memcpy(bad.data() + 164 + 8, &cells, 4);
        std::memcpy(bad.data() + 164 + 12, &cells, 4);
        captured_reports r;
        EXPECT_EQ(read_model_bytes(bad.data(), bad.size(), "big.kmf").symbols, 0u);
        EXPECT_NE(r.text().find("Corrupted block reading file big.kmf"), std::string::npos)
            << r.text();
    }
}

TEST_F(ModelRepro, SavedReproducersAreRefusedCleanly) {
    // Token text byte counts that ran past their block (found by fuzz_eqtext).
    {
        auto bytes = file_bytes(repro("token_bytes.kmf"));
        ASSERT_GT(bytes.size(), 164u);
        captured_reports r;
        model_pair m = read_model_bytes(bytes.data(), bytes.size(), "token_bytes.kmf");
        if (m.symbols) {
            EXPECT_FALSE(describe(m.symbols).empty());
            free_model(m.header, m.symbols);
        } else {
            EXPECT_NE(r.text().find("token_bytes.kmf"), std::string::npos) << r.text();
        }
    }
    // An equation record with no nodes at the end of its block: walking it
    // read the root past the block (found by fuzz_model).
    {
        auto bytes = file_bytes(repro("empty_equation.kmf"));
        ASSERT_GT(bytes.size(), 164u);
        captured_reports r;
        model_pair m = read_model_bytes(bytes.data(), bytes.size(), "empty_equation.kmf");
        EXPECT_EQ(m.symbols, 0u);
        EXPECT_NE(r.text().find("empty equation"), std::string::npos) << r.text();
    }
    // An equation record's node count read before its head was known to lie
    // in the block (found by fuzz_runfile through the run's model part).
    {
        std::string path = repro("equation_head.kdf");
        ASSERT_FALSE(file_bytes(path).empty());
        captured_reports r;
        handle rec = read_binary_model(path.c_str(), 0);
        EXPECT_EQ(rec, 0u);
        EXPECT_NE(r.text().find("equation_head.kdf"), std::string::npos) << r.text();
    }
}

// A shape whose counts multiply to 0 hid a dimension of a thousand million
// positions (found by fuzz_eqtext: the element names of such a variable asked
// for 4 GB). The reader refuses counts that disagree with their ranges and
// strides that do not match the counts; the checked readers refuse shapes
// above the reader's limit.
TEST_F(ModelRepro, ShapesThatDisagreeWithTheirRangesAreRefused) {
    struct damage {
        const char* why;
        void (*apply)(dim_record* d);
    };
    const damage cases[] = {
        {"dimension count",
         [](dim_record* d) {
             d->d[0].count = 0;
             d->d[1].count = 1010580540;
             d->count = 0;
         }},
        {"dimension count",
         [](dim_record* d) {
             d->d[0].count = 2;
             d->count = 4;
         }},
        {"dimension stride", [](dim_record* d) { d->d[1].stride = 3; }},
    };
    for (const damage& c : cases) {
        model_builder b("shapes");
        b.range("region", {"north", "south", "east"});
        b.range("age", {"young", "old"});
        symbol_id x = b.constant("x[region, age]", 1);
        ASSERT_TRUE(b.finish());
        {
            model_lock_guard g(b.symbols(), 0);
            c.apply(dims_at(sym(x)->dims));
        }
        std::string path = fresh_dir("shapes") + "/shapes.kmf";
        ASSERT_EQ(write_model_file(path.c_str(), b.symbols()), 1);
        captured_reports r;
        model_pair m = read_model_file(path.c_str());
        EXPECT_EQ(m.symbols, 0u) << c.why;
        EXPECT_NE(r.text().find(c.why), std::string::npos) << r.text();
    }
}

TEST_F(ModelRepro, TheTextServicesRefuseShapesAboveTheReadersLimit) {
    model_builder b("huge");
    b.range("region", {"north", "south", "east"});
    b.range("kind", {"new", "old"});
    symbol_id x = b.constant("x[region]", 1);
    symbol_id y = b.constant("y[region,kind]", 1);
    ASSERT_TRUE(b.finish());
    model_lock_guard g(b.symbols(), 1);
    dim_record* d = dims_at(sym(x)->dims);
    ASSERT_NE(safe_dims(x), nullptr);
    const char** names = nullptr;
    EXPECT_EQ(var_element_names(x, &names, 1), 3);
    d->d[0].count = 1010580540; // the count of the fuzz finding
    d->count = d->d[0].count;
    EXPECT_EQ(safe_dims(x), nullptr);
    EXPECT_EQ(var_element_names(x, &names, 1), 0);
    d->d[0].count = max_var_elements + 1;
    d->count = d->d[0].count;
    EXPECT_EQ(safe_dims(x), nullptr);
    d->d[0].count = 3;
    d->count = 3;
    EXPECT_NE(safe_dims(x), nullptr);
    // Strides that reach one element past the count: y's 3 x 2 elements at
    // strides 2 and 2 would put its last at 2 * 2 + 1 * 2 = 6, outside 0..5.
    dim_record* e = dims_at(sym(y)->dims);
    ASSERT_NE(safe_dims(y), nullptr);
    ASSERT_EQ(e->count, 6u);
    const std::uint32_t stride = e->d[1].stride;
    e->d[1].stride = 2;
    EXPECT_EQ(safe_dims(y), nullptr);
    e->d[1].stride = stride;
    EXPECT_NE(safe_dims(y), nullptr);
}

// An equation added without nodes gets a text-only root, so it writes and
// reads back and every node walker finds its node 0.
TEST_F(ModelRepro, AnEquationWithoutNodesIsKeptAsText) {
    model_builder b("textonly");
    symbol_id x = b.constant("x", 1);
    ASSERT_TRUE(b.finish());
    std::uint32_t cell = add_equation(b.symbols(), x, nullptr, 0, 0, 3);
    ASSERT_NE(cell, 0u);
    {
        model_lock_guard g(b.symbols(), 1);
        ASSERT_EQ(eq_at(cell)->nnodes, 1u);
        EXPECT_EQ(eq_nodes(eq_at(cell))->code, nc_unparsed);
        EXPECT_EQ(node_skip(eq_nodes(eq_at(cell))), nullptr);
    }
    std::string path = fresh_dir("textonly") + "/t.kmf";
    ASSERT_EQ(write_model_file(path.c_str(), b.symbols()), 1);
    captured_reports r;
    model_pair m = read_model_file(path.c_str());
    ASSERT_NE(m.symbols, 0u) << r.text();
    free_model(m.header, m.symbols);
}

} // namespace
