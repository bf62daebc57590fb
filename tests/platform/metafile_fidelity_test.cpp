// What a picture says is what is drawn: small pictures made byte by byte
// (tests/platform/data, also fuzz seeds) with block transfers from a bitmap,
// a pen's own dashes, shapes under a turning world transform and text in the
// code pages of their fonts; and pictures that ask for far more work than
// their size suggests.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFFu, black = 0xFF000000u;

std::vector<BYTE> data_file(const std::string& name) {
    QFile f(
        QString::fromStdString(std::string(KAVREL_SOURCE_DIR) + "/tests/platform/data/" + name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray b = f.readAll();
    return std::vector<BYTE>(b.begin(), b.end());
}

void put32(std::vector<BYTE>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
std::uint32_t get32(const std::vector<BYTE>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The messages of the drawing layer while a test runs.
std::vector<std::string>* messages_sink = nullptr;
struct Messages {
    std::vector<std::string> all;
    Messages() {
        messages_sink = &all;
        gdi_set_error_hook([](const char* m) { messages_sink->push_back(m); });
    }
    ~Messages() { gdi_set_error_hook(nullptr); }
    int containing(const std::string& part) const {
        int n = 0;
        for (const std::string& m : all) n += m.find(part) != std::string::npos;
        return n;
    }
};

// Plays an enhanced metafile into a white image of `size`, the picture
// filling it.
QImage play_emf(const std::vector<BYTE>& b, QSize size, bool* played = nullptr) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(white);
    HENHMETAFILE mf = SetEnhMetaFileBits(static_cast<UINT>(b.size()), b.data());
    EXPECT_NE(mf, nullptr) << gdi_last_error();
    if (!mf) return img;
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    RECT r{0, 0, size.width(), size.height()};
    BOOL ok = PlayEnhMetaFile(dc, mf, &r);
    if (played) *played = ok;
    gdi_delete_image_dc(dc);
    DeleteEnhMetaFile(mf);
    return img;
}

// --- Block transfers with a source bitmap

TEST(MetafileFidelity, BlockTransfersDrawTheirSourceBitmaps) {
    // A 20 x 20 bitmap (red over blue) at (10,10) by EMR_BITBLT; a 2 x 2 one
    // (green, yellow over black, magenta) stretched to 40 x 40 at (50,50)
    // by EMR_STRETCHBLT.
    std::vector<BYTE> b = data_file("emf_blit_source.emf");
    ASSERT_FALSE(b.empty());
    bool played = false;
    QImage img = play_emf(b, QSize(100, 100), &played);
    EXPECT_TRUE(played) << gdi_last_error();
    EXPECT_EQ(img.pixel(15, 12), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(25, 27), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(35, 35), white); // nothing beyond the destination
    EXPECT_EQ(img.pixel(55, 55), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(85, 55), qRgb(255, 255, 0));
    EXPECT_EQ(img.pixel(55, 85), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(85, 85), qRgb(255, 0, 255));

    // A source bitmap beyond its record is refused when read.
    std::vector<BYTE> bad = b;
    put32(bad, 108 + 96, 0x7FFFFFF0u); // the first transfer's cbBitsSrc
    Messages m;
    EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(bad.size()), bad.data()), nullptr);
    EXPECT_EQ(m.containing("bitmap beyond the record"), 1);
}

// --- Dashes of a pen's own

// The lengths of the dark and light runs along a row from x0 to x1.
std::vector<int> runs(const QImage& img, int y, int x0, int x1) {
    std::vector<int> out;
    bool dark = qGray(img.pixel(x0, y)) < 128;
    int len = 0;
    for (int x = x0; x < x1; ++x) {
        bool d = qGray(img.pixel(x, y)) < 128;
        if (d != dark) {
            out.push_back(len);
            len = 0;
            dark = d;
        }
        ++len;
    }
    return out;
}

TEST(MetafileFidelity, UserDashesAreLengthsNotMultiplesOfTheWidth) {
    // A 4-unit pen with dashes 12 on, 6 off, flat ends, across y = 50.
    QImage img = play_emf(data_file("emf_user_dashes.emf"), QSize(100, 100));
    std::vector<int> r = runs(img, 50, 0, 100);
    ASSERT_GE(r.size(), 6u) << "the line is drawn solid or not at all";
    for (std::size_t k = 1; k + 1 < r.size(); ++k) // whole runs only
        EXPECT_NEAR(r[k], k % 2 ? 6 : 12, 1) << "run " << k;
    EXPECT_EQ(qGray(img.pixel(5, 48)), 0); // four pixels thick
    EXPECT_EQ(img.pixel(5, 46), white);

    // The same lengths in logical units under scaling, as a drawing program
    // writes them: width 50 with 150 on, 75 off, at a tenth.
    QImage big(100, 20, QImage::Format_RGB32);
    big.fill(white);
    HDC dc = gdi_create_image_dc(&big, nullptr, QRegion());
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1000, 200, nullptr);
    SetViewportExtEx(dc, 100, 20, nullptr);
    LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
    DWORD dashes[2] = {150, 75};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 50, &lb, 2, dashes);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 0, 100, nullptr);
    LineTo(dc, 1000, 100);
    SelectObject(dc, old);
    DeleteObject(pen);
    gdi_delete_image_dc(dc);
    std::vector<int> scaled = runs(big, 10, 0, 100);
    ASSERT_GE(scaled.size(), 6u);
    for (std::size_t k = 1; k + 1 < scaled.size(); ++k)
        EXPECT_NEAR(scaled[k], k % 2 ? 7.5 : 15, 1) << "run " << k;
}

