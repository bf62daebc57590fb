// The records that are one drawing call: each is refused one field short and
// read and played at its full size, in both formats, and a function that only
// shares a known one's number in its low byte is skipped as unknown.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>

#include <string>
#include <utility>
#include <vector>

namespace {

// A Windows metafile of one record of `fn` with `words` parameters (all 0).
std::vector<BYTE> one_wmf_record(WORD fn, std::size_t words) {
    gdi::Bytes rec;
    rec.u32(static_cast<std::uint32_t>(3 + words));
    rec.u16(fn);
    for (std::size_t k = 0; k < words; ++k) rec.u16(0);
    rec.u32(3); // the end record
    rec.u16(wmf::EOF_);
    gdi::Bytes b;
    b.u16(1);
    b.u16(9);
    b.u16(0x0300);
    b.u32(static_cast<std::uint32_t>((18 + rec.v.size()) / 2));
    b.u16(0);
    b.u32(static_cast<std::uint32_t>(3 + words));
    b.u16(0);
    b.raw(rec.v.data(), rec.v.size());
    return b.v;
}

// An enhanced metafile of one record of `type` whose fields after its type
// and size are `body`.
std::vector<BYTE> emf_with(DWORD type, const std::vector<BYTE>& body) {
    std::size_t size = 8 + body.size();
    gdi::Bytes b;
    b.u32(emr::HEADER);
    b.u32(88);
    for (int k = 0; k < 4; ++k) b.i32(k < 2 ? 0 : 10);  // bounds
    for (int k = 0; k < 4; ++k) b.i32(k < 2 ? 0 : 265); // frame
    b.u32(emf_signature);
    b.u32(0x10000);
    std::size_t total = 88 + size + 20;
    b.u32(static_cast<std::uint32_t>(total));
    b.u32(3);  // records
    b.u16(1);  // handles
    b.u16(0);  // reserved
    b.u32(0);  // description
    b.u32(0);  // its offset
    b.u32(0);  // palette entries
    b.i32(96); // reference pixels
    b.i32(96);
    b.i32(25); // reference millimetres
    b.i32(25);
    b.u32(type);
    b.u32(static_cast<std::uint32_t>(size));
    b.raw(body.data(), body.size());
    b.u32(emr::EOF_);
    b.u32(20);
    b.u32(0);
    b.u32(16);
    b.u32(20);
    return b.v;
}

// An enhanced metafile of one record of `type` and `size` bytes (fields 0).
std::vector<BYTE> one_emf_record(DWORD type, std::size_t size) {
    return emf_with(type, std::vector<BYTE>(size - 8, 0));
}

// Each call record and the size it takes: parameter words, then bytes.
const std::vector<std::pair<WORD, std::size_t>> wmf_calls = {
    {wmf::SETBKCOLOR, 2},
    {wmf::SETTEXTCOLOR, 2},
    {wmf::SETBKMODE, 1},
    {wmf::SETMAPMODE, 1},
    {wmf::SETROP2, 1},
    {wmf::SETPOLYFILLMODE, 1},
    {wmf::SETSTRETCHBLTMODE, 1},
    {wmf::SETTEXTALIGN, 1},
    {wmf::SETWINDOWORG, 2},
    {wmf::SETWINDOWEXT, 2},
    {wmf::SETVIEWPORTORG, 2},
    {wmf::SETVIEWPORTEXT, 2},
    {wmf::OFFSETWINDOWORG, 2},
    {wmf::OFFSETVIEWPORTORG, 2},
    {wmf::SCALEWINDOWEXT, 4},
    {wmf::SCALEVIEWPORTEXT, 4},
    {wmf::MOVETO, 2},
    {wmf::LINETO, 2},
    {wmf::OFFSETCLIPRGN, 2},
    {wmf::EXCLUDECLIPRECT, 4},
    {wmf::INTERSECTCLIPRECT, 4},
    {wmf::SETPIXEL, 4},
    {wmf::ELLIPSE, 4},
    {wmf::RECTANGLE, 4},
    {wmf::ROUNDRECT, 6},
    {wmf::ARC, 8},
    {wmf::CHORD, 8},
    {wmf::PIE, 8},
};
const std::vector<std::pair<DWORD, std::size_t>> emf_calls = {
    {emr::SETBKCOLOR, 12},
    {emr::SETTEXTCOLOR, 12},
    {emr::SETBKMODE, 12},
    {emr::SETMAPMODE, 12},
    {emr::SETROP2, 12},
    {emr::SETPOLYFILLMODE, 12},
    {emr::SETSTRETCHBLTMODE, 12},
    {emr::SETTEXTALIGN, 12},
    {emr::SETWINDOWORGEX, 16},
    {emr::SETWINDOWEXTEX, 16},
    {emr::SETVIEWPORTORGEX, 16},
    {emr::SETVIEWPORTEXTEX, 16},
    {emr::SCALEWINDOWEXTEX, 24},
    {emr::SCALEVIEWPORTEXTEX, 24},
    {emr::MOVETOEX, 16},
    {emr::LINETO, 16},
    {emr::OFFSETCLIPRGN, 16},
    {emr::EXCLUDECLIPRECT, 24},
    {emr::INTERSECTCLIPRECT, 24},
    {emr::SETPIXELV, 20},
    {emr::ELLIPSE, 24},
    {emr::RECTANGLE, 24},
    {emr::ROUNDRECT, 32},
    {emr::ARC, 40},
    {emr::CHORD, 40},
    {emr::PIE, 40},
};

TEST(MetafileCallRecords, WindowsRecordsAreRefusedOneWordShortAndPlayedWhole) {
    QImage img(8, 8, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    for (const auto& [fn, words] : wmf_calls) {
        SCOPED_TRACE(fn);
        std::string error;
        std::vector<BYTE> shorter = one_wmf_record(fn, words - 1);
        EXPECT_FALSE(gdi::validate_wmf(shorter.data(), shorter.size(), error));
        EXPECT_NE(error.find("too short"), std::string::npos) << error;
        std::vector<BYTE> whole = one_wmf_record(fn, words);
        gdi::SkippedRecords skipped;
        EXPECT_TRUE(gdi::validate_wmf(whole.data(), whole.size(), error, &skipped)) << error;
        EXPECT_EQ(skipped.count, 0u);
        EXPECT_TRUE(gdi::play_wmf(dc, whole));
    }
    gdi_delete_image_dc(dc);
}

TEST(MetafileCallRecords, EnhancedRecordsAreRefusedOneFieldShortAndPlayedWhole) {
    QImage img(8, 8, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    RECT r{0, 0, 8, 8};
    for (const auto& [type, size] : emf_calls) {
        SCOPED_TRACE(type);
        std::string error;
        std::vector<BYTE> shorter = one_emf_record(type, size - 4);
        EXPECT_FALSE(gdi::validate_emf(shorter.data(), shorter.size(), error));
        EXPECT_NE(error.find("too short"), std::string::npos) << error;
        std::vector<BYTE> whole = one_emf_record(type, size);
        gdi::SkippedRecords skipped;
        EXPECT_TRUE(gdi::validate_emf(whole.data(), whole.size(), error, &skipped)) << error;
        EXPECT_EQ(skipped.count, 0u);
        EXPECT_TRUE(gdi::play_emf(dc, whole, &r));
    }
    gdi_delete_image_dc(dc);
}

TEST(MetafileCallRecords, AFunctionSharingOnlyTheLowByteIsUnknown) {
    // 0x0301 has SETBKCOLOR's number (0x01) with another parameter count.
    std::vector<BYTE> b = one_wmf_record(0x0301, 0);
    std::string error;
    gdi::SkippedRecords skipped;
    ASSERT_TRUE(gdi::validate_wmf(b.data(), b.size(), error, &skipped)) << error;
    EXPECT_EQ(skipped.count, 1u);
    EXPECT_EQ(skipped.first, 0x0301u);
    // An enhanced type above the table's byte is unknown too.
    std::vector<BYTE> e = one_emf_record(emr::SETBKCOLOR + 0x100, 8);
    ASSERT_TRUE(gdi::validate_emf(e.data(), e.size(), error, &skipped)) << error;
    EXPECT_EQ(skipped.count, 2u);
}

// The STRETCHDIBITS record of a 1 x 1 black bitmap stretched over 8 x 8 pixels
// from source row `row` (counted from the bottom).
std::vector<BYTE> stretch_from_row(std::int32_t row) {
    gdi::Bytes f;
    for (int k = 0; k < 4; ++k) f.i32(k < 2 ? 0 : 8);      // bounds
    for (std::int32_t v : {0, 0, 0, row, 1, 1}) f.i32(v);  // destination x, y; source x, y, w, h
    for (std::uint32_t v : {80u, 40u, 120u, 4u}) f.u32(v); // the bitmap's header and bits
    f.u32(0);                                              // colours as RGB
    f.u32(0x00CC0020);                                     // copy
    f.i32(8);                                              // destination width, height
    f.i32(8);
    f.u32(40); // a 1 x 1 bitmap of 32 bits
    f.i32(1);
    f.i32(1);
    f.u16(1);
    f.u16(32);
    for (int k = 0; k < 6; ++k) f.u32(k == 1 ? 4 : 0);
    f.u32(0);
    return emf_with(emr::STRETCHDIBITS, f.v);
}

QImage played(const std::vector<BYTE>& b) {
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(0xFFFFFFFFu);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    RECT r{0, 0, 8, 8};
    std::string error;
    EXPECT_TRUE(gdi::validate_emf(b.data(), b.size(), error)) << error;
    EXPECT_TRUE(gdi::play_emf(dc, b, &r));
    gdi_delete_image_dc(dc);
    return img;
}

// A source row so far below the bitmap that its distance from the top does not
// fit a field (it once overflowed) draws as a row merely outside it does.
TEST(MetafileTransfers, SourceRowsFarBelowTheBitmapPlayAsRowsOutsideIt) {
    QImage outside = played(stretch_from_row(-1000));
    for (std::int32_t row : {INT32_MIN, INT32_MIN + 1}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(played(stretch_from_row(row)), outside);
    }
}

// The body of a POLYPOLYGON16 record: its polygons' point counts, the total
// it states and `points` points.
std::vector<BYTE> polypolygon(const std::vector<std::uint32_t>& counts, std::uint32_t total,
                              std::size_t points) {
    gdi::Bytes f;
    for (int k = 0; k < 4; ++k) f.i32(0); // bounds
    f.u32(static_cast<std::uint32_t>(counts.size()));
    f.u32(total);
    for (std::uint32_t c : counts) f.u32(c);
    for (std::size_t k = 0; k < points; ++k) {
        f.i16(static_cast<int>(k));
        f.i16(static_cast<int>(k));
    }
    return f.v;
}

// The body of an EXTTEXTOUTW record of `chars` characters whose text stands
// at `text_at` and spacing at `spacing_at` (record offsets), with `tail`
// bytes after its fixed part.
std::vector<BYTE> text_record(std::uint32_t chars, std::uint32_t text_at, std::uint32_t spacing_at,
                              std::size_t tail) {
    gdi::Bytes f;
    for (int k = 0; k < 4; ++k) f.i32(0); // bounds
    f.u32(1);                             // graphics mode
    f.u32(0);                             // scales
    f.u32(0);
    f.i32(0); // reference point
    f.i32(0);
    f.u32(chars);
    f.u32(text_at);
    f.u32(0);                             // options
    for (int k = 0; k < 4; ++k) f.i32(0); // rectangle
    f.u32(spacing_at);
    for (std::size_t k = 0; k < tail; ++k) f.u8(0x41);
    return f.v;
}

std::string emf_refusal(DWORD type, const std::vector<BYTE>& body) {
    const std::vector<BYTE> b = emf_with(type, body);
    std::string error;
    return gdi::validate_emf(b.data(), b.size(), error) ? std::string() : error;
}

// Records that give their own counts and offsets: each count and offset is
// checked against the record. A polygon list whose counts do not add up to
// its total, or whose points run past the record, and a text whose
// characters or spacing run past it, are refused; inside, they are read.
TEST(MetafileCountedRecords, CountsAndOffsetsPastTheRecordAreRefused) {
    // Two polygons of 2 and 3 points: 5 points of 4 bytes.
    EXPECT_EQ(emf_refusal(emr::POLYPOLYGON16, polypolygon({2, 3}, 5, 5)), "");
    EXPECT_NE(emf_refusal(emr::POLYPOLYGON16, polypolygon({2, 2}, 5, 5))
                  .find("polygon point counts do not add up"),
              std::string::npos);
    EXPECT_NE(emf_refusal(emr::POLYPOLYGON16, polypolygon({2, 4}, 6, 5))
                  .find("point count beyond the record"),
              std::string::npos);
    EXPECT_NE(
        emf_refusal(emr::POLYPOLYGON16, polypolygon({0x40000000u, 2}, 5, 5)).find("do not add up"),
        std::string::npos);

    // Three characters (6 bytes, padded to 8) at 76, their spacing (12 bytes)
    // at 84: 20 bytes after the fixed part.
    EXPECT_EQ(emf_refusal(emr::EXTTEXTOUTW, text_record(3, 76, 84, 20)), "");
    EXPECT_NE(
        emf_refusal(emr::EXTTEXTOUTW, text_record(3, 92, 84, 20)).find("text beyond the record"),
        std::string::npos);
    EXPECT_NE(
        emf_refusal(emr::EXTTEXTOUTW, text_record(40, 76, 0, 20)).find("text beyond the record"),
        std::string::npos);
    EXPECT_NE(emf_refusal(emr::EXTTEXTOUTW, text_record(3, 76, 88, 20))
                  .find("character spacing beyond the record"),
              std::string::npos);
    // No spacing (offset 0) needs none.
    EXPECT_EQ(emf_refusal(emr::EXTTEXTOUTW, text_record(3, 76, 0, 8)), "");
}

// A Windows metafile of one record of `fn` with the given parameter words,
// its object table `objects` long.
std::vector<BYTE> wmf_with(WORD fn, const std::vector<WORD>& params, WORD objects = 0) {
    gdi::Bytes rec;
    rec.u32(static_cast<std::uint32_t>(3 + params.size()));
    rec.u16(fn);
    for (WORD w : params) rec.u16(w);
    rec.u32(3);
    rec.u16(wmf::EOF_);
    gdi::Bytes b;
    b.u16(1);
    b.u16(9);
    b.u16(0x0300);
    b.u32(static_cast<std::uint32_t>((18 + rec.v.size()) / 2));
    b.u16(objects);
    b.u32(static_cast<std::uint32_t>(3 + params.size()));
    b.u16(0);
    b.raw(rec.v.data(), rec.v.size());
    return b.v;
}

std::string wmf_refusal(WORD fn, const std::vector<WORD>& params, WORD objects = 0) {
    const std::vector<BYTE> b = wmf_with(fn, params, objects);
    std::string error;
    return gdi::validate_wmf(b.data(), b.size(), error) ? std::string() : error;
}

// A text record's characters take whole words: three characters are two
// words, so the record needs the count, two words of text and y and x.
TEST(MetafileCountedRecords, WindowsTextTakesWholeWordsForAnOddCount) {
    EXPECT_EQ(wmf_refusal(wmf::TEXTOUT, {3, 0x4241, 0x0043, 5, 6}), "");
    EXPECT_NE(wmf_refusal(wmf::TEXTOUT, {3, 0x4241, 0x0043, 5}).find("text beyond the record"),
              std::string::npos);
    EXPECT_EQ(wmf_refusal(wmf::TEXTOUT, {4, 0x4241, 0x4443, 5, 6}), "");
    EXPECT_NE(wmf_refusal(wmf::TEXTOUT, {4, 0x4241, 0x4443, 5}).find("text beyond the record"),
              std::string::npos);
}

// An enhanced metafile's object table: slot 0 is the metafile's own and no
// record may name it; slots 1 to handles - 1 are the records' to use.
TEST(MetafileCountedRecords, EnhancedObjectSlotZeroAndPastTheTableAreRefused) {
    auto with_handles = [](DWORD type, std::vector<BYTE> body) {
        std::vector<BYTE> b = emf_with(type, body);
        b[56] = 4; // the header's count of handles: slots 0 to 3
        std::string error;
        return gdi::validate_emf(b.data(), b.size(), error) ? std::string() : error;
    };
    auto pen = [](std::uint32_t slot) {
        gdi::Bytes f;
        f.u32(slot);
        f.u32(PS_SOLID);
        f.i32(1);
        f.i32(0);
        f.u32(0);
        return f.v;
    };
    auto slot_only = [](std::uint32_t slot) {
        gdi::Bytes f;
        f.u32(slot);
        return f.v;
    };
    EXPECT_EQ(with_handles(emr::CREATEPEN, pen(1)), "");
    EXPECT_EQ(with_handles(emr::CREATEPEN, pen(3)), "");
    EXPECT_NE(with_handles(emr::CREATEPEN, pen(0)), "");
    EXPECT_NE(with_handles(emr::CREATEPEN, pen(4)), "");
    EXPECT_NE(with_handles(emr::SELECTOBJECT, slot_only(0)), "");
    EXPECT_NE(with_handles(emr::DELETEOBJECT, slot_only(0)), "");
    EXPECT_NE(with_handles(emr::SELECTOBJECT, slot_only(4)), "");
}

} // namespace
