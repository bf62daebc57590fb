// Metafiles: recording, the Windows metafile and enhanced metafile layouts,
// files, playback (the same pixels as drawing directly) and refusal of
// malformed input.
#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QImage>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFF;

std::uint16_t w16(const std::vector<BYTE>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t w32(const std::vector<BYTE>& b, std::size_t at) {
    return w16(b, at) | (static_cast<std::uint32_t>(w16(b, at + 2)) << 16);
}
void put32(std::vector<BYTE>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
void put16(std::vector<BYTE>& b, std::size_t at, unsigned v) {
    b[at] = static_cast<BYTE>(v);
    b[at + 1] = static_cast<BYTE>(v >> 8);
}

// A picture using most of what the program records: objects of every kind,
// lines, shapes, text, pixels, pattern fills and a bitmap.
void scene(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    HPEN red = CreatePen(PS_SOLID, 3, RGB(200, 0, 0));
    HPEN dot = CreatePen(PS_DOT, 1, RGB(0, 0, 160));
    HBRUSH green = CreateSolidBrush(RGB(0, 150, 0));
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(90, 0, 90));
    WORD rows[8];
    for (int y = 0; y < 8; ++y) rows[y] = (y % 2) ? 0x3333 : 0xCCCC;
    HBITMAP pat_bm = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH pat = CreatePatternBrush(pat_bm);
    DeleteObject(pat_bm);
    HFONT f = CreateFont(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    HFONT up =
        CreateFont(-12, 0, 900, 900, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");

    HGDIOBJ old_pen = SelectObject(dc, red);
    HGDIOBJ old_brush = SelectObject(dc, green);
    HGDIOBJ old_font = SelectObject(dc, f);
    MoveToEx(dc, 5, 5, nullptr);
    LineTo(dc, 150, 40);
    Rectangle(dc, 10, 50, 60, 90);
    SelectObject(dc, dot);
    SelectObject(dc, hatch);
    Ellipse(dc, 70, 50, 140, 100);
    Pie(dc, 150, 10, 200, 60, 200, 35, 175, 10);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, pat);
    POINT poly[5] = {{20, 110}, {60, 100}, {90, 130}, {50, 150}, {15, 140}};
    Polygon(dc, poly, 5);
    Arc(dc, 100, 110, 160, 150, 100, 130, 160, 130);
    RoundRect(dc, 165, 70, 210, 110, 10, 10);
    POINT line[4] = {{210, 10}, {230, 30}, {210, 50}, {235, 60}};
    Polyline(dc, line, 4);
    SetTextColor(dc, RGB(0, 0, 120));
    TextOut(dc, 100, 150, "Stock & flow", 12);
    SetTextAlign(dc, TA_CENTER | TA_BASELINE);
    TextOut(dc, 60, 175, "Centred", 7);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    SelectObject(dc, up);
    TextOut(dc, 225, 150, "Up", 2);
    SetPixel(dc, 3, 170, RGB(255, 0, 255));
    RECT fill{200, 160, 230, 175};
    FillRect(dc, &fill, green);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(250, 250, 0));
    SelectObject(dc, f);
    TextOut(dc, 150, 175, "bk", 2);

    // A bitmap from a memory context.
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateBitmap(10, 10, 1, 32, nullptr);
    HGDIOBJ old_bm = SelectObject(mem, bm);
    RECT all{0, 0, 10, 10};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    for (int i = 0; i < 10; ++i) SetPixel(mem, i, i, RGB(0, 0, 255));
    BitBlt(dc, 230, 100, 10, 10, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old_bm);
    DeleteObject(bm);
    DeleteDC(mem);

    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_font);
    for (HGDIOBJ o : std::initializer_list<HGDIOBJ>{red, dot, green, hatch, pat, f, up})
        DeleteObject(o);
}

struct Canvas : ImageCanvas {
    Canvas() : ImageCanvas(260, 200) {}
};

std::vector<BYTE> wmf_bytes(HMETAFILE mf) {
    UINT n = GetMetaFileBitsEx(mf, 0, nullptr);
    std::vector<BYTE> b(n);
    GetMetaFileBitsEx(mf, n, b.data());
    return b;
}

std::vector<BYTE> emf_bytes(HENHMETAFILE mf) {
    UINT n = GetEnhMetaFileBits(mf, 0, nullptr);
    std::vector<BYTE> b(n);
    GetEnhMetaFileBits(mf, n, b.data());
    return b;
}

HMETAFILE record_wmf() {
    HDC mdc = CreateMetaFile(nullptr);
    scene(mdc);
    return CloseMetaFile(mdc);
}

std::string temp_file(const char* name) {
    return testing::TempDir() + "/" + name;
}