// --- Shapes under a turning world transform

TEST(MetafileFidelity, RectanglesAndEllipsesTurnWithTheWorldTransform) {
    // An 80 x 40 rectangle centred at (50,50) and an ellipse of the same box
    // at (150,50), both turned by 30 degrees (y down: clockwise on screen).
    QImage img = play_emf(data_file("emf_turned_shapes.emf"), QSize(200, 100));
    // A point of the picture at (dx, dy) from a centre, in the shape's own axes.
    double c = std::cos(std::acos(-1.0) / 6), s = std::sin(std::acos(-1.0) / 6);
    auto at = [&](int cx, double u, double v) {
        return img.pixel(static_cast<int>(std::lround(cx + u * c - v * s)),
                         static_cast<int>(std::lround(50 + u * s + v * c)));
    };
    for (double u : {-36.0, 0.0, 36.0})
        for (double v : {-17.0, 17.0}) {
            EXPECT_EQ(at(50, u, v), black) << "rectangle " << u << "," << v;
            EXPECT_EQ(at(50, u, v * 1.5), white) << "beyond the rectangle " << u << "," << v;
        }
    for (double u : {-37.0, 37.0}) EXPECT_EQ(at(150, u, 0), black) << "ellipse end " << u;
    for (double v : {-18.0, 18.0}) EXPECT_EQ(at(150, 0, v), black) << "ellipse side " << v;
    EXPECT_EQ(at(150, 30, 15), white); // in the box, beyond the ellipse
    // What an upright box of the turned corners would cover.
    EXPECT_EQ(img.pixel(50, 15), white);
    EXPECT_EQ(img.pixel(150, 15), white);
}

// --- Text in the code page of its font

// The texts of the EMR_EXTTEXTOUTW records of an enhanced metafile, and the
// spacing of each.
struct EmfText {
    QString text;
    std::vector<int> dx;
};
std::vector<EmfText> texts_of(const std::vector<BYTE>& b) {
    std::vector<EmfText> out;
    for (std::size_t pos = get32(b, 4); pos + 8 <= b.size(); pos += get32(b, pos + 4)) {
        if (get32(b, pos) == emr::EXTTEXTOUTW) {
            std::size_t n = get32(b, pos + 44), off = get32(b, pos + 48),
                        offdx = get32(b, pos + 72);
            EmfText t;
            for (std::size_t k = 0; k < n; ++k)
                t.text.append(QChar(
                    static_cast<char16_t>(b[pos + off + 2 * k] | (b[pos + off + 2 * k + 1] << 8))));
            for (std::size_t k = 0; offdx && k < n; ++k)
                t.dx.push_back(static_cast<int>(get32(b, pos + offdx + 4 * k)));
            out.push_back(t);
        }
        if (get32(b, pos + 4) == 0) break;
    }
    return out;
}

