// Set-up dialogs show values to full float precision: a value typed with
// seven digits shows as typed, and a table shown and taken again unchanged
// keeps every point exactly.
#include "population_fixture.h"

#include "resources/menus.h"
#include "resources/simdlg.h"
#include "shell/menucmd.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class SetupValues : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        td::run_until_idle();
    }
};

TEST_F(SetupValues, SevenDigitConstantsShowAsTyped) {
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) { type_value(d, "carrying capacity", "1234567"); })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    std::string row, value;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            for (const std::string& line : td::list_texts(GetDlgItem(d, ids_list)))
                if (line.find("carrying capacity") != std::string::npos) row = line;
            choose_row(d, "carrying capacity");
            value = td::item_text(d, ids_value);
        })
        .press(IDCANCEL);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(row, "* carrying capacity = 1234567");
    EXPECT_EQ(value, "1234567");
    EXPECT_FLOAT_EQ(copy_value("carrying capacity"), 1234567.0f);
}

TEST_F(SetupValues, LookupPointsShowExactlyAndComeBackUnchanged) {
    answerer::dialog(dlg_lookup_changes)
        .set_text(ids_points, "0, 0.1234567\r\n1.000001, 0.5\r\n2, 3.333333e-08\r\n")
        .press(IDOK);
    menu_command(cmd_lookup_changes);
    std::string shown;
    answerer::dialog(dlg_lookup_changes)
        .call([&](HWND d) { shown = td::item_text(d, ids_points); })
        .press(IDOK);
    menu_command(cmd_lookup_changes);
    EXPECT_EQ(shown, "0, 0.1234567\r\n1.000001, 0.5\r\n2, 3.333333e-08\r\n");
    setup_state* st = setup_copies();
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->lookup_changed.size(), 2u);
    const lookup_table& t = st->lookups[st->lookup_changed[0] ? 0 : 1];
    ASSERT_EQ(t.count, 3u);
    EXPECT_EQ(st->lookup_data[t.y], 0.1234567f);
    EXPECT_EQ(st->lookup_data[t.x + 1], 1.000001f);
    EXPECT_EQ(st->lookup_data[t.y + 2], 3.333333e-08f);
}

} // namespace
