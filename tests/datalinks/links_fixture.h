// The fixture of the DDE client's and the spreadsheet links' tests: the shell
// test fixture (driver on the manual clock, answerer, message list), the
// links installed over the spreadsheet stand-in, a prices workbook on disk,
// and atoms, global memory and channels checked back at their baseline after
// every test.
#pragma once

#include "datalinks/client.h"
#include "datalinks/links.h"
#include "datalinks/standin.h"
#include "platform/clip.h"
#include "platform/dde.h"
#include "shell/settings_rows.h"
#include "shell/upcalls.h"
#include "sim/simdata.h"
#include "tests/datalinks/sheet_files.h"
#include "tests/shell/shell_fixture.h"

class LinksTest : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        links::install_spreadsheet_links();
        opts.r1c1_star = 0;
        xlsx_ = dir_ / "prices.xlsx";
        write_prices_xlsx(xlsx_);
        atoms_ = global_atom_count();
        blocks_ = global_live_blocks();
    }
    void close_windows() override {
        dde_close_all();
        standin::reset();
        test_driver::run_until_idle();
        EXPECT_EQ(dde_client::live_channels(), 0);
        EXPECT_EQ(global_atom_count(), atoms_) << "atoms left behind";
        EXPECT_EQ(global_live_blocks(), blocks_) << "global memory left behind";
        started_programs() = 0;
        links::set_worker_starter(nullptr);
        standin::set_open_hook(nullptr);
        opts.r1c1_star = 0;
        stop_request = 0;
    }
    // The lines of the message list so far, joined.
    std::string messages() const {
        int n = 0;
        const char* const* lines = message_list_lines(&n);
        std::string s;
        for (int k = 0; k < n; ++k) s += std::string(lines[k]) + "\n";
        return s;
    }

    temp_folder dir_;
    std::string xlsx_;
    std::size_t atoms_ = 0, blocks_ = 0;
};