// The texts a Windows metafile draws, as its player reads them (played into
// an enhanced metafile, which keeps UTF-16).
std::vector<EmfText> wmf_texts(const std::vector<BYTE>& wmf) {
    HMETAFILE mf = SetMetaFileBitsEx(static_cast<UINT>(wmf.size()), wmf.data());
    EXPECT_NE(mf, nullptr) << gdi_last_error();
    if (!mf) return {};
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    PlayMetaFile(edc, mf);
    DeleteMetaFile(mf);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    std::vector<BYTE> b(GetEnhMetaFileBits(emf, 0, nullptr));
    GetEnhMetaFileBits(emf, static_cast<UINT>(b.size()), b.data());
    DeleteEnhMetaFile(emf);
    return texts_of(b);
}

TEST(MetafileFidelity, WmfTextIsReadInTheCodePageOfItsFont) {
    // "Привет" in code page 1251 under a Cyrillic font; "日本語" in 932 under a
    // Japanese one, with spacing per byte (20, 21, 22 on the lead bytes).
    std::vector<EmfText> t = wmf_texts(data_file("wmf_charset_text.wmf"));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].text, QString::fromUtf8("Привет"));
    EXPECT_EQ(t[1].text, QString::fromUtf8("日本語"));
    EXPECT_EQ(t[1].dx, (std::vector<int>{20, 21, 22}));
}

// The font records and the text bytes of a Windows metafile: for each text
// record, the character set of the font selected at the time and the bytes.
struct WmfText {
    int charset;
    QByteArray bytes;
    std::vector<int> dx;
};
std::vector<WmfText> wmf_text_records(const std::vector<BYTE>& b) {
    std::vector<int> table(16, -1);
    int selected = -1;
    std::vector<WmfText> out;
    for (std::size_t pos = 18; pos + 6 <= b.size();) {
        std::size_t words = get32(b, pos);
        unsigned fn = b[pos + 4] | (b[pos + 5] << 8);
        const BYTE* p = b.data() + pos + 6;
        auto i16 = [&](std::size_t w) {
            return static_cast<int>(static_cast<std::int16_t>(p[2 * w] | (p[2 * w + 1] << 8)));
        };
        if (fn == 0 || words < 3) break;
        if ((fn & 0xFF) >= 0xF7) { // an object: the lowest free slot
            for (int& slot : table)
                if (slot == -1) {
                    slot = fn == wmf::CREATEFONTINDIRECT ? p[10 + 3] : -2;
                    break;
                }
        } else if (fn == wmf::SELECTOBJECT && table[static_cast<std::size_t>(i16(0))] >= 0) {
            selected = table[static_cast<std::size_t>(i16(0))];
        } else if (fn == wmf::DELETEOBJECT) {
            table[static_cast<std::size_t>(i16(0))] = -1;
        } else if (fn == wmf::EXTTEXTOUT || fn == wmf::TEXTOUT) {
            WmfText t{selected, {}, {}};
            int len = fn == wmf::TEXTOUT ? i16(0) : i16(2);
            std::size_t at = fn == wmf::TEXTOUT ? 2 : 8; // no rectangle here
            t.bytes = QByteArray(reinterpret_cast<const char*>(p + at), len);
            if (fn == wmf::EXTTEXTOUT && words - 3 > 4 + (static_cast<std::size_t>(len) + 1) / 2)
                for (int k = 0; k < len; ++k)
                    t.dx.push_back(i16(4 + (static_cast<std::size_t>(len) + 1) / 2 + k));
            out.push_back(t);
        }
        pos += words * 2;
    }
    return out;
}

