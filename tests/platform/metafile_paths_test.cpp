// Records that other programs' metafiles use: paths, curves, world transforms,
// unknown records, and the placeable size some writers count differently.
// Each picture is ours, with records spliced in before its end record.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFFu, black = 0xFF000000u;

using Record = std::vector<BYTE>;

void put32(std::vector<BYTE>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
std::uint32_t get32(const std::vector<BYTE>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// An enhanced record of 32-bit fields.
Record rec(DWORD type, std::initializer_list<std::uint32_t> fields) {
    Record r(8 + 4 * fields.size());
    put32(r, 0, type);
    put32(r, 4, static_cast<std::uint32_t>(r.size()));
    std::size_t at = 8;
    for (std::uint32_t f : fields) {
        put32(r, at, f);
        at += 4;
    }
    return r;
}
std::uint32_t fl(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}
std::uint32_t xy16(int x, int y) {
    return static_cast<std::uint16_t>(x) | (static_cast<std::uint32_t>(y) << 16);
}
std::uint32_t stock(int index) {
    return emf_stock_bit | static_cast<std::uint32_t>(index);
}

// A 100 x 100 picture (its bounds set by two white pixels) with `records`
// before its end, black brush and no pen selected first.
std::vector<BYTE> emf_with(const std::vector<Record>& records) {
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    SetPixelV(edc, 0, 0, RGB(255, 255, 255));
    SetPixelV(edc, 99, 99, RGB(255, 255, 255));
    HENHMETAFILE mf = CloseEnhMetaFile(edc);
    std::vector<BYTE> b(GetEnhMetaFileBits(mf, 0, nullptr));
    GetEnhMetaFileBits(mf, static_cast<UINT>(b.size()), b.data());
    DeleteEnhMetaFile(mf);
    std::vector<Record> all = {rec(emr::SELECTOBJECT, {stock(BLACK_BRUSH)}),
                               rec(emr::SELECTOBJECT, {stock(NULL_PEN)})};
    all.insert(all.end(), records.begin(), records.end());
    std::vector<BYTE> body;
    for (const Record& r : all) body.insert(body.end(), r.begin(), r.end());
    b.insert(b.end() - 20, body.begin(), body.end());
    put32(b, 48, static_cast<std::uint32_t>(b.size()));
    put32(b, 52, get32(b, 52) + static_cast<std::uint32_t>(all.size()));
    return b;
}

struct Played {
    QImage img{100, 100, QImage::Format_RGB32};
    bool loaded = false;
    bool played = false;
    QRgb at(int x, int y) const { return img.pixel(x, y); }
};

Played play(const std::vector<BYTE>& b) {
    Played p;
    p.img.fill(white);
    HENHMETAFILE mf = SetEnhMetaFileBits(static_cast<UINT>(b.size()), b.data());
    p.loaded = mf != nullptr;
    if (!mf) return p;
    HDC dc = gdi_create_image_dc(&p.img, nullptr, QRegion());
    RECT r{0, 0, 100, 100};
    p.played = PlayEnhMetaFile(dc, mf, &r);
    gdi_delete_image_dc(dc);
    DeleteEnhMetaFile(mf);
    return p;
}

// A filled figure: (10,50), a curve over (10,10) and (90,10) to (90,50), closed.
// The curve's top is at y 20.
std::vector<Record> dome(DWORD draw) {
    Record curve =
        rec(emr::POLYBEZIERTO16, {0, 0, 100, 100, 3, xy16(10, 10), xy16(90, 10), xy16(90, 50)});
    return {rec(emr::BEGINPATH, {}),   rec(emr::MOVETOEX, {10, 50}), curve,
            rec(emr::CLOSEFIGURE, {}), rec(emr::ENDPATH, {}),        rec(draw, {0, 0, 100, 100})};
}

TEST(MetafilePaths, FilledCurvedPath) {
    Played p = play(emf_with(dome(emr::FILLPATH)));
    ASSERT_TRUE(p.played) << gdi_last_error();
    EXPECT_EQ(p.at(50, 25), black);
    EXPECT_EQ(p.at(50, 45), black);
    EXPECT_EQ(p.at(50, 15), white); // above the curve
    EXPECT_EQ(p.at(50, 55), white); // below the closing line
    EXPECT_EQ(p.at(12, 20), white); // outside the curve's shoulder
}

TEST(MetafilePaths, StrokedPathDrawsOnlyTheOutline) {
    std::vector<Record> r = {rec(emr::SELECTOBJECT, {stock(BLACK_PEN)})};
    for (Record& x : dome(emr::STROKEPATH)) r.push_back(x);
    Played p = play(emf_with(r));
    ASSERT_TRUE(p.played);
    EXPECT_EQ(p.at(50, 35), white); // inside: not filled
    bool top = false, base = false;
    for (int y = 17; y <= 23; ++y) top |= p.at(50, y) == black;
    for (int y = 48; y <= 52; ++y) base |= p.at(50, y) == black;
    EXPECT_TRUE(top);
    EXPECT_TRUE(base); // the figure was closed
}

TEST(MetafilePaths, ClipPathLimitsLaterDrawing) {
    Played p = play(emf_with({rec(emr::BEGINPATH, {}), rec(emr::RECTANGLE, {0, 0, 50, 100}),
                              rec(emr::ENDPATH, {}), rec(emr::SELECTCLIPPATH, {RGN_COPY}),
                              rec(emr::RECTANGLE, {0, 0, 101, 101})}));
    ASSERT_TRUE(p.played);
    EXPECT_EQ(p.at(25, 50), black);
    EXPECT_EQ(p.at(75, 50), white);
}

// A clip path lets through the pixels whose centres lie inside it: the
// same pixels filling that path paints.
TEST(MetafilePaths, AClipPathPassesThePixelsItsFillWouldPaint) {
    auto square = [] {
        return std::vector<Record>{
            rec(emr::BEGINPATH, {}), rec(emr::MOVETOEX, {10, 10}),
            rec(emr::POLYLINETO16, {0, 0, 100, 100, 3, xy16(30, 10), xy16(30, 30), xy16(10, 30)}),
            rec(emr::CLOSEFIGURE, {}), rec(emr::ENDPATH, {})};
    };
    std::vector<Record> filled = square();
    filled.push_back(rec(emr::FILLPATH, {0, 0, 100, 100}));
    std::vector<Record> clipped = square();
    clipped.push_back(rec(emr::SELECTCLIPPATH, {RGN_COPY}));
    clipped.push_back(rec(emr::RECTANGLE, {0, 0, 101, 101}));
    Played f = play(emf_with(filled)), c = play(emf_with(clipped));
    ASSERT_TRUE(f.played);
    ASSERT_TRUE(c.played);
    for (const Played* p : {&f, &c}) {
        EXPECT_EQ(p->at(10, 10), black);
        EXPECT_EQ(p->at(29, 29), black);
        EXPECT_EQ(p->at(30, 20), white);
        EXPECT_EQ(p->at(20, 30), white);
        EXPECT_EQ(p->at(9, 20), white);
    }
    EXPECT_EQ(c.img, f.img);
}

// A clip region record without a region, in copy mode, lifts the clip.
TEST(MetafilePaths, AnEmptyClipRegionRecordLiftsTheClip) {
    const std::vector<Record> clipped = {rec(emr::INTERSECTCLIPRECT, {0, 0, 50, 100})};
    std::vector<Record> lifted = clipped;
    lifted.push_back(rec(emr::EXTSELECTCLIPRGN, {0, RGN_COPY}));
    std::vector<Record> a = clipped, b = lifted;
    a.push_back(rec(emr::RECTANGLE, {0, 0, 101, 101}));
    b.push_back(rec(emr::RECTANGLE, {0, 0, 101, 101}));
    Played still = play(emf_with(a)), free = play(emf_with(b));
    ASSERT_TRUE(still.played);
    ASSERT_TRUE(free.played) << gdi_last_error();
    EXPECT_EQ(still.at(75, 50), white);
    EXPECT_EQ(free.at(25, 50), black);
    EXPECT_EQ(free.at(75, 50), black);
}

// A pen the player cannot make as written (a dash pattern of no dashes)
// still draws, solid, in the pen's own colour.
TEST(MetafilePaths, AnUnmakeablePenDrawsSolidInItsColour) {
    // Pen 1: style, width 3, solid brush style, red, no hatch, no dashes.
    std::vector<BYTE> b = emf_with(
        {rec(emr::EXTCREATEPEN,
             {1, 0, 0, 0, 0, PS_GEOMETRIC | PS_USERSTYLE, 3, BS_SOLID, RGB(255, 0, 0), 0, 0}),
         rec(emr::SELECTOBJECT, {1}), rec(emr::MOVETOEX, {10, 60}), rec(emr::LINETO, {90, 60})});
    b[56] = 4; // room for the pen in the object table
    b[57] = 0;
    Played p = play(b);
    ASSERT_TRUE(p.played) << gdi_last_error();
    EXPECT_EQ(p.at(50, 60), 0xFFFF0000u);
    EXPECT_EQ(p.at(50, 50), white);
}

// A transfer that names no source bitmap plays (as a pattern transfer) and
// the picture goes on.
TEST(MetafilePaths, ATransferWithoutItsBitmapDoesNotStopThePicture) {
    Played p = play(emf_with(
        {rec(emr::BITBLT, {0,     0,     100,   100,   10,    10, 20, 20, BLACKNESS, 0, 0, fl(1),
                           fl(0), fl(0), fl(1), fl(0), fl(0), 0,  0,  0,  0,         0, 0}),
         rec(emr::BITBLT, {0,     0,     100,   100,   50,    50, 20, 20, SRCCOPY, 0, 0, fl(1),
                           fl(0), fl(0), fl(1), fl(0), fl(0), 0,  0,  0,  0,       0, 0}),
         rec(emr::RECTANGLE, {70, 10, 90, 30})}));
    ASSERT_TRUE(p.played) << gdi_last_error();
    EXPECT_EQ(p.at(15, 15), black);
    EXPECT_EQ(p.at(80, 20), black); // drawn after the transfer
}

TEST(MetafilePaths, CurvesOutsideAPathAreStroked) {
    Played p =
        play(emf_with({rec(emr::SELECTOBJECT, {stock(BLACK_PEN)}),
                       rec(emr::POLYBEZIER, {0, 0, 100, 100, 4, 10, 50, 10, 10, 90, 10, 90, 50})}));
    ASSERT_TRUE(p.played);
    bool top = false;
    for (int y = 17; y <= 23; ++y) top |= p.at(50, y) == black;
    EXPECT_TRUE(top);
    EXPECT_EQ(p.at(50, 35), white);
}

TEST(MetafilePaths, PointDrawingMovesDrawsAndCloses) {
    // Move to (10,10), lines to (90,10) and (90,90), closing the figure.
    Record draw = rec(emr::POLYDRAW16,
                      {0, 0, 100, 100, 3, xy16(10, 10), xy16(90, 10), xy16(90, 90), 0x00030206u});
    Played p = play(emf_with({rec(emr::BEGINPATH, {}), draw, rec(emr::ENDPATH, {}),
                              rec(emr::FILLPATH, {0, 0, 100, 100})}));
    ASSERT_TRUE(p.played);
    EXPECT_EQ(p.at(80, 30), black); // inside the triangle
    EXPECT_EQ(p.at(20, 80), white); // across its diagonal
}

// Stroking and filling closes every figure, not only the last: the closing
// side of an earlier open figure is stroked too.
TEST(MetafilePaths, StrokeAndFillClosesEveryFigure) {
    Played p = play(emf_with(
        {rec(emr::SELECTOBJECT, {stock(BLACK_PEN)}), rec(emr::SELECTOBJECT, {stock(GRAY_BRUSH)}),
         rec(emr::BEGINPATH, {}), rec(emr::MOVETOEX, {10, 10}), rec(emr::LINETO, {50, 10}),
         rec(emr::LINETO, {50, 50}), rec(emr::MOVETOEX, {60, 60}), rec(emr::LINETO, {90, 60}),
         rec(emr::LINETO, {90, 90}), rec(emr::ENDPATH, {}),
         rec(emr::STROKEANDFILLPATH, {0, 0, 100, 100})}));
    ASSERT_TRUE(p.played) << gdi_last_error();
    EXPECT_NE(p.at(40, 20), white); // filled inside the first figure
    // The closing side of each figure, from its last point back to its first.
    for (int figure = 0; figure < 2; ++figure) {
        const int cx = figure == 0 ? 30 : 75, cy = cx;
        bool stroked = false;
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x) stroked |= p.at(x, y) == black;
        EXPECT_TRUE(stroked) << "figure " << figure;
    }
}

TEST(MetafilePaths, WorldTransformSetModifiedAndRestored) {
    Played p = play(emf_with({
        rec(emr::SAVEDC, {}), rec(emr::SETWORLDTRANSFORM, {fl(2), 0, 0, fl(2), fl(10), fl(10)}),
        rec(emr::RECTANGLE, {5, 5, 20, 20}), // 20..50 on the page
        rec(emr::MODIFYWORLDTRANSFORM, {fl(1), 0, 0, fl(1), fl(0), fl(20), 2}),
        rec(emr::RECTANGLE, {30, 0, 40, 5}), // left multiply: moved down 20, then x2 + 10
        rec(emr::RESTOREDC, {static_cast<std::uint32_t>(-1)}),
        rec(emr::RECTANGLE, {90, 90, 100, 100}), // the identity again
    }));
    ASSERT_TRUE(p.played);
    EXPECT_EQ(p.at(35, 35), black);
    EXPECT_EQ(p.at(15, 15), white);
    EXPECT_EQ(p.at(55, 35), white);
    EXPECT_EQ(p.at(75, 55), black); // x 70..90, y 50..60
    EXPECT_EQ(p.at(75, 45), white);
    EXPECT_EQ(p.at(95, 95), black);
    EXPECT_EQ(p.at(85, 95), white);
}

// Polylines and polygons in sets, of 16-bit and 32-bit points: two
// horizontal lines at y 20 and y 40 from x 10 to 90, or two squares.
TEST(MetafilePaths, SetsOfPolylinesAndPolygonsOfEitherPointSize) {
    const std::uint32_t bounds[4] = {0, 0, 100, 100};
    auto set_of = [&](DWORD type, bool small, const std::vector<std::vector<POINT>>& polys) {
        std::vector<std::uint32_t> f(bounds, bounds + 4);
        std::uint32_t total = 0;
        for (const auto& p : polys) total += static_cast<std::uint32_t>(p.size());
        f.push_back(static_cast<std::uint32_t>(polys.size()));
        f.push_back(total);
        for (const auto& p : polys) f.push_back(static_cast<std::uint32_t>(p.size()));
        for (const auto& p : polys)
            for (const POINT& q : p) {
                if (small) {
                    f.push_back(xy16(q.x, q.y));
                } else {
                    f.push_back(static_cast<std::uint32_t>(q.x));
                    f.push_back(static_cast<std::uint32_t>(q.y));
                }
            }
        Record r(8 + 4 * f.size());
        put32(r, 0, type);
        put32(r, 4, static_cast<std::uint32_t>(r.size()));
        for (std::size_t k = 0; k < f.size(); ++k) put32(r, 8 + 4 * k, f[k]);
        return r;
    };
    const std::vector<std::vector<POINT>> lines = {{{10, 20}, {90, 20}}, {{10, 40}, {90, 40}}};
    for (bool small : {true, false}) {
        SCOPED_TRACE(small ? "16-bit" : "32-bit");
        Played p =
            play(emf_with({rec(emr::SELECTOBJECT, {stock(BLACK_PEN)}),
                           set_of(small ? emr::POLYPOLYLINE16 : emr::POLYPOLYLINE, small, lines)}));
        ASSERT_TRUE(p.played) << gdi_last_error();
        EXPECT_EQ(p.at(50, 20), black);
        EXPECT_EQ(p.at(50, 40), black);
        EXPECT_EQ(p.at(50, 30), white);
        EXPECT_EQ(p.at(50, 60), white);
    }
    const std::vector<std::vector<POINT>> squares = {{{10, 10}, {30, 10}, {30, 30}, {10, 30}},
                                                     {{60, 60}, {80, 60}, {80, 80}, {60, 80}}};
    Played q = play(emf_with({set_of(emr::POLYPOLYGON16, true, squares)}));
    ASSERT_TRUE(q.played) << gdi_last_error();
    EXPECT_EQ(q.at(20, 20), black);
    EXPECT_EQ(q.at(70, 70), black);
    EXPECT_EQ(q.at(45, 45), white);
}

// After a curve the current position is the curve's end: a line drawn from
// there after the path goes down from (90, 50), not from a control point.
TEST(MetafilePaths, ACurveLeavesThePositionAtItsEnd) {
    Record curve =
        rec(emr::POLYBEZIERTO16, {0, 0, 100, 100, 3, xy16(10, 10), xy16(90, 10), xy16(90, 50)});
    Played p = play(emf_with({rec(emr::BEGINPATH, {}), rec(emr::MOVETOEX, {10, 50}), curve,
                              rec(emr::ENDPATH, {}), rec(emr::SELECTOBJECT, {stock(BLACK_PEN)}),
                              rec(emr::LINETO, {90, 90})}));
    ASSERT_TRUE(p.played) << gdi_last_error();
    EXPECT_EQ(p.at(90, 70), black);
    EXPECT_EQ(p.at(50, 50), white); // not the way from (10, 10)
    EXPECT_EQ(p.at(50, 20), white); // the path itself is not drawn
}

// Closing a figure leaves the position at its last point: the next line
// starts a new figure there. Two triangles, (10,10)-(50,10)-(50,50) and
// (50,50)-(90,50)-(90,90), filled alternately: a second figure begun back
// at (10,10) would cross the first and empty their overlap.
TEST(MetafilePaths, AFigureAfterAClosedOneStartsWhereThePenIs) {
    Played p = play(
        emf_with({rec(emr::BEGINPATH, {}), rec(emr::MOVETOEX, {10, 10}), rec(emr::LINETO, {50, 10}),
                  rec(emr::LINETO, {50, 50}), rec(emr::CLOSEFIGURE, {}), rec(emr::LINETO, {90, 50}),
                  rec(emr::LINETO, {90, 90}), rec(emr::CLOSEFIGURE, {}), rec(emr::ENDPATH, {}),
                  rec(emr::FILLPATH, {0, 0, 100, 100})}));
    ASSERT_TRUE(p.played) << gdi_last_error();
    EXPECT_EQ(p.at(40, 32), black); // the first triangle only
    EXPECT_EQ(p.at(80, 60), black); // the second
    EXPECT_EQ(p.at(20, 30), white);
    EXPECT_EQ(p.at(60, 80), white);
}

TEST(MetafilePaths, BadTransformIsIgnoredAndShortRecordsAreRefused) {
    float inf = std::numeric_limits<float>::infinity();
    Played p = play(emf_with({rec(emr::SETWORLDTRANSFORM, {fl(inf), 0, 0, fl(1), 0, 0}),
                              rec(emr::MODIFYWORLDTRANSFORM, {0, 0, 0, 0, 0, 0, 4}),
                              rec(emr::RECTANGLE, {10, 10, 20, 20})}));
    ASSERT_TRUE(p.played);
    EXPECT_EQ(p.at(15, 15), black); // drawn as if no transform were given

    for (const Record& bad : {
             rec(emr::SETWORLDTRANSFORM, {fl(1), 0, 0, fl(1)}),          // four numbers of six
             rec(emr::MODIFYWORLDTRANSFORM, {fl(1), 0, 0, fl(1), 0, 0}), // no mode
             rec(emr::POLYBEZIER16, {0, 0, 100, 100, 1000, 0}),          // points beyond
             rec(emr::POLYBEZIERTO, {0, 0, 100, 100, 0x40000000u}),      // huge count
             rec(emr::POLYDRAW16, {0, 0, 100, 100, 2, 0, 0}),            // no kinds
             rec(emr::FILLPATH, {0, 0}),
             rec(emr::SELECTCLIPPATH, {}),
         }) {
        Played q = play(emf_with({bad}));
        EXPECT_FALSE(q.loaded) << "record type " << get32(bad, 0);
        EXPECT_NE(std::string(gdi_last_error()), "");
    }
}

TEST(MetafilePaths, UnknownRecordsAreSkippedWithOneMessage) {
    std::vector<std::string> messages;
    static std::vector<std::string>* sink = nullptr;
    sink = &messages;
    gdi_set_error_hook([](const char* m) { sink->push_back(m); });
    Played p = play(
        emf_with({rec(4000, {1, 2, 3}), rec(emr::RECTANGLE, {10, 10, 20, 20}), rec(4001, {})}));
    gdi_set_error_hook(nullptr);
    ASSERT_TRUE(p.played);
    EXPECT_EQ(p.at(15, 15), black); // what follows an unknown record is drawn
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("2 records of unknown kinds were skipped (the first: type 4000)"),
              std::string::npos)
        << messages[0];
}

