// A new view's defaults, the freeing of a view's pictures, and the model
// password's check value: SHA-256 of the salt and the text, then rounds of
// SHA-256 of the salt and the last digest.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/support/view_layout.h"

namespace {

using namespace model_fixture;

// A new view: no colour set but the program's defaults, one (unused)
// element, the name as given.
TEST(ModelViews, ANewViewTakesTheProgramsDefaults) {
    model_builder b("views");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    const int first = add_view(b.symbols(), "Main");
    const int second = add_view(b.symbols(), "Other");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(get_header_word(b.symbols(), mh_view_count) & 0xFFFF, 2u);
    handle vb = get_header_word(b.symbols(), mh_views);
    ASSERT_NE(vb, 0u);
    handle_lock<view_rec> v(vb);
    for (int i : {first, second}) {
        const view_rec& r = v.get()[i];
        EXPECT_EQ(r.background, 0xFFFFFFFFu) << i;
        EXPECT_EQ(r.connector, 0x00FF0000u) << i;
        EXPECT_EQ(r.fill, 0xFFFFFFFFu) << i;
        EXPECT_EQ(r.init_link_colour, 0x00C0C0C0u) << i;
        EXPECT_EQ(r.count, 1u) << i;
        EXPECT_GE(r.capacity, 1u) << i;
        EXPECT_NE(r.index, 0u) << i;
        EXPECT_NE(r.data, 0u) << i;
    }
    EXPECT_STREQ(v.get()[first].name, "Main");
    EXPECT_STREQ(v.get()[second].name, "Other");
}

// Freeing a view block frees its pictures, bitmaps and metafiles alike, and
// its attached blocks: nothing of the view stays behind.
TEST(ModelViews, FreeingAViewFreesEveryPicture) {
    const std::size_t before = live_handle_count();
    {
        model_builder b("pictures");
        b.constant("rate", 1);
        ASSERT_TRUE(b.finish());
        view_layout v(b, "Pictures");
        std::vector<std::uint8_t> block(48, 0x5A);
        block[0] = 48, block[1] = block[2] = block[3] = 0;
        ASSERT_GT(v.picture(ek_bitmap, block, 40, 40, 20, 20), 0);
        ASSERT_GT(v.picture(ek_metafile, block, 100, 40, 20, 20), 0);
        const std::string path = fresh_dir("kvfreed") + "/freed.kmf";
        ASSERT_EQ(b.write(path.c_str()), 1);
        const auto image = file_bytes(path);
        const std::size_t with_builder = live_handle_count();
        model_pair m = read_model_bytes(image.data(), image.size(), "freed.kmf");
        ASSERT_NE(m.symbols, 0u);
        ASSERT_GT(live_handle_count(), with_builder);
        free_model(m.header, m.symbols);
        EXPECT_EQ(live_handle_count(), with_builder);
    }
    EXPECT_EQ(live_handle_count(), before);
}

// The check value of salt 0, 1, ..., 15, text "secret" and three rounds,
// worked out from the definition.
TEST(ModelPassword, TheCheckValueIsRoundsOfSha256OfTheSalt) {
    model_builder b("locked");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    set_model_password(b.symbols(), "anything");
    handle p = get_header_word(b.symbols(), mh_password);
    ASSERT_NE(p, 0u);
    password_record rec{};
    rec.state = 1;
    rec.iterations = 3;
    for (int i = 0; i < 16; ++i) rec.salt[i] = static_cast<std::uint8_t>(i);
    const std::uint8_t check[32] = {0x05, 0xf6, 0xdc, 0x16, 0x68, 0x8f, 0xc0, 0xee,
                                    0x2c, 0x59, 0xf5, 0xea, 0xe7, 0xad, 0x45, 0x0f,
                                    0x57, 0x5f, 0xb1, 0x4a, 0x8f, 0xf0, 0x74, 0x6a,
                                    0xc7, 0x0b, 0x10, 0x63, 0x6d, 0x69, 0x6a, 0x87};
    std::memcpy(rec.check, check, 32);
    {
        handle_lock<std::uint32_t> blk(p);
        std::memcpy(blk.get() + 5, &rec, sizeof rec);
    }
    EXPECT_TRUE(model_has_password(b.symbols()));
    EXPECT_TRUE(check_model_password(b.symbols(), "secret"));
    EXPECT_FALSE(check_model_password(b.symbols(), "Secret"));
    EXPECT_FALSE(check_model_password(b.symbols(), "anything"));
}

// A password of the longest length allowed opens its model; one character
// less does not.
TEST(ModelPassword, TheLongestPasswordIsKeptWhole) {
    model_builder b("long");
    b.constant("rate", 1);
    ASSERT_TRUE(b.finish());
    std::string longest;
    for (int i = 0; i < max_password_chars; ++i) longest += static_cast<char>('a' + i % 26);
    set_model_password(b.symbols(), longest.c_str());
    EXPECT_TRUE(check_model_password(b.symbols(), longest.c_str()));
    EXPECT_FALSE(check_model_password(b.symbols(), longest.substr(0, longest.size() - 1).c_str()));
    // Past the longest, the extra characters are not part of it.
    EXPECT_TRUE(check_model_password(b.symbols(), (longest + "zz").c_str()));
}

} // namespace