TEST(MetafileFidelity, WmfTextIsWrittenInACodePageThatHoldsItWithItsCharacterSet) {
    HDC mdc = CreateMetaFile(nullptr);
    HFONT f = CreateFont(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    SelectObject(mdc, f);
    TextOut(mdc, 0, 0, "caf\xC3\xA9", 5);               // held by the font's page
    TextOut(mdc, 0, 20, "\xD0\x9F\xD1\x80\xD0\xB8", 6); // "При": Cyrillic
    const int dx[6] = {11, 0, 0, 12, 0, 0};             // the program's spacing is per byte
    ExtTextOut(mdc, 0, 40, 0, nullptr, "\xE6\x97\xA5\xE6\x9C\xAC", 6, dx); // "日本"
    TextOut(mdc, 0, 60, "x\xE0\xB8\x81\xD0\x96", 6); // Thai and Cyrillic: a run of each
    HMETAFILE mf = CloseMetaFile(mdc);
    DeleteObject(f);
    std::vector<BYTE> b(GetMetaFileBitsEx(mf, 0, nullptr));
    GetMetaFileBitsEx(mf, static_cast<UINT>(b.size()), b.data());
    DeleteMetaFile(mf);

    std::vector<WmfText> t = wmf_text_records(b);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0].charset, ANSI_CHARSET);
    EXPECT_EQ(t[0].bytes, QByteArray("caf\xE9"));
    EXPECT_EQ(t[1].charset, 204); // Cyrillic, code page 1251
    EXPECT_EQ(t[1].bytes, QByteArray("\xCF\xF0\xE8"));
    EXPECT_EQ(t[2].charset, 128); // Japanese, code page 932: two bytes a character
    EXPECT_EQ(t[2].bytes, QByteArray("\x93\xFA\x96\x7B"));
    EXPECT_EQ(t[2].dx, (std::vector<int>{11, 0, 12, 0}));
    // No page holds both: one record for each page's run, nothing lost.
    EXPECT_EQ(t[3].charset, 222); // Thai, code page 874
    EXPECT_EQ(t[3].bytes, QByteArray("x\xA1"));
    EXPECT_EQ(t[4].charset, 204);
    EXPECT_EQ(t[4].bytes, QByteArray("\xC6"));

    // Read back, the same texts (the font is selected again after each).
    std::vector<EmfText> back = wmf_texts(b);
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[0].text, QString::fromUtf8("café"));
    EXPECT_EQ(back[1].text, QString::fromUtf8("При"));
    EXPECT_EQ(back[2].text, QString::fromUtf8("日本"));
    EXPECT_EQ(back[2].dx, (std::vector<int>{11, 12}));
    EXPECT_EQ(back[3].text + back[4].text, QString::fromUtf8("xกЖ"));
}

// --- Work a picture may cause

// An enhanced metafile of the records given (each a list of 32-bit fields
// after the type), framing 0..w x 0..h pixels.
std::vector<BYTE> emf_of(const std::vector<std::vector<std::uint32_t>>& records, int w, int h) {
    std::vector<BYTE> b(108);
    auto add = [&](std::uint32_t type, const std::vector<std::uint32_t>& fields) {
        std::size_t at = b.size();
        b.resize(at + 8 + 4 * fields.size());
        put32(b, at, type);
        put32(b, at + 4, static_cast<std::uint32_t>(8 + 4 * fields.size()));
        for (std::size_t k = 0; k < fields.size(); ++k) put32(b, at + 8 + 4 * k, fields[k]);
    };
    for (const auto& r : records) add(r[0], std::vector<std::uint32_t>(r.begin() + 1, r.end()));
    add(emr::EOF_, {0, 16, 20});
    std::uint32_t head[] = {emr::HEADER,
                            108,
                            0,
                            0,
                            static_cast<std::uint32_t>(w - 1),
                            static_cast<std::uint32_t>(h - 1),
                            0,
                            0,
                            static_cast<std::uint32_t>(w * 2540 / 96),
                            static_cast<std::uint32_t>(h * 2540 / 96),
                            emf_signature,
                            0x10000,
                            static_cast<std::uint32_t>(b.size()),
                            static_cast<std::uint32_t>(records.size() + 2),
                            4,
                            0,
                            0,
                            0,
                            1920,
                            1080,
                            508,
                            286,
                            0,
                            0,
                            0,
                            508000,
                            285750};
    for (std::size_t k = 0; k < std::size(head); ++k) put32(b, 4 * k, head[k]);
    return b;
}