// --- Windows metafiles

std::vector<BYTE> wmf_of(HMETAFILE mf) {
    std::vector<BYTE> b(GetMetaFileBitsEx(mf, 0, nullptr));
    GetMetaFileBitsEx(mf, static_cast<UINT>(b.size()), b.data());
    return b;
}

std::vector<BYTE> solid_square_wmf() {
    HDC mdc = CreateMetaFile(nullptr);
    HBRUSH b = CreateSolidBrush(RGB(0, 0, 0));
    SelectObject(mdc, b);
    SelectObject(mdc, GetStockObject(NULL_PEN));
    Rectangle(mdc, 10, 10, 30, 30);
    HMETAFILE mf = CloseMetaFile(mdc);
    DeleteObject(b);
    std::vector<BYTE> bytes = wmf_of(mf);
    DeleteMetaFile(mf);
    return bytes;
}

QImage play_wmf_bytes(const std::vector<BYTE>& b, bool& ok) {
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(white);
    ok = false;
    HMETAFILE mf = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    if (!mf) return img;
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    ok = PlayMetaFile(dc, mf);
    gdi_delete_image_dc(dc);
    DeleteMetaFile(mf);
    return img;
}

TEST(MetafileWindows, UnknownObjectCreationHoldsItsSlot) {
    std::vector<BYTE> b = solid_square_wmf();
    // An unknown creation record first: the brush moves to slot 1.
    std::vector<BYTE> unknown = {4, 0, 0, 0, 0xFD, 0x02, 0, 0};
    b.insert(b.begin() + 18, unknown.begin(), unknown.end());
    put32(b, 6, static_cast<std::uint32_t>(b.size() / 2));
    b[10] = static_cast<BYTE>(b[10] + 1); // one more object
    for (std::size_t pos = 18 + unknown.size(); pos + 6 <= b.size(); pos += get32(b, pos) * 2) {
        if (b[pos + 4] == 0x2D && b[pos + 5] == 0x01 && b[pos + 6] == 0) b[pos + 6] = 1;
        if (get32(b, pos) < 3) break;
    }
    bool ok = false;
    QImage img = play_wmf_bytes(b, ok);
    EXPECT_TRUE(ok) << gdi_last_error();
    EXPECT_EQ(img.pixel(20, 20), black);
}

