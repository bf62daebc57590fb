// Pictures on printed pages: bitmaps and hatch tiles reach the PDF without a
// lossy encoding, so their colours come back exactly when the page is
// rendered by an independent reader.
#include "dlg_fixture.h"

#include "platform/print.h"
#include "tests/common/packages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <string>

using namespace dlgtest;

namespace {

constexpr QRgb pure_blue = 0xFF0000FFu, pure_red = 0xFFFF0000u, pure_green = 0xFF00FF00u;
constexpr QRgb white = 0xFFFFFFFFu;

// Device pixels of the page (300 per inch) where the test draws.
constexpr RECT hatch_box{300, 300, 700, 700};
constexpr RECT bitmap_box{800, 300, 1120, 620}; // a 16 x 16 bitmap, 20 times enlarged

class PrintPictures : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        print_use_system_printers(false);
        ASSERT_TRUE(temp.isValid());
        dir = temp.path().toStdString() + "/";
    }
    void TearDown() override {
        print_use_system_printers(true);
        DlgTest::TearDown();
    }

    // One page: a blue cross hatch without an outline, and a bitmap whose left
    // half is red and right half green.
    std::string print_page() {
        std::string file = dir + "pictures.pdf";
        HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
        if (!dc) return {};
        DOCINFO di{sizeof(DOCINFO), "Kavrel", file.c_str(), nullptr, 0};
        bool ok = StartDoc(dc, &di) > 0 && StartPage(dc) > 0;
        if (ok) {
            HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 255));
            HGDIOBJ old_brush = SelectObject(dc, hatch);
            HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
            SetBkMode(dc, OPAQUE);
            SetBkColor(dc, RGB(255, 255, 255));
            Rectangle(dc, hatch_box.left, hatch_box.top, hatch_box.right + 1, hatch_box.bottom + 1);
            SelectObject(dc, old_pen);
            SelectObject(dc, old_brush);
            DeleteObject(hatch);

            std::uint32_t bits[16 * 16];
            for (int i = 0; i < 16 * 16; ++i) bits[i] = (i % 16) < 8 ? 0x00FF0000u : 0x0000FF00u;
            BITMAPINFO bi{};
            bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            bi.bmiHeader.biWidth = 16;
            bi.bmiHeader.biHeight = 16;
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            bi.bmiHeader.biCompression = BI_RGB;
            StretchDIBits(dc, bitmap_box.left, bitmap_box.top, bitmap_box.right - bitmap_box.left,
                          bitmap_box.bottom - bitmap_box.top, 0, 0, 16, 16, bits, &bi,
                          DIB_RGB_COLORS, SRCCOPY);
            ok = EndPage(dc) > 0 && EndDoc(dc) > 0;
        }
        DeleteDC(dc);
        return ok ? file : std::string();
    }

    QTemporaryDir temp; // one of its own for each test, run side by side
    std::string dir;
};

QByteArray file_bytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(PrintPictures, ImagesAreStoredWithoutLossyEncoding) {
    std::string pdf = print_page();
    ASSERT_FALSE(pdf.empty()) << (errors().empty() ? "" : errors().back());
    QByteArray bytes = file_bytes(pdf);
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Image"));      // the bitmap is an image of the page...
    EXPECT_FALSE(bytes.contains("/DCTDecode")); // ...and none is stored as JPEG
}

TEST_F(PrintPictures, RenderedPageKeepsExactColours) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    QString renderer = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    ASSERT_FALSE(renderer.isEmpty());
    std::string pdf = print_page();
    ASSERT_FALSE(pdf.empty());
    // The page at its own resolution, without smoothing, so device pixels match.
    QString out = QString::fromStdString(dir + "page");
    QProcess p;
    p.start(renderer, {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-W"),
                       QStringLiteral("1200"), QStringLiteral("-H"), QStringLiteral("800"),
                       QStringLiteral("-aa"), QStringLiteral("no"), QStringLiteral("-aaVector"),
                       QStringLiteral("no"), QStringLiteral("-singlefile"), QStringLiteral("-png"),
                       QString::fromStdString(pdf), out});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QImage page(out + QStringLiteral(".png"));
    ASSERT_FALSE(page.isNull());
    page = page.convertToFormat(QImage::Format_RGB32);

    // The hatch: pure blue lines on pure white, no other colour in between.
    int blue = 0, paper = 0, other = 0;
    for (int y = hatch_box.top + 4; y < hatch_box.bottom - 4; ++y)
        for (int x = hatch_box.left + 4; x < hatch_box.right - 4; ++x) {
            QRgb c = page.pixel(x, y);
            if (c == pure_blue)
                ++blue;
            else if (c == white)
                ++paper;
            else
                ++other;
        }
    EXPECT_GT(blue, 0);
    EXPECT_GT(paper, blue); // thin lines on the background
    EXPECT_EQ(other, 0);

    // The bitmap: each half one exact colour, up to the pixels at its seam.
    int seam = (bitmap_box.left + bitmap_box.right) / 2;
    for (int y = bitmap_box.top + 4; y < bitmap_box.bottom - 4; y += 7) {
        for (int x = bitmap_box.left + 4; x < seam - 2; x += 5)
            ASSERT_EQ(page.pixel(x, y), pure_red) << x << "," << y;
        for (int x = seam + 2; x < bitmap_box.right - 4; x += 5)
            ASSERT_EQ(page.pixel(x, y), pure_green) << x << "," << y;
    }
}

} // namespace
