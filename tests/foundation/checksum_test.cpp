#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/checksum.h"

namespace {

std::string hex(const std::array<unsigned char, 32>& d) {
    std::string s;
    char b[3];
    for (unsigned char c : d) {
        std::snprintf(b, sizeof b, "%02x", c);
        s += b;
    }
    return s;
}

// Published test vectors; the package and model-password formats depend on them.
TEST(Checksum, Sha256MatchesPublishedVectorsWhateverThePieces) {
    sha256 a;
    a.update("abc", 3);
    EXPECT_EQ(hex(a.finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // 56 bytes puts the length in a second block; feed it in uneven pieces.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    sha256 b;
    for (std::size_t i = 0; i < two.size(); i += 7)
        b.update(two.data() + i, std::min<std::size_t>(7, two.size() - i));
    EXPECT_EQ(hex(b.finish()), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

    sha256 empty;
    EXPECT_EQ(hex(empty.finish()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Checksum, Crc32MatchesTheCheckValueAndChains) {
    EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32_update(crc32("1234", 4), "56789", 5), 0xCBF43926u);
    EXPECT_EQ(crc32("", 0), 0u);
}

} // namespace
