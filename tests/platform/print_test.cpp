// Printing to the PDF printer: jobs, pages, settings, the abort procedure and
// failures.
#include "dlg_fixture.h"
#include "pdf_printer_fixture.h"

#include "platform/print.h"
#include "tests/driver/answerer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace dlgtest;

namespace {

struct PdfFacts {
    int pages = 0;
    double width = 0, height = 0; // points, of the first page
};

PdfFacts read_pdf(const std::string& path) {
    QFile f(QString::fromStdString(path));
    PdfFacts facts;
    if (!f.open(QIODevice::ReadOnly)) return facts;
    QString text = QString::fromLatin1(f.readAll());
    QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    for (auto it = page.globalMatch(text); it.hasNext(); it.next()) ++facts.pages;
    QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)"));
    auto m = box.match(text);
    if (m.hasMatch()) {
        facts.width = m.captured(1).toDouble();
        facts.height = m.captured(2).toDouble();
    }
    return facts;
}

int aborts_seen = 0;
int stop_after = 0;
BOOL abort_after(HDC, int error) {
    ++aborts_seen;
    return error == 0 && aborts_seen < stop_after ? TRUE : FALSE;
}

class PrintTest : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        print_use_system_printers(false);
        dir = ::testing::TempDir() + "print_test_" + std::to_string(std::rand()) + "/";
        QDir().mkpath(QString::fromStdString(dir));
        aborts_seen = 0;
        stop_after = 0;
        // The printer keeps the settings a test gives it for later jobs:
        // they are put back after each test.
        HANDLE h = nullptr;
        ASSERT_TRUE(OpenPrinter(PDF_PRINTER_NAME, &h, nullptr));
        ASSERT_EQ(DocumentProperties(nullptr, h, nullptr, &settings_, nullptr, DM_OUT_BUFFER),
                  IDOK);
        ClosePrinter(h);
    }
    void TearDown() override {
        HANDLE h = nullptr;
        if (OpenPrinter(PDF_PRINTER_NAME, &h, nullptr)) {
            DocumentProperties(nullptr, h, nullptr, nullptr, &settings_, DM_IN_BUFFER);
            ClosePrinter(h);
        }
        print_set_pdf_output("");
        print_use_system_printers(true);
        DlgTest::TearDown();
    }
    int print_pages(HDC dc, const std::string& file, int pages) {
        DOCINFO di{sizeof(DOCINFO), "Kavrel", file.c_str(), nullptr, 0};
        if (StartDoc(dc, &di) <= 0) return -100;
        for (int p = 0; p < pages; ++p) {
            if (StartPage(dc) <= 0) return -200;
            Rectangle(dc, 100, 100, 600, 400 + 100 * p);
            TextOut(dc, 100, 50, "Page", 4);
            int r = EndPage(dc);
            if (r <= 0) return r;
        }
        return EndDoc(dc);
    }
    std::string dir;
    DEVMODE settings_{};
};

TEST_F(PrintTest, TwoPageJobMakesATwoPagePdfOfThePaperSize) {
    EXPECT_EQ(print_printers(), std::vector<std::string>{PDF_PRINTER_NAME});
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
    EXPECT_NEAR(GetDeviceCaps(dc, HORZRES), 2480, 2); // A4 at 300 pixels per inch
    EXPECT_GT(GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, HORZRES));
    std::string file = dir + "two.pdf";
    EXPECT_GT(print_pages(dc, file, 2), 0);
    EXPECT_EQ(print_page_count(dc), 2);
    PdfFacts f = read_pdf(file);
    EXPECT_EQ(f.pages, 2);
    EXPECT_NEAR(f.width, 595.3, 1.0);
    EXPECT_NEAR(f.height, 841.9, 1.0);
    // The same context prints a second job.
    std::string again = dir + "again.pdf";
    EXPECT_GT(print_pages(dc, again, 1), 0);
    EXPECT_EQ(read_pdf(again).pages, 1);
    DeleteDC(dc);
}

TEST_F(PrintTest, AbortProcedureStopsTheJobBetweenPagesAndNothingIsLeft) {
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    stop_after = 2; // continues after page 1, stops after page 2
    EXPECT_GT(SetAbortProc(dc, abort_after), 0);
    std::string file = dir + "stopped.pdf";
    EXPECT_EQ(print_pages(dc, file, 3), SP_APPABORT);
    EXPECT_EQ(aborts_seen, 2);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
    EXPECT_EQ(EndDoc(dc), SP_ERROR); // never success after a failure
    DeleteDC(dc);
}