TEST(Metafile, PlayedWindowsMetafileGivesTheSamePixels) {
    Canvas direct, played;
    scene(direct.dc);
    HMETAFILE mf = record_wmf();
    ASSERT_NE(mf, nullptr);
    ASSERT_TRUE(PlayMetaFile(played.dc, mf));
    EXPECT_EQ(direct.img, played.img);
    // The playback leaves the context as it was.
    EXPECT_EQ(GetCurrentObject(played.dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetBkMode(played.dc), OPAQUE);
    DeleteMetaFile(mf);
    EXPECT_FALSE(PlayMetaFile(played.dc, mf)); // stale handle
}

TEST(Metafile, WindowsMetafileLayout) {
    HMETAFILE mf = record_wmf();
    std::vector<BYTE> b = wmf_bytes(mf);
    ASSERT_GE(b.size(), 24u);
    EXPECT_EQ(w16(b, 0), 1);      // in memory
    EXPECT_EQ(w16(b, 2), 9);      // header words
    EXPECT_EQ(w16(b, 4), 0x0300); // version
    EXPECT_EQ(w32(b, 6) * 2, b.size());
    EXPECT_EQ(w16(b, 16), 0);
    // Walk the records: sizes add up, the largest is in the header, the end
    // record closes it, object indexes stay inside the table.
    std::size_t pos = 18, max_words = 0, creates = 0, deletes = 0;
    int live = 0, most_live = 0;
    bool ended = false;
    while (pos + 6 <= b.size()) {
        std::size_t words = w32(b, pos);
        WORD fn = w16(b, pos + 4);
        ASSERT_GE(words, 3u);
        max_words = std::max(max_words, words);
        if (fn == 0) {
            EXPECT_EQ(words, 3u);
            EXPECT_EQ(pos + 6, b.size());
            ended = true;
            break;
        }
        if (fn == wmf::CREATEPENINDIRECT || fn == wmf::CREATEBRUSHINDIRECT ||
            fn == wmf::CREATEFONTINDIRECT || fn == wmf::DIBCREATEPATTERNBRUSH) {
            ++creates;
            most_live = std::max(most_live, ++live);
        }
        if (fn == wmf::DELETEOBJECT) {
            ++deletes;
            --live;
            EXPECT_LT(w16(b, pos + 6), w16(b, 10));
        }
        if (fn == wmf::SELECTOBJECT) {
            EXPECT_LT(w16(b, pos + 6), w16(b, 10));
        }
        if (fn == wmf::CREATEPENINDIRECT) {
            EXPECT_EQ(words, 8u);
        }
        if (fn == wmf::CREATEBRUSHINDIRECT) {
            EXPECT_EQ(words, 7u);
        }
        if (fn == wmf::RECTANGLE) {
            EXPECT_EQ(words, 7u);
            // Parameters run backwards: bottom, right, top, left. The
            // rectangle itself, and FillRect's fill under a null pen (one
            // more to the right and below, as such a rectangle fills less).
            const int left = w16(b, pos + 12);
            EXPECT_TRUE(left == 10 || left == 200) << left;
            EXPECT_EQ(w16(b, pos + 6), left == 10 ? 90 : 176);
        }
        pos += words * 2;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(w32(b, 12), max_words);
    EXPECT_EQ(w16(b, 10), most_live); // the table is as large as the most objects alive
    EXPECT_GE(creates, 7u);
    EXPECT_EQ(deletes, 8u);           // the scene deletes what it made (and the fill's pen)...
    EXPECT_EQ(creates - deletes, 3u); // ...and the stock objects it selected stay
    DeleteMetaFile(mf);
}

TEST(Metafile, PlaceableFileHeaderAndReadingBack) {
    HMETAFILE mf = record_wmf();
    std::string file = temp_file("picture.wmf");
    ASSERT_TRUE(write_placeable_metafile(file.c_str(), mf, 0, 0, 260, 200, 96));
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray all = f.readAll();
    std::vector<BYTE> b(all.begin(), all.end());
    ASSERT_GT(b.size(), 22u);
    EXPECT_EQ(w32(b, 0), 0x9AC6CDD7u);
    EXPECT_EQ(w16(b, 4), 0);
    EXPECT_EQ(w16(b, 10), 260);
    EXPECT_EQ(w16(b, 12), 200);
    EXPECT_EQ(w16(b, 14), 96);
    WORD sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= w16(b, 2 * i);
    EXPECT_EQ(w16(b, 20), sum);
    EXPECT_EQ(w16(b, 22), 1); // the type other programs accept, on disk too

    HMETAFILE back = GetMetaFile(file.c_str());
    ASSERT_NE(back, nullptr) << gdi_last_error();
    std::vector<BYTE> orig = wmf_bytes(mf), read = wmf_bytes(back);
    ASSERT_EQ(orig.size(), read.size());
    EXPECT_TRUE(std::equal(orig.begin() + 2, orig.end(), read.begin() + 2));
    Canvas a, c;
    PlayMetaFile(a.dc, mf);
    PlayMetaFile(c.dc, back);
    EXPECT_EQ(a.img, c.img);

    // Copies to files and to memory; bits back into a metafile.
    std::string plain = temp_file("plain.wmf");
    HMETAFILE copy = CopyMetaFile(mf, plain.c_str());
    ASSERT_NE(copy, nullptr);
    HMETAFILE again = SetMetaFileBitsEx(static_cast<UINT>(orig.size()), orig.data());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(wmf_bytes(again), orig);
    EXPECT_EQ(GetMetaFile(temp_file("missing.wmf").c_str()), nullptr);
    EXPECT_NE(std::string(gdi_last_error()).find("missing.wmf"), std::string::npos);
    for (HMETAFILE h : {mf, back, copy, again}) DeleteMetaFile(h);
}

// A picture read by name must be a regular file: a named pipe would block the
// open (and a device be read for ever), a folder is no picture.
TEST(Metafile, ReadingByNameRefusesPipesAndFoldersAtOnce) {
    std::string pipe = temp_file("pipe.wmf"), folder = temp_file("folder.emf");
    // (What a run before this one in the same process left is made again.)
    ::unlink(pipe.c_str());
    ::rmdir(folder.c_str());
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    EXPECT_EQ(GetMetaFile(pipe.c_str()), nullptr);
    EXPECT_NE(std::string(gdi_last_error()).find("not a regular file"), std::string::npos)
        << gdi_last_error();
    EXPECT_EQ(GetEnhMetaFile(pipe.c_str()), nullptr);
    EXPECT_EQ(GetEnhMetaFile(folder.c_str()), nullptr);
    EXPECT_NE(std::string(gdi_last_error()).find("folder.emf"), std::string::npos)
        << gdi_last_error();
    EXPECT_EQ(GetEnhMetaFile("/dev/zero"), nullptr);
    ::unlink(pipe.c_str());
    ::rmdir(folder.c_str());
}

TEST(Metafile, WindowExtentRecordedForScaledPlayback) {
    // Recorded with a window extent, played into a viewport twice as large.
    HDC mdc = CreateMetaFile(nullptr);
    SetWindowExtEx(mdc, 100, 100, nullptr);
    SelectObject(mdc, GetStockObject(BLACK_BRUSH));
    Rectangle(mdc, 10, 10, 50, 50);
    HMETAFILE mf = CloseMetaFile(mdc);
    Canvas c;
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetViewportExtEx(c.dc, 200, 200, nullptr);
    SetViewportOrgEx(c.dc, 5, 0, nullptr);
    PlayMetaFile(c.dc, mf);
    EXPECT_EQ(c.img.pixel(25, 20), 0xFF000000u);
    EXPECT_EQ(c.img.pixel(104, 99), 0xFF000000u);
    EXPECT_EQ(c.img.pixel(106, 101), white);
    EXPECT_EQ(c.img.pixel(24, 20), white);
    DeleteMetaFile(mf);
}

TEST(Metafile, EnhancedMetafileHeaderAndPlayback) {
    Canvas direct;
    scene(direct.dc);
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, "Kavrel\0Sketch\0");
    ASSERT_NE(edc, nullptr);
    EXPECT_EQ(GetObjectType(edc), OBJ_ENHMETADC);
    scene(edc);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    std::vector<BYTE> b = emf_bytes(emf);
    ASSERT_GE(b.size(), 108u);
    EXPECT_EQ(w32(b, 0), 1u);           // EMR_HEADER
    EXPECT_EQ(w32(b, 40), 0x464D4520u); // " EMF"
    EXPECT_EQ(w32(b, 44), 0x00010000u); // version
    EXPECT_EQ(w32(b, 48), b.size());    // nBytes
    std::size_t header = w32(b, 4);
    EXPECT_EQ(header % 4, 0u);
    // Description: "Kavrel\0Sketch\0\0" in UTF-16 after the 108-byte header.
    EXPECT_EQ(w32(b, 60), 15u);
    EXPECT_EQ(w32(b, 64), 108u);
    EXPECT_EQ(w16(b, 108), 'K');
    EXPECT_EQ(w16(b, 108 + 2 * 7), 'S');
    // Records: count, sizes, and the end record last.
    std::size_t pos = header, count = 1;
    DWORD last = 0;
    while (pos < b.size()) {
        std::size_t size = w32(b, pos + 4);
        ASSERT_GE(size, 8u);
        ASSERT_EQ(size % 4, 0u);
        last = w32(b, pos);
        pos += size;
        ++count;
    }
    EXPECT_EQ(pos, b.size());
    EXPECT_EQ(last, 14u);
    EXPECT_EQ(w32(b, 52), count);
    EXPECT_GT(w16(b, 56), 1);
    ENHMETAHEADER h{};
    EXPECT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), 108u);
    EXPECT_EQ(h.dSignature, 0x464D4520u);
    EXPECT_EQ(h.rclBounds.left, 3); // the pixel at (3, 170)
    EXPECT_LE(h.rclBounds.top, 5);
    EXPECT_GE(h.rclBounds.right, 239);
    EXPECT_GT(h.rclFrame.right, 0);

    // Played on its own bounds it gives the pixels of drawing directly.
    Canvas played;
    RECT r{h.rclBounds.left, h.rclBounds.top, h.rclBounds.right + 1, h.rclBounds.bottom + 1};
    ASSERT_TRUE(PlayEnhMetaFile(played.dc, emf, &r));
    EXPECT_EQ(direct.img, played.img);
    if (direct.img != played.img) {
        direct.img.save(QString::fromStdString(temp_file("emf_direct.png")));
        played.img.save(QString::fromStdString(temp_file("emf_played.png")));
    }

    // A file, read back.
    std::string file = temp_file("picture.emf");
    HENHMETAFILE copy = CopyEnhMetaFile(emf, file.c_str());
    HENHMETAFILE back = GetEnhMetaFile(file.c_str());
    ASSERT_NE(back, nullptr) << gdi_last_error();
    EXPECT_EQ(emf_bytes(back), b);
    for (HENHMETAFILE e : {emf, copy, back}) DeleteEnhMetaFile(e);
}

