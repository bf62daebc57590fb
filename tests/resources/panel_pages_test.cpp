// The control panel's pages: each is a control of the panel (Tab walks from
// the panel into it), and the time axis page's arrow buttons step each time
// the way their arrows point.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/datasets.h"
#include "resources/modelpages.h"
#include "resources/panel.h"
#include "resources/subpanel.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PanelPages, PagesAreControlsOfTheirPanel) {
    int pages = 0;
    for (const DialogTemplate* t : every_template()) {
        // A page: a child without a caption (the subscript panel floats with one).
        if (!(t->style & WS_CHILD) || (t->style & WS_CAPTION)) continue;
        ++pages;
        EXPECT_TRUE(t->style & DS_CONTROL) << "template " << t->id;
    }
    EXPECT_GE(pages, 3);
}

TEST(PanelPages, EachTimeArrowPointsTheWayItSteps) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_page_time_axis);
    ASSERT_NE(t, nullptr);
    const std::pair<int, int> arrows[] = {{idt_start_left, idt_start_right},
                                          {idt_special_left, idt_special_right},
                                          {idt_end_left, idt_end_right}};
    for (const auto& [left, right] : arrows) {
        const DialogItem* l = template_item(*t, left);
        const DialogItem* r = template_item(*t, right);
        ASSERT_NE(l, nullptr) << left;
        ASSERT_NE(r, nullptr) << right;
        EXPECT_STREQ(l->text, "<-") << left;
        EXPECT_STREQ(r->text, "->") << right;
        EXPECT_LT(l->x, r->x) << left;
    }
}

// The reorder dialog's list lets the user drag its entries (the long list's
// style bit 0x0002, reorderable), which is all the dialog is for.
TEST(PanelPages, TheReorderListCanBeDragged) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_reorder);
    ASSERT_NE(t, nullptr);
    const DialogItem* list = template_item(*t, idr_list);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->style & 0x0002u);
}

// In the subscript panel each click on an element turns it on or off by
// itself (a multiple-selection list, not one that needs Ctrl for that).
TEST(PanelPages, SubscriptElementsToggleOneClickAtATime) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_subscript_panel);
    ASSERT_NE(t, nullptr);
    const DialogItem* list = template_item(*t, idc_sp_elements);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->style & LBS_MULTIPLESEL);
    EXPECT_FALSE(list->style & LBS_EXTENDEDSEL);
    EXPECT_TRUE(list->style & LBS_NOTIFY);
}

// The graphs page: several graphs can be picked at once from its list, the
// work-in-progress switch is a check box, and the buttons that open a dialog
// say so with an ellipsis while those that act at once do not.
TEST(PanelPages, TheGraphsPageListsManyAndItsButtonsSayWhichOpenADialog) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_page_graphs);
    ASSERT_NE(t, nullptr);
    const DialogItem* list = template_item(*t, idg_list);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->style & LBS_EXTENDEDSEL);
    EXPECT_TRUE(list->style & LBS_NOTIFY);
    const DialogItem* wip = template_item(*t, idg_wip);
    ASSERT_NE(wip, nullptr);
    EXPECT_EQ(wip->style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
    for (int id : {idg_modify, idg_copy, idg_new, idg_reorder}) {
        const DialogItem* b = template_item(*t, id);
        ASSERT_NE(b, nullptr) << id;
        const std::string text = b->text ? b->text : "";
        EXPECT_TRUE(text.size() > 3 && text.ends_with("...")) << text;
    }
    for (int id : {idg_display, idg_delete}) {
        const DialogItem* b = template_item(*t, id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_FALSE(std::string(b->text ? b->text : "").ends_with("...")) << id;
    }
}

// The subscript panel's range is picked from its list, never typed, and its
// summary shows element names as they are ("A&B" keeps its ampersand).
TEST(PanelPages, SubscriptRangesArePickedAndTheSummaryShowsAmpersands) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_subscript_panel);
    ASSERT_NE(t, nullptr);
    const DialogItem* range = template_item(*t, idc_sp_range);
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->style & 0x3, static_cast<DWORD>(CBS_DROPDOWNLIST));
    const DialogItem* summary = template_item(*t, idc_sp_summary);
    ASSERT_NE(summary, nullptr);
    EXPECT_TRUE(summary->style & SS_NOPREFIX);
}

// The datasets page: the available list on the left, the loaded one on the
// right, so loading points right and unloading left; loading from a file
// opens a dialog and says so.
TEST(PanelPages, DatasetArrowsPointTheWayTheyMoveAndLoadFromOpensADialog) {
    every_template();
    const DialogTemplate* t = dlg_find_template(dlg_page_datasets);
    ASSERT_NE(t, nullptr);
    const DialogItem* available = template_item(*t, idd_available);
    const DialogItem* loaded = template_item(*t, idd_loaded);
    ASSERT_NE(available, nullptr);
    ASSERT_NE(loaded, nullptr);
    EXPECT_LT(available->x, loaded->x);
    const DialogItem* load = template_item(*t, idd_load);
    const DialogItem* unload = template_item(*t, idd_unload);
    ASSERT_NE(load, nullptr);
    ASSERT_NE(unload, nullptr);
    EXPECT_STREQ(load->text, ">>");
    EXPECT_STREQ(unload->text, "<<");
    const DialogItem* from = template_item(*t, idd_load_from);
    ASSERT_NE(from, nullptr);
    EXPECT_TRUE(std::string(from->text ? from->text : "").ends_with("...")) << from->text;
}

} // namespace
