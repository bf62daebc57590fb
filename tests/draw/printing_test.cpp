// Printing through the platform's PDF printer: text jobs with page headers
// and form feeds, choosing a printer, the failures that must leave no printer
// open, and the date stamp.
#include "draw/drawing.h"
#include "draw/printing.h"

#include "platform/gdi_internal.h"
#include "resources/options.h"
#include "shell/settings_rows.h"
#include "tests/common/command_output.h"
#include "tests/common/env_override.h"
#include "tests/common/message_log.h"
#include "tests/common/packages.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class Printing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(packages_missing({"poppler-utils"}), "");
        test_driver::start();
        print_use_system_printers(false);
        set_message_hook(message_log::test_hook);
        message_log::messages.clear();
        saved_ = opts;
        opts.printer_name.clear();
        drawing = draw_state{};
        printer = print_state{};
        pdf_ = testing::TempDir() + "print_test.pdf";
        std::filesystem::remove(pdf_);
        printer.output_file = pdf_;
    }
    void TearDown() override {
        while (drawing.depth > 0) active_dc_pop(nullptr);
        if (drawing.printer_dc) DeleteDC(drawing.printer_dc);
        drawing = draw_state{};
        printer = print_state{};
        opts = saved_;
        set_message_hook(nullptr);
        test_driver::reset();
        print_use_system_printers(true);
    }
    static font_spec font(int size) {
        font_spec f{};
        f.size = static_cast<std::uint8_t>(size);
        std::strcpy(f.face, "DejaVu Sans");
        return f;
    }
    opt_block saved_;
    std::string pdf_;
};

TEST_F(Printing, ATextJobPrintsHeadersLinesAndAPagePerFormFeed) {
    opts.print_comment = "Comment text";
    opts.print_date = 1;
    font_spec f = font(10);
    HDC dc = start_text_print("Stock report", &f);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(drawing.printing, 2);
    EXPECT_EQ(drawing.cur_dc, dc);
    EXPECT_GT(printer.lines_per_page, 20);
    EXPECT_EQ(printer.cur_line, printer.lines_per_page);
    const char* first = "Population\t1000";
    print_text_line(first, static_cast<int>(std::strlen(first)), 0, true);
    print_text_line("centred", 7, -1, true);
    EXPECT_EQ(printer.cur_line, 2);
    const char* second = "\fSecond page";
    print_text_line(second, static_cast<int>(std::strlen(second)), 0, true);
    EXPECT_EQ(printer.page_number, 2);
    end_text_print();
    EXPECT_EQ(drawing.printing, 0);
    EXPECT_EQ(drawing.printer_dc, nullptr);
    EXPECT_EQ(drawing.depth, 0);
    EXPECT_FALSE(message_log::said("close_printer"));
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    std::string text = pdf_text(pdf_);
    std::size_t ff = text.find('\f');
    ASSERT_NE(ff, std::string::npos) << text;
    std::string page1 = text.substr(0, ff), page2 = text.substr(ff);
    EXPECT_NE(page1.find("Stock report"), std::string::npos) << page1;
    EXPECT_NE(page1.find("Page 1"), std::string::npos);
    EXPECT_NE(page1.find("Population"), std::string::npos);
    EXPECT_NE(page1.find("1000"), std::string::npos);
    EXPECT_NE(page1.find("centred"), std::string::npos);
    EXPECT_NE(page1.find(printer.date_stamp.substr(0, 10)), std::string::npos);
    EXPECT_NE(page2.find("Page 2"), std::string::npos);
    EXPECT_NE(page2.find("Second page"), std::string::npos);
    EXPECT_EQ(page2.find("Population"), std::string::npos);
}

