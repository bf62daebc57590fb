// The simulation dialogs as the help pages describe them: the buttons are
// named as the help names them and each is pressed with the key of its
// first letter, and the Plausitest list scrolls sideways for its long lines.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/simdlg.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The text as shown and the letter its '&' marks (0 when none).
std::string shown(const char* text, char* key) {
    std::string out;
    *key = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '&' && p[1]) {
            ++p;
            if (*p != '&' && !*key) *key = *p;
        }
        out += *p;
    }
    return out;
}

TEST(SimDialogs, ButtonsAreNamedAsTheHelpSaysAndTakeTheirFirstLetter) {
    register_every_template();
    const struct {
        int dialog, id;
        const char* name;
    } buttons[] = {
        {dlg_constant_changes, ids_set, "Set"},
        {dlg_constant_changes, ids_reset, "Model value"},
        {dlg_sim_pause, IDOK, "Continue"},
        {dlg_sim_pause, ids_pause_stop, "Stop"},
    };
    for (const auto& b : buttons) {
        const DialogTemplate* t = dlg_find_template(b.dialog);
        ASSERT_NE(t, nullptr) << b.dialog;
        const DialogItem* item = template_item(*t, b.id);
        ASSERT_NE(item, nullptr) << b.id;
        char key = 0;
        EXPECT_EQ(shown(item->text, &key), b.name);
        EXPECT_EQ(key, b.name[0]) << item->text;
    }
    EXPECT_STREQ(dlg_find_template(dlg_sim_pause)->caption, "Simulation Paused");
    EXPECT_STREQ(dlg_find_template(dlg_constant_changes)->caption, "Constant Changes");
}

// A behaviour test's line names it, its result and when it first failed: the
// list scrolls sideways to show what does not fit.
TEST(SimDialogs, ThePlausitestListScrollsSideways) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_plausitest);
    ASSERT_NE(t, nullptr);
    const DialogItem* list = template_item(*t, ids_pt_list);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->style & WS_HSCROLL);
    EXPECT_TRUE(list->style & WS_VSCROLL);
}

} // namespace