TEST(MetafileWindows, PlaceableSizeCountingItsHeaderIsAccepted) {
    HDC mdc = CreateMetaFile(nullptr);
    SelectObject(mdc, GetStockObject(BLACK_BRUSH));
    Rectangle(mdc, 10, 10, 30, 30);
    HMETAFILE mf = CloseMetaFile(mdc);
    std::string file = ::testing::TempDir() + "counted_header.wmf";
    ASSERT_TRUE(write_placeable_metafile(file.c_str(), mf, 0, 0, 40, 40, 96));
    DeleteMetaFile(mf);
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray all = f.readAll();
    f.close();
    std::vector<BYTE> b(all.begin(), all.end());
    std::uint32_t words = get32(b, 22 + 6);
    auto read_with_size = [&](std::uint32_t size_words) {
        std::vector<BYTE> c = b;
        put32(c, 22 + 6, size_words);
        QFile out(QString::fromStdString(file));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(reinterpret_cast<const char*>(c.data()), static_cast<qint64>(c.size()));
        out.close();
        HMETAFILE m = GetMetaFile(file.c_str());
        bool drew = false;
        if (m) {
            QImage img(40, 40, QImage::Format_RGB32);
            img.fill(white);
            HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
            drew = PlayMetaFile(dc, m) && img.pixel(20, 20) == black;
            gdi_delete_image_dc(dc);
            DeleteMetaFile(m);
        }
        return drew;
    };
    EXPECT_TRUE(read_with_size(words));
    EXPECT_TRUE(read_with_size(words + 11)); // the 22 header bytes counted too
    EXPECT_FALSE(read_with_size(words + 12));
    EXPECT_NE(std::string(gdi_last_error()).find("does not match"), std::string::npos);
    QFile::remove(QString::fromStdString(file));
}