// A grid or text window's font of the default colour prints black in a
// colour print: it printed white (its colour word's low bytes), a page that
// looked empty.
TEST_F(Printing, TheDefaultFontColourPrintsBlackInColour) {
    opts.colour_modes[1] = 1; // print in colour
    font_spec f = font(12);
    f.colour = 0xFFFFFFFFu;
    HDC dc = start_text_print("Table", &f);
    ASSERT_NE(dc, nullptr);
    ASSERT_EQ(drawing.colour_mode, 1);
    for (int i = 0; i < 20; ++i) print_text_line("stock 99 1 1 1 1 1 1", 20, 0, true);
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    end_text_print();
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    // The page as a grey image: the text leaves dark pixels on it.
    const std::string pgm = testing::TempDir() + "print_ink";
    ASSERT_EQ(std::system(("pdftoppm -r 40 -gray -f 1 -l 1 '" + pdf_ + "' '" + pgm + "'").c_str()),
              0);
    std::string image;
    for (const auto& e : std::filesystem::directory_iterator(testing::TempDir()))
        if (e.path().filename().string().rfind("print_ink", 0) == 0) image = e.path().string();
    ASSERT_FALSE(image.empty());
    std::FILE* in = std::fopen(image.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    int w = 0, h = 0, max = 0;
    ASSERT_EQ(std::fscanf(in, "P5 %d %d %d", &w, &h, &max), 3);
    std::fgetc(in);
    int dark = 0;
    for (int i = 0, c; i < w * h && (c = std::fgetc(in)) != EOF; ++i) dark += c < 128;
    std::fclose(in);
    std::filesystem::remove(image);
    EXPECT_GT(dark, 200);
}

TEST_F(Printing, AFailedStartLeavesNoPrinterAndNothingToClose) {
    printer.output_file = testing::TempDir() + "no/such/folder/out.pdf";
    font_spec f = font(10);
    EXPECT_EQ(start_text_print("x", &f), nullptr);
    EXPECT_TRUE(message_log::said("Unable to start the printer", 8));
    EXPECT_FALSE(printer_is_open());
    EXPECT_EQ(drawing.printing, 0);
    EXPECT_EQ(drawing.depth, 0);
    end_text_print(); // closes only a printer that is still open
    EXPECT_FALSE(message_log::said("close_printer"));
    close_printer(0); // a real misuse is still reported
    EXPECT_TRUE(message_log::said("close_printer", 10));
}

// "Open on printing" shows the print options before a text job; Cancel
// opens no printer, OK prints as chosen there.
TEST_F(Printing, OpenOnPrintingAsksFirstAndCancelPrintsNothing) {
    printer.open_on_printing = true;
    font_spec f = font(10);
    answerer::install([](const std::string& what) { ADD_FAILURE() << what; });
    answerer::dialog(dlg_print_options).press(IDCANCEL);
    EXPECT_EQ(start_text_print("x", &f), nullptr);
    EXPECT_FALSE(printer_is_open());
    EXPECT_EQ(drawing.printing, 0);
    answerer::dialog(dlg_print_options).set_text(idp_comment, "Chosen comment").press(IDOK);
    ASSERT_NE(start_text_print("Asked", &f), nullptr);
    EXPECT_EQ(opts.print_comment, "Chosen comment");
    const char* line = "After the options";
    print_text_line(line, static_cast<int>(std::strlen(line)), 0, true);
    end_text_print();
    EXPECT_EQ(answerer::pending(), 0u);
    answerer::uninstall();
    EXPECT_NE(pdf_text(pdf_).find("After the options"), std::string::npos);
}

TEST_F(Printing, ChoosingAPrinterByNameKeepsNoDeviceAndStoresTheName) {
    HDC tested = open_printer_dc(nullptr, PDF_PRINTER_NAME, nullptr, true);
    EXPECT_NE(tested, nullptr);
    EXPECT_EQ(drawing.printer_dc, nullptr);
    EXPECT_EQ(opts.printer_name, PDF_PRINTER_NAME);
    EXPECT_GE(drawing.device_res[2], 72);
    EXPECT_NE(open_printer_dc(nullptr, "", nullptr, true), nullptr); // back to the default
    EXPECT_EQ(opts.printer_name, "");
    HDC job = open_printer_dc("L", nullptr, nullptr, true);
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(drawing.printer_dc, job);
    EXPECT_GT(GetDeviceCaps(job, HORZRES), GetDeviceCaps(job, VERTRES)); // landscape
    close_printer(-1);
    EXPECT_EQ(drawing.printer_dc, nullptr);
    // The orientation's letter in either case.
    for (const char* o : {"l", "landscape"}) {
        job = open_printer_dc(o, nullptr, nullptr, true);
        ASSERT_NE(job, nullptr) << o;
        EXPECT_GT(GetDeviceCaps(job, HORZRES), GetDeviceCaps(job, VERTRES)) << o;
        close_printer(-1);
    }
    job = open_printer_dc("p", nullptr, nullptr, true);
    ASSERT_NE(job, nullptr);
    EXPECT_LT(GetDeviceCaps(job, HORZRES), GetDeviceCaps(job, VERTRES));
    close_printer(-1);
}

TEST_F(Printing, TheDateStampReadsMidnightAndNoonAsTwelve) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_wday = 1;
    t.tm_hour = 0;
    t.tm_min = 5;
    EXPECT_EQ(date_stamp_of(t), "Mon Dec 07, 2026 12:05AM");
    t.tm_hour = 12;
    EXPECT_EQ(date_stamp_of(t), "Mon Dec 07, 2026 12:05PM");
    t.tm_hour = 23;
    t.tm_min = 59;
    EXPECT_EQ(date_stamp_of(t), "Mon Dec 07, 2026 11:59PM");
    t.tm_hour = 9;
    t.tm_min = 0;
    EXPECT_EQ(date_stamp_of(t), "Mon Dec 07, 2026 9:00AM");
}

} // namespace

