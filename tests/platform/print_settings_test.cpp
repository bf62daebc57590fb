// The PDF printer's settings as a program reads and gives them: every paper
// the settings name (a paper of the user's own size across by down), the
// colour setting among the fields it reports, the copies the setup dialog
// takes, and numbered names for documents of the same title.
#include "pdf_printer_fixture.h"

#include "platform/print.h"
#include "tests/driver/answerer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdlib>
#include <string>

using namespace dlgtest;

namespace {

// The first page's size in points (1/72 inch) from its MediaBox.
std::pair<double, double> page_points(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {0, 0};
    const QString text = QString::fromLatin1(f.readAll());
    QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)"));
    auto m = box.match(text);
    if (!m.hasMatch()) return {0, 0};
    return {m.captured(1).toDouble(), m.captured(2).toDouble()};
}

constexpr double points_per_mm = 72.0 / 25.4;

class PrintSettings : public PdfPrinterTest {
protected:
    // The file written, or `file` when the printer names none.
    std::string print_one(const DEVMODE* dm, const char* title, const std::string& file) {
        const std::string out = print_page(dm, title, file);
        return out.empty() ? file : out;
    }
};

TEST_F(PrintSettings, EveryPaperPrintsAtItsSizeAndAUsersPaperAcrossByDown) {
    struct Paper {
        short code;
        double width, height; // millimetres
    };
    const Paper papers[] = {{DMPAPER_A4, 210, 297},
                            {DMPAPER_LETTER, 215.9, 279.4},
                            {DMPAPER_LEGAL, 215.9, 355.6},
                            {DMPAPER_A3, 297, 420},
                            {DMPAPER_A5, 148, 210}};
    for (const Paper& p : papers) {
        SCOPED_TRACE(p.code);
        DEVMODE dm = current();
        dm.dmFields = DM_PAPERSIZE | DM_ORIENTATION;
        dm.dmPaperSize = p.code;
        dm.dmOrientation = DMORIENT_PORTRAIT;
        const auto [w, h] = page_points(print_one(&dm, "Paper", dir + "paper.pdf"));
        EXPECT_NEAR(w, p.width * points_per_mm, 1.0);
        EXPECT_NEAR(h, p.height * points_per_mm, 1.0);
    }
    // A paper of the user's own: 150 mm across, 200 mm down (tenths of a
    // millimetre in the settings).
    DEVMODE dm = current();
    dm.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_ORIENTATION;
    dm.dmPaperSize = 0;
    dm.dmPaperWidth = 1500;
    dm.dmPaperLength = 2000;
    dm.dmOrientation = DMORIENT_PORTRAIT;
    const auto [w, h] = page_points(print_one(&dm, "Own", dir + "own.pdf"));
    EXPECT_NEAR(w, 150 * points_per_mm, 1.0);
    EXPECT_NEAR(h, 200 * points_per_mm, 1.0);
}

// The settings say which fields they hold: colour is one of them, so a
// program that keeps the settings and gives them back keeps monochrome.
TEST_F(PrintSettings, TheColourSettingIsReportedAndKept) {
    DEVMODE dm = current();
    EXPECT_TRUE(dm.dmFields & DM_ORIENTATION);
    EXPECT_TRUE(dm.dmFields & DM_PAPERSIZE);
    EXPECT_TRUE(dm.dmFields & DM_COPIES);
    ASSERT_TRUE(dm.dmFields & DM_COLOR);
    EXPECT_EQ(dm.dmColor, DMCOLOR_COLOR);
    dm.dmFields = DM_COLOR;
    dm.dmColor = DMCOLOR_MONOCHROME;
    ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, nullptr, &dm, DM_IN_BUFFER), IDOK);
    DEVMODE kept = current();
    EXPECT_TRUE(kept.dmFields & DM_COLOR);
    EXPECT_EQ(kept.dmColor, DMCOLOR_MONOCHROME);
    // Given back whole, as a program saves and restores them.
    kept.dmColor = DMCOLOR_COLOR;
    ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, nullptr, &kept, DM_IN_BUFFER), IDOK);
    EXPECT_EQ(current().dmColor, DMCOLOR_COLOR);
}

// The setup dialog takes 1 to 999 copies; a number beyond keeps it open.
TEST_F(PrintSettings, TheSetupDialogTakesUpTo999Copies) {
    answerer::install([](const std::string& m) { ADD_FAILURE() << m; });
    DEVMODE dm{};
    answerer::dialog("Printer Setup").set_text(104, "150").press(IDOK);
    EXPECT_EQ(
        DocumentProperties(nullptr, printer, nullptr, &dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
        IDOK);
    EXPECT_EQ(dm.dmCopies, 150);
    answerer::dialog("Printer Setup").set_text(104, "999").press(IDOK);
    EXPECT_EQ(
        DocumentProperties(nullptr, printer, nullptr, &dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
        IDOK);
    EXPECT_EQ(dm.dmCopies, 999);
    // 1000 is refused: the dialog stays for the next answer.
    answerer::dialog("Printer Setup").set_text(104, "1000").press(IDOK);
    answerer::dialog("Printer Setup").press(IDCANCEL);
    EXPECT_EQ(
        DocumentProperties(nullptr, printer, nullptr, &dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
        IDCANCEL);
    EXPECT_EQ(current().dmCopies, 999);
    EXPECT_EQ(answerer::pending(), 0u);
    answerer::uninstall();
}

// Documents printed to the printer's own folder never replace one another:
// "Title.pdf", then "Title (2).pdf", "Title (3).pdf".
TEST_F(PrintSettings, DocumentsOfOneTitleAreNumberedFromTwo) {
    const std::string home = dir + "home";
    std::vector<std::string> made;
    {
        const private_home fresh(home);
        ASSERT_TRUE(fresh.made());
        print_set_pdf_output("");
        for (int k = 0; k < 3; ++k) made.push_back(print_one(nullptr, "Report", ""));
    }
    for (const char* name : {"/Report.pdf", "/Report (2).pdf", "/Report (3).pdf"})
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(home + name))) << name;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home + "/Report (1).pdf")));
}

// Copies given in the settings are kept up to 999, the most a job makes; more
// are taken as 999.
TEST_F(PrintSettings, CopiesGivenAreKeptUpTo999) {
    for (const auto& [given, kept] : {std::pair<short, short>{500, 500}, {999, 999}, {5000, 999}}) {
        DEVMODE dm = current();
        dm.dmFields = DM_COPIES;
        dm.dmCopies = given;
        ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, nullptr, &dm, DM_IN_BUFFER), IDOK);
        EXPECT_EQ(current().dmCopies, kept) << given;
    }
}

} // namespace