TEST_F(PrintTest, AbortDocAndDeletingTheContextMidJobRemoveThePartialFile) {
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    std::string file = dir + "cancelled.pdf";
    DOCINFO di{sizeof(DOCINFO), "Kavrel", file.c_str(), nullptr, 0};
    ASSERT_GT(StartDoc(dc, &di), 0);
    StartPage(dc);
    EndPage(dc);
    EXPECT_GT(AbortDoc(dc), 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
    ASSERT_GT(StartDoc(dc, &di), 0);
    StartPage(dc);
    DeleteDC(dc);
    EXPECT_EQ(StartPage(dc), SP_ERROR); // the context is gone; the job with it
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
}

TEST_F(PrintTest, UnwritableOutputAndUnknownPrinterFailWithAMessage) {
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    std::string bad = dir + "no/such/dir/x.pdf";
    EXPECT_LT(print_pages(dc, bad, 1), 0);
    EXPECT_NE(errors().back().find(bad), std::string::npos);
    EXPECT_EQ(StartPage(dc), SP_ERROR);
    DeleteDC(dc);
    EXPECT_EQ(print_create_dc("Laser 9000", nullptr), nullptr);
    EXPECT_NE(errors().back().find("Laser 9000"), std::string::npos);
    HANDLE h = nullptr;
    EXPECT_FALSE(OpenPrinter("Laser 9000", &h, nullptr));
    // A document with no pages is no document.
    dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    std::string empty = dir + "empty.pdf";
    DOCINFO di{sizeof(DOCINFO), "Kavrel", empty.c_str(), nullptr, 0};
    ASSERT_GT(StartDoc(dc, &di), 0);
    EXPECT_EQ(EndDoc(dc), SP_ERROR);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(empty)));
    DeleteDC(dc);
}

// A fresh account has no documents folder: the PDF printer writes into the
// home folder instead of failing to start.
TEST_F(PrintTest, WithoutADocumentsFolderThePdfGoesHome) {
    const std::string home = dir + "fresh-home";
    int started = 0;
    {
        const private_home fresh(home);
        ASSERT_TRUE(fresh.made());
        print_set_pdf_output("");
        HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
        DOCINFO di{sizeof(DOCINFO), "Fresh", nullptr, nullptr, 0};
        started = StartDoc(dc, &di);
        if (started > 0) {
            StartPage(dc);
            Rectangle(dc, 10, 10, 100, 100);
            EndPage(dc);
            EndDoc(dc);
        }
        DeleteDC(dc);
    }
    EXPECT_GT(started, 0);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(home + "/Fresh.pdf")));
}

TEST_F(PrintTest, SettingsGiveLandscapeAndTheProfileNamesThePrinters) {
    char device[128];
    GetProfileString("windows", "device", "", device, sizeof device);
    EXPECT_STREQ(device, "PDF file,PDF,FILE:");
    char ports[64];
    EXPECT_GT(GetProfileString("PrinterPorts", PDF_PRINTER_NAME, "", ports, sizeof ports), 0u);
    EXPECT_EQ(GetProfileString("PrinterPorts", "Nope", "none", ports, sizeof ports), 4u);

    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinter(PDF_PRINTER_NAME, &h, nullptr));
    DEVMODE dm{};
    EXPECT_EQ(DocumentProperties(nullptr, h, nullptr, nullptr, nullptr, 0),
              static_cast<LONG>(sizeof(DEVMODE)));
    ASSERT_EQ(DocumentProperties(nullptr, h, nullptr, &dm, nullptr, DM_OUT_BUFFER), IDOK);
    dm.dmOrientation = DMORIENT_LANDSCAPE;
    dm.dmFields = DM_ORIENTATION;
    ASSERT_EQ(DocumentProperties(nullptr, h, nullptr, &dm, &dm, DM_IN_BUFFER | DM_OUT_BUFFER),
              IDOK);
    ClosePrinter(h);
    HDC dc = print_create_dc(PDF_PRINTER_NAME, &dm);
    EXPECT_GT(GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES));
    std::string file = dir + "wide.pdf";
    EXPECT_GT(print_pages(dc, file, 1), 0);
    PdfFacts f = read_pdf(file);
    EXPECT_GT(f.width, f.height);
    DeleteDC(dc);
}