namespace {

// A short text job to the PDF printer; true when it started.
bool print_a_line() {
    font_spec f{};
    f.size = 10;
    std::strcpy(f.face, "DejaVu Sans");
    HDC dc = start_text_print("Where it went", &f);
    if (!dc) return false;
    print_text_line("one line", 8, 0, true);
    end_text_print();
    return true;
}

} // namespace

// The PDF printer choosing its own file (no file named for the job) says
// which file it wrote: the home folder of an account without a documents
// folder.
TEST_F(Printing, ThePdfPrinterSaysWhichFileItWrote) {
    const std::string home = testing::TempDir() + "print_home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    env_override env;
    env.set("HOME", home.c_str());
    printer.output_file.clear();
    ASSERT_TRUE(print_a_line());
    EXPECT_TRUE(std::filesystem::exists(home + "/Kavrel.pdf"));
    EXPECT_TRUE(message_log::said("Printed to the file " + home + "/Kavrel.pdf", 6));
    // A file named for the job needs no word.
    message_log::messages.clear();
    printer.output_file = pdf_;
    ASSERT_TRUE(print_a_line());
    EXPECT_FALSE(message_log::said("Printed to the file"));
}

// A file that cannot be written is named with the system's reason, not a
// bare error number: a folder that is a file, and a full device (written
// to, never removed).
TEST_F(Printing, AFileThatCannotBeWrittenIsNamedWithTheReason) {
    const std::string blocker = testing::TempDir() + "not_a_folder";
    { std::ofstream(blocker) << "x"; }
    printer.output_file = blocker + "/out.pdf";
    EXPECT_FALSE(print_a_line());
    EXPECT_TRUE(message_log::said("Unable to start the printer", 8));
    EXPECT_TRUE(message_log::said(blocker + "/out.pdf: Not a directory", 8));
    EXPECT_EQ(drawing.printer_dc, nullptr);

    if (!std::filesystem::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
    message_log::messages.clear();
    printer.output_file = "/dev/full";
    print_a_line();
    EXPECT_TRUE(message_log::said("No space left on device", 8));
    EXPECT_TRUE(message_log::said("/dev/full", 8));
    EXPECT_FALSE(message_log::said("Problems printing (-1)"));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    EXPECT_EQ(drawing.printer_dc, nullptr);
    EXPECT_EQ(drawing.printing, 0);
}

namespace {

// Names in a folder, hidden ones included.
std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Lowers the largest file this process may write (the disk filling up
// part-way through a document), and puts it back.
struct file_size_limit {
    rlimit saved{};
    explicit file_size_limit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit low = saved;
        low.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &low);
    }
    ~file_size_limit() { setrlimit(RLIMIT_FSIZE, &saved); }
};

} // namespace

