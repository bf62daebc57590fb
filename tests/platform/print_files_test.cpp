// The PDF printer's files as the user finds them: a title that is not a
// file name, the permissions a new document gets, and settings a program
// gives that the printer cannot take.
#include "pdf_printer_fixture.h"

#include "platform/print.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace dlgtest;

namespace {

class PrintFiles : public PdfPrinterTest {
protected:
    std::string print_one(const char* title, const std::string& file) {
        return print_page(nullptr, title, file);
    }
};

// A title with a slash or other characters no file name takes is printed
// under a name with those characters made underscores, in the folder itself.
TEST_F(PrintFiles, TitlesThatAreNoFileNameAreMadeOne) {
    const std::string home = dir + "home";
    std::string made;
    {
        const private_home fresh(home);
        ASSERT_TRUE(fresh.made());
        print_set_pdf_output("");
        made = print_one("Runs/2024:a*b", "");
    }
    EXPECT_EQ(made, home + "/Runs_2024_a_b.pdf");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(home + "/Runs_2024_a_b.pdf")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home + "/Runs")));
}

// A new document gets the permissions any new file of the user gets.
TEST_F(PrintFiles, ANewDocumentTakesTheUsersFileMask) {
    const mode_t old = ::umask(027);
    const std::string made = print_one("Masked", dir + "masked.pdf");
    ::umask(old);
    ASSERT_EQ(made, dir + "masked.pdf");
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// An orientation that is neither portrait nor landscape leaves the setting.
TEST_F(PrintFiles, AnUnknownOrientationIsIgnored) {
    DEVMODE dm = current();
    dm.dmFields = DM_ORIENTATION;
    dm.dmOrientation = DMORIENT_LANDSCAPE;
    ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, nullptr, &dm, DM_IN_BUFFER), IDOK);
    for (short bad : {short(0), short(3), short(-1)}) {
        dm.dmOrientation = bad;
        ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, nullptr, &dm, DM_IN_BUFFER), IDOK);
        EXPECT_EQ(current().dmOrientation, DMORIENT_LANDSCAPE) << bad;
    }
}

// A document found cut short when it is finished keeps no name of a
// document, and the user is told why.
TEST_F(PrintFiles, ADocumentCutShortIsNotPassedOffAsPrinted) {
    HDC dc = print_create_dc(PDF_PRINTER_NAME, nullptr);
    ASSERT_NE(dc, nullptr);
    const std::string out = dir + "short.pdf";
    DOCINFO di{sizeof(DOCINFO), "Short", out.c_str(), nullptr, 0};
    ASSERT_GT(StartDoc(dc, &di), 0);
    StartPage(dc);
    Rectangle(dc, 10, 10, 100, 100);
    EndPage(dc);
    // The file being written stands beside the document until it is whole;
    // what is under its name at the end is the start of a document only.
    const QStringList beside =
        QDir(QString::fromStdString(dir))
            .entryList({QStringLiteral(".short.pdf.*")}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(beside.size(), 1);
    const std::string temp = dir + beside.front().toStdString();
    ASSERT_EQ(::rename(temp.c_str(), (dir + "aside").c_str()), 0);
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("%PDF-1.4\n1 0 obj\n<< /Type /Catalog", f);
    std::fclose(f);
    errors().clear();
    EXPECT_EQ(EndDoc(dc), SP_ERROR);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
    ASSERT_FALSE(errors().empty());
    EXPECT_NE(errors().back().find("cut short"), std::string::npos) << errors().back();
    EXPECT_NE(errors().back().find(out), std::string::npos) << errors().back();
    DeleteDC(dc);
}

} // namespace
