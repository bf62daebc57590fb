// The fields of the slider and export-size dialogs: each label names its
// field, shows the key that reaches it, and comes right before the field, so
// that Alt and the key put the caret in that field.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/dialogs.h"
#include "resources/sketchdlg.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool is(const DialogItem& item, const char* cls) {
    return item.cls && std::string(item.cls) == cls;
}

struct field {
    const char* label; // as the template has it, '&' before the key
    int edit;          // the field it names
};

void expect_labels(int dialog, const std::vector<field>& fields) {
    const DialogTemplate* t = dlg_find_template(dialog);
    ASSERT_NE(t, nullptr) << dialog;
    for (const field& f : fields) {
        SCOPED_TRACE(f.label);
        const DialogItem* label = nullptr;
        std::size_t at = 0;
        for (std::size_t k = 0; k < t->items.size(); ++k)
            if (is(t->items[k], WC_STATIC) && t->items[k].text &&
                std::string(t->items[k].text) == f.label) {
                label = &t->items[k];
                at = k;
            }
        ASSERT_NE(label, nullptr) << "no label";
        ASSERT_LT(at + 1, t->items.size());
        const DialogItem& next = t->items[at + 1];
        EXPECT_TRUE(is(next, WC_EDIT)) << "the label's next control";
        EXPECT_EQ(next.id, f.edit);
        // Side by side: the label on the field's line, left of it.
        EXPECT_LE(label->x + label->cx, next.x);
        EXPECT_LT(label->y, next.y + next.cy);
        EXPECT_LT(next.y, label->y + label->cy);
    }
}

TEST(SketchDialogs, EachLabelNamesItsFieldWithItsKey) {
    register_every_template();
    expect_labels(dlg_slider_options, {{"&Value:", idq_value},
                                       {"M&inimum:", idq_min},
                                       {"M&aximum:", idq_max},
                                       {"I&ncrement:", idq_increment}});
    expect_labels(dlg_export_size, {{"&Width:", exs_width}, {"&Height:", exs_height}});
}

} // namespace