// The profile's printer entries as programs parse them: "driver,port" under
// [devices], "driver,port,timeout,retry" under [PrinterPorts], and without a
// key every printer's name, each ended by a NUL and the list by another,
// cut to the buffer.
TEST_F(PrintTest, TheProfilesPrinterEntriesHaveTheirFieldsAndTheListItsEnds) {
    char buf[64];
    EXPECT_EQ(GetProfileString("devices", PDF_PRINTER_NAME, "", buf, sizeof buf), 9u);
    EXPECT_STREQ(buf, "PDF,FILE:");
    EXPECT_EQ(GetProfileString("PrinterPorts", PDF_PRINTER_NAME, "", buf, sizeof buf), 15u);
    EXPECT_STREQ(buf, "PDF,FILE:,15,45");
    EXPECT_EQ(GetProfileString("DEVICES", "Nope", "x", buf, sizeof buf), 1u);
    EXPECT_STREQ(buf, "x");

    std::memset(buf, '#', sizeof buf);
    const DWORD n = GetProfileString("devices", nullptr, "", buf, sizeof buf);
    EXPECT_EQ(n, std::strlen(PDF_PRINTER_NAME) + 1);
    EXPECT_STREQ(buf, PDF_PRINTER_NAME);
    EXPECT_EQ(buf[n], 0); // the list's own end

    // Cut to the buffer: what fits, and always the ending.
    char small[6];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetProfileString("devices", PDF_PRINTER_NAME, "", small, sizeof small), 5u);
    EXPECT_STREQ(small, "PDF,F");
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetProfileString("devices", nullptr, "", small, sizeof small), 4u);
    EXPECT_EQ(std::string(small, 4), "PDF ");
    EXPECT_EQ(small[4], 0);
    EXPECT_EQ(small[5], 0);
}

// A page the program leaves open is ended by EndDoc and counts; a job given
// a device such as /dev/null as its file writes there and leaves it as it is.
TEST_F(PrintTest, AnOpenPageIsEndedByEndDocAndADeviceIsWrittenInPlace) {
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    ASSERT_NE(dc, nullptr);
    std::string file = dir + "open_page.pdf";
    DOCINFO di{sizeof(DOCINFO), "Kavrel", file.c_str(), nullptr, 0};
    ASSERT_GT(StartDoc(dc, &di), 0);
    ASSERT_GT(StartPage(dc), 0);
    Rectangle(dc, 100, 100, 600, 400);
    EXPECT_GT(EndDoc(dc), 0);
    EXPECT_EQ(print_page_count(dc), 1);
    EXPECT_EQ(read_pdf(file).pages, 1);

    struct stat before {};
    ASSERT_EQ(::stat("/dev/null", &before), 0);
    ASSERT_TRUE(S_ISCHR(before.st_mode));
    EXPECT_GT(print_pages(dc, "/dev/null", 2), 0);
    EXPECT_EQ(print_page_count(dc), 2);
    struct stat after {};
    ASSERT_EQ(::stat("/dev/null", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    DeleteDC(dc);
}

TEST_F(PrintTest, SetupDialogIsAnsweredAndCancelKeepsTheSettings) {
    answerer::install([](const std::string& m) { ADD_FAILURE() << m; });
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinter(PDF_PRINTER_NAME, &h, nullptr));
    DEVMODE dm{};
    answerer::dialog("Printer Setup")
        .check(102)
        .set_text(104, "3")
        .select(103, "Letter")
        .press(IDOK);
    EXPECT_EQ(DocumentProperties(nullptr, h, nullptr, &dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(dm.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(dm.dmCopies, 3);
    EXPECT_EQ(dm.dmPaperSize, DMPAPER_LETTER);
    answerer::dialog("Printer Setup").check(101).press(IDCANCEL);
    DEVMODE after{};
    EXPECT_EQ(
        DocumentProperties(nullptr, h, nullptr, &after, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
        IDCANCEL);
    DocumentProperties(nullptr, h, nullptr, &after, nullptr, DM_OUT_BUFFER);
    EXPECT_EQ(after.dmOrientation, DMORIENT_LANDSCAPE); // unchanged by the cancelled dialog
    ClosePrinter(h);
    EXPECT_EQ(answerer::pending(), 0u);
    answerer::uninstall();
}

TEST_F(PrintTest, CreateDcWithTheProfileNamesOpensThePrinterAndPrintsAPdf) {
    // The program reads "device,driver,port" of the default printer and opens
    // it by those names.
    char profile[128];
    GetProfileString("windows", "device", "", profile, sizeof profile);
    std::string p = profile;
    std::size_t c1 = p.find(','), c2 = p.find(',', c1 + 1);
    ASSERT_NE(c2, std::string::npos);
    std::string device = p.substr(0, c1), driver = p.substr(c1 + 1, c2 - c1 - 1),
                port = p.substr(c2 + 1);
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinter(device.c_str(), &h, nullptr));
    DEVMODE dm{};
    ASSERT_EQ(DocumentProperties(nullptr, h, nullptr, &dm, nullptr, DM_OUT_BUFFER), IDOK);
    ClosePrinter(h);
    dm.dmOrientation = DMORIENT_LANDSCAPE;
    dm.dmFields = DM_ORIENTATION;
    HDC dc = CreateDC(driver.c_str(), device.c_str(), port.c_str(), &dm);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
    EXPECT_GT(GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)); // the mode was applied
    std::string file = dir + "createdc.pdf";
    EXPECT_GT(print_pages(dc, file, 2), 0);
    PdfFacts f = read_pdf(file);
    EXPECT_EQ(f.pages, 2);
    EXPECT_GT(f.width, f.height);
    EXPECT_TRUE(DeleteDC(dc));

    // The device name alone (driver left out) and the driver alone both name it.
    HDC own = print_create_dc(PDF_PRINTER_NAME, nullptr);
    dc = CreateDC(nullptr, PDF_PRINTER_NAME, nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), GetDeviceCaps(own, HORZRES)); // the printer's settings
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), GetDeviceCaps(own, VERTRES));
    DeleteDC(own);
    DeleteDC(dc);
    dc = CreateDC(PDF_PRINTER_NAME, nullptr, nullptr, nullptr);
    EXPECT_NE(dc, nullptr);
    DeleteDC(dc);
}

