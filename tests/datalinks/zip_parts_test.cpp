// Zip archives as the sheet readers meet them: parts written by our own
// writer read back, the flags and fields other zip readers rely on, and the
// damage each field check refuses (a directory or part running past its
// room, sizes or check sums that do not agree), each with its message.
#include "datalinks/zip_parts.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace sheets;

namespace {

std::uint32_t le(const std::string& z, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k)
        v = v << 8 | static_cast<unsigned char>(z[at + static_cast<std::size_t>(k)]);
    return v;
}
void put(std::string& z, std::size_t at, int bytes, std::uint32_t v) {
    for (int k = 0; k < bytes; ++k, v >>= 8)
        z[at + static_cast<std::size_t>(k)] = static_cast<char>(v & 0xFF);
}
std::size_t end_record(const std::string& z) {
    return z.rfind(std::string("PK\x05\x06", 4));
}

const std::vector<zip_part> two_parts = {
    {"[Content_Types].xml", "<Types>" + std::string(300, 't') + "</Types>"},
    {"xl/Données.xml", "<sheet>1 2 3</sheet>"},
};

// Refused with a message holding `part`.
void expect_refused(const std::string& zip, const std::string& part) {
    std::vector<zip_part> parts;
    std::string why;
    EXPECT_FALSE(unzip_parts(zip, &parts, &why));
    EXPECT_NE(why.find(part), std::string::npos) << why;
}

// Names are written as UTF-8 and say so: bit 11 of the flags of both the
// local and the directory header; stored and deflated parts read back as
// written.
TEST(ZipParts, OurArchivesSayTheirNamesAreUtf8AndReadBack) {
    for (bool deflate : {false, true}) {
        const std::string zip = zip_archive(two_parts, deflate);
        ASSERT_EQ(le(zip, 0, 4), 0x04034b50u);
        EXPECT_EQ(le(zip, 6, 2) & 0x0800u, 0x0800u) << "local header";
        EXPECT_EQ(le(zip, 8, 2), deflate ? 8u : 0u) << "method";
        const std::size_t eocd = end_record(zip);
        ASSERT_NE(eocd, std::string::npos);
        EXPECT_EQ(le(zip, eocd + 10, 2), 2u);
        const std::size_t dir = le(zip, eocd + 16, 4);
        ASSERT_EQ(le(zip, dir, 4), 0x02014b50u);
        EXPECT_EQ(le(zip, dir + 8, 2) & 0x0800u, 0x0800u) << "directory header";
        std::vector<zip_part> back;
        std::string why;
        ASSERT_TRUE(unzip_parts(zip, &back, &why)) << why;
        ASSERT_EQ(back.size(), 2u);
        for (std::size_t k = 0; k < 2; ++k) {
            EXPECT_EQ(back[k].name, two_parts[k].name);
            EXPECT_EQ(back[k].data, two_parts[k].data);
        }
    }
}

// Another writer may put an extra field in a part's local header (its length
// at 28): the part's data starts after it.
TEST(ZipParts, ALocalExtraFieldIsSteppedOver) {
    for (bool deflate : {false, true}) {
        std::string zip = zip_archive({two_parts[1]}, deflate);
        const std::string extra("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
        const std::size_t name_end = 30 + le(zip, 26, 2);
        zip.insert(name_end, extra);
        put(zip, 28, 2, static_cast<std::uint32_t>(extra.size()));
        const std::size_t eocd = end_record(zip);
        put(zip, eocd + 16, 4, le(zip, eocd + 16, 4) + static_cast<std::uint32_t>(extra.size()));
        std::vector<zip_part> back;
        std::string why;
        ASSERT_TRUE(unzip_parts(zip, &back, &why)) << why;
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].data, two_parts[1].data);
    }
}

TEST(ZipParts, DamagedFieldsAreRefusedWithTheirMessage) {
    const std::string good = zip_archive(two_parts, false);
    const std::size_t eocd = end_record(good);
    const std::size_t dir = le(good, eocd + 16, 4);
    const std::uint32_t dir_size = le(good, eocd + 12, 4);

    // The directory's size reaching past the end record.
    std::string z = good;
    put(z, eocd + 12, 4, dir_size + 40);
    expect_refused(z, "a zip directory outside the archive");

    // The last entry's comment length running past the directory.
    z = good;
    const std::size_t second = dir + 46 + le(good, dir + 28, 2);
    ASSERT_EQ(le(z, second, 4), 0x02014b50u);
    put(z, second + 32, 2, 200);
    expect_refused(z, "a damaged zip directory");

    // A stored part whose directory gives another unpacked size.
    z = good;
    put(z, dir + 24, 4, le(good, dir + 24, 4) - 1);
    expect_refused(z, "is not the size its directory states");

    // A stored byte changed: the check sum no longer agrees.
    z = good;
    const std::size_t data = 30 + le(good, 26, 2) + le(good, 28, 2);
    z[data + 10] = 'X';
    expect_refused(z, "its check sum does not match");

    // Nothing that ends like an archive.
    expect_refused(std::string(100, 'x'), "a zip archive without its directory");
}

// A deflated part that ends before the size its directory states is
// damaged, even when the check sum in the directory is that of the bytes it
// gave padded out to the stated size: it is refused as short, not read with
// made-up bytes at its end.
TEST(ZipParts, ADeflatedPartShorterThanItsDirectorySaysIsRefused) {
    const std::vector<zip_part> one = {{"xl/sheet.xml", std::string(500, 'v')}};
    const std::string good = zip_archive(one, true);
    const std::size_t eocd = end_record(good);
    const std::size_t dir = le(good, eocd + 16, 4);
    ASSERT_EQ(le(good, dir + 10, 2), 8u) << "deflated";
    std::string z = good;
    const std::string padded = std::string(500, 'v') + '\0';
    put(z, dir + 24, 4, 501); // the stated size, one byte more than it holds
    put(z, 22, 4, 501);       // and in the local header
    put(z, dir + 16, 4,
        static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(padded.data()),
                                         static_cast<uInt>(padded.size()))));
    expect_refused(z, "does not inflate to the size its directory states");
}

// The archive's directory is found however long its comment: the end record
// is searched for over the last 22 + 65535 bytes, the most a comment allows.
TEST(ZipParts, ACommentOfAnyLengthIsSteppedOver) {
    for (std::size_t comment : {0u, 300u, 4000u, 65535u}) {
        SCOPED_TRACE(comment);
        std::string zip = zip_archive(two_parts, true);
        ASSERT_GE(zip.size(), 22u);
        zip[zip.size() - 2] = static_cast<char>(comment & 0xFF);
        zip[zip.size() - 1] = static_cast<char>((comment >> 8) & 0xFF);
        zip += std::string(comment, 'c');
        std::vector<zip_part> back;
        std::string why;
        ASSERT_TRUE(unzip_parts(zip, &back, &why)) << why;
        ASSERT_EQ(back.size(), two_parts.size());
        EXPECT_EQ(back[0].data, two_parts[0].data);
    }
}

} // namespace
