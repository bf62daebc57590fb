// The styles a user feels in every dialog template: Enter presses OK, arrow
// keys move within a group of option buttons and no further, the lists tell
// their dialog about a choice, and a password is never shown.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/win.h"
#include "resources/dialogs.h"
#include "resources/lookupdlg.h"
#include "resources/menus.h"
#include "resources/modelpages.h"
#include "resources/options.h"
#include "resources/panel.h"
#include "resources/simdlg.h"
#include "resources/sketchdlg.h"
#include "resources/subpanel.h"
#include "resources/varselect.h"
#include "tests/driver/driver.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool is(const DialogItem& item, const char* cls) {
    return item.cls && std::string(item.cls) == cls;
}
bool radio(const DialogItem& item) {
    const DWORD type = item.style & BS_TYPEMASK;
    return is(item, WC_BUTTON) && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON);
}
TEST(TemplateStyles, TheTemplatesAreFound) {
    EXPECT_GE(every_template().size(), 30u);
}

// A dialog with an OK button makes it the one default button: Enter presses
// it.
TEST(TemplateStyles, OkIsTheOneDefaultButton) {
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        int defaults = 0;
        for (const DialogItem& item : t->items)
            if (is(item, WC_BUTTON) && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) ++defaults;
        EXPECT_LE(defaults, 1);
        if (const DialogItem* ok = template_item(*t, IDOK); ok && is(*ok, WC_BUTTON)) {
            EXPECT_EQ(ok->style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        }
    }
}

// Option buttons that belong together form a group: the first of a run
// starts one (WS_GROUP), and the first control after the run that takes
// the keyboard starts the next, so arrow keys never walk out of the run.
TEST(TemplateStyles, OptionButtonRunsAreGroupsOfTheirOwn) {
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        const auto& items = t->items;
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (!radio(items[k])) continue;
            if (k == 0 || !radio(items[k - 1])) {
                EXPECT_TRUE(items[k].style & WS_GROUP) << "first option button " << items[k].id;
            }
            if (k + 1 < items.size() && !radio(items[k + 1])) {
                // After the run: a static may start the next group; else the
                // next control that is not a static does.
                bool grouped = false;
                for (std::size_t j = k + 1; j < items.size() && !grouped; ++j) {
                    if (items[j].style & WS_GROUP) grouped = true;
                    if (!is(items[j], WC_STATIC)) {
                        EXPECT_TRUE(grouped) << "control " << items[j].id << " after option "
                                             << items[k].id << " is in its group";
                        break;
                    }
                }
            }
        }
    }
}

// Every list box tells its dialog about a click or a choice (LBS_NOTIFY).
TEST(TemplateStyles, ListBoxesNotifyTheirDialog) {
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        for (const DialogItem& item : t->items)
            if (is(item, WC_LISTBOX)) {
                EXPECT_TRUE(item.style & LBS_NOTIFY) << "list " << item.id;
            }
    }
}

TEST(TemplateStyles, APasswordIsNeverShown) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_password);
    ASSERT_NE(t, nullptr);
    const DialogItem* edit = template_item(*t, idc_password);
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->style & ES_PASSWORD);
}

// The variable selection page and dialog: Subscripts and Type are chosen
// from their lists (nothing typed), and on the page Enter presses Select.
TEST(TemplateStyles, TheVariableChoicesAreListsAndEnterSelects) {
    every_template();
    for (int id : {static_cast<int>(dlg_page_variable), static_cast<int>(dlg_variable_dialog)}) {
        SCOPED_TRACE("template " + std::to_string(id));
        const DialogTemplate* t = dlg_find_template(id);
        ASSERT_NE(t, nullptr);
        for (int combo : {static_cast<int>(idv_subscripts), static_cast<int>(idv_type)}) {
            const DialogItem* c = template_item(*t, combo);
            ASSERT_NE(c, nullptr) << combo;
            EXPECT_EQ(c->style & 3u, static_cast<DWORD>(CBS_DROPDOWNLIST)) << combo;
        }
    }
    const DialogItem* select = template_item(*dlg_find_template(dlg_page_variable), idv_select);
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(select->style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

} // namespace
