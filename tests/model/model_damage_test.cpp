// Damage a reader's bounds checks must see exactly at their edge: an
// equation's text that runs one slot past the end of its node array, and a
// variable whose element count disagrees with its range's. Each is refused
// with one message naming the file and what is wrong, and nothing is kept.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/constants.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;
using bytes = std::vector<unsigned char>;

std::uint32_t u32(const bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
std::uint16_t u16(const bytes& b, std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}
void put32(bytes& b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

class ModelDamage : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        model_builder b("damage");
        build_full(b);
        const std::string path = temp_path("damage.kmf");
        ASSERT_EQ(b.write(path.c_str()), 1);
        sound_ = file_bytes(path);
        ASSERT_GT(sound_.size(), sizeof(kmf_header));
    }

    // The file offset of the stored block of a model header word (0: none).
    std::size_t block_of(int word) const {
        const std::size_t sym = sizeof(kmf_header);
        std::size_t at = sym + 4ull * u32(sound_, sym + 8);
        for (const auto& s : modelfile_format::stored_blocks) {
            if (!u32(sound_, sym + 4ull * (model_header_cell + s.word))) continue;
            if (s.word == word) return at;
            at += 4ull * u32(sound_, at + 8);
        }
        return 0;
    }

    // Reads image and expects it refused with one error (severity 5) that
    // names the file and says why, and every block given back.
    static void expect_refused(const bytes& image, const std::string& why) {
        const std::size_t live = live_handle_count();
        captured_reports r;
        reset_report_counts();
        model_pair m = read_model_bytes(image.data(), image.size(), "bad.kmf");
        EXPECT_EQ(m.symbols, 0u);
        int others = 0;
        for (int s = 0; s <= 10; ++s)
            if (s != 5) others += report_counts[s];
        EXPECT_EQ(report_counts[5], 1) << r.text();
        EXPECT_EQ(others, 0) << r.text();
        EXPECT_NE(r.text().find(why), std::string::npos) << r.text();
        EXPECT_NE(r.text().find("bad.kmf"), std::string::npos) << r.text();
        if (m.symbols) free_model(m.header, m.symbols);
        EXPECT_EQ(live_handle_count(), live);
    }

    bytes sound_;
};

TEST_F(ModelDamage, EquationTextOneSlotPastItsNodesIsRefused) {
    {
        model_pair m = read_model_bytes(sound_.data(), sound_.size(), "sound.kmf");
        ASSERT_NE(m.symbols, 0u) << "the undamaged model reads";
        free_model(m.header, m.symbols);
    }
    // The first text node of the equations: its record and index.
    const std::size_t eqs = block_of(mh_equations);
    ASSERT_NE(eqs, 0u);
    const std::uint32_t cells = u32(sound_, eqs + 8);
    std::size_t node_at = 0;
    std::uint32_t index = 0, count = 0;
    for (std::uint32_t c = 5; c < cells && !node_at;) {
        const std::size_t rec = eqs + 4ull * c;
        const std::uint32_t n = u32(sound_, rec + 16);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = rec + 20 + 8ull * i;
            if (!node_has_text(u16(sound_, at))) continue;
            node_at = at, index = i, count = n;
            break;
        }
        c += 5 + 2 * n;
    }
    ASSERT_NE(node_at, 0u) << "the model has a text in an equation";
    // In the sound file the text ends exactly at the last node: read above.
    const std::uint32_t length = u32(sound_, node_at + 4);
    EXPECT_EQ(index + (length + 8) / 8, count - 1);

    // A length whose slots reach one node past the array.
    bytes image = sound_;
    put32(image, node_at + 4, 8 * (count - index) - 8);
    expect_refused(image, "text past the equation");
    // A length far past it.
    put32(image, node_at + 4, 0xFFFFFFF0u);
    expect_refused(image, "text past the equation");
}

