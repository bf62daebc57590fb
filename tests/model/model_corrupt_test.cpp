// Corrupt model files are refused with one message of their own: no internal
// error on the way out, and nothing left allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;
using bytes = std::vector<unsigned char>;

class ModelCorrupt : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }

    bytes written(bool foreign) {
        model_builder b(foreign ? "corrupt_be" : "corrupt");
        build_full(b);
        std::string path = temp_path(foreign ? "corrupt_be.kmf" : "corrupt.kmf");
        EXPECT_EQ(b.write(path.c_str(), foreign), 1);
        return file_bytes(path);
    }

    // Reads image and expects it refused with exactly one error (severity 5)
    // that contains why, no internal error, and every block given back.
    void expect_one_error(const bytes& image, const std::string& why) {
        std::size_t live = live_handle_count();
        captured_reports r;
        reset_report_counts();
        model_pair m = read_model_bytes(image.data(), image.size(), "bad.kmf");
        EXPECT_EQ(m.symbols, 0u);
        EXPECT_EQ(report_counts[10], 0) << r.text();
        EXPECT_EQ(report_counts[5], 1) << r.text();
        int others = 0;
        for (int s = 0; s <= 10; ++s)
            if (s != 5) others += report_counts[s];
        EXPECT_EQ(others, 0) << r.text();
        EXPECT_NE(r.text().find(why), std::string::npos) << r.text();
        EXPECT_NE(r.text().find("bad.kmf"), std::string::npos) << r.text();
        EXPECT_EQ(live_handle_count(), live);
        if (m.symbols) free_model(m.header, m.symbols);
    }
};

std::uint32_t get_u32(const bytes& b, std::size_t at, bool foreign) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return foreign ? swap32(v) : v;
}
void put_u32(bytes& b, std::size_t at, std::uint32_t v, bool foreign) {
    if (foreign) v = swap32(v);
    std::memcpy(b.data() + at, &v, 4);
}

// File offset of the first stored block of the given content kind after the
// symbol block (0 when the model stores none).
std::size_t block_of_kind(const bytes& b, bool foreign, modelfile_format::content kind) {
    const std::size_t sym = sizeof(kmf_header);
    std::size_t at = sym + 4ull * get_u32(b, sym + 8, foreign);
    for (const auto& s : modelfile_format::stored_blocks) {
        if (!get_u32(b, sym + 4ull * (model_header_cell + s.word), foreign)) continue;
        if (s.kind == kind) return at;
        at += 4ull * get_u32(b, at + 8, foreign);
    }
    return 0;
}

TEST_F(ModelCorrupt, SymbolBlockTooShortForTheModelHeader) {
    for (bool foreign : {false, true}) {
        bytes image = written(foreign);
        const std::size_t sym = sizeof(kmf_header);
        // A sound block of 20 cells: the header's 48 words do not fit.
        put_u32(image, sym + 8, 20, foreign);
        put_u32(image, sym + 12, 20, foreign);
        SCOPED_TRACE(foreign ? "foreign" : "native");
        expect_one_error(image, "symbol table");
    }
}

TEST_F(ModelCorrupt, ForeignBlockThatFailsConversion) {
    bytes image = written(true);
    // A token text whose length runs past its block.
    std::size_t tokens = block_of_kind(image, true, modelfile_format::ct_tokens);
    ASSERT_NE(tokens, 0u);
    put_u32(image, tokens + 20, 0x7FFFFFFF, true);
    expect_one_error(image, "Corrupted block reading file");

    // An equation record that claims more nodes than its block holds.
    image = written(true);
    std::size_t eqs = block_of_kind(image, true, modelfile_format::ct_equations);
    ASSERT_NE(eqs, 0u);
    put_u32(image, eqs + 20 + 16, 0x10000, true);
    expect_one_error(image, "Corrupted block reading file");
}

TEST_F(ModelCorrupt, OwnedHandleEndsTheLockBeforeFreeing) {
    std::size_t live = live_handle_count();
    reset_report_counts();
    {
        owned_handle<std::uint32_t> a(new_handle(64));
        a.lock()[0] = 7;
        EXPECT_EQ(a.lock()[0], 7u) << "one lock, the same pointer";
        EXPECT_EQ(handle_lock_count(a.get()), 1u);
        owned_handle<std::uint32_t> b(new_handle(16));
        b.lock();
        handle kept = b.release();
        EXPECT_EQ(handle_lock_count(kept), 0u);
        EXPECT_TRUE(handle_valid(kept));
        a.reset(kept);
        EXPECT_EQ(a.get(), kept);
    }
    EXPECT_EQ(live_handle_count(), live);
    EXPECT_EQ(report_counts[10], 0);
}

} // namespace
