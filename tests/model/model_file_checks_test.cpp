// A model file whose symbols or views name what is not there: a group that
// is no symbol, an arrow ending at an element the view does not have, and a
// view name that fills its field with no end. Each is refused (or cut) by
// the reader, never trusted.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/support/view_layout.h"

namespace {

using namespace model_fixture;
using bytes = std::vector<unsigned char>;

bytes written(model_builder& b, const char* name) {
    const std::string path = fresh_dir("checks") + "/" + name;
    EXPECT_EQ(b.write(path.c_str()), 1);
    return file_bytes(path);
}

// Reads image: the model (symbols 0 when refused) and the messages.
model_pair read(const bytes& image, std::string* said) {
    captured_reports r;
    model_pair m = read_model_bytes(image.data(), image.size(), "checked.kmf");
    *said = r.text();
    return m;
}

void expect_refused(const bytes& image, const std::string& why) {
    std::string said;
    model_pair m = read(image, &said);
    EXPECT_EQ(m.symbols, 0u) << said;
    EXPECT_NE(said.find("checked.kmf"), std::string::npos) << said;
    EXPECT_NE(said.find(why), std::string::npos) << said;
    if (m.symbols) free_model(m.header, m.symbols);
}

void expect_read(const bytes& image) {
    std::string said;
    model_pair m = read(image, &said);
    EXPECT_NE(m.symbols, 0u) << said;
    if (m.symbols) free_model(m.header, m.symbols);
}

class ModelFileChecks : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
};

TEST_F(ModelFileChecks, AGroupThatIsNoSymbolIsRefused) {
    model_builder b("groups");
    symbol_id g = b.group("farm");
    symbol_id k = b.constant("k", 1);
    b.in_group(k, g);
    const bytes sound = written(b, "groups.kmf");
    expect_read(sound);
    // The symbol table is the first block after the file header; a symbol's
    // record is at its cell, its group the ninth word.
    const std::size_t group_at = sizeof(kmf_header) + 4ull * k + 32;
    ASSERT_LT(group_at + 4, sound.size());
    std::uint32_t stored = 0;
    std::memcpy(&stored, sound.data() + group_at, 4);
    ASSERT_EQ(stored, g) << "the group word of k";
    for (std::uint32_t bad : {g + 1, 0x7FFFFFF0u, 3u}) {
        bytes image = sound;
        std::memcpy(image.data() + group_at, &bad, 4);
        expect_refused(image, "group of a symbol");
    }
}

// A view of two variables and an arrow record from tail to head (elements
// 1 and 2 are the variables, 3 the arrow itself).
bytes view_with_arrow(std::uint16_t tail, std::uint16_t head) {
    model_builder b("arrows");
    b.constant("k", 1);
    b.aux("x", "k * 2");
    view_layout v(b, "View 1");
    v.variable("k", 100, 100);
    v.variable("x", 200, 100);
    std::vector<std::uint8_t> r(20, 0);
    r[0] = 20, r[2] = ek_connector, r[13] = 1;
    std::memcpy(r.data() + 4, &tail, 2);
    std::memcpy(r.data() + 6, &head, 2);
    v.raw(r);
    return written(b, "arrows.kmf");
}

TEST_F(ModelFileChecks, AnArrowEndingPastTheViewsElementsIsRefused) {
    expect_read(view_with_arrow(1, 2));
    // The view has elements 0 to 3.
    expect_read(view_with_arrow(1, 3));
    expect_refused(view_with_arrow(1, 4), "connector");
    expect_refused(view_with_arrow(1, 0xFFFF), "connector");
    expect_refused(view_with_arrow(4, 2), "connector");
}

TEST_F(ModelFileChecks, AViewNameFillingItsFieldIsCutToFit) {
    model_builder b("named");
    b.constant("k", 1);
    view_layout v(b, "View 1");
    v.variable("k", 100, 100);
    bytes image = written(b, "named.kmf");
    const std::string all(image.begin(), image.end());
    const std::size_t name = all.find("View 1");
    ASSERT_NE(name, std::string::npos);
    // All 52 bytes of the name field written, with no end.
    std::memset(image.data() + name, 'W', 52);
    std::string said;
    model_pair m = read(image, &said);
    ASSERT_NE(m.symbols, 0u) << said;
    const handle views = get_header_word(m.symbols, mh_views);
    ASSERT_NE(views, 0u);
    {
        handle_lock<view_rec> recs(views);
        ASSERT_TRUE(recs);
        const char* stored = recs.get()[0].name;
        EXPECT_EQ(strnlen(stored, sizeof recs.get()[0].name), 51u);
        EXPECT_EQ(std::string(stored, 51), std::string(51, 'W'));
    }
    free_model(m.header, m.symbols);
}

} // namespace