TEST(Metafile, EnhancedFrameGivenAndScaledPlayback) {
    RECT frame{0, 0, 2540, 2540}; // one inch square
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, &frame, nullptr);
    SelectObject(edc, GetStockObject(BLACK_BRUSH));
    SelectObject(edc, GetStockObject(NULL_PEN));
    Rectangle(edc, 0, 0, 49, 49); // the top-left quarter of the frame, roughly
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ENHMETAHEADER h{};
    GetEnhMetaFileHeader(emf, sizeof h, &h);
    EXPECT_EQ(h.rclFrame.right, 2540);
    EXPECT_EQ(h.nDescription, 0u);
    Canvas c;
    RECT dest{0, 0, 200, 200};
    PlayEnhMetaFile(c.dc, emf, &dest);
    EXPECT_EQ(c.img.pixel(50, 50), 0xFF000000u);
    EXPECT_EQ(c.img.pixel(120, 120), white);
    DeleteEnhMetaFile(emf);
}

TEST(Metafile, ObjectsDeletedWhileRecordingFreeTheirSlot) {
    HDC mdc = CreateMetaFile(nullptr);
    for (int i = 0; i < 5; ++i) {
        HPEN p = CreatePen(PS_SOLID, i, RGB(i, 0, 0));
        HGDIOBJ old = SelectObject(mdc, p);
        LineTo(mdc, i, i);
        SelectObject(mdc, old);
        DeleteObject(p);
    }
    HMETAFILE mf = CloseMetaFile(mdc);
    std::vector<BYTE> b = wmf_bytes(mf);
    // BLACK_PEN and one pen at a time.
    EXPECT_EQ(w16(b, 10), 2);
    DeleteMetaFile(mf);
}

