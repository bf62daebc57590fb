// What our Windows metafiles hold for readers that draw only some records:
// pattern fills (the bars of bar graphs) go out as rectangles under a null
// pen, which every reader draws, and play back as before; a text of several
// scripts goes out as runs of one code page each, so every character reads
// back.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"
#include "tests/common/packages.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Record {
    unsigned function;
    std::vector<std::uint8_t> params;
};

std::vector<Record> records_of(HMETAFILE mf) {
    const UINT n = GetMetaFileBitsEx(mf, 0, nullptr);
    std::vector<std::uint8_t> bits(n);
    GetMetaFileBitsEx(mf, n, bits.data());
    std::vector<Record> out;
    std::size_t at = 18; // the header
    while (at + 6 <= bits.size()) {
        const std::uint32_t words = bits[at] | (bits[at + 1] << 8) | (bits[at + 2] << 16) |
                                    (static_cast<std::uint32_t>(bits[at + 3]) << 24);
        const unsigned fn = bits[at + 4] | (bits[at + 5] << 8);
        if (words < 3 || at + words * 2 > bits.size()) break;
        out.push_back({fn, std::vector<std::uint8_t>(bits.begin() + static_cast<long>(at) + 6,
                                                     bits.begin() + static_cast<long>(at) +
                                                         static_cast<long>(words) * 2)});
        at += words * 2;
    }
    return out;
}

int i16(const std::vector<std::uint8_t>& p, std::size_t at) {
    return static_cast<std::int16_t>(p[at] | (p[at + 1] << 8));
}

constexpr int pic_w = 120, pic_h = 80;

void bars(HDC dc) {
    HBRUSH ground = CreateSolidBrush(RGB(192, 192, 192));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(dc, ground);
    PatBlt(dc, 0, 0, pic_w, pic_h, PATCOPY);
    SelectObject(dc, red);
    PatBlt(dc, 10, 10, 30, 60, PATCOPY);
    SelectObject(dc, blue);
    PatBlt(dc, 80, 70, 25, -40, PATCOPY); // upward from its base
    SelectObject(dc, old);
    for (HBRUSH b : {ground, red, blue}) DeleteObject(b);
}

TEST(MetafileRuns, PatternFillsAreRectanglesEveryReaderDraws) {
    HDC mdc = CreateMetaFile(nullptr);
    SetWindowOrgEx(mdc, 0, 0, nullptr);
    SetWindowExtEx(mdc, pic_w, pic_h, nullptr);
    bars(mdc);
    HMETAFILE mf = CloseMetaFile(mdc);
    ASSERT_NE(mf, nullptr);
    int rectangles = 0;
    for (const Record& r : records_of(mf)) {
        EXPECT_NE(r.function, wmf::PATBLT);
        rectangles += r.function == wmf::RECTANGLE;
    }
    EXPECT_EQ(rectangles, 3);

    // Played back, the picture is the one drawn directly, pixel for pixel.
    QImage direct(pic_w, pic_h, QImage::Format_RGB32), played(pic_w, pic_h, QImage::Format_RGB32);
    direct.fill(0xFFFFFFFFu);
    played.fill(0xFFFFFFFFu);
    HDC dc = gdi_create_image_dc(&direct, nullptr, QRegion());
    bars(dc);
    gdi_delete_image_dc(dc);
    dc = gdi_create_image_dc(&played, nullptr, QRegion());
    ASSERT_TRUE(PlayMetaFile(dc, mf));
    gdi_delete_image_dc(dc);
    EXPECT_EQ(played, direct);

    // libwmf draws the bars where ours are.
    ASSERT_EQ(packages_missing({"libwmf-bin", "fonts-urw-base35"}), "");
    QTemporaryDir temp;
    const std::string wmf = temp.path().toStdString() + "/bars.wmf",
                      png = temp.path().toStdString() + "/bars.png";
    ASSERT_TRUE(write_placeable_metafile(wmf.c_str(), mf, 0, 0, pic_w, pic_h, 96));
    DeleteMetaFile(mf);
    QProcess p;
    p.start(QStandardPaths::findExecutable(QStringLiteral("wmf2gd")),
            {QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-o"),
             QString::fromStdString(png), QString::fromStdString(wmf)});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0);
    QImage theirs(QString::fromStdString(png));
    ASSERT_FALSE(theirs.isNull());
    auto at = [&](double fx, double fy) {
        return theirs.pixel(static_cast<int>(fx * theirs.width()),
                            static_cast<int>(fy * theirs.height())) &
               0xFFFFFFu;
    };
    EXPECT_EQ(at(25.0 / pic_w, 40.0 / pic_h), 0xFF0000u);
    EXPECT_EQ(at(92.0 / pic_w, 50.0 / pic_h), 0x0000FFu);
    EXPECT_EQ(at(60.0 / pic_w, 40.0 / pic_h), 0xC0C0C0u);
}

