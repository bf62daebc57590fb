// The fixture of the tests of the PDF printer's files and settings: the PDF
// printer alone (no system printers), a private folder, the printer opened
// and its settings as they were put back after each test.
#pragma once

#include "dlg_fixture.h"

#include "platform/print.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QtGlobal>

#include <cstdlib>
#include <string>

// HOME set to a folder of the test's own (made here) and XDG_CONFIG_HOME
// unset, as on a fresh account, for as long as the object lives; both are
// put back after.
class private_home {
public:
    explicit private_home(const std::string& path)
        : home_(qgetenv("HOME")), config_(qgetenv("XDG_CONFIG_HOME")) {
        made_ = QDir().mkpath(QString::fromStdString(path));
        qputenv("HOME", QByteArray::fromStdString(path));
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~private_home() {
        qputenv("HOME", home_);
        if (config_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", config_);
    }
    private_home(const private_home&) = delete;
    private_home& operator=(const private_home&) = delete;
    // Whether the folder was made.
    bool made() const { return made_; }

private:
    QByteArray home_, config_;
    bool made_ = false;
};

class PdfPrinterTest : public dlgtest::DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        print_use_system_printers(false);
        dir = ::testing::TempDir() + "pdf_printer_" + std::to_string(std::rand()) + "/";
        QDir().mkpath(QString::fromStdString(dir));
        ASSERT_TRUE(OpenPrinter(PDF_PRINTER_NAME, &printer, nullptr));
        ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, &saved, nullptr, DM_OUT_BUFFER),
                  IDOK);
    }
    void TearDown() override {
        DocumentProperties(nullptr, printer, nullptr, nullptr, &saved, DM_IN_BUFFER);
        ClosePrinter(printer);
        print_set_pdf_output("");
        print_use_system_printers(true);
        QDir(QString::fromStdString(dir)).removeRecursively();
        DlgTest::TearDown();
    }
    // One page (a rectangle) printed under the settings given (null: the
    // printer's), into `file` (or, with none, where the printer names it);
    // the file written, "" when nothing was.
    std::string print_page(const DEVMODE* dm, const char* title, const std::string& file) {
        HDC dc = print_create_dc(PDF_PRINTER_NAME, dm);
        if (!dc) return {};
        DOCINFO di{sizeof(DOCINFO), title, file.empty() ? nullptr : file.c_str(), nullptr, 0};
        std::string out;
        if (StartDoc(dc, &di) > 0) {
            StartPage(dc);
            Rectangle(dc, 10, 10, 100, 100);
            EndPage(dc);
            if (EndDoc(dc) > 0) out = print_output_file(dc);
        }
        DeleteDC(dc);
        return out;
    }
    // The printer's settings now.
    DEVMODE current() {
        DEVMODE dm{};
        DocumentProperties(nullptr, printer, nullptr, &dm, nullptr, DM_OUT_BUFFER);
        return dm;
    }
    std::string dir;
    HANDLE printer = nullptr;
    DEVMODE saved{};
};