// Clipping, saved levels, mapping, raster operations and formatted text.
void scene2(HDC dc) {
    int saved = SaveDC(dc);
    IntersectClipRect(dc, 5, 5, 200, 150);
    ExcludeClipRect(dc, 40, 40, 60, 60);
    HRGN ell = CreateEllipticRgn(100, 0, 200, 100);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Rectangle(dc, 0, 0, 90, 90);
    SelectClipRgn(dc, ell);
    Rectangle(dc, 90, 0, 210, 110);
    SelectClipRgn(dc, nullptr);
    DeleteObject(ell);
    RestoreDC(dc, saved);
    SaveDC(dc);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 10, 10, nullptr);
    SetViewportExtEx(dc, 20, 30, nullptr);
    SetViewportOrgEx(dc, 0, 100, nullptr);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    SelectObject(dc, blue);
    Ellipse(dc, 1, 1, 30, 20);
    RestoreDC(dc, -1);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(blue);
    HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
    SelectObject(dc, yellow);
    PatBlt(dc, 20, 20, 60, 30, PATINVERT);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(yellow);
    SetBkColor(dc, RGB(200, 255, 200));
    RECT r{120, 120, 250, 190};
    int dx[5] = {12, 12, 12, 12, 12};
    ExtTextOut(dc, 125, 125, ETO_OPAQUE | ETO_CLIPPED, &r, "spaced", 5, dx);
    SetBkMode(dc, TRANSPARENT);
    RECT box{10, 150, 110, 200};
    DrawText(dc, "word wrapped text in a box", -1, &box, DT_WORDBREAK | DT_CENTER);
    SetROP2(dc, R2_NOTXORPEN);
    MoveToEx(dc, 0, 199, nullptr);
    LineTo(dc, 259, 0);
    SetROP2(dc, R2_COPYPEN);
}