int code_page_of(int charset) {
    const std::map<int, int> pages = {{0, 1252},   {238, 1250}, {204, 1251}, {161, 1253},
                                      {162, 1254}, {128, 932},  {134, 936}};
    auto it = pages.find(charset);
    return it == pages.end() ? 0 : it->second;
}

TEST(MetafileRuns, TextOfSeveralScriptsGoesOutInRunsOfOnePage) {
    const std::string text = "Ωμέγα При → ok";
    // A font of the default character set writes in the usual page as one of
    // the usual set does.
    for (BYTE charset : {static_cast<BYTE>(ANSI_CHARSET), static_cast<BYTE>(DEFAULT_CHARSET)})
        for (UINT align : {TA_LEFT, TA_CENTER}) {
            SCOPED_TRACE(align);
            SCOPED_TRACE(charset);
            HDC mdc = CreateMetaFile(nullptr);
            SetWindowExtEx(mdc, 400, 100, nullptr);
            LOGFONT lf{};
            lf.lfHeight = -20;
            lf.lfCharSet = charset;
            std::strcpy(lf.lfFaceName, "Arial");
            HFONT font = CreateFontIndirect(&lf);
            HGDIOBJ old = SelectObject(mdc, font);
            SetTextAlign(mdc, align);
            TextOut(mdc, 200, 50, text.c_str(), static_cast<int>(text.size()));
            SelectObject(mdc, old);
            DeleteObject(font);
            HMETAFILE mf = CloseMetaFile(mdc);
            ASSERT_NE(mf, nullptr);

            // The object table as a reader keeps it: slot -> the font's charset.
            std::map<int, int> slots;
            int current = -1, last_x = -100000, first_x = -100000, runs = 0;
            std::string read;
            for (const Record& r : records_of(mf)) {
                if (r.function == wmf::CREATEPENINDIRECT ||
                    r.function == wmf::CREATEBRUSHINDIRECT ||
                    r.function == 0x02FB /* CREATEFONTINDIRECT */) {
                    int slot = 0;
                    while (slots.count(slot)) ++slot;
                    slots[slot] = r.function == 0x02FB ? r.params[13] : -1;
                } else if (r.function == wmf::SELECTOBJECT) {
                    const int cs = slots.count(i16(r.params, 0)) ? slots[i16(r.params, 0)] : -1;
                    if (cs >= 0) current = cs;
                } else if (r.function == 0x01F0 /* DELETEOBJECT */) {
                    slots.erase(i16(r.params, 0));
                } else if (r.function == 0x0A32 /* EXTTEXTOUT */) {
                    const int x = i16(r.params, 2), count = i16(r.params, 4),
                              options = i16(r.params, 6);
                    const std::size_t start = (options & (ETO_OPAQUE | ETO_CLIPPED)) ? 16 : 8;
                    ASSERT_LE(start + static_cast<std::size_t>(count), r.params.size());
                    EXPECT_GT(x, last_x) << "runs go left to right";
                    last_x = x;
                    if (runs == 0) first_x = x;
                    ASSERT_NE(code_page_of(current), 0) << current;
                    read +=
                        code_page_text_utf8(reinterpret_cast<const char*>(r.params.data()) + start,
                                            count, code_page_of(current));
                    ++runs;
                }
            }
            EXPECT_EQ(read, text);
            EXPECT_GE(runs, 2);
            if (align == TA_CENTER) {
                EXPECT_LT(first_x, 200) << "a centred text starts left of its point";
            } else {
                EXPECT_EQ(first_x, 200);
            }
            DeleteMetaFile(mf);
        }
}

} // namespace
