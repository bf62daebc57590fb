// The clipboard: formats, ownership, checks of the data, and the exchange
// with Qt's clipboard (other programs).
#include "dlg_fixture.h"

#include "platform/clip.h"
#include "platform/gdi.h"
#include "platform/global.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <cstring>

using namespace dlgtest;

namespace {

HGLOBAL text_block(const char* text) {
    return global_from_bytes(text, std::strlen(text) + 1, GHND);
}

HGLOBAL picture_block(int w_hmm, int h_hmm) {
    HDC dc = CreateMetaFile(nullptr);
    SetWindowExtEx(dc, 100, 100, nullptr);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(dc, red);
    Rectangle(dc, 0, 0, 100, 100);
    HMETAFILE mf = CloseMetaFile(dc);
    DeleteObject(red);
    METAFILEPICT mp{MM_ANISOTROPIC, w_hmm, h_hmm, mf};
    return global_from_bytes(&mp, sizeof mp, GHND);
}

std::string text_of(HANDLE h) {
    auto g = static_cast<HGLOBAL>(h);
    const char* p = static_cast<const char*>(GlobalLock(g));
    std::string s = p ? p : "";
    GlobalUnlock(g);
    return s;
}

class ClipTest : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        clip_reset();
        clip_use_private(true);
        owner = make_owner();
    }
    void TearDown() override {
        clip_reset();
        clip_use_private(false);
        DlgTest::TearDown();
    }
    HWND owner = nullptr;
};

TEST_F(ClipTest, RegisteredFormatsRoundTripByName) {
    UINT biff = RegisterClipboardFormat("Biff");
    UINT xl = RegisterClipboardFormat("XlTable");
    EXPECT_GE(biff, 0xC000u);
    EXPECT_NE(biff, xl);
    EXPECT_EQ(RegisterClipboardFormat("BIFF"), biff); // names are case-insensitive
    char name[16];
    EXPECT_EQ(GetClipboardFormatName(xl, name, sizeof name), 7);
    EXPECT_STREQ(name, "XlTable");
    EXPECT_EQ(RegisterClipboardFormat(""), 0u);

    const unsigned char bytes[] = {9, 0, 4, 0, 2, 0, 0x10, 0, 0, 0xFF};
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_NE(SetClipboardData(biff, global_from_bytes(bytes, sizeof bytes)), nullptr);
    EXPECT_NE(SetClipboardData(CF_TEXT, text_block("a\tb\r\n")), nullptr);
    EXPECT_TRUE(CloseClipboard());

    EXPECT_TRUE(IsClipboardFormatAvailable(biff));
    EXPECT_FALSE(IsClipboardFormatAvailable(xl));
    EXPECT_EQ(GetClipboardData(biff), nullptr); // closed: nothing handed out
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto h = static_cast<HGLOBAL>(GetClipboardData(biff));
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(GlobalSize(h), sizeof bytes);
    EXPECT_EQ(std::memcmp(GlobalLock(h), bytes, sizeof bytes), 0);
    GlobalUnlock(h);
    EXPECT_EQ(text_of(GetClipboardData(CF_TEXT)), "a\tb\r\n");
    std::vector<UINT> formats;
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) formats.push_back(f);
    EXPECT_EQ(formats, (std::vector<UINT>{CF_TEXT, biff}));
    EXPECT_EQ(GetClipboardOwner(), owner);
    CloseClipboard();
}

TEST_F(ClipTest, EmptyingFreesWhatTheClipboardOwnedAndTellsTheOldOwner) {
    std::size_t before = global_live_blocks();
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    SetClipboardData(CF_TEXT, text_block("one"));
    SetClipboardData(CF_METAFILEPICT, picture_block(2540, 2540));
    CloseClipboard();
    EXPECT_EQ(global_live_blocks(), before + 2);
    HWND other = make_owner();
    ASSERT_TRUE(OpenClipboard(other));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_EQ(global_live_blocks(), before);
    EXPECT_EQ(CountClipboardFormats(), 0);
    CloseClipboard();
}

