// Edges of the model store users meet without knowing it: settings saved with
// Windows line ends, the equation that computes one element of a
// two-dimensional variable, the name in a model file's header, pictures
// saved twice, and block heads whose growth step no writer of ours would store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "model/references.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/support/view_layout.h"

namespace {

using namespace model_fixture;
using bytes = std::vector<unsigned char>;

class ModelEdges : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        reset_report_counts();
    }
    void TearDown() override { close_model(0, 0); }
};

// Settings written on another system end their lines with CR LF: every
// line still reads, and no CR is left at the end of a text setting.
TEST_F(ModelEdges, SettingsWithCrLfLinesReadAsTheirPlainForm) {
    model_builder b("crlf");
    b.constant("rate", 1);
    b.settings_text(":RUN base case\r\n:TIME 2 8 0\r\n:SKETCH 150 1\r\n");
    model_pair m = b.release();
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols);
    ASSERT_NE(model_rec, nullptr);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "base case");
    EXPECT_EQ(model_rec->start, 2);
    EXPECT_EQ(model_rec->end, 8);
    EXPECT_EQ(model_rec->sketch_zoom, 150);
    EXPECT_EQ(model_rec->sketch_view, 1);
}

// x[a, b] over a = {a1, a2} and b = {b1, b2, b3} numbers its elements with
// the last subscript fastest: element 4 is x[a2, b2], element 2 x[a1, b3].
TEST_F(ModelEdges, EachElementOfATwoDimensionalVariableFindsTheEquationThatNamesIt) {
    model_builder b("grid");
    b.range("a", {"a1", "a2"});
    b.range("b", {"b1", "b2", "b3"});
    symbol_id x = b.aux("x[a1, b]", "1");
    b.aux("x[a2, b1]", "2");
    b.aux("x[a2, b2]", "3");
    b.aux("x[a2, b3]", "4");
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    model_lock_guard g(cur_model_symbols, 1);
    ASSERT_TRUE(g.ok());
    // element -> the position of its equation in the list above
    const int expected[6] = {0, 0, 0, 1, 2, 3};
    for (std::uint32_t el = 0; el < 6; ++el) {
        int position = -9;
        EXPECT_NE(equation_for_element(x, el, &position), nullptr) << el;
        EXPECT_EQ(position, expected[el]) << "element " << el;
    }
    int position = 0;
    EXPECT_EQ(equation_for_element(x, 6, &position), nullptr);
    EXPECT_EQ(position, -1);
}

// The header's name field holds 76 bytes, NUL-padded: a name of 75
// characters is kept whole, a longer one cut to 75 with the NUL kept.
TEST_F(ModelEdges, TheHeaderKeepsANameAsLongAsItsFieldAllows) {
    model_builder b("named");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    for (std::size_t n : {1u, 74u, 75u, 90u}) {
        std::string name(n, 'n');
        name[0] = 'A';
        std::string path = temp_path("named.kmf");
        model_write_options o;
        o.name = name.c_str();
        ASSERT_EQ(write_model_file(path.c_str(), b.symbols(), o), 1);
        bytes f = file_bytes(path);
        ASSERT_GE(f.size(), 164u);
        std::string stored(reinterpret_cast<const char*>(f.data() + 4), 76);
        std::string want = name.substr(0, 75);
        want.resize(76, '\0');
        EXPECT_EQ(stored, want) << n;
    }
}

