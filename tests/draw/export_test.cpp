// Saving pictures: the transfer text against a golden file, the placeable
// metafile read back and played, converted by wmf2svg, failed saves, and the
// enhanced metafile a copy leaves on the clipboard.
#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/prims.h"
#include "draw/printing.h"

#include "platform/clip.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"
#include "tests/common/command_output.h"
#include "tests/common/message_log.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fixed graph: a frame, a box, two curves and a caption.
void fixed_picture(void*) {
    font_spec f{};
    f.size = 10;
    std::strcpy(f.face, "DejaVu Sans");
    select_font(1, &f, nullptr, 0, 0xFFFFFFFF, 0, true);
    SetBkMode(drawing.cur_dc, TRANSPARENT);
    fill_box(12, 40, 20, 380, 220);
    draw_frame(13, 1, 40, 20, 380, 220);
    draw_line(colour_table[0], 2, 40, 200, 380, 40);
    POINT curve[4] = {{40, 220}, {120, 150}, {240, 120}, {380, 100}};
    Polyline(drawing.cur_dc, curve, 4);
    gtx_width(1);
    gtx_polyline(curve, 4);
    draw_text_aligned(40, 16, 'L', 'A', "Population"); // on its baseline
}

class Export : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        set_message_hook(message_log::test_hook);
        message_log::messages.clear();
        drawing = draw_state{};
        screen_ = gdi_create_screen_dc();
        dir_ = testing::TempDir();
    }
    void TearDown() override {
        gdi_delete_image_dc(screen_);
        drawing = draw_state{};
        set_message_hook(nullptr);
    }
    HDC screen_ = nullptr;
    std::string dir_;
};

TEST_F(Export, TheTransferTextOfAFixedGraphMatchesItsGoldenFile) {
    std::string path = dir_ + "fixed.gtx";
    ASSERT_EQ(write_gtx(path.c_str(), SIZE{400, 240}, screen_, fixed_picture, nullptr), 1);
    std::string got = read_all(path);
    std::string want = read_all(std::string(KAVREL_SOURCE_DIR) + "/tests/graphs/data/fixed.gtx");
    EXPECT_EQ(got, want);
    EXPECT_EQ(got.find('\r'), std::string::npos);
    EXPECT_EQ(drawing.gtx_mode, 0);
    EXPECT_EQ(gtx_sink(), nullptr);
    EXPECT_EQ(drawing.depth, 0);
}

TEST_F(Export, APlaceableMetafileReadsBackAsTheSamePicture) {
    std::string path = dir_ + "fixed.wmf";
    ASSERT_EQ(write_wmf(path.c_str(), SIZE{400, 240}, screen_, 96, fixed_picture, nullptr), 1);
    std::string bytes = read_all(path);
    ASSERT_GT(bytes.size(), 22u + 18u);
    auto word = [&](int i) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    };
    EXPECT_EQ(word(0), 0xCDD7);
    EXPECT_EQ(word(1), 0x9AC6);
    EXPECT_EQ(word(5), 400);
    EXPECT_EQ(word(6), 240);
    EXPECT_EQ(word(7), 96);
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= word(i);
    EXPECT_EQ(word(10), sum);
    // Played into an image of its size, it draws what the screen draws.
    HMETAFILE mf = SetMetaFileBitsEx(static_cast<UINT>(bytes.size() - 22),
                                     reinterpret_cast<const BYTE*>(bytes.data() + 22));
    ASSERT_NE(mf, nullptr);
    QImage played(400, 240, QImage::Format_RGB32), direct(400, 240, QImage::Format_RGB32);
    played.fill(0xFFFFFFFF);
    direct.fill(0xFFFFFFFF);
    HDC pd = gdi_create_image_dc(&played, nullptr, QRegion());
    SetMapMode(pd, MM_ANISOTROPIC);
    SetViewportExtEx(pd, 400, 240, nullptr);
    PlayMetaFile(pd, mf);
    gdi_delete_image_dc(pd);
    DeleteMetaFile(mf);
    HDC dd = gdi_create_image_dc(&direct, nullptr, QRegion());
    {
        draw_pass pass(dd, dd);
        fixed_picture(nullptr);
    }
    gdi_delete_image_dc(dd);
    int differ = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 400; ++x) differ += played.pixel(x, y) != direct.pixel(x, y);
    EXPECT_LT(differ, 400 * 240 / 200) << "pixels that differ: " << differ;
    EXPECT_EQ(played.pixel(200, 150), 0xFFFFFFFFu);  // the white plot inside the frame
    EXPECT_EQ(played.pixel(40, 100) & 0xFFFFFF, 0u); // the frame
    // An independent reader converts it, with the caption as text.
    ASSERT_EQ(packages_missing({"libwmf-bin"}), "");
    std::string svg = dir_ + "fixed.svg";
    ASSERT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + path + "' 2>/dev/null").c_str()), 0);
    EXPECT_NE(read_all(svg).find("Population"), std::string::npos);
}