TEST_F(ClipTest, OnlyOneWindowHasItOpen) {
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_EQ(GetOpenClipboardWindow(), owner);
    EXPECT_FALSE(OpenClipboard(make_owner()));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
    EXPECT_FALSE(EmptyClipboard()); // not open
    HGLOBAL t = text_block("x");
    EXPECT_EQ(SetClipboardData(CF_TEXT, t), nullptr);
    GlobalFree(t); // refused, so still ours
}

// One block put in place of what the clipboard held: taken (the clipboard's
// then, and freed when it is emptied) or refused and left to the caller;
// the clipboard is closed again either way.
TEST_F(ClipTest, PuttingOneBlockReplacesTheContentsOrLeavesItToTheCaller) {
    const std::size_t before = global_live_blocks();
    EXPECT_TRUE(clip_put(owner, CF_TEXT, text_block("one")));
    EXPECT_EQ(GetOpenClipboardWindow(), nullptr);
    EXPECT_EQ(global_live_blocks(), before + 1);
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_EQ(text_of(GetClipboardData(CF_TEXT)), "one");
    CloseClipboard();

    EXPECT_TRUE(clip_put(owner, CF_METAFILEPICT, picture_block(2540, 2540)));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT)) << "the text was replaced";
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_METAFILEPICT));
    EXPECT_EQ(global_live_blocks(), before + 1) << "the text's block was freed";

    HGLOBAL small = GlobalAlloc(GHND, 6); // smaller than a METAFILEPICT
    EXPECT_FALSE(clip_put(owner, CF_METAFILEPICT, small));
    EXPECT_EQ(GetOpenClipboardWindow(), nullptr);
    EXPECT_EQ(GlobalSize(small), 6u) << "refused, so still ours";
    GlobalFree(small);

    HGLOBAL t = text_block("busy");
    ASSERT_TRUE(OpenClipboard(make_owner()));
    EXPECT_FALSE(clip_put(owner, CF_TEXT, t)) << "another window has it open";
    CloseClipboard();
    GlobalFree(t);
    EXPECT_FALSE(clip_put(owner, CF_TEXT, nullptr));
}

TEST_F(ClipTest, BadDataIsRefusedWithAMessage) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    HGLOBAL small = GlobalAlloc(GHND, 6); // smaller than a METAFILEPICT
    EXPECT_EQ(SetClipboardData(CF_METAFILEPICT, small), nullptr);
    EXPECT_NE(errors().back().find("metafile picture needs"), std::string::npos);
    GlobalFree(small);

    METAFILEPICT junk{MM_ANISOTROPIC, 100, 100, reinterpret_cast<HMETAFILE>(0x1234)};
    HGLOBAL bad = global_from_bytes(&junk, sizeof junk);
    EXPECT_EQ(SetClipboardData(CF_METAFILEPICT, bad), nullptr);
    GlobalFree(bad);

    const char raw[3] = {'a', 'b', 'c'}; // no terminating zero
    HGLOBAL unterminated = global_from_bytes(raw, sizeof raw);
    EXPECT_EQ(SetClipboardData(CF_TEXT, unterminated), nullptr);
    EXPECT_NE(errors().back().find("has no end"), std::string::npos);
    GlobalFree(unterminated);

    HGLOBAL freed = text_block("gone");
    GlobalFree(freed);
    EXPECT_EQ(SetClipboardData(CF_TEXT, freed), nullptr);
    EXPECT_EQ(SetClipboardData(CF_ENHMETAFILE, nullptr), reinterpret_cast<HANDLE>(1)); // delayed
    CloseClipboard();
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
}

