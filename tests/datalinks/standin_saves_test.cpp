// Saving through the spreadsheet program's "System" conversation: the
// workbook saved is the one opened last, whatever was opened before it.
#include <filesystem>

#include "datalinks/workbook.h"
#include "tests/datalinks/links_fixture.h"

namespace {

class StandinSaves : public LinksTest {};

TEST_F(StandinSaves, SystemSavesTheWorkbookOpenedLast) {
    // A second workbook whose first cell tells it from the prices.
    const std::string other = dir_ / "other.xlsx";
    lxw_workbook* wb = workbook_new(other.c_str());
    ASSERT_NE(wb, nullptr);
    worksheet_write_number(workbook_add_worksheet(wb, "other"), 0, 0, 42, nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);

    ASSERT_TRUE(standin::start_service("Excel", ""));
    const int ch = kdde_initiate("Excel", "System");
    ASSERT_GE(ch, 0);
    for (const std::string& path : {xlsx_, other}) {
        const std::string open = "[Open(\"" + path + "\")]";
        EXPECT_EQ(kdde_wait_execute(ch, open.c_str(), 4500), 1);
        EXPECT_EQ(dde_client::last_execute_ack(), 1) << path;
    }
    const std::string copy = dir_ / "copy.xlsx";
    const std::string save = "[Save.As(\"" + copy + "\")]";
    EXPECT_EQ(kdde_wait_execute(ch, save.c_str(), 4500), 1);
    EXPECT_EQ(dde_client::last_execute_ack(), 1);
    kdde_terminate(ch);
    ASSERT_TRUE(std::filesystem::exists(copy));
    sheets::workbook saved;
    std::string why;
    ASSERT_EQ(sheets::read_workbook(copy, &saved, &why), 1) << why;
    ASSERT_EQ(saved.sheets.size(), 1u);
    EXPECT_EQ(saved.sheets[0].name, "other");
    const sheets::cell* c = saved.sheets[0].at(0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->number, 42);
}

} // namespace