TEST_F(Export, FailedSavesSaySoAndLeaveNoFile) {
    std::string gone = dir_ + "no/such/folder/x.gtx";
    EXPECT_EQ(write_gtx(gone.c_str(), SIZE{100, 100}, screen_, fixed_picture, nullptr), 0);
    EXPECT_TRUE(message_log::said("Unable to open " + gone + " to transfer graphics", 8));
    EXPECT_EQ(drawing.gtx_mode, 0);
    EXPECT_EQ(gtx_sink(), nullptr);
    std::string wgone = dir_ + "no/such/folder/x.wmf";
    EXPECT_EQ(write_wmf(wgone.c_str(), SIZE{100, 100}, screen_, 96, fixed_picture, nullptr), 0);
    EXPECT_TRUE(message_log::said("Unable to save to " + wgone, 8));
    // Sizes the header cannot hold are refused, not wrapped.
    std::string big = dir_ + "big.wmf";
    EXPECT_EQ(write_wmf(big.c_str(), SIZE{40000, 100}, screen_, 96, fixed_picture, nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(big));
    EXPECT_TRUE(placeable_header(0, 10, 96).empty());
    EXPECT_TRUE(placeable_header(10, -3, 96).empty());
    EXPECT_EQ(placeable_header(32767, 32767, 96).size(), 22u);
    EXPECT_EQ(drawing.depth, 0);
}

TEST_F(Export, ACopyLeavesAValidEnhancedMetafileThatOtherProgramsGetAsPngAndSvg) {
    clip_use_private(false);
    ASSERT_EQ(copy_picture(nullptr, SIZE{400, 240}, screen_, 96, 96, fixed_picture, nullptr), 1);
    EXPECT_EQ(drawing.gtx_mode, 0);
    EXPECT_EQ(drawing.depth, 0);
    EXPECT_EQ(out_size.cx, 0);
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto emf = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    ASSERT_NE(emf, nullptr);
    std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
    ASSERT_GT(bytes.size(), sizeof(ENHMETAHEADER));
    ASSERT_EQ(GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data()), bytes.size());
    ENHMETAHEADER head{};
    ASSERT_NE(GetEnhMetaFileHeader(emf, sizeof head, &head), 0u);
    CloseClipboard();
    std::string error;
    EXPECT_TRUE(gdi::validate_emf(bytes.data(), bytes.size(), error)) << error;
    // The frame is the picture's size in 0.01 mm: 400 and 240 pixels at 96
    // per inch.
    EXPECT_EQ(head.rclFrame.right, 400 * 2540 / 96);
    EXPECT_EQ(head.rclFrame.bottom, 240 * 2540 / 96);
    // The description names the program.
    ASSERT_GE(head.nDescription, 6u);
    ASSERT_LE(head.offDescription + 12, bytes.size());
    std::string described;
    for (int i = 0; i < 6; ++i) described += static_cast<char>(bytes[head.offDescription + 2 * i]);
    EXPECT_EQ(described, "Kavrel");
    // Played back it draws the frame and the caption's place as the screen does.
    QImage played(400, 240, QImage::Format_RGB32);
    played.fill(0xFFFFFFFF);
    HDC pd = gdi_create_image_dc(&played, nullptr, QRegion());
    RECT whole{0, 0, 400, 240};
    HENHMETAFILE back = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    ASSERT_NE(back, nullptr);
    PlayEnhMetaFile(pd, back, &whole);
    DeleteEnhMetaFile(back);
    gdi_delete_image_dc(pd);
    EXPECT_EQ(played.pixel(200, 150), 0xFFFFFFFFu);
    EXPECT_EQ(played.pixel(40, 100) & 0xFFFFFF, 0u);
    // Other programs get the picture as PNG and SVG.
    const QMimeData* md = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(md, nullptr);
    EXPECT_FALSE(md->data("image/x-emf").isEmpty());
    QImage png = QImage::fromData(md->data("image/png"), "PNG");
    ASSERT_FALSE(png.isNull());
    // (The frame in whole 0.01 mm may lose the last pixel.)
    EXPECT_NEAR(png.width(), 400, 1);
    EXPECT_NEAR(png.height(), 240, 1);
    int black = 0;
    for (int x = 38; x <= 42; ++x) black += (png.pixel(x, 100) & 0xFFFFFF) == 0;
    EXPECT_GE(black, 1); // the frame's left side
    EXPECT_EQ(png.pixel(200, 150), 0xFFFFFFFFu);
    EXPECT_TRUE(md->data("image/svg+xml").contains("<svg"));

    // A size no picture frame can hold is refused and nothing is left behind.
    clip_use_private(true);
    clip_reset();
    EXPECT_EQ(copy_picture(nullptr, SIZE{0, 240}, screen_, 96, 96, fixed_picture, nullptr), 0);
    EXPECT_TRUE(message_log::said("Unable to copy to the clipboard", 8));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
    EXPECT_EQ(drawing.gtx_mode, 0);
    clip_use_private(false);
}

} // namespace