TEST_F(ClipTest, PicturesReachOtherProgramsAsWmfPngAndSvgAndTextAsPlainText) {
    clip_use_private(false);
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    SetClipboardData(CF_METAFILEPICT, picture_block(5080, 2540)); // 2 by 1 inches
    SetClipboardData(CF_TEXT, text_block("x\ty\r\n1\t2\r\n"));
    UINT biff = RegisterClipboardFormat("Biff");
    const char b[] = "BIFF";
    SetClipboardData(biff, global_from_bytes(b, 4));
    const char table[] = "<table><tr><td>x</td><td>1</td></tr></table>";
    SetClipboardData(RegisterClipboardFormat("HTML Format"),
                     global_from_bytes(table, sizeof table));
    CloseClipboard();

    const QMimeData* md = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(md, nullptr);
    EXPECT_EQ(md->text(), "x\ty\r\n1\t2\r\n"); // the line ends as written
    QImage png = QImage::fromData(md->data("image/png"), "PNG");
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(192, 96));
    EXPECT_EQ(QColor(png.pixel(96, 48)), QColor(255, 0, 0)); // the red rectangle
    EXPECT_TRUE(md->data("image/svg+xml").startsWith("<?xml"));
    QByteArray wmf = md->data("image/x-wmf");
    ASSERT_GT(wmf.size(), 22);
    EXPECT_EQ(static_cast<unsigned char>(wmf[0]), 0xD7); // placeable header key
    EXPECT_EQ(md->data(QString::fromStdString(clip_mime_type(biff))), QByteArray("BIFF"));
    // The registered "HTML Format" is the HTML other programs paste.
    EXPECT_TRUE(md->hasHtml());
    EXPECT_NE(md->html().indexOf("<td>1</td>"), -1) << md->html().toStdString();
}

TEST_F(ClipTest, DataFromAnotherProgramIsReadAndCheckedByFormat) {
    clip_use_private(false);
    UINT xl = RegisterClipboardFormat("XlTable");
    auto* md = new QMimeData;
    md->setText(QString::fromUtf8("a\nb \u00e9 \u4e2d"));
    md->setData(QString::fromStdString(clip_mime_type(xl)), QByteArray("\x10\x00\x04\x00", 4));
    md->setData("image/x-wmf", QByteArray("\xD7\xCD\xC6\x9A junk that is no metafile", 30));
    QGuiApplication::clipboard()->setMimeData(md);

    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_TRUE(IsClipboardFormatAvailable(xl));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_METAFILEPICT)); // malformed: not offered
    EXPECT_NE(errors().back().find("malformed"), std::string::npos);
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_EQ(text_of(GetClipboardData(CF_TEXT)), "a\r\nb \u00e9 \u4e2d"); // UTF-8, CR LF
    EXPECT_EQ(GlobalSize(static_cast<HGLOBAL>(GetClipboardData(xl))), 4u);
    EXPECT_EQ(GetClipboardOwner(), nullptr);
    CloseClipboard();
}