TEST(Metafile, ClipsLevelsMappingAndTextPlayBackExactly) {
    Canvas direct, wmf_played, emf_played;
    scene2(direct.dc);
    HDC mdc = CreateMetaFile(nullptr);
    scene2(mdc);
    HMETAFILE mf = CloseMetaFile(mdc);
    PlayMetaFile(wmf_played.dc, mf);
    EXPECT_EQ(direct.img, wmf_played.img);
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    scene2(edc);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ENHMETAHEADER h{};
    GetEnhMetaFileHeader(emf, sizeof h, &h);
    RECT r{h.rclBounds.left, h.rclBounds.top, h.rclBounds.right + 1, h.rclBounds.bottom + 1};
    PlayEnhMetaFile(emf_played.dc, emf, &r);
    EXPECT_EQ(direct.img, emf_played.img);
    DeleteMetaFile(mf);
    DeleteEnhMetaFile(emf);
}

TEST(Metafile, PlaybackKeepsTheCallersClip) {
    HDC mdc = CreateMetaFile(nullptr);
    SelectClipRgn(mdc, nullptr); // the picture clears its own clip
    SelectObject(mdc, GetStockObject(BLACK_BRUSH));
    Rectangle(mdc, 0, 0, 100, 100);
    HMETAFILE mf = CloseMetaFile(mdc);
    Canvas c;
    IntersectClipRect(c.dc, 10, 10, 20, 20);
    PlayMetaFile(c.dc, mf);
    EXPECT_EQ(c.img.pixel(15, 15), 0xFF000000u);
    EXPECT_EQ(c.img.pixel(50, 50), white);
    DeleteMetaFile(mf);
}

class MalformedMetafile : public testing::Test {
protected:
    std::vector<BYTE> wmf = [] {
        HDC mdc = CreateMetaFile(nullptr);
        SelectObject(mdc, GetStockObject(BLACK_BRUSH));
        Rectangle(mdc, 1, 2, 30, 40);
        TextOut(mdc, 3, 4, "abc", 3);
        HMETAFILE mf = CloseMetaFile(mdc);
        std::vector<BYTE> b = wmf_bytes(mf);
        DeleteMetaFile(mf);
        return b;
    }();
    std::vector<BYTE> emf = [] {
        HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
        Rectangle(edc, 1, 2, 30, 40);
        TextOut(edc, 3, 4, "abc", 3);
        HENHMETAFILE e = CloseEnhMetaFile(edc);
        std::vector<BYTE> b = emf_bytes(e);
        DeleteEnhMetaFile(e);
        return b;
    }();
    bool wmf_ok(const std::vector<BYTE>& b) {
        HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
        if (m) DeleteMetaFile(m);
        return m != nullptr;
    }
    bool emf_ok(const std::vector<BYTE>& b) {
        HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(b.size()), b.data());
        if (m) DeleteEnhMetaFile(m);
        return m != nullptr;
    }
    // Byte offset of the first record of a Windows metafile with `fn`.
    std::size_t find_wmf(WORD fn) {
        for (std::size_t pos = 18; pos + 6 <= wmf.size(); pos += w32(wmf, pos) * 2)
            if (w16(wmf, pos + 4) == fn) return pos;
        return 0;
    }
    std::size_t find_emf(DWORD type) {
        for (std::size_t pos = w32(emf, 4); pos + 8 <= emf.size(); pos += w32(emf, pos + 4))
            if (w32(emf, pos) == type) return pos;
        return 0;
    }
};