TEST(MetafileWindows, WrittenFilesSayTypeOneAndTypeTwoIsStillRead) {
    std::string file = ::testing::TempDir() + "typed.wmf";
    HDC mdc = CreateMetaFile(file.c_str());
    SelectObject(mdc, GetStockObject(BLACK_BRUSH));
    Rectangle(mdc, 10, 10, 30, 30);
    HMETAFILE mf = CloseMetaFile(mdc);
    ASSERT_NE(mf, nullptr);
    std::string copy = ::testing::TempDir() + "typed_copy.wmf";
    HMETAFILE c = CopyMetaFile(mf, copy.c_str());
    ASSERT_NE(c, nullptr);
    for (const std::string& name : {file, copy}) {
        QFile f(QString::fromStdString(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray head = f.read(2);
        EXPECT_EQ(head.at(0), 1) << name;
        EXPECT_EQ(head.at(1), 0) << name;
    }
    std::vector<BYTE> b = wmf_of(mf);
    EXPECT_EQ(b[0], 1);
    b[0] = 2; // as older writers mark a disk file
    bool ok = false;
    QImage img = play_wmf_bytes(b, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(img.pixel(20, 20), black);
    // Such a picture copied to a file is written with type 1.
    HMETAFILE old = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    ASSERT_NE(old, nullptr);
    HMETAFILE again = CopyMetaFile(old, copy.c_str());
    ASSERT_NE(again, nullptr);
    QFile f(QString::fromStdString(copy));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(1).at(0), 1);
    DeleteMetaFile(old);
    DeleteMetaFile(again);
    DeleteMetaFile(mf);
    DeleteMetaFile(c);
    QFile::remove(QString::fromStdString(file));
    QFile::remove(QString::fromStdString(copy));
}

} // namespace