// Other programs' metafile pictures as the pictures tests keep them.
QByteArray data_file(const char* name) {
    QFile f(
        QString::fromStdString(std::string(KAVREL_SOURCE_DIR) + "/tests/platform/data/" + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(ClipTest, PastedMetafilesAreReadAsFilesAreAndLeaveAgainAsTypeOne) {
    clip_use_private(false);
    // A size that counts the placeable header (as one drawing program
    // writes it) is read as from a file; a type-2 metafile goes out as 1.
    for (const char* name : {"wmf_counted_header.wmf", "wmf_type2.wmf"}) {
        SCOPED_TRACE(name);
        QByteArray wmf = data_file(name);
        ASSERT_FALSE(wmf.isEmpty());
        auto* md = new QMimeData;
        md->setData("image/x-wmf", wmf);
        QGuiApplication::clipboard()->setMimeData(md);
        ASSERT_TRUE(IsClipboardFormatAvailable(CF_METAFILEPICT));

        ASSERT_TRUE(OpenClipboard(owner));
        auto g = static_cast<HGLOBAL>(GetClipboardData(CF_METAFILEPICT));
        auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g));
        ASSERT_NE(mp, nullptr);
        HMETAFILE copy = CopyMetaFile(mp->hMF, nullptr);
        GlobalUnlock(g);
        // Copied again, as a user copies a pasted picture.
        EmptyClipboard();
        METAFILEPICT again{MM_ANISOTROPIC, 1058, 1058, copy};
        SetClipboardData(CF_METAFILEPICT, global_from_bytes(&again, sizeof again));
        CloseClipboard();

        const QMimeData* out = QGuiApplication::clipboard()->mimeData();
        QByteArray sent = out->data("image/x-wmf");
        ASSERT_GT(sent.size(), 24);
        EXPECT_EQ(sent[22], 1); // the metafile's type, after the placeable header
        EXPECT_EQ(sent[23], 0);
        QImage png = QImage::fromData(out->data("image/png"), "PNG");
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(QColor(png.pixel(png.width() / 2, png.height() / 2)), QColor(0, 0, 0));
    }
}

// A placeable header gives another program's picture its size: the bounding
// box in units of the header's units per inch, taken into hundredths of a
// millimetre (2540 to the inch).
TEST_F(ClipTest, APastedPlaceablePictureTakesItsSizeFromTheBoundingBox) {
    clip_use_private(false);
    HDC rec = CreateMetaFile(nullptr);
    Rectangle(rec, 0, 0, 100, 50);
    HMETAFILE mf = CloseMetaFile(rec);
    ASSERT_NE(mf, nullptr);
    UINT n = GetMetaFileBitsEx(mf, 0, nullptr);
    std::vector<unsigned char> body(n);
    ASSERT_EQ(GetMetaFileBitsEx(mf, n, body.data()), n);
    DeleteMetaFile(mf);
    // Key, handle, box left 10 top 20 right 1450 bottom 740, 1440 per inch,
    // four reserved bytes, then the XOR of the ten words before it.
    std::uint16_t w[11] = {0xCDD7, 0x9AC6, 0, 10, 20, 1450, 740, 1440, 0, 0, 0};
    for (int i = 0; i < 10; ++i) w[10] ^= w[i];
    QByteArray wmf;
    for (std::uint16_t v : w) {
        wmf.append(static_cast<char>(v & 0xFF));
        wmf.append(static_cast<char>(v >> 8));
    }
    wmf.append(reinterpret_cast<const char*>(body.data()), static_cast<qsizetype>(body.size()));
    auto* md = new QMimeData;
    md->setData("image/x-wmf", wmf);
    QGuiApplication::clipboard()->setMimeData(md);
    ASSERT_TRUE(IsClipboardFormatAvailable(CF_METAFILEPICT));
    ASSERT_TRUE(OpenClipboard(owner));
    auto g = static_cast<HGLOBAL>(GetClipboardData(CF_METAFILEPICT));
    auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g));
    ASSERT_NE(mp, nullptr);
    EXPECT_EQ(mp->mm, MM_ANISOTROPIC);
    EXPECT_EQ(mp->xExt, 2540); // 1440 units: one inch wide
    EXPECT_EQ(mp->yExt, 1270); // 720 units: half an inch high
    GlobalUnlock(g);
    CloseClipboard();
}

// A format's name is cut to the buffer, its NUL inside it, and the count
// says what was written.
TEST_F(ClipTest, AFormatNameIsCutToTheBuffer) {
    UINT xl = RegisterClipboardFormat("XlTable");
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(GetClipboardFormatName(xl, buf, 4), 3);
    EXPECT_STREQ(buf, "XlT");
    EXPECT_EQ(buf[4], 'Z') << "nothing written past the buffer";
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(GetClipboardFormatName(xl, buf, 1), 0);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'Z');
    EXPECT_EQ(GetClipboardFormatName(CF_TEXT, buf, sizeof buf), 0)
        << "a standard format has no name";
    EXPECT_EQ(GetClipboardFormatName(xl + 100, buf, sizeof buf), 0);
}

} // namespace