TEST_F(MalformedMetafile, WindowsMetafilesAreRefused) {
    ASSERT_TRUE(wmf_ok(wmf));
    // Truncated anywhere.
    for (std::size_t n :
         {std::size_t{0}, std::size_t{10}, std::size_t{18}, wmf.size() - 6, wmf.size() - 1}) {
        std::vector<BYTE> b(wmf.begin(), wmf.begin() + static_cast<long>(n));
        EXPECT_FALSE(wmf_ok(b)) << n;
    }
    EXPECT_NE(std::string(gdi_last_error()), "");
    // A record size running past the end, or too small to hold itself.
    std::size_t rect = find_wmf(wmf::RECTANGLE);
    ASSERT_NE(rect, 0u);
    std::vector<BYTE> b = wmf;
    put32(b, rect, 0x10000);
    EXPECT_FALSE(wmf_ok(b));
    put32(b, rect, 2);
    EXPECT_FALSE(wmf_ok(b));
    // A record too short for its function.
    b = wmf;
    std::size_t text = find_wmf(wmf::TEXTOUT);
    put16(b, text + 6, 500); // a text longer than its record
    EXPECT_FALSE(wmf_ok(b));
    EXPECT_NE(std::string(gdi_last_error()).find("text"), std::string::npos);
    // An unknown function is skipped with a word, not a reason to refuse.
    b = wmf;
    put16(b, rect + 4, 0x0999);
    EXPECT_TRUE(wmf_ok(b));
    EXPECT_NE(std::string(gdi_last_error()).find("skipped (the first: 0x0999)"), std::string::npos);
    // An object index outside the table.
    b = wmf;
    std::size_t sel = find_wmf(wmf::SELECTOBJECT);
    put16(b, sel + 6, 77);
    EXPECT_FALSE(wmf_ok(b));
    // A header whose size claims more than there is.
    b = wmf;
    put32(b, 6, static_cast<std::uint32_t>(b.size()));
    EXPECT_FALSE(wmf_ok(b));
    // No object table for a created object.
    b = wmf;
    put16(b, 10, 0);
    EXPECT_FALSE(wmf_ok(b));
}

TEST_F(MalformedMetafile, EnhancedMetafilesAreRefused) {
    ASSERT_TRUE(emf_ok(emf));
    std::vector<BYTE> b = emf;
    put32(b, 40, 0x12345678);
    EXPECT_FALSE(emf_ok(b));
    b = emf;
    put32(b, 48, static_cast<std::uint32_t>(b.size() + 4));
    EXPECT_FALSE(emf_ok(b));
    for (std::size_t n : {std::size_t{50}, std::size_t{100}, emf.size() - 20, emf.size() - 4}) {
        std::vector<BYTE> t(emf.begin(), emf.begin() + static_cast<long>(n));
        if (n >= 52) put32(t, 48, static_cast<std::uint32_t>(n)); // claims only what is there
        EXPECT_FALSE(emf_ok(t)) << n;
    }
    std::size_t rect = find_emf(emr::RECTANGLE);
    ASSERT_NE(rect, 0u);
    b = emf;
    put32(b, rect + 4, 10); // not a multiple of four
    EXPECT_FALSE(emf_ok(b));
    b = emf;
    put32(b, rect + 4, 12); // too short for a rectangle
    EXPECT_FALSE(emf_ok(b));
    b = emf;
    put32(b, rect, 250); // unknown type: skipped with a word
    EXPECT_TRUE(emf_ok(b));
    EXPECT_NE(std::string(gdi_last_error()).find("type 250"), std::string::npos);
    std::size_t text = find_emf(emr::EXTTEXTOUTW);
    ASSERT_NE(text, 0u);
    b = emf;
    put32(b, text + 44, 100000); // more characters than the record holds
    EXPECT_FALSE(emf_ok(b));
    b = emf;
    put32(b, text + 72, 0xFFFFFFF0u); // character spacing outside the record
    EXPECT_FALSE(emf_ok(b));
}

TEST_F(MalformedMetafile, HugeBitmapInARecordIsRefusedWhenPlayed) {
    HDC mdc = CreateMetaFile(nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateBitmap(4, 4, 1, 32, nullptr);
    SelectObject(mem, bm);
    BitBlt(mdc, 0, 0, 4, 4, mem, 0, 0, SRCCOPY);
    DeleteDC(mem);
    DeleteObject(bm);
    HMETAFILE mf = CloseMetaFile(mdc);
    std::vector<BYTE> b = wmf_bytes(mf);
    DeleteMetaFile(mf);
    std::size_t pos = 18;
    while (w16(b, pos + 4) != wmf::DIBSTRETCHBLT) pos += w32(b, pos) * 2;
    std::size_t dib = pos + 6 + 20;
    put32(b, dib + 4, 0x7FFFFFFF); // width
    put32(b, dib + 8, 0x7FFFFFFF); // height
    HMETAFILE bad = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    ASSERT_NE(bad, nullptr);
    Canvas c;
    EXPECT_FALSE(PlayMetaFile(c.dc, bad));
    EXPECT_EQ(c.img.pixel(1, 1), white);
    DeleteMetaFile(bad);
}

// Plays a damaged picture whose text is drawn in a font far wider than
// high onto 64 x 48 pixels, then checks the device context still draws (the
// picture's objects gone).
void play_wide_text_then_draw(const unsigned char* bytes, UINT size) {
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(0xFFFFFFFF);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    SetMapMode(dc, MM_ANISOTROPIC);
    SetViewportExtEx(dc, 64, 48, nullptr);
    HMETAFILE mf = SetMetaFileBitsEx(size, bytes);
    ASSERT_NE(mf, nullptr);
    EXPECT_TRUE(PlayMetaFile(dc, mf));
    DeleteMetaFile(mf);
    // The device context still draws after it (the picture's objects gone).
    img.fill(0xFFFFFFFF);
    SetMapMode(dc, MM_TEXT);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SetTextColor(dc, RGB(0, 0, 0));
    TextOut(dc, 0, 0, "Ab", 2);
    gdi_delete_image_dc(dc);
    int ink = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) ink += img.pixel(x, y) != 0xFFFFFFFF;
    EXPECT_GT(ink, 0);
}