// A document the disk takes only part of is "Unable to print" with the
// system's reason, and nothing is left under its name (nor beside it); the
// file that was there before is kept whole.
TEST_F(Printing, ACutDocumentIsAFailureAndLeavesNoFile) {
    const std::string dir = testing::TempDir() + "print_cut";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    printer.output_file = dir + "/cut.pdf";
    ASSERT_TRUE(print_a_line());
    const auto whole = std::filesystem::file_size(printer.output_file);
    ASSERT_GT(whole, 2000u);
    EXPECT_NE(command_output("pdftotext '" + printer.output_file + "' -").find("one line"),
              std::string::npos);
    // The same name again, with room for half the document.
    message_log::messages.clear();
    {
        file_size_limit limit(whole / 2);
        print_a_line();
    }
    EXPECT_TRUE(message_log::said("Unable to print", 8));
    EXPECT_TRUE(message_log::said("File too large", 8));
    EXPECT_TRUE(message_log::said(printer.output_file, 8));
    EXPECT_EQ(std::filesystem::file_size(printer.output_file), whole);
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"cut.pdf"});
    // A new name: nothing made at all.
    message_log::messages.clear();
    printer.output_file = dir + "/new.pdf";
    {
        file_size_limit limit(whole / 2);
        print_a_line();
    }
    EXPECT_TRUE(message_log::said("Unable to print", 8));
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"cut.pdf"});
    EXPECT_EQ(drawing.printer_dc, nullptr);
}