// Is the pixel centre (x + 0.5, y + 0.5) inside the polygon (even-odd)?
bool inside(const std::vector<QPoint>& poly, int x, int y) {
    double px = x + 0.5, py = y + 0.5;
    bool in = false;
    for (std::size_t k = 0, j = poly.size() - 1; k < poly.size(); j = k++) {
        double xk = poly[k].x(), yk = poly[k].y(), xj = poly[j].x(), yj = poly[j].y();
        if ((yk > py) != (yj > py) && px < xk + (py - yk) * (xj - xk) / (yj - yk)) in = !in;
    }
    return in;
}

TEST(MetafileFidelity, ClipPathOverAHugeAreaIsCutToTheDrawing) {
    // About 1,400 bytes: a clip path of 150 edges side by side, each over
    // 60,000 rows, whose region would have millions of pieces (over 100 s of
    // work with growing memory before the cut); the drawing after it fills
    // the clip. (Also a fuzz seed: emf_clip_path_rows.emf.)
    std::vector<QPoint> poly = {{-40000, 30000}};
    for (int i = 0; i < 148; ++i) poly.emplace_back(-150 + (i - 74) * 400, i % 2 ? 30000 : -30000);
    poly.emplace_back(40000, -30000);
    std::vector<std::uint32_t> rec = {emr::POLYGON,
                                      static_cast<std::uint32_t>(-40000),
                                      static_cast<std::uint32_t>(-30000),
                                      40000,
                                      30000,
                                      static_cast<std::uint32_t>(poly.size())};
    for (const QPoint& q : poly) {
        rec.push_back(static_cast<std::uint32_t>(q.x()));
        rec.push_back(static_cast<std::uint32_t>(q.y()));
    }
    std::vector<BYTE> b = emf_of({{emr::SELECTOBJECT, emf_stock_bit | BLACK_BRUSH},
                                  {emr::SELECTOBJECT, emf_stock_bit | NULL_PEN},
                                  {emr::BEGINPATH},
                                  rec,
                                  {emr::ENDPATH},
                                  {emr::SELECTCLIPPATH, RGN_COPY},
                                  {emr::RECTANGLE, 0, 0, 101, 101}},
                                 100, 100);
    EXPECT_LT(b.size(), 1500u);
    Messages m;
    bool played = false;
    QImage img = play_emf(b, QSize(100, 100), &played);
    EXPECT_TRUE(played);
    EXPECT_EQ(m.containing("more work than allowed"), 0); // cut, not simplified
    // One edge crosses the picture near x 50.
    EXPECT_NE(inside(poly, 20, 50), inside(poly, 80, 50));
    for (int y : {0, 50, 99})
        for (int x : {0, 20, 45, 55, 80, 99})
            EXPECT_EQ(img.pixel(x, y), inside(poly, x, y) ? black : white) << x << "," << y;
}