namespace {

// A caption no one code page holds: Latin with accents, then Greek.
void two_page_picture(void*) {
    font_spec f{};
    f.size = 10;
    std::strcpy(f.face, "DejaVu Sans");
    select_font(1, &f, nullptr, 0, 0xFFFFFFFF, 0, true);
    SetBkMode(drawing.cur_dc, TRANSPARENT);
    draw_frame(13, 1, 40, 20, 380, 220);
    draw_text_aligned(40, 16, 'L', 'A',
                      "Prix \xC3\xA9t\xC3\xA9 \xCE\x94\xCE\xAD\xCE\xBB\xCF\x84\xCE\xB1");
}

// The 16-bit words of a placeable metafile's records from `from`.
struct wmf_record {
    std::uint16_t function;
    std::vector<std::int16_t> params;
};
std::vector<wmf_record> wmf_records(const std::string& bytes) {
    std::vector<wmf_record> out;
    auto word = [&](std::size_t at) {
        return static_cast<std::int16_t>(static_cast<unsigned char>(bytes[at]) |
                                         static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    std::size_t at = 22 + 18; // placeable header, metafile header
    while (at + 6 <= bytes.size()) {
        const std::uint32_t words =
            static_cast<std::uint16_t>(word(at)) |
            static_cast<std::uint32_t>(static_cast<std::uint16_t>(word(at + 2))) << 16;
        if (words < 3 || at + 2 * words > bytes.size()) break;
        wmf_record r{static_cast<std::uint16_t>(word(at + 4)), {}};
        for (std::uint32_t k = 3; k < words; ++k) r.params.push_back(word(at + 2 * k));
        out.push_back(std::move(r));
        at += 2 * words;
    }
    return out;
}

} // namespace

// A caption that needs two code pages goes out as a run of each, placed by
// the advances of its characters in the picture's own units (not 0, nor the
// picture's width); libwmf places the second run right of the first, inside
// the picture.
TEST_F(Export, ACaptionOfTwoCodePagesKeepsItsAdvances) {
    std::string path = dir_ + "two_pages.wmf";
    ASSERT_EQ(write_wmf(path.c_str(), SIZE{400, 240}, screen_, 96, two_page_picture, nullptr), 1);
    const std::string bytes = read_all(path);
    int runs = 0;
    std::vector<int> xs;
    for (const wmf_record& r : wmf_records(bytes)) {
        if (r.function != 0x0A32) continue; // EXTTEXTOUT
        ++runs;
        ASSERT_GE(r.params.size(), 4u);
        const int count = r.params[2];
        const int options = static_cast<std::uint16_t>(r.params[3]);
        const std::size_t text_at = 4 + ((options & 6) ? 4 : 0);
        const std::size_t dx_at = text_at + (static_cast<std::size_t>(count) + 1) / 2;
        ASSERT_EQ(r.params.size(), dx_at + static_cast<std::size_t>(count));
        xs.push_back(r.params[1]);
        // One-byte pages (Western, then Greek): an advance for every byte.
        for (int k = 0; k < count; ++k) {
            const int dx = r.params[dx_at + static_cast<std::size_t>(k)];
            EXPECT_GE(dx, 2) << "run " << runs << " character " << k;
            EXPECT_LE(dx, 20) << "run " << runs << " character " << k;
        }
        EXPECT_EQ(count, runs == 1 ? 9 : 5);
    }
    ASSERT_EQ(runs, 2);
    EXPECT_GT(xs[1], xs[0] + 40);
    EXPECT_LT(xs[1], 300);
    ASSERT_EQ(packages_missing({"libwmf-bin"}), "");
    const std::string svg = dir_ + "two_pages.svg";
    ASSERT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + path + "' 2>/dev/null").c_str()), 0);
    const std::string text = read_all(svg);
    // The characters left to right, spread over the caption's width inside
    // the picture (libwmf places each one by its advance).
    std::vector<double> at;
    for (std::size_t k = 0; (k = text.find("<text", k)) != std::string::npos; ++k) {
        // The place is the fifth number of the text's transform.
        std::size_t m = text.find("matrix(", k);
        if (m == std::string::npos) break;
        std::istringstream numbers(text.substr(m + 7, 120));
        double v[5] = {};
        for (double& x : v) numbers >> x;
        at.push_back(v[4]);
    }
    ASSERT_GE(at.size(), 2u) << text;
    for (std::size_t k = 1; k < at.size(); ++k) EXPECT_GE(at[k], at[k - 1]) << text;
    const std::size_t w = text.find("width=\"");
    ASSERT_NE(w, std::string::npos);
    const double width = std::atof(text.c_str() + w + 7);
    EXPECT_GT(at.back() - at.front(), width * 0.1) << text;
    EXPECT_LT(at.back(), width) << text;
    // The office suite reads the caption as it was written.
    if (sanitized) return; // the Release build runs the suite
    ASSERT_EQ(packages_missing({"libreoffice-draw-nogui", "poppler-utils"}), "");
    const std::string convert =
        "cd '" + dir_ + "' && HOME='" + dir_ +
        "' timeout -k 10 300 soffice -env:UserInstallation=file://" + dir_ +
        "lo_profile --headless --convert-to pdf two_pages.wmf >/dev/null 2>&1";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    const std::string caption = command_output("pdftotext '" + dir_ + "two_pages.pdf' -");
    EXPECT_NE(caption.find("Prix \xC3\xA9t\xC3\xA9 \xCE\x94\xCE\xAD\xCE\xBB\xCF\x84\xCE\xB1"),
              std::string::npos)
        << caption;
}

