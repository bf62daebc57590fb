// Layout a user sees in the dialogs: lists that take several runs at once,
// typing fields that never lie over one another, and the lookup editor's
// rows and range boxes.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/win.h"
#include "resources/datasets.h"
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

bool of_class(const DialogItem& item, const char* cls) {
    return item.cls && std::string(item.cls) == cls;
}

bool overlap(const DialogItem& a, const DialogItem& b) {
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

// Both lists of the Datasets page take several runs at once (shift and
// control clicks), as loading and unloading a handful of runs needs.
TEST(TemplateLayout, TheDatasetListsTakeSeveralRunsAtOnce) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_page_datasets);
    ASSERT_NE(t, nullptr);
    for (int id : {static_cast<int>(idd_available), static_cast<int>(idd_loaded)}) {
        const DialogItem* list = template_item(*t, id);
        ASSERT_NE(list, nullptr) << id;
        EXPECT_TRUE(of_class(*list, WC_LISTBOX)) << id;
        EXPECT_EQ(list->style & LBS_EXTENDEDSEL, static_cast<DWORD>(LBS_EXTENDEDSEL)) << id;
        EXPECT_TRUE(list->style & LBS_NOTIFY) << id;
    }
    // The two lists stand side by side with the move buttons between them.
    const DialogItem* a = template_item(*t, idd_available);
    const DialogItem* l = template_item(*t, idd_loaded);
    const DialogItem* load = template_item(*t, idd_load);
    ASSERT_TRUE(a && l && load);
    EXPECT_LE(a->x + a->cx, load->x);
    EXPECT_LE(load->x + load->cx, l->x);
}

// Typing fields and lists never lie over one another in any dialog: a field
// under another cannot be clicked or read.
TEST(TemplateLayout, NoTypingFieldOrListLiesOverAnother) {
    register_every_template();
    int checked = 0;
    for (int id = 1; id < 2000; ++id) {
        const DialogTemplate* t = dlg_find_template(id);
        if (!t) continue;
        SCOPED_TRACE("template " + std::to_string(id));
        std::vector<const DialogItem*> fields;
        for (const DialogItem& item : t->items)
            if ((of_class(item, WC_EDIT) || of_class(item, WC_LISTBOX)) &&
                (item.style & WS_VISIBLE))
                fields.push_back(&item);
        for (std::size_t i = 0; i < fields.size(); ++i)
            for (std::size_t j = i + 1; j < fields.size(); ++j) {
                ++checked;
                EXPECT_FALSE(overlap(*fields[i], *fields[j]))
                    << "controls " << fields[i]->id << " and " << fields[j]->id;
            }
    }
    EXPECT_GT(checked, 100);
}

// The lookup editor shows its points as rows of an input and an output
// field, one row under the other at the pitch of the scroll bar beside them,
// and its range boxes take a typed value as well as a chosen one.
TEST(TemplateLayout, TheLookupEditorRowsStackAndItsRangesAreTyped) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_lookup_editor);
    ASSERT_NE(t, nullptr);
    const DialogItem* bar = template_item(*t, idl_scroll);
    ASSERT_NE(bar, nullptr);
    for (int r = 0; r < lookup_rows; ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        const DialogItem* x = template_item(*t, idl_row_x + r);
        const DialogItem* y = template_item(*t, idl_row_y + r);
        ASSERT_TRUE(x && y);
        EXPECT_EQ(x->y, y->y);
        EXPECT_LE(x->x + x->cx, y->x) << "the input field is left of the output";
        EXPECT_GE(x->y, bar->y);
        EXPECT_LE(x->y + x->cy, bar->y + bar->cy);
        if (r > 0) {
            const DialogItem* above = template_item(*t, idl_row_x + r - 1);
            EXPECT_GE(x->y, above->y + above->cy);
        }
    }
    // The rows fill the scroll bar's height: the last ends within a row of
    // its bottom, so the bar's page matches what is shown.
    const DialogItem* last = template_item(*t, idl_row_x + lookup_rows - 1);
    EXPECT_GT(last->y + 2 * last->cy, bar->y + bar->cy);
    for (int id : {static_cast<int>(idl_x_min), static_cast<int>(idl_x_max),
                   static_cast<int>(idl_y_min), static_cast<int>(idl_y_max)}) {
        const DialogItem* c = template_item(*t, id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_TRUE(of_class(*c, WC_COMBOBOX)) << id;
        EXPECT_EQ(c->style & 3u, static_cast<DWORD>(CBS_DROPDOWN)) << id;
    }
}

} // namespace