// A damaged picture whose font is 40 times wider than high (a width of 8192
// for characters of 16 units, drawn 64 pixels high): the text is drawn
// stretched no more than the toolkit keeps as glyph images (it crashed
// inside the toolkit), and the device context draws on afterwards.
TEST(Metafile, AFontFarWiderThanHighIsDrawnWithinBounds) {
    static const unsigned char bytes[] = {
        0xd7, 0xcd, 0xc6, 0x9a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc8, 0x00, 0x50, 0x00, 0x60,
        0x00, 0x00, 0x00, 0x00, 0x00, 0xe9, 0x57, 0x01, 0x00, 0x09, 0x00, 0x00, 0x03, 0x5b, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x03,
        0x01, 0x08, 0x00, 0x05, 0x00, 0x00, 0x00, 0x0b, 0x02, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00,
        0x00, 0x00, 0x0c, 0x02, 0x0c, 0x00, 0xc8, 0x00, 0x0f, 0x00, 0x00, 0x00, 0xfb, 0x02, 0x70,
        0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x01, 0x00, 0x00, 0x0e, 0xcc, 0x00, 0x00,
        0x00, 0x00, 0x41, 0x72, 0x69, 0x61, 0x6c, 0x00, 0x04, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x00,
        0x00, 0x09, 0x00, 0x00, 0x00, 0x21, 0x05, 0x06, 0x00, 0xcf, 0xf0, 0xe8, 0xe2, 0xe5, 0xf2,
        0x0a, 0x00, 0x0a, 0x00, 0x11, 0x00, 0x00, 0x00, 0xfb, 0x02, 0xf0, 0xff, 0x00, 0x20, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x5e, 0x05, 0x00, 0x50, 0x61, 0x00, 0x00,
        0x20, 0x47, 0x6f, 0x74, 0x68, 0x69, 0x63, 0x00, 0x04, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x01,
        0x00, 0x10, 0x00, 0x00, 0x00, 0x32, 0x0a, 0x28, 0x00, 0x0a, 0x00, 0x06, 0x00, 0x00, 0x00,
        0x93, 0xfa, 0x96, 0x7b, 0x8c, 0xea, 0x14, 0x00, 0x00, 0x10, 0x15, 0x00, 0x00, 0x00, 0x16,
        0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    play_wide_text_then_draw(bytes, sizeof bytes);
}

// The same picture with its font turned a tenth of a degree and other text:
// the glyphs, 64 pixels high and 16 times as wide, crashed the toolkit while
// it made their images. They are drawn as outlines.
TEST(Metafile, AWideFontTurnedALittleIsDrawn) {
    static const unsigned char bytes[] = {
        0xd7, 0xcd, 0xc6, 0x9a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc8, 0x00, 0x00, 0x00, 0x50,
        0x70, 0x00, 0x00, 0x00, 0x00, 0xe9, 0x57, 0x01, 0x00, 0x09, 0x00, 0x00, 0x01, 0x5b, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x03,
        0x01, 0x08, 0x00, 0x05, 0x00, 0x00, 0x00, 0x0b, 0x02, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00,
        0x00, 0x00, 0x0c, 0x02, 0x0c, 0x00, 0xc8, 0x00, 0x0f, 0x00, 0x00, 0x00, 0xfb, 0x02, 0x00,
        0x70, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x90, 0x01, 0x00, 0x00, 0x0e, 0xcc, 0x00, 0x00,
        0x00, 0x00, 0x41, 0xf2, 0x69, 0x61, 0x6c, 0x00, 0x04, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x00,
        0x00, 0x09, 0x00, 0x00, 0x00, 0x21, 0x05, 0xf0, 0xe8, 0x06, 0xcf, 0x00, 0xe2, 0xe5, 0xf2,
        0x0a, 0x00, 0x0a, 0x00, 0x11, 0x00, 0x00, 0x00, 0xfb, 0x02, 0xf0, 0xff, 0x00, 0x20, 0xff,
        0xff, 0x60, 0x50, 0x00, 0x04, 0xcd, 0x1c, 0x04, 0x5e, 0x05, 0x00, 0x40, 0x9f, 0xff, 0xff,
        0xdf, 0xb8, 0x90, 0x8b, 0x93, 0x69, 0x63, 0x00, 0x04, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x01,
        0x00, 0x10, 0x00, 0x00, 0x00, 0x32, 0x0a, 0x28, 0x00, 0x0a, 0x00, 0x06, 0x00, 0x00, 0x00,
        0x93, 0xfa, 0x96, 0x7b, 0x8c, 0xea, 0x14, 0x00, 0x00, 0x10, 0x15, 0x00, 0x00, 0x00, 0x16,
        0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,

    };
    play_wide_text_then_draw(bytes, sizeof bytes);
}

// Made without a frame, an enhanced metafile takes its frame from what was
// drawn, in hundredths of a millimetre of the reference device: its pixels
// times the device's millimetres per pixel, each axis by its own.
TEST(Metafile, AFrameLeftOutIsTheBoundsInTheReferencesMillimetres) {
    // A reference far wider than high, so the axes cannot stand in for each other.
    QImage wide(400, 100, QImage::Format_RGB32);
    HDC ref = gdi_create_image_dc(&wide, nullptr, QRegion());
    ASSERT_NE(ref, nullptr);
    const double mm_x = 100.0 * GetDeviceCaps(ref, HORZSIZE) / GetDeviceCaps(ref, HORZRES);
    const double mm_y = 100.0 * GetDeviceCaps(ref, VERTSIZE) / GetDeviceCaps(ref, VERTRES);
    HDC edc = CreateEnhMetaFile(ref, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    Rectangle(edc, 10, 20, 110, 70); // pixels 10 to 109 across, 20 to 69 down
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    ENHMETAHEADER h{};
    ASSERT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), 108u);
    EXPECT_EQ(h.rclBounds.left, 10);
    EXPECT_EQ(h.rclBounds.top, 20);
    EXPECT_EQ(h.rclBounds.right, 109);
    EXPECT_EQ(h.rclBounds.bottom, 69);
    EXPECT_NEAR(h.rclFrame.left, 10 * mm_x, 1.0);
    EXPECT_NEAR(h.rclFrame.top, 20 * mm_y, 1.0);
    EXPECT_NEAR(h.rclFrame.right, 110 * mm_x, 1.0);
    EXPECT_NEAR(h.rclFrame.bottom, 70 * mm_y, 1.0);
    DeleteEnhMetaFile(emf);
    gdi_delete_image_dc(ref);
}