namespace {

// A device whose dots are not square: the picture's frame and the transfer
// text's bounds take each side in its own direction's resolution.
TEST_F(Export, EachSideOfAPictureIsMeasuredInItsOwnResolution) {
    clip_use_private(true);
    clip_reset();
    ASSERT_EQ(copy_picture(nullptr, SIZE{400, 240}, screen_, 96, 192, fixed_picture, nullptr), 1);
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto emf = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    ASSERT_NE(emf, nullptr);
    ENHMETAHEADER head{};
    ASSERT_NE(GetEnhMetaFileHeader(emf, sizeof head, &head), 0u);
    CloseClipboard();
    // 400 pixels at 96 an inch are 105.83 mm, 240 at 192 are 31.75 mm.
    EXPECT_EQ(head.rclFrame.right, 10583);
    EXPECT_EQ(head.rclFrame.bottom, 3175);
    clip_reset();
    clip_use_private(false);

    // 144 dots an inch across are half a point each, 36 down two points each.
    drawing.device_res[0] = 144;
    drawing.device_res[1] = 36;
    std::string text = gtx_text_of(SIZE{400, 240}, screen_, fixed_picture, nullptr);
    EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
              "V161| - Tolmera graphics transfer format\n(0,0)-(200,480)\n");
}

} // namespace