TEST_F(ModelDamage, AnElementCountThatDisagreesWithItsRangeIsRefused) {
    // A variable over the three regions: its dimension record (total 3, one
    // dimension of 3 at stride 1).
    const std::size_t dims = block_of(mh_dims);
    ASSERT_NE(dims, 0u);
    const std::uint32_t dcells = u32(sound_, dims + 8);
    std::size_t rec = 0;
    for (std::uint32_t c = 5; c + 5 <= dcells && !rec; ++c) {
        const std::size_t at = dims + 4ull * c;
        if (u32(sound_, at) == 3 && u32(sound_, at + 4) == 1 && u32(sound_, at + 8) == 3 &&
            u32(sound_, at + 12) == 1)
            rec = at;
    }
    ASSERT_NE(rec, 0u);
    {
        // The record says two elements, its range holds three; the total
        // and the stride agree with the record's own count.
        bytes image = sound_;
        put32(image, rec, 2);
        put32(image, rec + 8, 2);
        expect_refused(image, "dimension count");
    }
    {
        // The range's list says two elements, the variables over it three.
        const std::size_t lists = block_of(mh_elists);
        ASSERT_NE(lists, 0u);
        const std::uint32_t range = u32(sound_, rec + 16);
        const std::size_t sym = sizeof(kmf_header);
        // The range's symbol record: its element list cell.
        symbol_record r{};
        std::memcpy(&r, sound_.data() + sym + 4ull * range, sizeof r);
        ASSERT_GE(r.elems, 5u);
        ASSERT_EQ(u32(sound_, lists + 4ull * r.elems), 3u);
        bytes image = sound_;
        put32(image, lists + 4ull * r.elems, 2);
        expect_refused(image, "dimension count");
        // A list longer than its block: refused as the list it is.
        put32(image, lists + 4ull * r.elems, 0x40000000u);
        expect_refused(image, "element list");
    }
}

// A lookup's x and y points must both lie in the lookup data block: the last
// point on its last cell reads, one cell further is refused.
TEST_F(ModelDamage, LookupPointsPastTheirDataBlockAreRefused) {
    const std::size_t list = block_of(mh_lookup_list);
    const std::size_t data = block_of(mh_lookup_data);
    ASSERT_NE(list, 0u);
    ASSERT_NE(data, 0u);
    const std::uint32_t ldcells = u32(sound_, data + 8);
    // The first entry after the block's five head cells.
    const std::size_t entry = list + 4ull * 5;
    const std::uint32_t npoints = u32(sound_, entry + 8);
    ASSERT_EQ(npoints, 4u) << "the crowding lookup has four points";
    for (std::size_t field : {entry + 12, entry + 16}) {
        bytes image = sound_;
        put32(image, field, ldcells - npoints);
        {
            model_pair m = read_model_bytes(image.data(), image.size(), "edge.kmf");
            EXPECT_NE(m.symbols, 0u) << "points ending on the block's last cell read";
            if (m.symbols) free_model(m.header, m.symbols);
        }
        put32(image, field, ldcells - npoints + 1);
        expect_refused(image, "lookup points");
        put32(image, field, 0xFFFFFFFEu);
        expect_refused(image, "lookup points");
    }
}

// The token texts of the equations: each one's length must keep it inside
// its block, and a name's escape must have its four bytes of symbol inside
// the text it is in.
TEST_F(ModelDamage, TokenTextsRunningPastTheirBlockOrTextAreRefused) {
    const std::size_t tokens = block_of(mh_tokens);
    ASSERT_NE(tokens, 0u);
    const std::uint32_t tcells = u32(sound_, tokens + 8);
    std::uint32_t last = 0;
    std::size_t cut_escape = 0; // a text ending in a name, shortened by a byte stays in its cells
    for (std::uint32_t c = 5; c < tcells;) {
        const std::uint32_t len = u32(sound_, tokens + 4ull * c);
        const std::size_t text = tokens + 4ull * c + 4;
        if (!cut_escape && len >= 5 && len % 4 != 0 && sound_[text + len - 5] == token_symbol)
            cut_escape = tokens + 4ull * c;
        last = c;
        c += (len + 5 + 3) / 4;
    }
    ASSERT_NE(last, 0u);
    {
        // The last text's length reaching one cell past the block.
        bytes image = sound_;
        put32(image, tokens + 4ull * last, 4 * (tcells - last + 1) - 8);
        expect_refused(image, "token text length");
    }
    ASSERT_NE(cut_escape, 0u) << "an equation's text ends in a name";
    bytes image = sound_;
    put32(image, cut_escape, u32(sound_, cut_escape) - 1);
    expect_refused(image, "token text");
}

} // namespace