std::uint32_t get_u32(const bytes& b, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A growth step past 2^24 cells is no block of ours: such a head is refused
// with one message, whichever block carries it; a step at the bound reads.
TEST_F(ModelEdges, BlockHeadsWithAHugeGrowthStepAreRefused) {
    model_builder b("steps");
    build_full(b);
    std::string path = temp_path("steps.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    const bytes good = file_bytes(path);
    const std::size_t sym = sizeof(kmf_header);
    // The first stored block after the symbol block.
    std::size_t after = sym + 4ull * get_u32(good, sym + 8);
    for (std::size_t head : {sym, after}) {
        for (std::uint32_t step : {(1u << 24) + 1, 0xFFFFFFFFu}) {
            bytes image = good;
            std::memcpy(image.data() + head + 16, &step, 4);
            std::size_t live = live_handle_count();
            captured_reports r;
            reset_report_counts();
            model_pair m = read_model_bytes(image.data(), image.size(), "bad.kmf");
            EXPECT_EQ(m.symbols, 0u) << head << " " << step;
            EXPECT_EQ(report_counts[5], 1) << r.text();
            EXPECT_EQ(report_counts[10], 0) << r.text();
            EXPECT_NE(r.text().find("bad.kmf"), std::string::npos) << r.text();
            if (m.symbols) free_model(m.header, m.symbols);
            EXPECT_EQ(live_handle_count(), live);
        }
        bytes image = good;
        const std::uint32_t step = 1u << 24;
        std::memcpy(image.data() + head + 16, &step, 4);
        model_pair m = read_model_bytes(image.data(), image.size(), "edge.kmf");
        EXPECT_NE(m.symbols, 0u) << head;
        if (m.symbols) free_model(m.header, m.symbols);
    }
}

// A view's pictures saved, read back and saved again give the very bytes
// first written: a file marks an element's picture with 1, never with where
// the picture lay in memory.
TEST_F(ModelEdges, PicturesReadBackAndSavedAgainGiveTheSameFile) {
    model_builder b("pictures");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    view_layout v(b, "Pictures");
    // Each block begins with its byte size; the rest is the picture's.
    std::vector<std::uint8_t> block(48, 0x5A);
    block[0] = 48, block[1] = block[2] = block[3] = 0;
    ASSERT_GT(v.picture(ek_bitmap, block, 40, 40, 20, 20), 0);
    ASSERT_GT(v.picture(ek_metafile, block, 100, 40, 20, 20), 0);
    ASSERT_GT(v.picture(ek_bitmap, block, 160, 40, 20, 20), 0);
    const std::string first_path = temp_path("pictures.kmf");
    ASSERT_EQ(b.write(first_path.c_str()), 1);
    const bytes first = file_bytes(first_path);
    model_pair m = read_model_bytes(first.data(), first.size(), "pictures.kmf");
    ASSERT_NE(m.symbols, 0u);
    const std::string dir = fresh_dir("kvpictures");
    const std::string again = dir + "/pictures.kmf";
    model_write_options o;
    o.name = "pictures.kmf";
    EXPECT_EQ(write_model_file(again.c_str(), m.symbols, o), 1);
    free_model(m.header, m.symbols);
    const bytes second = file_bytes(again);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_TRUE(first == second);
}

// A metafile picture's header (its four words after the size) changes byte
// order word by word: a file written in the other order reads back to the
// same picture, so saving it again natively gives the first file's bytes.
TEST_F(ModelEdges, AMetafileHeaderComesBackFromTheOtherByteOrder) {
    model_builder b("meta");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    view_layout v(b, "Pictures");
    std::vector<std::uint8_t> block(40, 0x5A);
    block[0] = 40, block[1] = block[2] = block[3] = 0;
    for (int k = 4; k < 20; ++k) block[k] = static_cast<std::uint8_t>(k * 7);
    ASSERT_GT(v.picture(ek_metafile, block, 100, 40, 20, 20), 0);
    const std::string dir = fresh_dir("kvmetaorder");
    const std::string native_path = dir + "/meta.kmf";
    ASSERT_EQ(b.write(native_path.c_str()), 1);
    const bytes native = file_bytes(native_path);
    model_pair m = read_model_bytes(native.data(), native.size(), "meta.kmf");
    ASSERT_NE(m.symbols, 0u);
    model_write_options o;
    o.name = "meta.kmf";
    o.foreign = true;
    ASSERT_EQ(write_model_file((dir + "/other.kmf").c_str(), m.symbols, o), 1);
    free_model(m.header, m.symbols);
    const bytes other = file_bytes(dir + "/other.kmf");
    EXPECT_FALSE(other == native);
    model_pair back = read_model_bytes(other.data(), other.size(), "meta.kmf");
    ASSERT_NE(back.symbols, 0u);
    o.foreign = false;
    ASSERT_EQ(write_model_file((dir + "/again.kmf").c_str(), back.symbols, o), 1);
    free_model(back.header, back.symbols);
    const bytes again = file_bytes(dir + "/again.kmf");
    ASSERT_EQ(again.size(), native.size());
    EXPECT_TRUE(again == native);
}

// A sketch element written in the other byte order: the 16-bit fields of its
// place and size (bytes 8 to 15) each come out with their two bytes
// exchanged, and reading them back gives the record as it was.
TEST_F(ModelEdges, ElementPlaceAndSizeChangeByteOrderFieldByField) {
    std::vector<std::uint32_t> cells(6 + 11, 0);
    cells[6] = 11; // the piece's head: 11 cells, an element record of 40 bytes
    auto* r = reinterpret_cast<std::uint8_t*>(cells.data() + 7);
    const std::uint8_t fields[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    r[0] = 0x01;
    r[1] = 0x02;
    r[2] = static_cast<std::uint8_t>(ek_variable);
    std::memcpy(r + 8, fields, 8);
    const std::vector<std::uint32_t> native = cells;
    ASSERT_TRUE(modelfile_format::walk_pieces(cells.data(), 17, true, false));
    EXPECT_EQ(r[0], 0x02);
    EXPECT_EQ(r[1], 0x01);
    EXPECT_EQ(r[2], ek_variable);
    const std::uint8_t swapped[8] = {0x22, 0x11, 0x44, 0x33, 0x66, 0x55, 0x88, 0x77};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(r[8 + i], swapped[i]) << "byte " << 8 + i;
    ASSERT_TRUE(modelfile_format::walk_pieces(cells.data(), 17, true, true));
    EXPECT_EQ(cells, native);
}

// A view whose only picture is a bitmap still saves the picture: its bytes
// are in the file, and again in the file saved from what was read back.
TEST_F(ModelEdges, ALoneBitmapPictureIsSavedWithItsView) {
    model_builder b("bitmap");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    view_layout v(b, "Picture");
    std::vector<std::uint8_t> block(48);
    block[0] = 48;
    for (std::size_t i = 4; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_GT(v.picture(ek_bitmap, block, 40, 40, 20, 20), 0);
    const std::string path = temp_path("bitmap.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    const bytes first = file_bytes(path);
    auto holds_picture = [&](const bytes& file) {
        return std::search(file.begin(), file.end(), block.begin() + 4, block.end()) != file.end();
    };
    EXPECT_TRUE(holds_picture(first));
    model_pair m = read_model_bytes(first.data(), first.size(), "bitmap.kmf");
    ASSERT_NE(m.symbols, 0u);
    const std::string again = fresh_dir("kvbitmap") + "/bitmap.kmf";
    model_write_options o;
    o.name = "bitmap.kmf";
    EXPECT_EQ(write_model_file(again.c_str(), m.symbols, o), 1);
    free_model(m.header, m.symbols);
    EXPECT_TRUE(holds_picture(file_bytes(again)));
}

} // namespace