TEST(MetafileFidelity, ClipPathsFollowTheFillMode) {
    // A five-pointed star drawn in one stroke: its centre is wound twice, so
    // it is inside under WINDING and a hole under ALTERNATE.
    std::vector<std::uint32_t> star = {emr::POLYGON, 0, 0, 99, 99, 5};
    for (int k = 0; k < 5; ++k) {
        double a = (90 + 144 * k) * std::acos(-1.0) / 180;
        star.push_back(static_cast<std::uint32_t>(std::lround(50 + 45 * std::cos(a))));
        star.push_back(static_cast<std::uint32_t>(std::lround(50 - 45 * std::sin(a))));
    }
    for (std::uint32_t mode : {static_cast<std::uint32_t>(WINDING), 1u}) {
        QImage img = play_emf(emf_of({{emr::SELECTOBJECT, emf_stock_bit | BLACK_BRUSH},
                                      {emr::SELECTOBJECT, emf_stock_bit | NULL_PEN},
                                      {emr::SETPOLYFILLMODE, mode},
                                      {emr::BEGINPATH},
                                      star,
                                      {emr::ENDPATH},
                                      {emr::SELECTCLIPPATH, RGN_COPY},
                                      {emr::RECTANGLE, 0, 0, 101, 101}},
                                     100, 100),
                              QSize(100, 100));
        EXPECT_EQ(img.pixel(50, 50), mode == WINDING ? black : white) << "mode " << mode;
        EXPECT_EQ(img.pixel(50, 10), black) << "the top point, mode " << mode;
        EXPECT_EQ(img.pixel(10, 90), white) << "outside, mode " << mode;
    }
}

TEST(MetafileFidelity, PicturesPastTheWorkLimitsAreSimplifiedWithOneMessage) {
    std::uint32_t black_brush = emf_stock_bit | BLACK_BRUSH, no_pen = emf_stock_bit | NULL_PEN;
    // A clip path of 2,400 edges each crossing all 2,000 rows: 4.8 million
    // rows to scan. Its box stands for it.
    std::vector<std::uint32_t> poly = {emr::POLYGON, 0, 0, 1999, 1999, 2400};
    for (int k = 0; k < 2400; ++k) {
        poly.push_back(static_cast<std::uint32_t>(500 + k / 4));
        poly.push_back(k % 2 ? 1999u : 0u);
    }
    std::vector<std::vector<std::uint32_t>> records = {{emr::SELECTOBJECT, black_brush},
                                                       {emr::SELECTOBJECT, no_pen},
                                                       {emr::BEGINPATH},
                                                       poly,
                                                       {emr::ENDPATH},
                                                       {emr::SELECTCLIPPATH, RGN_COPY},
                                                       {emr::RECTANGLE, 0, 0, 2001, 2001}};
    {
        Messages m;
        bool played = false;
        QImage img = play_emf(emf_of(records, 2000, 2000), QSize(2000, 2000), &played);
        EXPECT_TRUE(played);
        EXPECT_EQ(m.containing("more work than allowed (a clip path"), 1);
        EXPECT_EQ(img.pixel(700, 1000), black); // within the path's box
        EXPECT_EQ(img.pixel(400, 1000), white); // outside it
        EXPECT_EQ(img.pixel(1200, 1000), white);
    }
    {
        // A picture is played again at every paint: the message comes once.
        Messages m;
        std::vector<BYTE> b = emf_of(records, 2000, 2000);
        HENHMETAFILE mf = SetEnhMetaFileBits(static_cast<UINT>(b.size()), b.data());
        ASSERT_NE(mf, nullptr);
        QImage img(2000, 2000, QImage::Format_RGB32);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
        RECT r{0, 0, 2000, 2000};
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(PlayEnhMetaFile(dc, mf, &r));
        gdi_delete_image_dc(dc);
        DeleteEnhMetaFile(mf);
        EXPECT_EQ(m.containing("more work than allowed"), 1);
    }

    // Clip regions of rectangles: 3,000 in bands are joined exactly; 3,000
    // overlapping ones give their box, with one message for the picture.
    auto region_record = [](const std::vector<QRect>& rects) {
        std::uint32_t n = static_cast<std::uint32_t>(rects.size());
        std::vector<std::uint32_t> r = {
            emr::EXTSELECTCLIPRGN, 32 + 16 * n, RGN_COPY, 32, 1, n, 16 * n, 0, 0, 200, 200};
        for (const QRect& q : rects)
            for (int v : {q.left(), q.top(), q.right() + 1, q.bottom() + 1})
                r.push_back(static_cast<std::uint32_t>(v));
        return r;
    };
    std::vector<QRect> banded, loose;
    for (int k = 0; k < 3000; ++k) {
        banded.emplace_back((k % 30) * 6, (k / 30) * 2, 3, 1); // 100 bands of 30 pieces
        loose.emplace_back(k % 50, k % 40, 20 + k % 7, 20 + k % 11);
    }
    for (bool is_banded : {true, false}) {
        SCOPED_TRACE(is_banded ? "banded" : "loose");
        Messages m;
        std::vector<std::vector<std::uint32_t>> rs = {
            {emr::SELECTOBJECT, black_brush},
            {emr::SELECTOBJECT, no_pen},
            region_record(is_banded ? banded : loose),
            region_record(is_banded ? banded : loose), // twice: still one message
            {emr::RECTANGLE, 0, 0, 201, 201}};
        QImage img = play_emf(emf_of(rs, 200, 200), QSize(200, 200));
        EXPECT_EQ(m.containing("more work than allowed"), is_banded ? 0 : 1);
        if (is_banded) {
            EXPECT_EQ(img.pixel(1, 0), black);
            EXPECT_EQ(img.pixel(4, 0), white); // between pieces
            EXPECT_EQ(img.pixel(1, 1), white); // between bands
        } else {
            EXPECT_EQ(img.pixel(0, 60), black); // inside the box, outside every piece
            EXPECT_EQ(img.pixel(80, 80), white);
        }
    }
}