// Rounded corners wider than they are high (and higher than wide) come back
// from a Windows metafile as they were drawn: the corner's width and height
// keep their places in the record.
TEST(Metafile, RoundedCornersOfEitherShapePlayBackAsDrawn) {
    auto draw = [](HDC dc) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
        HBRUSH brush = CreateSolidBrush(RGB(0, 120, 200));
        HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, brush);
        RoundRect(dc, 20, 20, 220, 120, 120, 20);
        RoundRect(dc, 30, 130, 120, 190, 10, 50);
        SelectObject(dc, op);
        SelectObject(dc, ob);
        DeleteObject(pen);
        DeleteObject(brush);
    };
    Canvas direct, from_wmf;
    draw(direct.dc);
    HDC wdc = CreateMetaFile(nullptr);
    draw(wdc);
    HMETAFILE wmf = CloseMetaFile(wdc);
    ASSERT_NE(wmf, nullptr);
    ASSERT_TRUE(PlayMetaFile(from_wmf.dc, wmf));
    EXPECT_EQ(direct.img, from_wmf.img);
    DeleteMetaFile(wmf);
}

// A rectangle filled with a system colour given as its number plus one (as
// programs pass COLOR_BTNFACE + 1) is recorded in that colour.
TEST(Metafile, SystemColourFillsAreRecordedInTheirColour) {
    auto draw = [](HDC dc) {
        const RECT face{10, 10, 120, 80}, shadow{130, 10, 240, 80}, window{10, 90, 120, 160};
        FillRect(dc, &face,
                 reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1)));
        FillRect(dc, &shadow,
                 reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNSHADOW + 1)));
        FillRect(dc, &window,
                 reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1)));
    };
    Canvas direct, played;
    draw(direct.dc);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(QColor(direct.img.pixel(50, 40)),
              QColor(GetRValue(face), GetGValue(face), GetBValue(face)));
    HDC wdc = CreateMetaFile(nullptr);
    draw(wdc);
    HMETAFILE wmf = CloseMetaFile(wdc);
    ASSERT_NE(wmf, nullptr);
    ASSERT_TRUE(PlayMetaFile(played.dc, wmf));
    EXPECT_EQ(direct.img, played.img);
    DeleteMetaFile(wmf);
}

} // namespace