TEST_F(PrintTest, CreateIcOfAPrinterMeasuresButPrintsNothingAndUnknownPrintersFail) {
    HDC ic = CreateIC("PDF", PDF_PRINTER_NAME, "FILE:", nullptr);
    ASSERT_NE(ic, nullptr);
    EXPECT_EQ(GetDeviceCaps(ic, LOGPIXELSY), 300);
    SIZE ext{};
    EXPECT_TRUE(GetTextExtentPoint32(ic, "Kavrel", 6, &ext));
    EXPECT_GT(ext.cx, 0);
    std::string file = dir + "ic.pdf";
    DOCINFO di{sizeof(DOCINFO), "Kavrel", file.c_str(), nullptr, 0};
    EXPECT_EQ(StartDoc(ic, &di), SP_ERROR);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
    DeleteDC(ic);

    errors().clear();
    EXPECT_EQ(CreateDC("CUPS", "Laser 9000", "CUPS:", nullptr), nullptr);
    ASSERT_FALSE(errors().empty());
    EXPECT_NE(errors().back().find("Laser 9000"), std::string::npos);
    EXPECT_EQ(CreateDC("WINSPOOL", nullptr, nullptr, nullptr), nullptr);
    // The display is still the display.
    HDC screen = CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    DeleteDC(screen);
}

int count_face(const LOGFONT*, const TEXTMETRIC*, DWORD, LPARAM data) {
    ++*reinterpret_cast<int*>(data);
    return 1;
}

TEST_F(PrintTest, PrinterFontsAreEnumeratedAndTextIsMeasuredAtPrinterResolution) {
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr, true);
    ASSERT_NE(dc, nullptr);
    int faces = 0;
    EnumFontFamilies(dc, nullptr, count_face, reinterpret_cast<LPARAM>(&faces));
    EXPECT_GT(faces, 0);
    // A 10-point font is about 42 pixels high at 300 pixels per inch.
    HFONT f = CreateFont(-(10 * GetDeviceCaps(dc, LOGPIXELSY) / 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                         ANSI_CHARSET, 0, 0, 0, 0, "Times New Roman");
    SelectObject(dc, f);
    TEXTMETRIC tm{};
    ASSERT_TRUE(GetTextMetrics(dc, &tm));
    EXPECT_GT(tm.tmHeight, 30);
    std::string file = dir + "ic.pdf";
    DOCINFO di{sizeof(DOCINFO), "Kavrel", file.c_str(), nullptr, 0};
    EXPECT_EQ(StartDoc(dc, &di), SP_ERROR); // an information context prints nothing
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
    DeleteDC(dc);
    DeleteObject(f);
}

} // namespace