TEST(MetafileFidelity, AClipRegionUnderAVastFrameIsCutWithinTheCoordinateLimit) {
    // Found by fuzzing: a frame of 2^31 hundredths of a millimetre on a device
    // of 1,920 pixels to the millimetre, so the drawing area taken back into
    // the picture's pixels passed the int range. The clip keeps the left half.
    std::vector<std::uint32_t> clip = {
        emr::EXTSELECTCLIPRGN, 48, RGN_COPY, 32, 1, 1, 16, 0, 0, 0, 0, 0, 0, 0x2000000, 0x4000000};
    std::vector<BYTE> b = emf_of({{emr::SELECTOBJECT, emf_stock_bit | BLACK_BRUSH},
                                  clip,
                                  {emr::RECTANGLE, 0, 0, 0x4000000, 0x4000000}},
                                 100, 100);
    for (std::size_t at : {32, 36}) put32(b, at, 0x7FFFFFFFu); // the frame
    for (std::size_t at : {80, 84}) put32(b, at, 1);           // millimetres
    for (std::size_t at : {100, 104}) put32(b, at, 1000);      // micrometres
    put32(b, 72, 1920);
    put32(b, 76, 1920);
    for (std::size_t at : {16, 20}) put32(b, at, 0x7FFFFFFFu); // bounds
    bool played = false;
    play_emf(b, QSize(100, 100), &played);
    EXPECT_TRUE(played) << gdi_last_error();
}

TEST(MetafileFidelity, ABitmapStretchedFarPastTheSurfaceDrawsWhatCanBeSeen) {
    // 2 x 2 pixels (red, green over blue, white) stretched to 17,000 a side,
    // its centre on the image: 289 million pixels if made whole.
    struct {
        BITMAPINFOHEADER h;
        BYTE bits[16];
    } dib{};
    dib.h.biSize = 40;
    dib.h.biWidth = 2;
    dib.h.biHeight = 2; // bottom-up: the blue row first
    dib.h.biPlanes = 1;
    dib.h.biBitCount = 24;
    const BYTE bits[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    std::memcpy(dib.bits, bits, sizeof bits);
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    int drawn = StretchDIBits(dc, -8450, -8450, 17000, 17000, 0, 0, 2, 2, dib.bits,
                              reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS, SRCCOPY);
    gdi_delete_image_dc(dc);
    EXPECT_EQ(drawn, 2) << gdi_last_error();
    EXPECT_EQ(img.pixel(49, 49), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(50, 49), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(49, 50), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(50, 50), qRgb(255, 255, 255));
}

} // namespace