// The PDF printer's own names never replace anything: a link (even one that
// leads nowhere, out of the folder), a FIFO, the thousandth numbered file;
// when every number is taken it says so and writes nothing.
TEST_F(Printing, ThePdfPrintersOwnNamesNeverReplaceAnything) {
    const std::string home = testing::TempDir() + "print_names";
    const std::string outside = testing::TempDir() + "print_names_outside.pdf";
    std::filesystem::remove_all(home);
    std::filesystem::remove(outside);
    std::filesystem::create_directories(home);
    env_override env;
    env.set("HOME", home.c_str());
    printer.output_file.clear();
    std::filesystem::create_symlink(outside, home + "/Kavrel.pdf");
    ASSERT_EQ(mkfifo((home + "/Kavrel (2).pdf").c_str(), 0600), 0);
    ASSERT_TRUE(print_a_line());
    EXPECT_TRUE(message_log::said("Printed to the file " + home + "/Kavrel (3).pdf", 6));
    EXPECT_FALSE(std::filesystem::exists(outside));
    EXPECT_TRUE(std::filesystem::is_symlink(home + "/Kavrel.pdf"));
    EXPECT_TRUE(std::filesystem::is_fifo(home + "/Kavrel (2).pdf"));
    EXPECT_GT(std::filesystem::file_size(home + "/Kavrel (3).pdf"), 2000u);
    // Readable as any new file of the user's is (not the owner's alone).
    struct stat st {};
    ASSERT_EQ(stat((home + "/Kavrel (3).pdf").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    // Every name up to 999 taken: the next is 1,000, not 999 again.
    for (int n = 4; n <= 999; ++n)
        std::ofstream(home + "/Kavrel (" + std::to_string(n) + ").pdf") << "mine";
    message_log::messages.clear();
    ASSERT_TRUE(print_a_line());
    EXPECT_TRUE(message_log::said("Printed to the file " + home + "/Kavrel (1000).pdf", 6));
    EXPECT_EQ(std::filesystem::file_size(home + "/Kavrel (999).pdf"), 4u);
    // Every number taken: refused, with the reason.
    for (int n = 1001; n <= 9999; ++n)
        std::ofstream(home + "/Kavrel (" + std::to_string(n) + ").pdf") << "mine";
    message_log::messages.clear();
    print_a_line();
    EXPECT_TRUE(message_log::said("every numbered name up to 9999 is taken", 8));
    EXPECT_EQ(names_in(home).size(), 9999u);
}

// A file named for the job that is a FIFO is never opened (the print would
// wait for a reader for ever); a link named for the job leads to its file.
TEST_F(Printing, ANamedFifoIsRefusedAndANamedLinkIsFollowed) {
    const std::string fifo = testing::TempDir() + "print_fifo.pdf";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    printer.output_file = fifo;
    EXPECT_FALSE(print_a_line());
    EXPECT_TRUE(message_log::said(fifo + ": not a regular file", 8));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    const std::string target = testing::TempDir() + "print_link_target.pdf";
    const std::string link = testing::TempDir() + "print_link.pdf";
    std::filesystem::remove(link);
    { std::ofstream(target) << "old"; }
    std::filesystem::create_symlink(target, link);
    printer.output_file = link;
    ASSERT_TRUE(print_a_line());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_GT(std::filesystem::file_size(target), 2000u);
}

namespace {

// A word's box on the printed page, from pdftotext -bbox (x from the left).
struct word_box {
    double x_min = -1, x_max = -1;
};
word_box box_of(const std::string& bbox, const std::string& word) {
    word_box b;
    std::size_t at = bbox.find(">" + word + "</word>");
    if (at == std::string::npos) return b;
    std::size_t start = bbox.rfind("<word", at);
    std::size_t xmin = bbox.find("xMin=\"", start), xmax = bbox.find("xMax=\"", start);
    if (xmin == std::string::npos || xmax == std::string::npos || xmax > at) return b;
    b.x_min = std::stod(bbox.substr(xmin + 6));
    b.x_max = std::stod(bbox.substr(xmax + 6));
    return b;
}

// A tab moves the text after it to the next tab stop past what is printed:
// texts after one tab stand in one column however long what comes before,
// up to a stop's width; a longer text pushes it to the stop after.
TEST_F(Printing, TabsPrintInColumnsAtTheTabStops) {
    font_spec f = font(10);
    ASSERT_NE(start_text_print("Tabs", &f), nullptr);
    for (const char* line :
         {"ab\tCOLONE", "abcd\tCOLTWO", "\tCOLTHREE", "abcdefghijklmnop\tCOLFOUR"})
        print_text_line(line, static_cast<int>(std::strlen(line)), 0, true);
    end_text_print();
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    const std::string bbox = pdf_text_bbox(pdf_);
    word_box ab = box_of(bbox, "ab"), abcd = box_of(bbox, "abcd"), one = box_of(bbox, "COLONE"),
             two = box_of(bbox, "COLTWO"), three = box_of(bbox, "COLTHREE"),
             four = box_of(bbox, "COLFOUR"), longest = box_of(bbox, "abcdefghijklmnop");
    ASSERT_GE(ab.x_min, 0) << bbox;
    ASSERT_GE(one.x_min, 0) << bbox;
    ASSERT_GE(three.x_min, 0) << bbox;
    ASSERT_GE(four.x_min, 0) << bbox;
    EXPECT_NEAR(one.x_min, two.x_min, 0.5);
    EXPECT_NEAR(one.x_min, three.x_min, 0.5);
    EXPECT_GT(one.x_min, abcd.x_max) << "the column lies right of the texts before it";
    EXPECT_GT(one.x_min - ab.x_min, 20.0) << "a stop is eight digits wide";
    EXPECT_GT(four.x_min, longest.x_max);
    EXPECT_GT(four.x_min, one.x_min + 20.0) << "a long text pushes on to a later stop";
}

// A printed page keeps a one-inch margin below its last line; it fills the
// page down to that margin and goes on on the next page.
TEST_F(Printing, LinesFillThePageDownToTheBottomMargin) {
    font_spec f = font(10);
    ASSERT_NE(start_text_print("Margins", &f), nullptr);
    for (int i = 1; i <= 150; ++i) {
        const std::string line = "row" + std::to_string(i);
        print_text_line(line.c_str(), static_cast<int>(line.size()), 0, true);
    }
    end_text_print();
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    const std::string bbox = pdf_text_bbox(pdf_);
    const std::size_t page2 = bbox.find("<page", bbox.find("<page") + 1);
    ASSERT_NE(page2, std::string::npos) << "150 lines take more than a page";
    const std::size_t hat = bbox.find("height=\"");
    ASSERT_NE(hat, std::string::npos);
    const double height = std::stod(bbox.substr(hat + 8));
    // The rows of the first page, their lowest edge and their pitch.
    double lowest = 0, first_top = -1, second_top = -1;
    int rows = 0;
    for (std::size_t at = bbox.find(">row"); at != std::string::npos && at < page2;
         at = bbox.find(">row", at + 1)) {
        std::size_t start = bbox.rfind("<word", at);
        double y_min = std::stod(bbox.substr(bbox.find("yMin=\"", start) + 6));
        double y_max = std::stod(bbox.substr(bbox.find("yMax=\"", start) + 6));
        if (rows == 0) first_top = y_min;
        if (rows == 1) second_top = y_min;
        lowest = std::max(lowest, y_max);
        ++rows;
    }
    ASSERT_GT(rows, 20);
    const double pitch = second_top - first_top;
    ASSERT_GT(pitch, 5.0);
    EXPECT_LE(lowest, height - 72 + 0.5) << "the last row stays above the bottom inch";
    EXPECT_GT(lowest, height - 72 - 2 * pitch) << "the page is filled down to the margin";
    EXPECT_NE(bbox.find(">row" + std::to_string(rows + 1) + "</word>", page2), std::string::npos)
        << "the next row starts the second page";
}

// The footer at the page's corner: its text sits above the bottom margin
// (a millimetre), and the date follows the comment one character's width on.
TEST_F(Printing, TheFooterSitsAboveTheMarginWithTheDateACharacterAfterTheComment) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateCompatibleBitmap(dc, 400, 800);
    HGDIOBJ old = SelectObject(dc, bm);
    // The page's height as the device gives it.
    const int h = GetDeviceCaps(dc, VERTRES);
    ASSERT_GT(h, 40);
    ASSERT_LE(h, 800);
    int char_width = 0;
    auto render = [&](bool date) {
        RECT all{0, 0, 400, 800};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        opts.info_corner = 1;
        opts.print_comment = "Run A";
        opts.print_date = date ? 1 : 0;
        printer.date_stamp = "Tue Dec 08, 2026 9:05PM";
        EXPECT_EQ(active_dc_push(dc, dc), 1);
        const font_spec f = font(10);
        print_page_footer(&f, 0);
        char_width = drawing.char_width;
        active_dc_pop(dc);
        return gdi_bitmap_image(bm);
    };
    auto ink = [](const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 128; };
    const QImage comment = render(false);
    const QImage both = render(true);
    ASSERT_GT(char_width, 2);
    const int margin = h - cm_to_device(0.1, 0);
    int comment_end = -1, lowest = -1;
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 400; ++x)
            if (ink(comment, x, y)) comment_end = std::max(comment_end, x), lowest = y;
    ASSERT_GE(comment_end, 0) << "the comment is printed";
    EXPECT_LT(lowest, margin);
    int date_start = -1;
    for (int x = comment_end + 1; x < 400 && date_start < 0; ++x)
        for (int y = 0; y < 800; ++y)
            if (ink(both, x, y)) {
                date_start = x;
                break;
            }
    ASSERT_GT(date_start, 0) << "the date is printed after the comment";
    EXPECT_GE(date_start - comment_end - 1, char_width);
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
}

// A job of one page ends that page: its lines are in the file, on one page.
TEST_F(Printing, AOnePageJobKeepsItsPage) {
    ASSERT_TRUE(print_a_line());
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    const std::string text = pdf_text(pdf_);
    EXPECT_NE(text.find("one line"), std::string::npos) << text;
    EXPECT_NE(text.find("Where it went"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1) << text;
}

// Cancelled while its only page is printed, a job ends as a failure and
// leaves no file: the last page is ended, and asked about, as every other.
TEST_F(Printing, AJobCancelledOnItsOnlyPageLeavesNoFile) {
    static int asked = 0;
    asked = 0;
    printer.abort_proc = [](HDC, int) -> BOOL {
        ++asked;
        return FALSE;
    };
    print_a_line();
    EXPECT_GE(asked, 1);
    EXPECT_FALSE(std::filesystem::exists(pdf_));
    EXPECT_EQ(drawing.printer_dc, nullptr);
}

} // namespace
